#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace tk {

// The one event pump of a Linux front end: the display connection's file
// descriptor and any other (a compositor's, a bus listener's), timers, POSIX
// signals and wake-ups from other threads, all served by one poll() on the
// window thread. A front end brings its file descriptor and callbacks, not a
// loop of its own.
//
// Every callback runs on the thread that calls Run(), one at a time. Signals
// and Post() reach that thread through the loop's one self-pipe, so a
// signal handler does nothing but write a byte.
class EventLoop {
 public:
  using Callback = std::function<void()>;
  using Id = int;

  EventLoop();
  ~EventLoop();  // gives back the signals it took to their earlier handlers
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Calls onReadable each time fd can be read (or has hung up or failed,
  // which the callback finds out by reading), until Remove(). The loop never
  // reads or closes fd itself.
  Id AddFd(int fd, Callback onReadable);
  // Calls onTick every periodMs, the first time periodMs from now. A tick
  // that comes late is not made up for: the next one is a period after it.
  Id AddTimer(uint32_t periodMs, Callback onTick);
  // Calls onSignal on the loop's thread when signo arrives, from this call
  // until the loop ends; one callback per signal, the last one given.
  void OnSignal(int signo, Callback onSignal);
  // Called before every wait, after everything due was dispatched: where a
  // connection that buffers events (Xlib, libwayland) empties its queue and
  // flushes its requests, so that poll() never sleeps on events already
  // read. It may call Stop().
  void BeforeWait(Callback prepare);
  // Forgets a descriptor or a timer; safe from inside any callback, and the
  // removed callback is not called again, not even later in the same pass.
  void Remove(Id id);

  // Runs from any thread: fn is called on the loop's thread at its next pass.
  void Post(Callback fn);

  // Dispatches until Stop(); returns at once when Stop() came first. The
  // request is used up on return, so the loop can be run again.
  void Run();
  // Asks Run() to return after the callback in progress; from any thread.
  void Stop();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tk
