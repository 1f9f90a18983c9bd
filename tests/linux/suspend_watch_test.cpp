// The suspend watch, with a private dbus-daemon playing the system bus and
// this test playing the login manager.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gio/gio.h>

#include "platform/linux/event_loop.h"
#include "platform/linux/suspend_watch.h"
#include "tests/support/child_process.h"

namespace tk {
namespace {

using Clock = std::chrono::steady_clock;

// Generous: the sanitizers and a busy two-core machine slow every start.
constexpr int kPatienceMs = 20000;

bool Readable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, ms) == 1 && (p.revents & POLLIN);
}

// Reads one line from fd within kPatienceMs.
std::string ReadLine(int fd) {
  std::string line;
  const auto end = Clock::now() + std::chrono::milliseconds(kPatienceMs);
  while (Clock::now() < end) {
    if (!Readable(fd, 100)) continue;
    char c;
    if (read(fd, &c, 1) != 1 || c == '\n') break;
    line += c;
  }
  return line;
}

using test::Stop;
using test::WaitExit;

// A watch on an event loop of its own, counting what it heard.
class Listener {
 public:
  Listener() : watch_(loop_, [this] { ++heard_, loop_.Stop(); }) {}
  SuspendWatch& watch() { return watch_; }
  // Runs the loop until an announcement arrives or ms pass; the number of
  // announcements heard so far.
  int HeardWithin(uint32_t ms) {
    const EventLoop::Id timer = loop_.AddTimer(ms, [this] { loop_.Stop(); });
    loop_.Run();
    loop_.Remove(timer);
    return heard_;
  }

 private:
  EventLoop loop_;
  int heard_ = 0;
  SuspendWatch watch_;
};

// A message bus of the test's own, with the session bus's rules, which let
// anyone own any name: the test can take the login manager's. With a socket
// path given, it listens there, so a bus started again is found at the same
// address, as the system bus is after a restart.
class PrivateBus {
 public:
  explicit PrivateBus(const std::string& socket = "") {
    std::string config;
    if (!socket.empty()) {
      config = socket + ".conf";
      FILE* f = fopen(config.c_str(), "w");
      if (!f) return;
      fprintf(f,
              "<busconfig><listen>unix:path=%s</listen><auth>EXTERNAL</auth>"
              "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
              "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n",
              socket.c_str());
      fclose(f);
    }
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const std::string print = "--print-address=" + std::to_string(fds[1]);
      const std::string with = "--config-file=" + config;
      const int devnull = open("/dev/null", O_WRONLY);
      dup2(devnull, 2);  // it complains that root may not raise its fd limit
      execl(TK_DBUS_DAEMON, TK_DBUS_DAEMON, config.empty() ? "--session" : with.c_str(), "--nofork", "--nopidfile",
            print.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    address_ = ReadLine(fds[0]);
    close(fds[0]);
  }
  ~PrivateBus() { Stop(pid_); }
  const std::string& address() const { return address_; }

 private:
  pid_t pid_ = -1;
  std::string address_;
};

// A client of the bus that sends PrepareForSleep; as the login manager it
// first takes the login manager's name.
class Sender {
 public:
  Sender(const std::string& address, bool asLoginManager) {
    conn_ = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (conn_ && asLoginManager) {
      GVariant* r = Call("RequestName", g_variant_new("(su)", "org.freedesktop.login1", 4u));  // do not queue
      guint32 result = 0;
      if (r) g_variant_get(r, "(u)", &result), g_variant_unref(r);
      owner_ = result == 1;  // primary owner
    }
  }
  ~Sender() {
    if (conn_) {
      g_dbus_connection_close_sync(conn_, nullptr, nullptr);
      g_object_unref(conn_);
    }
  }
  bool ok() const { return conn_ != nullptr; }
  bool owner() const { return owner_; }

  // Broadcasts the signal, then waits until the bus has taken it in (the bus
  // answers one client's messages in order).
  bool Announce(bool sleeping) {
    const gboolean sent =
        g_dbus_connection_emit_signal(conn_, nullptr, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                      "PrepareForSleep", g_variant_new("(b)", sleeping), nullptr);
    GVariant* r = Call("GetId", nullptr);
    if (r) g_variant_unref(r);
    return sent && r;
  }

 private:
  GVariant* Call(const char* method, GVariant* args) {
    return g_dbus_connection_call_sync(conn_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                       method, args, nullptr, G_DBUS_CALL_FLAGS_NONE, kPatienceMs, nullptr, nullptr);
  }

