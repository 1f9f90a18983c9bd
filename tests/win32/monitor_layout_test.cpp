// Monitors on Windows: finding each monitor's pixels in a DirectDraw surface
// without ever locking outside it, and cutting the window's visible
// rectangles to a monitor.
#include <gtest/gtest.h>

#include "platform/win32/monitor_layout.h"
#include "tests/support/monitor_layouts.h"

namespace tk::win32 {
namespace {

const Rect kLeft{0, 0, 1280, 1024};
const Rect kRight{1280, 0, 2560, 1024};

// Every way a surface can relate to a monitor; a wrong answer either draws a
// monitor's scene onto another one or locks beyond the surface.
TEST(PlaceMonitor, OwnSurfaceWholeDesktopOrUnreachable) {
  const Rect desktop{0, 0, 2560, 1024};
  // A device of its own: the surface is the monitor, from (0, 0).
  SurfacePlace p = PlaceMonitor(kRight, desktop, 1280, 1024, false);
  EXPECT_TRUE(p.reachable);
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 0);
  // One surface over the whole desktop: the monitor's offset in it.
  p = PlaceMonitor(kRight, desktop, 2560, 1024, true);
  EXPECT_TRUE(p.reachable);
  EXPECT_EQ(p.x, 1280);
  // A shared device whose surface is the primary's size shows the primary
  // only: the second monitor must not draw into it...
  EXPECT_FALSE(PlaceMonitor(kRight, desktop, 1280, 1024, true).reachable);
  // ...while the primary itself does.
  EXPECT_TRUE(PlaceMonitor(kLeft, desktop, 1280, 1024, true).reachable);
  // A surface of neither size (a mode change under way): no lock at all.
  EXPECT_FALSE(PlaceMonitor(kRight, desktop, 1024, 768, false).reachable);
  EXPECT_FALSE(PlaceMonitor(Rect{}, desktop, 0, 0, false).reachable);
}

// With the primary on the right, the desktop starts at negative x and the
// surface's (0, 0) is the desktop's top-left, not the primary's.
TEST(PlaceMonitor, NegativeCoordinatesAndUnequalSizes) {
  const Rect left{-1024, 100, 0, 868};  // 1024x768, lower than the primary's top
  const Rect primary{0, 0, 1280, 1024};
  const Rect desktop{-1024, 0, 1280, 1024};
  SurfacePlace p = PlaceMonitor(left, desktop, 2304, 1024, true);
  ASSERT_TRUE(p.reachable);
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 100);
  p = PlaceMonitor(primary, desktop, 2304, 1024, true);
  ASSERT_TRUE(p.reachable);
  EXPECT_EQ(p.x, 1024);
  EXPECT_EQ(p.y, 0);
  // Its own device with its own 1024x768 surface.
  p = PlaceMonitor(left, desktop, 1024, 768, false);
  ASSERT_TRUE(p.reachable);
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 0);
}

// Property: for every monitor of a few layouts and every surface size
// offered, a reachable place keeps the whole monitor inside the surface.
TEST(PlaceMonitor, NeverOutsideTheSurface) {
  const std::vector<std::vector<Rect>> layouts = {
      {kLeft, kRight},
      {Rect{0, 0, 1280, 1024}, Rect{-1280, 0, 0, 1024}},
      {Rect{0, 0, 800, 600}, Rect{-640, 0, 0, 480}, Rect{800, -200, 1824, 568}},
  };
  for (const auto& monitors : layouts) {
    Rect desktop = monitors.front();
    for (const Rect& m : monitors) desktop = Union(desktop, m);
    for (const Rect& m : monitors)
      for (int32_t w : {640, 800, 1024, 1280, 1824, 2560, desktop.Width()})
        for (int32_t h : {480, 568, 600, 768, 1024, desktop.Height()})
          for (bool shared : {false, true}) {
            const SurfacePlace p = PlaceMonitor(m, desktop, w, h, shared);
            if (!p.reachable) continue;
            EXPECT_GE(p.x, 0);
            EXPECT_GE(p.y, 0);
            EXPECT_LE(p.x + m.Width(), w);
            EXPECT_LE(p.y + m.Height(), h);
          }
  }
}

