#include "platform/linux/suspend_watch.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include <gio/gio.h>

#include "platform/linux/event_loop.h"

namespace tk {
namespace {

constexpr const char* kLoginName = "org.freedesktop.login1";
constexpr const char* kLoginPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";

}  // namespace

#if defined(__SANITIZE_THREAD__)
// GLib and GIO are not built with the thread sanitizer, so the locks inside
// them are invisible to it and GDBus's own worker thread looks racy. Our side
// of the listener shares only the event loop's queue and the mutex-guarded
// phase with it.
extern "C" const char* __tsan_default_suppressions() { return "race:libglib-2.0.so\nrace:libgio-2.0.so\n"; }
#endif

struct SuspendWatch::State {
  EventLoop* events = nullptr;  // the window thread's
  // Held by the watch alone; what the listener posts holds it weakly, so an
  // announcement still queued when the watch ends is dropped.
  std::shared_ptr<std::function<void()>> onSuspend;
  GMainContext* context = nullptr;
  GMainLoop* loop = nullptr;
  GCancellable* cancel = nullptr;
  std::thread thread;

  std::mutex mutex;
  std::condition_variable changed;
  enum class Phase { kConnecting, kListening, kGaveUp } phase = Phase::kConnecting;
  // Set by the watch's end before it asks the loop to quit, so a quit that
  // lands between two runs of the loop is not lost.
  std::atomic<bool> stopping{false};
  static constexpr guint kFirstWaitMs = 250;
  static constexpr guint kLongestWaitMs = 8000;

  void SetPhase(Phase p) {
    std::lock_guard<std::mutex> lock(mutex);
    phase = p;
    changed.notify_all();
  }

  // The listener's thread: everything GDBus calls back runs here, in the
  // thread's own main context, never on the window thread. A bus that goes
  // away after we were on it (the system bus restarted by an upgrade) is
  // tried again after a wait that doubles up to kLongestWaitMs, so a bus gone
  // for good costs a wake-up every few seconds, not a spinning thread. A bus
  // that was never there (a container) is not tried again.
  void Listen() {
    g_main_context_push_thread_default(context);
    bool wasOn = false;
    guint waitMs = kFirstWaitMs;
    while (!stopping.load()) {
      GDBusConnection* bus = Connect();
      if (bus) {
        if (ListenOn(bus)) wasOn = true, waitMs = kFirstWaitMs;
        g_object_unref(bus);
      }
      // Callbacks already queued for this context run and free here.
      while (g_main_context_iteration(context, FALSE)) {
      }
      if (!wasOn) {
        SetPhase(Phase::kGaveUp);
        break;
      }
      SetPhase(Phase::kConnecting);
      if (stopping.load()) break;
      GSource* wait = g_timeout_source_new(waitMs);
      g_source_set_callback(wait, &Quit, loop, nullptr);
      g_source_attach(wait, context);
      g_main_loop_run(loop);  // the wait, or the watch's end
      g_source_destroy(wait);
      g_source_unref(wait);
      waitMs = waitMs * 2 > kLongestWaitMs ? kLongestWaitMs : waitMs * 2;
    }
    g_main_context_pop_thread_default(context);
  }

  GDBusConnection* Connect() {
    GError* error = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, cancel, &error);
    // A connection of our own, not the process's shared one, so closing it
    // at the end leaves the settings dialog's and anyone else's alone.
    GDBusConnection* bus =
        address ? g_dbus_connection_new_for_address_sync(
                      address,
                      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                      nullptr, cancel, &error)
                : nullptr;
    g_free(address);
    g_clear_error(&error);
    if (bus) g_dbus_connection_set_exit_on_close(bus, FALSE);
    return bus;
  }

  // Subscribes and listens until the bus closes the connection or the watch
  // ends; false when the bus did not take the subscription.
  bool ListenOn(GDBusConnection* bus) {
    // Only the login manager's own announcement: the bus delivers this
    // signal to us only from whoever owns the login manager's name.
    const guint subscription = g_dbus_connection_signal_subscribe(
        bus, kLoginName, kManager, "PrepareForSleep", kLoginPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &OnSignal, this,
        nullptr);
    const gulong closed = g_signal_connect_swapped(bus, "closed", G_CALLBACK(&Quit), loop);
    // The bus handles one connection's messages in order: once it answers
    // this call, the subscription above is in place.
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "GetId", nullptr, nullptr,
                                                  G_DBUS_CALL_FLAGS_NONE, -1, cancel, nullptr);
    if (reply) g_variant_unref(reply);
    // A bus that closed before the loop runs has already said so: its
    // "closed" is queued on this context and quits the loop at once.
    if (reply) SetPhase(Phase::kListening);
    if (reply && !stopping.load()) g_main_loop_run(loop);
    g_signal_handler_disconnect(bus, closed);
    g_dbus_connection_signal_unsubscribe(bus, subscription);
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    return reply != nullptr;
  }

  static void OnSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
                       gpointer self) {
    // PrepareForSleep(true) comes before the sleep, (false) after waking.
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) return;
    gboolean sleeping = FALSE;
    g_variant_get(parameters, "(b)", &sleeping);
    if (!sleeping) return;
    State& s = *static_cast<State*>(self);
    s.events->Post([heard = std::weak_ptr<std::function<void()>>(s.onSuspend)] {
      if (auto fn = heard.lock()) (*fn)();
    });
  }

  static gboolean Quit(gpointer loop) {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_REMOVE;
  }
};

SuspendWatch::SuspendWatch(EventLoop& loop, std::function<void()> onSuspend) : state_(new State) {
  State& s = *state_;
  s.events = &loop;
  s.onSuspend = std::make_shared<std::function<void()>>(std::move(onSuspend));
  s.context = g_main_context_new();
  s.loop = g_main_loop_new(s.context, FALSE);
  s.cancel = g_cancellable_new();
  s.thread = std::thread([&s] { s.Listen(); });
}

SuspendWatch::~SuspendWatch() {
  State& s = *state_;
  if (s.thread.joinable()) {
    s.stopping.store(true);
    // Cuts a connection attempt short; a running loop is asked to quit
    // through its own context, which also reaches a loop not yet started.
    g_cancellable_cancel(s.cancel);
    GSource* quit = g_idle_source_new();
    g_source_set_callback(quit, &State::Quit, s.loop, nullptr);
    g_source_attach(quit, s.context);
    g_source_unref(quit);
    s.thread.join();
  }
  if (s.loop) g_main_loop_unref(s.loop);
  if (s.context) g_main_context_unref(s.context);
  if (s.cancel) g_object_unref(s.cancel);
  delete state_;
}

bool SuspendWatch::WaitListening(int timeoutMs) {
  State& s = *state_;
  std::unique_lock<std::mutex> lock(s.mutex);
  s.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                     [&s] { return s.phase != State::Phase::kConnecting; });
  return s.phase == State::Phase::kListening;
}

}  // namespace tk
