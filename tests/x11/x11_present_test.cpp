// What the X11 display presents: the saver's own frames, stepped on
// simulated time, leave the window exactly as the headless renderer draws
// the same size, seed and frames, whichever way the pixels travel (filled
// rectangles with no picture on the client, shared images, plain images), at
// 24 and 16 bits, for a window and for a monitor inside one. On the way a
// window covers part of it and goes again, leaving its own pixels behind (the
// window has no background the server would clear to), and the window starts
// with whatever lay under it: a repaint missed, cut short or put at the
// wrong place, a square that never reached the server, or a lit point the
// last frame's pieces do not hold fails here.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "core/clock.h"
#include "host/render_host.h"
#include "host/render_loop.h"
#include "host/resources.h"
#include "platform/offscreen/memory_display.h"
#include "platform/offscreen/memory_store.h"
#include "platform/x11/x11_display.h"
#include "tests/support/child_process.h"

namespace tk::x11 {
namespace {

// An Xvfb of the test's own and a connection to it.
class Server {
 public:
  bool Start(int depth) {
    found_ = test::HaveTool("Xvfb");
    if (!found_ || !server_.Start({"800x600x" + std::to_string(depth)}, {"-nolisten", "tcp", "-noreset"})) return false;
    dpy_ = XOpenDisplay(server_.name().c_str());
    return dpy_ != nullptr;
  }
  ~Server() {
    if (dpy_) XCloseDisplay(dpy_);
  }
  bool found() const { return found_; }
  ::Display* dpy() const { return dpy_; }
  const char* name() const { return server_.name().c_str(); }

