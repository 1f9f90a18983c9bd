#include "platform/linux/suspend_watch.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include <gio/gio.h>

namespace tk {
namespace {

constexpr const char* kLoginName = "org.freedesktop.login1";
constexpr const char* kLoginPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";

}  // namespace

#if defined(__SANITIZE_THREAD__)
// GLib and GIO are not built with the thread sanitizer, so the locks inside
// them are invisible to it and GDBus's own worker thread looks racy. Our side
// of the listener shares only the pipe and the mutex-guarded phase with it.
extern "C" const char* __tsan_default_suppressions() { return "race:libglib-2.0.so\nrace:libgio-2.0.so\n"; }
#endif

struct SuspendWatch::State {
  int pipe[2] = {-1, -1};
  GMainContext* context = nullptr;
  GMainLoop* loop = nullptr;
  GCancellable* cancel = nullptr;
  std::thread thread;

  std::mutex mutex;
  std::condition_variable changed;
  enum class Phase { kConnecting, kListening, kGaveUp } phase = Phase::kConnecting;

  void SetPhase(Phase p) {
    std::lock_guard<std::mutex> lock(mutex);
    phase = p;
    changed.notify_all();
  }

  // The listener's thread: everything GDBus calls back runs here, in the
  // thread's own main context, never on the window thread.
  void Listen() {
    g_main_context_push_thread_default(context);
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
    if (!bus) {
      SetPhase(Phase::kGaveUp);
      g_main_context_pop_thread_default(context);
      return;
    }
    g_dbus_connection_set_exit_on_close(bus, FALSE);
    // Only the login manager's own announcement: the bus delivers this
    // signal to us only from whoever owns the login manager's name.
    const guint subscription = g_dbus_connection_signal_subscribe(
        bus, kLoginName, kManager, "PrepareForSleep", kLoginPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &OnSignal, this,
        nullptr);
    // The bus handles one connection's messages in order: once it answers
    // this call, the subscription above is in place.
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "GetId", nullptr, nullptr,
                                                  G_DBUS_CALL_FLAGS_NONE, -1, cancel, nullptr);
    if (reply) g_variant_unref(reply);
    SetPhase(reply ? Phase::kListening : Phase::kGaveUp);
    if (reply) g_main_loop_run(loop);
    g_dbus_connection_signal_unsubscribe(bus, subscription);
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
    // Callbacks already queued for this context run and free here.
    while (g_main_context_iteration(context, FALSE)) {
    }
    g_main_context_pop_thread_default(context);
  }

  static void OnSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
                       gpointer self) {
    // PrepareForSleep(true) comes before the sleep, (false) after waking.
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) return;
    gboolean sleeping = FALSE;
    g_variant_get(parameters, "(b)", &sleeping);
    if (!sleeping) return;
    const char b = 1;
    // The pipe only fills if the window thread stopped reading; one byte is
    // enough to wake it then.
    [[maybe_unused]] ssize_t n = write(static_cast<State*>(self)->pipe[1], &b, 1);
  }

  static gboolean Quit(gpointer loop) {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_REMOVE;
  }
};

SuspendWatch::SuspendWatch() : state_(new State) {
  State& s = *state_;
  if (::pipe(s.pipe) != 0) {
    s.pipe[0] = s.pipe[1] = -1;
    s.phase = State::Phase::kGaveUp;
    return;
  }
  for (int fd : s.pipe) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  s.context = g_main_context_new();
  s.loop = g_main_loop_new(s.context, FALSE);
  s.cancel = g_cancellable_new();
  s.thread = std::thread([&s] { s.Listen(); });
}

SuspendWatch::~SuspendWatch() {
  State& s = *state_;
  if (s.thread.joinable()) {
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
  for (int fd : s.pipe)
    if (fd >= 0) close(fd);
  delete state_;
}

int SuspendWatch::fd() const { return state_->pipe[0]; }

bool SuspendWatch::TakeAnnouncement() {
  if (state_->pipe[0] < 0) return false;
  bool any = false;
  char buf[64];
  ssize_t n;
  while ((n = read(state_->pipe[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) any = any || n > 0;
  return any;
}

bool SuspendWatch::WaitListening(int timeoutMs) {
  State& s = *state_;
  std::unique_lock<std::mutex> lock(s.mutex);
  s.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                     [&s] { return s.phase != State::Phase::kConnecting; });
  return s.phase == State::Phase::kListening;
}

}  // namespace tk
