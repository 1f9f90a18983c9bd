// Several monitors: how a screen's monitors are cleaned up and cut out of a
// window, then the saver program under an Xvfb of the test's own with RandR
// monitors or several X screens, where every monitor must show a scene of its
// own centred on it (one scene centred on the whole desktop puts its centre
// on the seam between two monitors).
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "platform/x11/x11_monitors.h"
#include "tests/support/child_process.h"
#include "tests/support/monitor_layouts.h"
#include "tests/support/star_centre.h"

namespace {

using tk::Rect;
using tk::x11::ArrangeMonitors;
using tk::x11::FoundMonitor;
using tk::x11::MonitorsInWindow;
using Clock = std::chrono::steady_clock;

// ---- Which monitors get a scene, and where in the window ----

// The order both window systems share, on a screen just holding the layout.
TEST(MonitorLayout, SharedLayouts) {
  for (const tk::test::MonitorLayout& layout : tk::test::SharedMonitorLayouts()) {
    Rect screen;
    for (const FoundMonitor& m : layout.listed) screen = tk::Union(screen, m.area);
    EXPECT_EQ(ArrangeMonitors(layout.listed, screen.right, screen.bottom), layout.scenes) << layout.name;
  }
}

// Mirrored outputs show the same pixels: a second scene on them would be
// drawn over the first. Monitors reaching past the screen are clipped, and
// one wholly off it is dropped.
TEST(MonitorLayout, MirrorsAndMonitorsOffTheScreenAreLeftOut) {
  const std::vector<FoundMonitor> found = {{{0, 0, 1280, 1024}, false},
                                           {{0, 0, 1280, 1024}, true},     // clone of the first
                                           {{0, 0, 800, 600}, false},      // a smaller clone inside it
                                           {{1280, 0, 2000, 1024}, false},  // reaches past the right edge
                                           {{4000, 0, 4800, 600}, false}};  // off the screen
  EXPECT_EQ(ArrangeMonitors(found, 1920, 1024), (std::vector<Rect>{{0, 0, 1280, 1024}, {1280, 0, 1920, 1024}}));
  EXPECT_TRUE(ArrangeMonitors({}, 640, 480).empty());
}

// Monitors that leave the screen mostly bare make it one monitor; half is
// still enough. Pixels two monitors share count once, or two clones of a
// quarter would pass for half.
TEST(MonitorLayout, MonitorsCoveringLessThanHalfMakeTheScreenOneMonitor) {
  EXPECT_TRUE(ArrangeMonitors({{{0, 0, 1, 1}, false}, {{-50, -50, 50, 50}, false}}, 1920, 1080).empty());
  EXPECT_EQ(ArrangeMonitors({{{0, 0, 960, 1080}, true}}, 1920, 1080), (std::vector<Rect>{{0, 0, 960, 1080}}));
  EXPECT_TRUE(ArrangeMonitors({{{0, 0, 959, 1080}, true}}, 1920, 1080).empty());
  // Two diagonal monitors, a few columns short of half.
  EXPECT_TRUE(ArrangeMonitors({{{0, 0, 960, 540}, true}, {{960, 540, 1900, 1080}, false}}, 1920, 1080).empty());
  EXPECT_TRUE(tk::MonitorsCoverScreen({{0, 0, 960, 540}, {960, 540, 1920, 1080}}, {0, 0, 1920, 1080}));
  EXPECT_FALSE(tk::MonitorsCoverScreen({{0, 0, 960, 540}, {100, 100, 1060, 640}}, {0, 0, 1920, 1080}));
  // Edges at the ends of the 32-bit range neither overflow nor wrap.
  const Rect huge{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  EXPECT_TRUE(tk::MonitorsCoverScreen({huge}, huge));
  EXPECT_FALSE(tk::MonitorsCoverScreen({{INT32_MIN, INT32_MIN, 0, 0}}, huge));
  EXPECT_FALSE(tk::MonitorsCoverScreen({}, {0, 0, 0, 0}));
}

TEST(MonitorLayout, WindowIsCutOnlyWhenItHoldsAWholeMonitor) {
  const std::vector<Rect> two = {{0, 0, 1280, 1024}, {1280, 0, 2560, 1024}};
  // Full screen over both: both, in window coordinates.
  EXPECT_EQ(MonitorsInWindow(two, {0, 0, 2560, 1024}), two);
  // A hack's window placed over the second and part of the first: each
  // monitor it touches, the first only partly inside.
  EXPECT_EQ(MonitorsInWindow(two, {1000, 0, 2560, 1024}),
            (std::vector<Rect>{{-1000, 0, 280, 1024}, {280, 0, 1560, 1024}}));
  // A preview-sized window, on one monitor or across the seam: one scene.
  EXPECT_TRUE(MonitorsInWindow(two, {100, 100, 400, 300}).empty());
  EXPECT_TRUE(MonitorsInWindow(two, {1200, 100, 1400, 300}).empty());
  // The common desktop, one monitor that is the whole screen: as always.
  EXPECT_TRUE(MonitorsInWindow({{0, 0, 1920, 1080}}, {0, 0, 1920, 1080}).empty());
  EXPECT_TRUE(MonitorsInWindow({}, {0, 0, 1920, 1080}).empty());
  // A screen larger than its one monitor: the scene is centred on the monitor.
  EXPECT_EQ(MonitorsInWindow({{0, 0, 1280, 1024}}, {0, 0, 1920, 1080}), (std::vector<Rect>{{0, 0, 1280, 1024}}));
}

// ---- The program on Xvfb ----

#if defined(TK_SANITIZED)
constexpr int kSlack = 4;
#else
constexpr int kSlack = 1;
#endif

const char* Program() {
  const char* p = std::getenv("TELKARIM_PROGRAM");
  return p ? p : TK_PROGRAM;
}

bool HaveTools() { return tk::test::HaveTool("Xvfb") && tk::test::HaveTool("xrandr") && tk::test::HaveTool("xdotool"); }

using tk::test::CentreEstimate;
using tk::test::Reap;
using tk::test::Star;
using tk::test::kStarsRed;
using tk::test::WaitExit;

// The program's standard output is not the test's.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
  return tk::test::Spawn(argv, extraEnv, true);
}

// A monitor: the X screen it is on and its place on that screen.
struct Monitor {
  int screen;
  Rect area;
};

// One Xvfb with any number of screens on a display number it picks itself,
// started with -noreset so the RandR monitors made by xrandr outlive it.
class XServer {
 public:
  bool Start(const std::vector<std::string>& screens) {
    if (!server_.Start(screens, {"-br", "-nolisten", "tcp", "-noreset"})) return false;
    name_ = server_.name();
    dpy_ = XOpenDisplay(name_.c_str());
    return dpy_ != nullptr;
  }
  // A resizable Xephyr of `size` shown on `outer`.
  bool StartNested(const XServer& outer, const std::string& size) {
    if (!server_.StartNested(outer.name_, size)) return false;
    name_ = server_.name();
    dpy_ = XOpenDisplay(name_.c_str());
    return dpy_ != nullptr;
  }
  ~XServer() {
    if (dpy_) XCloseDisplay(dpy_);
    std::error_code ignored;
    if (!config_.empty()) std::filesystem::remove_all(config_, ignored);
  }