// The desktop changes under a running saver: until the screens are built
// again, a lock sized for the old desktop must not be taken on the new,
// smaller surface; the screens built again find the new layout.
TEST(PlaceMonitor, DesktopChangedUnderTheSaver) {
  // One monitor, 1920x1080 switched to 1024x768: the window's old client area
  // does not fit; the window moved over the new desktop does.
  EXPECT_FALSE(LockFits(Rect{0, 0, 1920, 1080}, 1024, 768));
  EXPECT_TRUE(LockFits(Rect{0, 0, 1024, 768}, 1024, 768));
  EXPECT_FALSE(LockFits(Rect{-1, 0, 100, 100}, 1024, 768));
  EXPECT_FALSE(LockFits(Rect{0, 0, 0, 768}, 1024, 768));
  // Two monitors on one desktop-wide surface; the right one unplugged: its
  // old place lies beyond the surface that remains.
  const Rect desktop{0, 0, 2560, 1024};
  const SurfacePlace before = PlaceMonitor(kRight, desktop, 2560, 1024, true);
  ASSERT_TRUE(before.reachable);
  EXPECT_FALSE(LockFits(Rect{before.x, before.y, before.x + kRight.Width(), before.y + kRight.Height()}, 1280, 1024));
  // A monitor plugged in on the left, made the primary: it leads the new order.
  const std::vector<Rect> after{kLeft, kRight, Rect{-1280, 0, 0, 1024}};
  EXPECT_EQ(HostOrder(after, 2), (std::vector<size_t>{2, 0, 1}));
}

// The clip list arrives in desktop coordinates; each monitor sees only its
// own part, from its own (0, 0).
TEST(VisibleOnMonitor, CutsAndMovesIntoTheMonitor) {
  std::vector<Rect> out{Rect{1, 2, 3, 4}};
  // The window over the whole desktop.
  VisibleOnMonitor({Rect{0, 0, 2560, 1024}}, kRight, out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], (Rect{0, 0, 1280, 1024}));
  // A window covering the seam splits the visible area in two pieces; the
  // piece on the left monitor is left out for the right one.
  VisibleOnMonitor({Rect{0, 0, 2560, 300}, Rect{0, 300, 1200, 500}, Rect{1400, 300, 2560, 500}}, kRight, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], (Rect{0, 0, 1280, 300}));
  EXPECT_EQ(out[1], (Rect{120, 300, 1280, 500}));
  // Negative desktop coordinates.
  VisibleOnMonitor({Rect{-1280, 0, 1280, 1024}}, Rect{-1280, 0, 0, 1024}, out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], (Rect{0, 0, 1280, 1024}));
  // Touching the monitor's edge is not on it.
  VisibleOnMonitor({Rect{0, 0, 1280, 1024}}, kRight, out);
  EXPECT_TRUE(out.empty());
}

// The order both window systems share; a monitor in another place would get
// another monitor's scene.
TEST(HostOrder, SharedLayouts) {
  for (const test::MonitorLayout& layout : test::SharedMonitorLayouts()) {
    std::vector<Rect> bounds;
    int primary = -1;
    for (const MonitorArea& m : layout.listed) {
      if (m.primary) primary = static_cast<int>(bounds.size());
      bounds.push_back(m.area);
    }
    std::vector<Rect> scenes;
    for (size_t i : HostOrder(bounds, primary)) scenes.push_back(bounds[i]);
    EXPECT_EQ(scenes, layout.scenes) << layout.name;
  }
}

// Windows places the primary at (0, 0) and the others around it, at
// negative coordinates too; a missing flag falls back to the one at (0, 0).
TEST(HostOrder, NegativeCoordinates) {
  const std::vector<Rect> three{Rect{-1280, 0, 0, 1024}, Rect{0, 0, 1280, 1024}, kRight};
  EXPECT_EQ(HostOrder(three, 1), (std::vector<size_t>{1, 0, 2}));
  EXPECT_EQ(HostOrder(three, -1), (std::vector<size_t>{1, 0, 2}));
  EXPECT_EQ(HostOrder(three, 0), (std::vector<size_t>{0, 1, 2}));
  EXPECT_EQ(HostOrder({}, -1), (std::vector<size_t>{}));
}

}  // namespace
}  // namespace tk::win32
