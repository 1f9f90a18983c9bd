// The saver program under an Xvfb of the test's own: stars on screen, drawing
// confined to the window it was given, the ways a run ends, and the displays
// it refuses.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "tests/support/child_process.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

#if defined(TK_SANITIZED)
constexpr int kSlack = 4;  // the sanitized program starts and stops slower
#else
constexpr int kSlack = 1;
#endif

const char* Program() {
  const char* p = std::getenv("TELKARIM_PROGRAM");
  return p ? p : TK_PROGRAM;
}

using tk::test::Reap;
using tk::test::SleepMs;
using tk::test::Spawn;
using tk::test::WaitExit;

void Sleep(int ms) { SleepMs(ms); }

// Looks at the screen every 100 ms until `count` gives more than `atLeast`
// lit pixels, for up to 20 s (a sanitized start on a busy machine is slow);
// the last count.
template <typename Count>
long WaitLit(Count count, long atLeast) {
  const auto end = Clock::now() + std::chrono::seconds(20 * kSlack);
  long lit = count();
  while (lit <= atLeast && Clock::now() < end) {
    Sleep(100);
    lit = count();
  }
  return lit;
}

// An Xvfb of the test's own and a connection to it; the program and xdotool
// run on it with a private settings folder.
class XServer {
 public:
  bool Start(const char* screen) {
    if (!server_.Start({screen}, {"-br", "-nolisten", "tcp", "-noreset"})) return false;
    name_ = server_.name();
    dpy_ = XOpenDisplay(name_.c_str());
    return dpy_ != nullptr;
  }
  ~XServer() {
    if (dpy_) XCloseDisplay(dpy_);
  }

  Display* dpy() const { return dpy_; }
  const std::string& name() const { return name_; }

  std::vector<std::string> Env() const {
    return {"DISPLAY=" + name_, "XDG_CONFIG_HOME=" + ConfigDir(), "ASAN_OPTIONS=detect_leaks=0",
            "WAYLAND_DISPLAY="};  // full screen on this X server even inside a Wayland session
  }
  pid_t Run(std::vector<std::string> args) const {
    args.insert(args.begin(), Program());
    return Spawn(args, Env());
  }
  // xdotool, waited for.
  void Tool(std::vector<std::string> args) const {
    args.insert(args.begin(), "xdotool");
    const pid_t pid = Spawn(args, Env());
    WaitExit(pid, 5000);
    Reap(pid);
  }

  // Pixels of the root window inside (or, with outside, outside) a rectangle
  // that are not black.
  long CountLit(int x, int y, int w, int h, bool outside = false) const {
    const int screen = DefaultScreen(dpy_);
    const int sw = DisplayWidth(dpy_, screen), sh = DisplayHeight(dpy_, screen);
    XImage* img = XGetImage(dpy_, RootWindow(dpy_, screen), 0, 0, static_cast<unsigned>(sw),
                            static_cast<unsigned>(sh), AllPlanes, ZPixmap);
    if (!img) return -1;
    const unsigned long black = BlackPixel(dpy_, screen);
    long lit = 0;
    for (int py = 0; py < sh; ++py)
      for (int px = 0; px < sw; ++px) {
        const bool inside = px >= x && px < x + w && py >= y && py < y + h;
        if (inside != outside && XGetPixel(img, px, py) != black) ++lit;
      }
    XDestroyImage(img);
    return lit;
  }
  long CountLitScreen() const { return CountLit(0, 0, 1 << 20, 1 << 20); }

  Window MakeWindow(int x, int y, int w, int h) const {
    const int screen = DefaultScreen(dpy_);
    XSetWindowAttributes a{};
    a.background_pixel = BlackPixel(dpy_, screen);
    a.override_redirect = True;  // stays where we put it with or without a window manager
    const Window win = XCreateWindow(dpy_, RootWindow(dpy_, screen), x, y, static_cast<unsigned>(w),
                                     static_cast<unsigned>(h), 0, CopyFromParent, InputOutput, CopyFromParent,
                                     CWBackPixel | CWOverrideRedirect, &a);
    XMapWindow(dpy_, win);
    XSync(dpy_, False);
    return win;
  }

 private:
  static std::string ConfigDir() {
    static const tk::test::ScratchDir dir("telkarim-x11-test");
    return dir.path().empty() ? "/tmp" : dir.path();
  }

  tk::test::Xvfb server_;
  std::string name_;
  Display* dpy_ = nullptr;
};

