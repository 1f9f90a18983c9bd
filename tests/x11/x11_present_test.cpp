// What the X11 display presents: after many frames of points erased and
// redrawn, the window shows exactly what the frame buffer holds, whichever
// way the pixels travel (filled rectangles read back from the frame, or
// images through shared memory or plain XPutImage), at 24 and 16 bits, and
// wherever the display sits in the window. A damage rectangle missed, cut short or put at
// the wrong place leaves a square behind and fails here.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "host/frame_buffer.h"
#include "host/render_host.h"
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
    if (!found_ || !server_.Start({"320x240x" + std::to_string(depth)}, {"-nolisten", "tcp", "-noreset"})) return false;
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

class PresentTest : public ::testing::TestWithParam<Way> {};

TEST_P(PresentTest, ScreenEqualsTheFrameBufferAfterManyFrames) {
  const Way way = GetParam();
  Server server;
  if (!server.Start(way.depth)) {
    if (!server.found()) GTEST_SKIP() << "Xvfb is not installed";
    FAIL() << "Xvfb did not start";
  }
  ::Display* dpy = server.dpy();
  const int screen = DefaultScreen(dpy);
  XSetWindowAttributes a{};
  a.background_pixel = BlackPixel(dpy, screen);
  a.override_redirect = True;
  const int ww = 240, wh = 180;
  const Window win = XCreateWindow(dpy, RootWindow(dpy, screen), 10, 20, ww, wh, 0, CopyFromParent, InputOutput,
                                   CopyFromParent, CWBackPixel | CWOverrideRedirect, &a);
  XMapWindow(dpy, win);
  XSync(dpy, False);

  // The monitor overhangs the window's right edge, so the part of the image
  // the window does not show is exercised too.
  const Rect area = way.monitor ? Rect{60, 30, 260, 170} : Rect{0, 0, ww, wh};
  X11PresentOptions options;
  options.sharedMemory = way.shared;
  if (way.present != 0) options.way = way.present > 0 ? X11PresentOptions::Way::kFill : X11PresentOptions::Way::kImages;
  auto made = way.monitor ? std::make_unique<X11Display>(server.name(), win, area, options)
                          : std::make_unique<X11Display>(server.name(), win, options);
  X11Display& display = *made;
  ASSERT_EQ(display.Open(), DisplayOpen::kOk);
  const uint32_t channels = way.depth == 16 ? 0xFFFFu : 0xFFFFFFu;

  int32_t w = 0, h = 0;
  display.ClientSize(w, h);
  ASSERT_EQ(w, area.Width());
  ASSERT_EQ(h, area.Height());
  MemoryDisplay expected(w, h, way.depth == 16 ? 16 : 32);
  expected.Open();
  expected.clip = {Rect{0, 0, std::min(w, ww - area.left), h}};

  // Points that wander a few pixels a frame, now and then jump, and are
  // erased before they are redrawn, as the star field and the objects do;
  // some hang over the edges, so the frame buffer drops their squares.
  struct Point {
    int32_t x, y;
    Colour colour;
  };
  uint32_t seed = 7;
  auto next = [&seed](int32_t n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int32_t>((seed >> 8) % static_cast<uint32_t>(n));
  };
  std::vector<Point> points(300);
  for (Point& p : points) p = Point{next(w + 8) - 4, next(h + 8) - 4, static_cast<Colour>(next(0xFFFFFF) + 1)};
  std::vector<Rect> visibleX, visibleM;
  for (int frame = 0; frame < 300; ++frame) {
    display.ClientSize(w, h);
    const int32_t side = 1 + frame % 4;
    FrameBuffer fb(display, visibleX);
    FrameBuffer ref(expected, visibleM);
    ASSERT_TRUE(fb.locked());
    ASSERT_EQ(visibleX, visibleM);
    for (int begin = 0; begin < static_cast<int>(points.size()); begin += 20) {
      for (int i = begin; i < begin + 20; ++i) {
        fb.FillSquare(points[i].x, points[i].y, side, 0);
        ref.FillSquare(points[i].x, points[i].y, side, 0);
      }
      for (int i = begin; i < begin + 20; ++i) {
        Point& p = points[i];
        if (next(20) == 0) {
          p.x = next(w + 8) - 4;
          p.y = next(h + 8) - 4;
        } else {
          p.x += next(7) - 3;
          p.y += next(7) - 3;
        }
        fb.FillSquare(p.x, p.y, side, p.colour);
        ref.FillSquare(p.x, p.y, side, p.colour);
      }
    }
  }
  // Filled rectangles keep the image in private memory.
  EXPECT_EQ(display.figures().filled, way.filled);
  EXPECT_EQ(display.figures().sharedMemory, !way.filled && way.shared);
  EXPECT_GE(display.figures().frames, 300u);

  XImage* img = XGetImage(dpy, win, 0, 0, ww, wh, AllPlanes, ZPixmap);
  ASSERT_NE(img, nullptr);
  long wrong = 0, outsideLit = 0;
  for (int y = 0; y < wh; ++y) {
    for (int x = 0; x < ww; ++x) {
      const uint32_t shown = static_cast<uint32_t>(XGetPixel(img, x, y)) & channels;
      const bool inArea = x >= area.left && x < area.right && y >= area.top && y < area.bottom;
      if (!inArea) {
        outsideLit += shown != 0;
        continue;
      }
      const uint32_t want = expected.PixelAt(x - area.left, y - area.top) & channels;
      if (shown != want && ++wrong <= 5) ADD_FAILURE() << "at " << x << "," << y << ": shown " << std::hex << shown
                                                       << ", frame buffer " << want;
    }
  }
  XDestroyImage(img);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(outsideLit, 0);
  display.Close();
}

INSTANTIATE_TEST_SUITE_P(Ways, PresentTest,
                         // Left to itself, a display this small (points of one
                         // pixel) sends shared images, and fills without them.
                         ::testing::Values(Way{1, true, false, 24, true}, Way{1, true, true, 24, true},
                                           Way{1, true, false, 16, true}, Way{-1, true, false, 24, false},
                                           Way{-1, false, false, 24, false}, Way{-1, true, true, 24, false},
                                           Way{-1, false, true, 24, false}, Way{0, true, false, 24, false},
                                           Way{0, false, false, 24, true}),
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