  GDBusConnection* conn_ = nullptr;
  bool owner_ = false;
};

#define START_BUS(bus)                                                 \
  PrivateBus bus;                                                      \
  ASSERT_FALSE((bus).address().empty()) << "dbus-daemon did not start"; \
  setenv("DBUS_SYSTEM_BUS_ADDRESS", (bus).address().c_str(), 1)

// Only the login manager's "going to sleep" counts: waking up, or anyone
// else on the bus saying the same words, must not end a saver.
TEST(SuspendWatch, HearsOnlyTheLoginManagerGoingToSleep) {
  START_BUS(bus);
  Sender login(bus.address(), true), stranger(bus.address(), false);
  ASSERT_TRUE(login.owner());
  ASSERT_TRUE(stranger.ok());
  Listener listener;
  ASSERT_TRUE(listener.watch().WaitListening(kPatienceMs));

  ASSERT_TRUE(login.Announce(false));
  ASSERT_TRUE(stranger.Announce(true));
  // Nothing to wait for here but time: a short look can only let a fault
  // through, never fail a sound watch.
  EXPECT_EQ(listener.HeardWithin(300), 0) << "heard a wake-up or a stranger";

  ASSERT_TRUE(login.Announce(true));
  EXPECT_EQ(listener.HeardWithin(kPatienceMs), 1) << "did not hear the suspend";
  EXPECT_EQ(listener.HeardWithin(300), 1) << "one announcement heard twice";
}

// The system bus restarted under a running watch: the watch finds it again
// and hears the login manager on the new bus.
TEST(SuspendWatch, HeardAgainAfterTheBusRestarts) {
  char dir[] = "/tmp/telkarim-bus-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string socket = std::string(dir) + "/system_bus_socket";
  std::optional<PrivateBus> bus(std::in_place, socket);
  ASSERT_FALSE(bus->address().empty()) << "dbus-daemon did not start";
  setenv("DBUS_SYSTEM_BUS_ADDRESS", bus->address().c_str(), 1);
  Listener listener;
  ASSERT_TRUE(listener.watch().WaitListening(kPatienceMs));
  for (int restart = 0; restart < 2; ++restart) {
    bus.reset();
    bus.emplace(socket);
    ASSERT_FALSE(bus->address().empty()) << "dbus-daemon did not start again";
    Sender login(bus->address(), true);
    ASSERT_TRUE(login.owner());
    // The watch cannot say when it is back: announce until it hears.
    int heard = restart;
    const auto end = Clock::now() + std::chrono::milliseconds(kPatienceMs);
    while (heard == restart && Clock::now() < end) {
      ASSERT_TRUE(login.Announce(true));
      heard = listener.HeardWithin(200);
    }
    EXPECT_EQ(heard, restart + 1) << "not heard after restart " << restart + 1;
  }
  bus.reset();
  std::filesystem::remove_all(dir);
}

// No system bus (a container, a minimal system): the watch gives up at once
// and quietly, and its end does not hang.
TEST(SuspendWatch, WithoutABusNothingChanges) {
  setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/telkarim-test-bus", 1);
  const auto t0 = Clock::now();
  {
    Listener listener;
    EXPECT_FALSE(listener.watch().WaitListening(kPatienceMs));
    EXPECT_EQ(listener.HeardWithin(0), 0);
  }
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(kPatienceMs));
}

// A saver that ends while the listener is still connecting or subscribing
// must not hang or crash on its way out.
TEST(SuspendWatch, EndsWhileStillConnecting) {
  START_BUS(bus);
  for (int i = 0; i < 20; ++i) {
    Listener listener;
    if (i % 2) std::this_thread::yield();
  }
  Listener last;
  EXPECT_TRUE(last.watch().WaitListening(kPatienceMs));
}

#if defined(TK_PROGRAM)
// An X server of the test's own.
class XServer {
 public:
  XServer() { server_.Start({"320x240x24"}, {"-nolisten", "tcp"}); }
  const std::string& display() const { return server_.name(); }

 private:
  test::Xvfb server_;
};

pid_t RunSaver(const XServer& x, const std::vector<std::string>& args) {
  static const test::ScratchDir configDir("telkarim-suspend-test");
  const pid_t pid = fork();
  if (pid != 0) return pid;
  setenv("DISPLAY", x.display().c_str(), 1);
  if (!configDir.path().empty()) setenv("XDG_CONFIG_HOME", configDir.path().c_str(), 1);
  setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
  std::vector<char*> argv{const_cast<char*>(TK_PROGRAM)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

// The saver in a window ends with 0 when the machine is about to sleep; a
// hack beside it does not (its daemon decides when it stops).
TEST(SuspendWatch, EndsTheWindowedSaverButNotAHack) {
  XServer x;
  if (x.display().empty()) GTEST_SKIP() << "no Xvfb";
  START_BUS(bus);
  Sender login(bus.address(), true);
  ASSERT_TRUE(login.owner());
  const pid_t windowed = RunSaver(x, {"--window", "200x150"});
  const pid_t hack = RunSaver(x, {"-window"});
  // The saver cannot say when it is listening: announce until it ends.
  int code = -1;
  const auto end = Clock::now() + std::chrono::milliseconds(kPatienceMs);
  while (code == -1 && Clock::now() < end) {
    login.Announce(true);
    code = WaitExit(windowed, 200);
  }
  EXPECT_EQ(code, 0) << "the windowed saver did not end on the suspend";
  login.Announce(true);
  EXPECT_EQ(WaitExit(hack, 300), -1) << "the hack ended on the suspend";
  Stop(windowed);
  Stop(hack);
}
#endif

}  // namespace
}  // namespace tk
