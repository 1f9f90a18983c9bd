#include <gtest/gtest.h>

#include "host/frame_buffer.h"
#include "objects/objects.h"
#include "platform/offscreen/memory_display.h"
#include "test_support.h"

namespace tk {
namespace {

// Points placed by the test straight in camera space.
class Placed : public SceneObject {
 public:
  void Build() override {
    radius = 1000;
    for (int i = 0; i < 45; ++i) AddPoint(0, 0, 0, 0xFFFFFF);
  }
  void Update() override {}
};

struct Screen {
  MemoryDisplay display{320, 240};
  std::vector<Rect> visible;
  Viewport v = MakeViewport(320, 240);
  Screen() { display.Open(); }
  void Draw(SceneObject& o) {
    FrameBuffer fb(display, visible);
    o.Draw(fb, v);
  }
  size_t Lit() const {
    size_t n = 0;
    for (int y = 0; y < 240; ++y)
      for (int x = 0; x < 320; ++x) n += display.PixelAt(x, y) != 0;
    return n;
  }
};

TEST(Draw, PlotsProjectedPointsAndErasesTheirOldPlace) {
  testing::SimulatedWorld world;
  Screen s;
  Placed o;
  o.Start(s.v);
  o.visibleCount = o.pointCount;
  o.hiddenCount = 0;
  o.shuffled = false;
  for (int i = 0; i < o.pointCount; ++i) {
    o.points[i].x = static_cast<float>(i * 40 - 880);
    o.points[i].z = 7400;
    o.points[i].level = 256;
  }
  s.Draw(o);
  EXPECT_EQ(s.Lit(), 45u);
  EXPECT_EQ(o.points[22].screenX, 160);
  EXPECT_EQ(o.points[22].screenY, 120);
  // Moving a point erases it where it was.
  o.points[22].y = 1000;
  s.Draw(o);
  EXPECT_EQ(s.display.PixelAt(160, 120), 0u);
  EXPECT_NE(s.display.PixelAt(160, 120 + 640 * 1000 / 7400), 0u);
  // A point at depth 100 or less is erased and keeps its stored place.
  o.points[0].z = 100;
  const int32_t oldX = o.points[0].screenX;
  s.Draw(o);
  EXPECT_EQ(s.Lit(), 44u);
  EXPECT_EQ(o.points[0].screenX, oldX);
  // All hidden: only erasing.
  o.hiddenCount = o.visibleCount = o.pointCount;
  s.Draw(o);
  EXPECT_EQ(s.Lit(), 0u);
}

TEST(Draw, NothingVisibleDrawsNothing) {
  testing::SimulatedWorld world;
  Screen s;
  Placed o;
  o.Start(s.v);
  for (int i = 0; i < o.pointCount; ++i) o.points[i].z = 7400;
  o.visibleCount = 0;
  s.Draw(o);
  EXPECT_EQ(s.Lit(), 0u);
}

TEST(Draw, ShuffledExitHidesThroughTheRevealOrder) {
  testing::SimulatedWorld world;
  Screen s;
  Placed o;
  o.Start(s.v);
  o.revealOrder = std::make_unique<int32_t[]>(45);
  for (int i = 0; i < 45; ++i) {
    o.revealOrder[i] = 44 - i;
    o.points[i].x = static_cast<float>(i * 40 - 880);
    o.points[i].z = 7400;
  }
  o.visibleCount = 45;
  o.hiddenCount = 0;
  o.shuffled = false;
  s.Draw(o);
  o.shuffled = true;
  o.hiddenCount = 5;
  s.Draw(o);
  EXPECT_EQ(s.Lit(), 40u);
  for (int i = 40; i < 45; ++i) EXPECT_EQ(s.display.PixelAt(o.points[i].screenX, o.points[i].screenY), 0u) << i;
  EXPECT_NE(s.display.PixelAt(o.points[0].screenX, o.points[0].screenY), 0u);
}

TEST(Draw, AtomOrbitPlanesFromTwoAngles) {
  testing::SimulatedWorld world;
  AtomObject atom;
  atom.Start(MakeViewport(320, 240));
  // Row 1 of every orientation lies in the x-y plane, as Ry * Rz gives.
  for (const ElectronOrbit& o : atom.orbits) EXPECT_EQ(o.orientation.at(1, 2), 0.0f);
}

}  // namespace
}  // namespace tk
