// The star field: respawning, brightness, and erase before draw.
#include <gtest/gtest.h>

#include "core/clock.h"
#include "core/random.h"
#include "core/star_field.h"
#include "host/frame_buffer.h"
#include "platform/offscreen/memory_display.h"
#include "settings/settings.h"

namespace tk {
namespace {

struct StarFieldTest : ::testing::Test {
  void SetUp() override {
    InstallTickSource(&clock);
    SeedRandom(1);
    display.Open();
  }
  void TearDown() override { InstallTickSource(nullptr); }
  SimulatedTickSource clock{1000};
  MemoryDisplay display{640, 480};
  Settings settings;
  std::vector<Rect> visible;
};

TEST_F(StarFieldTest, LevelGrowsAsTheStarComesNearAndIsCapped) {
  EXPECT_EQ(StarField::Level(63000.0f, 80), 18u);
  EXPECT_EQ(StarField::Level(15750.0f, 272), 248u);
  EXPECT_EQ(StarField::Level(101.0f, 272), 512u);
}

TEST_F(StarFieldTest, FreshStarsLieInTheViewVolume) {
  settings.starNumber = 500;
  const Viewport v = MakeViewport(640, 480);
  StarField field(v, settings);
  ASSERT_EQ(field.stars().size(), 500u);
  for (const auto& s : field.stars()) {
    EXPECT_GE(s.z, 15750.0f * 0.9999f);
    EXPECT_LE(s.z, 63000.0f * 1.0001f);
    EXPECT_LE(std::abs(s.x), s.z / 4 + 1);
    EXPECT_LE(std::abs(s.y), s.z * 480 / 1280 / 2 + 1);
    EXPECT_GE(s.brightness, 80);
    EXPECT_LE(s.brightness, 272);
    EXPECT_EQ(s.color, settings.starColor);
  }
}

TEST_F(StarFieldTest, StarTooCloseIsErasedRespawnedAndDrawnInTheSameFrame) {
  settings.starNumber = 50;
  const Viewport v = MakeViewport(640, 480);
  StarField field(v, settings);
  {
    FrameBuffer fb(display, visible);
    field.Draw(fb, v);
  }
  auto& s = field.stars()[0];
  const int32_t oldX = s.screenX, oldY = s.screenY;
  ASSERT_NE(display.PixelAt(oldX, oldY), 0u);
  s.z = 105.0f;  // the next step takes it below 100
  clock.Advance(1);
  {
    FrameBuffer fb(display, visible);
    field.Draw(fb, v);
  }
  EXPECT_GT(s.z, 15000.0f);
  EXPECT_NE(display.PixelAt(s.screenX, s.screenY), 0u);
  if (oldX != s.screenX || oldY != s.screenY) {
    // Only another star could have lit the old place again.
    bool other = false;
    for (size_t i = 1; i < field.stars().size(); ++i)
      other |= field.stars()[i].screenX == oldX && field.stars()[i].screenY == oldY;
    if (!other) {
      EXPECT_EQ(display.PixelAt(oldX, oldY), 0u);
    }
  }
}

// With no time passed the stars are erased and redrawn in place.
TEST_F(StarFieldTest, SameMillisecondRedrawsInPlace) {
  const Viewport v = MakeViewport(640, 480);
  StarField field(v, settings);
  {
    FrameBuffer fb(display, visible);
    field.Draw(fb, v);
  }
  const auto before = display.pixels();
  const auto starsBefore = field.stars();
  {
    FrameBuffer fb(display, visible);
    field.Draw(fb, v);
  }
  EXPECT_EQ(display.pixels(), before);
  for (size_t i = 0; i < starsBefore.size(); ++i) EXPECT_EQ(field.stars()[i].z, starsBefore[i].z);
}

// The invariant that matters on a screen with no back buffer: after any
// number of frames, every lit pixel belongs to the square of a star's
// current position; nothing is left behind.
TEST_F(StarFieldTest, EveryLitPixelBelongsToAStarsCurrentSquare) {
  settings.starNumber = 500;
  settings.starVelocity = 10;
  for (int w : {320, 640, 1000}) {
    MemoryDisplay d(w, 300);
    d.Open();
    const Viewport v = MakeViewport(w, 300);
    StarField field(v, settings);
    for (int frame = 0; frame < 400; ++frame) {
      clock.Advance(13);
      FrameBuffer fb(d, visible);
      field.Draw(fb, v);
    }
    const int side = PointSize(v);
    std::vector<uint8_t> owned(static_cast<size_t>(w) * 300, 0);
    for (const auto& s : field.stars())
      for (int dy = 0; dy < side; ++dy)
        for (int dx = 0; dx < side; ++dx) {
          const int x = s.screenX + dx, y = s.screenY + dy;
          if (x >= 0 && x < w && y >= 0 && y < 300) owned[static_cast<size_t>(y) * w + x] = 1;
        }
    for (int y = 0; y < 300; ++y)
      for (int x = 0; x < w; ++x)
        if (d.PixelAt(x, y) != 0) {
          ASSERT_TRUE(owned[static_cast<size_t>(y) * w + x]) << x << "," << y;
        }
  }
}

}  // namespace
}  // namespace tk