#define START_SERVER(server, screen)                                         \
  do {                                                                       \
    if (!tk::test::HaveTool("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";                \
    ASSERT_TRUE((server).Start(screen)) << "Xvfb did not start";             \
  } while (0)

// Full screen: stars appear, and a key ends the run with 0 within a second.
TEST(X11FullScreen, DrawsStarsAndEndsOnKey) {
  XServer x;
  START_SERVER(x, "640x480x24");
  const pid_t pid = x.Run({"/s"});
  EXPECT_GT(WaitLit([&] { return x.CountLitScreen(); }, 20), 20) << "no stars on a 24-bit screen";
  ASSERT_EQ(WaitExit(pid, 0), -1) << "ended on its own";
  x.Tool({"key", "a"});
  EXPECT_EQ(WaitExit(pid, 10000 * kSlack), 0);
  Reap(pid);
}

// The cursor may drift 4 pixels (|dx| + |dy|) from where it was at start;
// the fifth ends the run. Catches a threshold off by one and an anchor that
// moves with every small step.
TEST(X11FullScreen, PointerTravelOfFourKeepsFiveEnds) {
  XServer x;
  START_SERVER(x, "640x480x24");
  x.Tool({"mousemove", "100", "100"});
  const pid_t pid = x.Run({"/s"});
  Sleep(800 * kSlack);
  x.Tool({"mousemove", "101", "101"});
  Sleep(100);
  x.Tool({"mousemove", "102", "102"});
  EXPECT_EQ(WaitExit(pid, 500 * kSlack), -1) << "4 pixels of travel ended the saver";
  x.Tool({"mousemove", "103", "102"});
  EXPECT_EQ(WaitExit(pid, 10000 * kSlack), 0) << "5 pixels of travel did not end the saver";
  Reap(pid);
}

// A second full-screen start finds the first, exits 0 at once and leaves it
// running; SIGTERM then ends the first with 0. The bound is a hang guard,
// not a timing: a busy machine under the thread sanitizer has taken 800 ms.
TEST(X11FullScreen, SecondStartLeavesTheFirstAndTermEndsIt) {
  XServer x;
  START_SERVER(x, "640x480x24");
  const pid_t first = x.Run({"/s"});
  Sleep(800 * kSlack);
  const pid_t second = x.Run({"/s"});
  EXPECT_EQ(WaitExit(second, 10000 * kSlack), 0);
  Reap(second);
  EXPECT_EQ(WaitExit(first, 200), -1) << "the first saver ended";
  kill(first, SIGTERM);
  EXPECT_EQ(WaitExit(first, 10000 * kSlack), 0);
  Reap(first);
}

// A preview and a hack given a window draw into it and nowhere else, and end
// with 0 when that window is destroyed (no BadWindow crash).
void DrawsOnlyInsideAndEndsWithWindow(const char* option) {
  XServer x;
  START_SERVER(x, "640x480x24");
  const int wx = 100, wy = 80, ww = 240, wh = 180;
  const Window win = x.MakeWindow(wx, wy, ww, wh);
  const pid_t pid = x.Run({option, std::to_string(win)});
  EXPECT_GT(WaitLit([&] { return x.CountLit(wx, wy, ww, wh); }, 5), 5) << option << ": nothing drawn in the window";
  ASSERT_EQ(WaitExit(pid, 0), -1) << option << " ended on its own";
  Sleep(500);  // more frames for anything stray to show
  EXPECT_EQ(x.CountLit(wx, wy, ww, wh, true), 0) << option << ": drew outside the window";
  x.Tool({"key", "a"});
  EXPECT_EQ(WaitExit(pid, 300), -1) << option << " ended on a key";
  XDestroyWindow(x.dpy(), win);
  XSync(x.dpy(), False);
  EXPECT_EQ(WaitExit(pid, 10000 * kSlack), 0) << option;
  Reap(pid);
}

TEST(X11Preview, DrawsOnlyInsideParentAndEndsWithIt) {
  DrawsOnlyInsideAndEndsWithWindow("/p");
}

TEST(X11Hack, WindowIdDrawsOnlyInsideAndEndsWithIt) {
  DrawsOnlyInsideAndEndsWithWindow("-window-id");
}

// A hack follows its window's size: after the window grows, stars reach the
// new part (a display that kept its first image size would leave it black).
TEST(X11Hack, FollowsTheWindowsSize) {
  XServer x;
  START_SERVER(x, "640x480x24");
  const Window win = x.MakeWindow(0, 0, 200, 150);
  const pid_t pid = x.Run({"-window-id", std::to_string(win)});
  Sleep(800 * kSlack);
  XResizeWindow(x.dpy(), win, 600, 450);
  XSync(x.dpy(), False);
  EXPECT_GT(WaitLit([&] { return x.CountLit(200, 150, 400, 300); }, 5), 5) << "nothing drawn in the grown part";
  Sleep(500);  // more frames for anything stray to show
  EXPECT_EQ(x.CountLit(0, 0, 600, 450, true), 0) << "drew outside the window";
  kill(pid, SIGTERM);
  EXPECT_EQ(WaitExit(pid, 10000 * kSlack), 0);
  Reap(pid);
}

// A 256-colour server gets no stars, only the colours message, which first
// appears when error mode's 2.5-second timer fires.
TEST(X11Depth, EightBitShowsTheMessageAndNoStars) {
  XServer x;
  START_SERVER(x, "640x480x8");
  const pid_t pid = x.Run({"/s"});
  Sleep(1500);
  ASSERT_EQ(WaitExit(pid, 0), -1) << "ended on its own";
  EXPECT_EQ(x.CountLitScreen(), 0) << "something was drawn before the message";
  EXPECT_GT(WaitLit([&] { return x.CountLitScreen(); }, 50), 50) << "no message";
  x.Tool({"key", "a"});
  EXPECT_EQ(WaitExit(pid, 10000 * kSlack), 0);
  Reap(pid);
}

// 16-bit (5-6-5) servers are drawn on like 24-bit ones.
TEST(X11Depth, SixteenBitShowsStars) {
  XServer x;
  START_SERVER(x, "640x480x16");
  const pid_t pid = x.Run({"/s"});
  EXPECT_GT(WaitLit([&] { return x.CountLitScreen(); }, 20), 20);
  kill(pid, SIGTERM);
  EXPECT_EQ(WaitExit(pid, 10000 * kSlack), 0);
  Reap(pid);
}

}  // namespace