  std::vector<std::string> Env() {
    if (config_.empty()) {
      char tmpl[] = "/tmp/telkarim-monitors-test-XXXXXX";
      if (const char* d = mkdtemp(tmpl)) config_ = d;
    }
    return {"DISPLAY=" + name_, "XDG_CONFIG_HOME=" + config_, "ASAN_OPTIONS=detect_leaks=0",
            "WAYLAND_DISPLAY="};  // full screen on this X server even inside a Wayland session
  }
  // The saver's settings file for the next runs (full screen takes no
  // settings on its command line).
  void WriteSettings(const char* text) {
    Env();
    const std::string dir = config_ + "/telkarim";
    mkdir(dir.c_str(), 0700);
    if (FILE* f = std::fopen((dir + "/settings.reg").c_str(), "w")) {
      std::fputs(text, f);
      std::fclose(f);
    }
  }
  pid_t Run(std::vector<std::string> args) {
    args.insert(args.begin(), Program());
    return Spawn(args, Env());
  }
  // A tool (xrandr, xdotool), waited for; its exit code.
  int Tool(const std::vector<std::string>& args) {
    const pid_t pid = Spawn(args, Env());
    const int code = WaitExit(pid, 10000);
    Reap(pid);
    return code;
  }
  // RandR monitors in place of the screen's own: the first takes the
  // screen's output, the others none, as on a desktop split by hand.
  bool SetMonitors(const std::vector<Rect>& monitors) {
    for (size_t i = 0; i < monitors.size(); ++i) {
      const Rect& m = monitors[i];
      const std::string geometry = std::to_string(m.Width()) + "/300x" + std::to_string(m.Height()) + "/200+" +
                                   std::to_string(m.left) + "+" + std::to_string(m.top);
      if (Tool({"xrandr", "--setmonitor", "M" + std::to_string(i), geometry, i == 0 ? "screen" : "none"}) != 0)
        return false;
    }
    return true;
  }

