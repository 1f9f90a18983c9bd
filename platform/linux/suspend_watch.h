#pragma once

#include <functional>

namespace tk {

class EventLoop;

// Hears the machine announce that it is about to sleep, so that a saver on
// Linux ends on suspend as it does on Windows, where the power broadcast
// closes it. The announcement is the login manager's PrepareForSleep(true)
// signal on the system bus (org.freedesktop.login1.Manager); the system bus is
// the one DBUS_SYSTEM_BUS_ADDRESS names, or the usual socket.
//
// Listening happens on a thread of its own, which connects, subscribes and
// waits; an announcement reaches the window thread as onSuspend, posted to
// its event loop. When the bus goes away (restarted by an upgrade), the
// listener connects again once it is back and subscribes anew. Without a
// system bus at start (or in a build without GIO) onSuspend is never called
// and nothing changes.
class SuspendWatch {
 public:
  // Starts listening in the background; never blocks. The loop outlives the
  // watch; onSuspend is not called once the watch is gone.
  SuspendWatch(EventLoop& loop, std::function<void()> onSuspend);
  ~SuspendWatch();  // stops the listener and joins its thread
  SuspendWatch(const SuspendWatch&) = delete;
  SuspendWatch& operator=(const SuspendWatch&) = delete;

  // Waits up to timeoutMs for the listener to be subscribed on the bus (so
  // that a signal sent from now on is heard); false when it gave up for want
  // of a bus, or the time ran out. The saver itself never needs to wait.
  bool WaitListening(int timeoutMs);

 private:
  struct State;
  State* state_;
};

}  // namespace tk