 private:
  bool found_ = false;
  test::Xvfb server_;
  ::Display* dpy_ = nullptr;
};

struct Way {
  int present;   // 1 filled rectangles, -1 images, 0 the display's own choice
  bool shared;   // shared memory offered, or not (as for a remote server)
  bool monitor;  // the display stands for one monitor inside a larger window
  int depth;
  bool filled;   // what the display must end up using
};

class NoThread final : public ThreadStarter {
 public:
  bool Start(std::function<void()>, int32_t) override { return true; }
  void Join() override {}
};

// Steps the saver's scene on `display` for `frames` frames on simulated
// time, calling `between(frame)` after each.
template <typename Between>
void RunScene(Display& display, int frames, Between between) {
  SimulatedTickSource clock(20000, 3);
  InstallTickSource(&clock);
  struct Restore {
    ~Restore() { InstallTickSource(nullptr); }
  } restore;
  MemorySettingsStore store;
  NoThread noThread;
  HostPlatform platform{{&display}, store, EmbeddedResources(), noThread,
                        [](Settings& s) { s.starNumber = 500, s.objectVelocity = 9; }};
  RenderHost host(platform, 17);
  ASSERT_EQ(host.errorText(), nullptr);
  RenderLoop loop(host);
  loop.Begin();
  for (int frame = 1; frame <= frames; ++frame) {
    loop.Frame();
    between(frame);
  }
  ASSERT_NE(loop.current(), nullptr) << "no object on screen to compare";
  loop.End();
}

class PresentTest : public ::testing::TestWithParam<Way> {};

TEST_P(PresentTest, ScreenEqualsTheHeadlessRenderAfterFramesAndACover) {
  const Way way = GetParam();
  Server server;
  if (!server.Start(way.depth)) {
    if (!server.found()) GTEST_SKIP() << "Xvfb is not installed";
    FAIL() << "Xvfb did not start";
  }
  ::Display* dpy = server.dpy();
  const int screen = DefaultScreen(dpy);
  const Window root = RootWindow(dpy, screen);
  // No background: what the server loses stays as it was until we repaint.
  XSetWindowAttributes a{};
  a.background_pixmap = None;
  a.override_redirect = True;
  a.event_mask = ExposureMask;
  const int ww = 640, wh = 360;
  const Window win = XCreateWindow(dpy, root, 10, 20, ww, wh, 0, CopyFromParent, InputOutput, CopyFromParent,
                                   CWBackPixmap | CWOverrideRedirect | CWEventMask, &a);
  a.background_pixel = WhitePixel(dpy, screen);
  a.event_mask = 0;
  const Window cover = XCreateWindow(dpy, root, 200, 100, 300, 200, 0, CopyFromParent, InputOutput,
                                     CopyFromParent, CWBackPixel | CWOverrideRedirect, &a);
  XMapWindow(dpy, win);
  XSync(dpy, False);

  // The monitor overhangs the window's right edge, so the part of the scene
  // the window does not show is exercised too.
  const Rect area = way.monitor ? Rect{80, 30, 720, 330} : Rect{0, 0, ww, wh};
  X11PresentOptions options;
  options.sharedMemory = way.shared;
  if (way.present != 0) options.way = way.present > 0 ? X11PresentOptions::Way::kFill : X11PresentOptions::Way::kImages;
  auto made = way.monitor ? std::make_unique<X11Display>(server.name(), win, area, options)
                          : std::make_unique<X11Display>(server.name(), win, options);
  X11Display& display = *made;
  MemoryDisplay expected(area.Width(), area.Height(), way.depth == 16 ? 16 : 32);
  expected.clip = {Rect{0, 0, std::min(area.Width(), ww - area.left), area.Height()}};
  expected.SetScreenWidth(way.monitor ? area.Width() : DisplayWidth(dpy, screen));
  constexpr int kFrames = 450;
  RunScene(expected, kFrames, [](int) {});
  if (HasFatalFailure()) return;

  RunScene(display, kFrames, [&](int frame) {
    if (frame == 300) XMapRaised(dpy, cover);
    if (frame == 330) XUnmapWindow(dpy, cover);
    XSync(dpy, False);
    // What the window thread does with the server's Expose events.
    while (XPending(dpy)) {
      XEvent e;
      XNextEvent(dpy, &e);
      if (e.type == Expose)
        display.RequestRepaint(
            Rect{e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width, e.xexpose.y + e.xexpose.height});
    }
  });
  if (HasFatalFailure()) return;
  EXPECT_EQ(display.figures().filled, way.filled);
  EXPECT_EQ(display.figures().sharedMemory, !way.filled && way.shared);
  // Filled rectangles keep no picture of the screen on the client.
  EXPECT_EQ(display.figures().imageBytes == 0, way.filled);
  EXPECT_GE(display.figures().repaints, 2u);  // the start and the uncovered part

  const int shownWidth = std::min(ww, static_cast<int>(area.right)) - area.left;
  XImage* img = XGetImage(dpy, win, area.left, area.top, shownWidth, area.Height(), AllPlanes, ZPixmap);
  ASSERT_NE(img, nullptr);
  const uint32_t channels = way.depth == 16 ? 0xFFFFu : 0xFFFFFFu;
  long wrong = 0, lit = 0;
  for (int y = 0; y < area.Height(); ++y) {
    for (int x = 0; x < shownWidth; ++x) {
      const uint32_t shown = static_cast<uint32_t>(XGetPixel(img, x, y)) & channels;
      const uint32_t want = expected.PixelAt(x, y) & channels;
      lit += want != 0;
      if (shown != want && ++wrong <= 5)
        ADD_FAILURE() << "at " << x << "," << y << ": shown " << std::hex << shown << ", headless " << want;
    }
  }
  XDestroyImage(img);
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(lit, 1000);
}

INSTANTIATE_TEST_SUITE_P(Ways, PresentTest,
                         // Left to itself, a display this small (points of two
                         // pixels) sends shared images, and fills without them.
                         ::testing::Values(Way{1, true, false, 24, true}, Way{1, true, true, 24, true},
                                           Way{1, false, false, 16, true}, Way{1, true, true, 16, true},
                                           Way{-1, true, false, 24, false}, Way{-1, false, false, 24, false},
                                           Way{-1, true, true, 16, false}, Way{-1, false, true, 24, false},
                                           Way{0, true, false, 24, false}, Way{0, false, true, 16, true}),
                         [](const ::testing::TestParamInfo<Way>& info) {
                           const Way& w = info.param;
                           return std::string(w.present > 0 ? "Filled" : w.present < 0 ? "Put" : "Chosen") +
                                  (w.shared ? "Shared" : "Plain") + (w.monitor ? "Monitor" : "Window") +
                                  std::to_string(w.depth);
                         });

// A display that cannot be set up says what failed on X, not DirectDraw's
// words: no X display to connect to, or no window to draw into.
TEST(X11DisplayFailure, NamesWhatFailedOnX) {
  MemorySettingsStore store;
  StdThreadStarter threads;
  X11Display noServer("unix:/nonexistent/telkarim-no-server", 1);
  HostPlatform p{{&noServer}, store, EmbeddedResources(), threads, nullptr};
  RenderHost host(p, 1);
  EXPECT_STREQ(host.errorText(), "ERROR: Could not open the X display!");
  EXPECT_FALSE(host.threadStarted());

  Server server;
  if (!server.Start(24)) GTEST_SKIP() << "no Xvfb";
  X11Display noWindow(server.name(), 0x1fffff);
  HostPlatform q{{&noWindow}, store, EmbeddedResources(), threads, nullptr};
  RenderHost again(q, 1);
  EXPECT_STREQ(again.errorText(), "ERROR: Could not reach the X window to draw into!");
}

}  // namespace
}  // namespace tk::x11