  // One look at every monitor: its stars, and the pixels lit outside every
  // monitor, added to `stray`.
  std::vector<std::vector<Star>> Look(const std::vector<Monitor>& monitors, long& stray) {
    std::vector<std::vector<Star>> stars(monitors.size());
    for (int s = 0; s < ScreenCount(dpy_); ++s) {
      int sw = 0, sh = 0;
      Size(s, sw, sh);
      XImage* img = XGetImage(dpy_, RootWindow(dpy_, s), 0, 0, static_cast<unsigned>(sw), static_cast<unsigned>(sh),
                              AllPlanes, ZPixmap);
      if (!img) continue;
      const unsigned long black = BlackPixel(dpy_, s);
      const Visual* v = DefaultVisual(dpy_, s);
      // Stars are pure red (see kStarsRed); the objects and pictures only
      // count as drawn off the monitors.
      std::vector<uint8_t> red(static_cast<size_t>(sw) * static_cast<size_t>(sh));
      for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x) {
          const unsigned long pixel = XGetPixel(img, x, y);
          if (pixel == black) continue;
          red[static_cast<size_t>(y) * sw + x] =
              (pixel & v->red_mask) != 0 && (pixel & (v->green_mask | v->blue_mask)) == 0;
          bool onMonitor = false;
          for (const Monitor& m : monitors)
            onMonitor = onMonitor || (m.screen == s && x >= m.area.left && x < m.area.right && y >= m.area.top &&
                                      y < m.area.bottom);
          if (!onMonitor) ++stray;
        }
      XDestroyImage(img);
      // Each run of touching red pixels inside a monitor is a star.
      for (size_t i = 0; i < monitors.size(); ++i) {
        const Rect& r = monitors[i].area;
        if (monitors[i].screen != s) continue;
        std::vector<std::pair<int, int>> todo;
        for (int y = r.top; y < r.bottom; ++y)
          for (int x = r.left; x < r.right; ++x) {
            if (!red[static_cast<size_t>(y) * sw + x]) continue;
            double n = 0, sx = 0, sy = 0;
            todo.assign(1, {x, y});
            red[static_cast<size_t>(y) * sw + x] = 0;
            while (!todo.empty()) {
              const auto [px, py] = todo.back();
              todo.pop_back();
              n += 1;
              sx += px;
              sy += py;
              for (const auto& [qx, qy] : {std::pair{px + 1, py}, {px - 1, py}, {px, py + 1}, {px, py - 1}}) {
                if (qx < r.left || qx >= r.right || qy < r.top || qy >= r.bottom) continue;
                uint8_t& q = red[static_cast<size_t>(qy) * sw + qx];
                if (q) {
                  q = 0;
                  todo.push_back({qx, qy});
                }
              }
            }
            stars[i].push_back(Star{sx / n + 0.5 - r.left, sy / n + 0.5 - r.top});
          }
      }
    }
    return stars;
  }

  Display* dpy() const { return dpy_; }

  // A screen's size as it is now (the test's connection hears of no change).
  void Size(int screen, int& width, int& height) const {
    Window root = 0;
    int x = 0, y = 0;
    unsigned w = 0, h = 0, border = 0, depth = 0;
    XGetGeometry(dpy_, RootWindow(dpy_, screen), &root, &x, &y, &w, &h, &border, &depth);
    width = static_cast<int>(w);
    height = static_cast<int>(h);
  }
  // Pixels of screen 0 showing the root window's colour: the desktop.
  long DesktopPixels() {
    int sw = 0, sh = 0;
    Size(0, sw, sh);
    XImage* img = XGetImage(dpy_, RootWindow(dpy_, 0), 0, 0, static_cast<unsigned>(sw), static_cast<unsigned>(sh),
                            AllPlanes, ZPixmap);
    if (!img) return -1;
    long count = 0;
    for (int y = 0; y < sh; ++y)
      for (int x = 0; x < sw; ++x) count += XGetPixel(img, x, y) == kDesktop;
    XDestroyImage(img);
    return count;
  }
  // The desktop's colour: red, with a touch of blue no star or object has.
  static constexpr unsigned long kDesktop = 0xff0001;
  void PaintDesktop() { Tool({"xsetroot", "-solid", "#ff0001"}); }

 private:
  tk::test::Xvfb server_;
  std::string name_, config_;
  Display* dpy_ = nullptr;
};


#define START_SERVER(server, ...)                                       \
  do {                                                                  \
    if (!HaveTools()) GTEST_SKIP() << "Xvfb, xrandr or xdotool missing"; \
    ASSERT_TRUE((server).Start(__VA_ARGS__)) << "Xvfb did not start";   \
  } while (0)

// Starts the program with `args` and checks that every monitor shows a scene
// centred on itself: stars on each (waited for), and the lit pixels of a
// dozen looks, half a second apart, centred on the monitor within a tenth of
// its size (a scene centred on the whole desktop puts a side-by-side
// monitor's centroid a quarter or more off). Nothing is drawn off the
// monitors. Returns the running program.
void ExpectCentred(XServer& x, pid_t pid, const std::vector<Monitor>& monitors) {
  long stray = 0;
  std::vector<std::vector<Star>> last;
  const auto end = Clock::now() + std::chrono::seconds(20 * kSlack);
  bool allLit = false;
  // A scene that just ended may leave its pixels until its place is cleared.
  while ((!allLit || stray != 0) && Clock::now() < end && WaitExit(pid, 100) == -1) {
    stray = 0;
    last = x.Look(monitors, stray);
    allLit = true;
    for (const auto& stars : last) allLit = allLit && stars.size() >= 20;
  }
  EXPECT_TRUE(allLit) << "a monitor stayed dark";
  if (!allLit) return;
  stray = 0;
  std::vector<CentreEstimate> centres(monitors.size());
  for (int look = 0; look < 20; ++look) {
    const auto now = x.Look(monitors, stray);
    for (size_t i = 0; i < monitors.size(); ++i) centres[i].AddPair(last[i], now[i]);
    last = now;
  }
  for (size_t i = 0; i < monitors.size(); ++i) {
    const Rect& r = monitors[i].area;
    const double cx = centres[i].X() / r.Width(), cy = centres[i].Y() / r.Height();
    EXPECT_NEAR(cx, 0.5, 0.1) << "monitor " << i << " (screen " << monitors[i].screen << ", "
                                           << r.Width() << "x" << r.Height() << "+" << r.left << "+" << r.top
                                           << "): stars not centred across";
    EXPECT_NEAR(cy, 0.5, 0.1) << "monitor " << i << ": stars not centred down";
    if (std::getenv("TK_SHOW_CENTRES"))
      std::printf("monitor %zu: centre %.3f %.3f from %zu moves\n", i, cx, cy, centres[i].moves());
  }
  EXPECT_EQ(stray, 0) << "drew where no monitor is";
}

pid_t ExpectSceneOnEveryMonitor(XServer& x, std::vector<std::string> args, const std::vector<Monitor>& monitors) {
  x.WriteSettings(kStarsRed);
  const pid_t pid = x.Run(args);
  ExpectCentred(x, pid, monitors);
  return pid;
}

void ExpectEndsOnKey(XServer& x, pid_t pid) {
  ASSERT_EQ(WaitExit(pid, 0), -1) << "ended on its own";
  x.Tool({"xdotool", "key", "a"});
  EXPECT_EQ(WaitExit(pid, 10000 * kSlack), 0) << "a key did not end the saver with 0";
  Reap(pid);
}

// Full screen on one screen cut into RandR monitors, in the layouts people
// have: each monitor a scene of its own, and a key ends it.
void FullScreenOnMonitors(const char* screen, const std::vector<Rect>& layout) {
  XServer x;
  START_SERVER(x, {screen});
  ASSERT_TRUE(x.SetMonitors(layout)) << "xrandr --setmonitor failed";
  std::vector<Monitor> monitors;
  for (const Rect& r : layout) monitors.push_back(Monitor{0, r});
  const pid_t pid = ExpectSceneOnEveryMonitor(x, {"/s"}, monitors);
  ExpectEndsOnKey(x, pid);
}

TEST(X11Monitors, TwoSideBySide) {
  FullScreenOnMonitors("1600x600x24", {{0, 0, 800, 600}, {800, 0, 1600, 600}});
}

// The monitor that carries the screen's output on the right, the other to
// its left (X has no negative coordinates: the left one starts at 0).
TEST(X11Monitors, OutputMonitorOnTheRight) {
  FullScreenOnMonitors("1600x600x24", {{800, 0, 1600, 600}, {0, 0, 800, 600}});
}

TEST(X11Monitors, ThreeWithTheOutputInTheMiddle) {
  FullScreenOnMonitors("1920x480x24", {{640, 0, 1280, 480}, {0, 0, 640, 480}, {1280, 0, 1920, 480}});
}

// Below the smaller monitor no monitor shows anything: nothing may be drawn
// there.
TEST(X11Monitors, TwoOfDifferentSizes) {
  FullScreenOnMonitors("1440x768x24", {{0, 0, 1024, 768}, {1024, 0, 1440, 312}});
}

// Two X screens: both covered, each its own scene; input on the second screen
// ends the run too, and a second start still finds the first.
TEST(X11Monitors, TwoScreens) {
  XServer x;
  START_SERVER(x, {"800x600x24", "640x480x24"});
  const pid_t pid = ExpectSceneOnEveryMonitor(x, {"/s"}, {{0, {0, 0, 800, 600}}, {1, {0, 0, 640, 480}}});
  const pid_t second = x.Run({"/s"});
  EXPECT_EQ(WaitExit(second, 10000 * kSlack), 0) << "a second start did not find the first";
  Reap(second);
  ASSERT_EQ(WaitExit(pid, 0), -1) << "the first saver ended";
  // A click on the second screen's window.
  x.Tool({"xdotool", "mousemove", "--screen", "1", "320", "240", "click", "1"});
  EXPECT_EQ(WaitExit(pid, 10000 * kSlack), 0) << "input on the second screen did not end the saver with 0";
  Reap(pid);
}

// A hack on the root window of a screen of two monitors gives each its
// scene, as XScreenSaver gives each monitor its own hack.
TEST(X11Monitors, HackOnTheRootWindowDrawsEveryMonitor) {
  XServer x;
  START_SERVER(x, {"1600x600x24"});
  ASSERT_TRUE(x.SetMonitors({{0, 0, 800, 600}, {800, 0, 1600, 600}}));
  const pid_t pid = ExpectSceneOnEveryMonitor(x, {"-root"}, {{0, {0, 0, 800, 600}}, {0, {800, 0, 1600, 600}}});
  kill(pid, SIGTERM);
  EXPECT_EQ(WaitExit(pid, 10000 * kSlack), 0);
  Reap(pid);
}

// ---- A desktop that changes while the saver runs ----

// Monitors set and deleted while the saver and a hack on the root run: a
// monitor that came gets a scene centred on itself, and once it went its
// scene stops and its place is cleared, the neighbour's scene centred on
// the neighbour.
TEST(X11Monitors, MonitorsThatComeAndGo) {
  for (const char* mode : {"/s", "-root"}) {
    SCOPED_TRACE(mode);
    XServer x;
    START_SERVER(x, {"1600x600x24"});
    const Monitor left{0, {0, 0, 800, 600}}, right{0, {800, 0, 1600, 600}};
    ASSERT_TRUE(x.SetMonitors({left.area}));
    const pid_t pid = ExpectSceneOnEveryMonitor(x, {mode}, {left});
    ASSERT_EQ(x.Tool({"xrandr", "--setmonitor", "M1", "800/300x600/200+800+0", "none"}), 0);
    ExpectCentred(x, pid, {left, right});
    ASSERT_EQ(x.Tool({"xrandr", "--delmonitor", "M1"}), 0);
    ExpectCentred(x, pid, {left});
    if (std::string(mode) == "/s") {
      ExpectEndsOnKey(x, pid);
    } else {
      kill(pid, SIGTERM);
      EXPECT_EQ(WaitExit(pid, 10000 * kSlack), 0);
      Reap(pid);
    }
  }
}

// Monitors that leave nearly all of the screen bare (a 1x1 one and one
// reaching off the top-left corner): the screen is one monitor, its scene
// reaching every quarter of it, and no pixel of the desktop shows.
TEST(X11Monitors, MonitorsCoveringTooLittle) {
  XServer x;
  START_SERVER(x, {"1920x1080x24"});
  ASSERT_EQ(x.Tool({"xrandr", "--setmonitor", "M0", "1/1x1/1+0+0", "screen"}), 0);
  ASSERT_EQ(x.Tool({"xrandr", "--setmonitor", "M1", "100/26x100/26+-50+-50", "none"}), 0);
  x.PaintDesktop();
  x.WriteSettings(kStarsRed);
  const pid_t pid = x.Run({"/s"});
  const std::vector<Monitor> quarters = {
      {0, {0, 0, 960, 540}}, {0, {960, 0, 1920, 540}}, {0, {0, 540, 960, 1080}}, {0, {960, 540, 1920, 1080}}};
  const auto end = Clock::now() + std::chrono::seconds(20 * kSlack);
  bool allLit = false;
  while (!allLit && Clock::now() < end && WaitExit(pid, 100) == -1) {
    long stray = 0;
    allLit = true;
    for (const auto& stars : x.Look(quarters, stray)) allLit = allLit && stars.size() >= 20;
  }
  EXPECT_TRUE(allLit) << "a quarter of the screen has no stars";
  EXPECT_EQ(x.DesktopPixels(), 0);
  ExpectEndsOnKey(x, pid);
}

// A screen that grows under the saver is covered to its new edges within a
// few frames; one that shrinks under the pointer moves the pointer, which is
// not the user's doing: the saver runs on, and a key still ends it.
TEST(X11Monitors, ScreenGrowsAndShrinks) {
  if (!tk::test::HaveTool("Xephyr")) GTEST_SKIP() << "Xephyr missing";
  XServer outer;
  START_SERVER(outer, {"1700x1300x24"});
  XServer x;
  ASSERT_TRUE(x.StartNested(outer, "1024x768")) << "Xephyr did not start";
  x.PaintDesktop();
  ASSERT_EQ(x.Tool({"xdotool", "mousemove", "900", "700"}), 0);
  x.WriteSettings(kStarsRed);
  const pid_t pid = x.Run({"/s"});
  const auto covered = [&](int width, int height) {
    const auto end = Clock::now() + std::chrono::seconds(20 * kSlack);
    int w = 0, h = 0;
    long shown = -1;
    while (Clock::now() < end && WaitExit(pid, 100) == -1) {
      x.Size(0, w, h);
      shown = x.DesktopPixels();
      if (w == width && h == height && shown == 0) return true;
    }
    ADD_FAILURE() << w << "x" << h << ", " << shown << " desktop pixels";
    return false;
  };
  ASSERT_TRUE(covered(1024, 768));
  ASSERT_EQ(x.Tool({"xrandr", "-s", "1600x1200"}), 0);
  EXPECT_TRUE(covered(1600, 1200)) << "the grown screen shows the desktop";
  ASSERT_EQ(x.Tool({"xrandr", "-s", "800x600"}), 0);
  EXPECT_TRUE(covered(800, 600));
  // Nothing to wait for but time: a short look can only let a fault through.
  EXPECT_EQ(WaitExit(pid, 1500), -1) << "the pointer the server moved ended the saver";
  ExpectEndsOnKey(x, pid);
}

}  // namespace
