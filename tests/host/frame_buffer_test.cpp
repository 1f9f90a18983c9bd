// The frame buffer: pixel formats, the clip rule, the three store widths.
#include <gtest/gtest.h>

#include "host/frame_buffer.h"
#include "platform/offscreen/memory_display.h"

namespace tk {
namespace {

TEST(PixelFormat, RotateCountsAndConversionForEveryFormat) {
  const PixelFormat f32 = PixelFormat::From({true, 32, 0xFF0000, 0xFF00, 0xFF});
  EXPECT_EQ(f32.redShift, -16);
  EXPECT_EQ(f32.greenShift, 0);
  EXPECT_EQ(f32.blueShift, 16);
  EXPECT_EQ(f32.Convert(0x000000FF), 0x00FF0000u);
  EXPECT_EQ(f32.Convert(0x00102030), 0x00302010u);
  const PixelFormat f565 = PixelFormat::From({true, 16, 0xF800, 0x07E0, 0x001F});
  EXPECT_EQ(f565.redShift, -8);
  EXPECT_EQ(f565.greenShift, 5);
  EXPECT_EQ(f565.blueShift, 19);
  EXPECT_EQ(f565.Convert(0x000000FF), 0xF800u);
  EXPECT_EQ(f565.Convert(0x0000FF00), 0x07E0u);
  EXPECT_EQ(f565.Convert(0x00FF0000), 0x001Fu);
  const PixelFormat f555 = PixelFormat::From({true, 16, 0x7C00, 0x03E0, 0x001F});
  EXPECT_EQ(f555.redShift, -7);
  EXPECT_EQ(f555.greenShift, 6);
  EXPECT_EQ(f555.blueShift, 19);
  EXPECT_EQ(f555.Convert(0x000000FF), 0x7C00u);
  EXPECT_EQ(f555.Convert(0x00FFFFFF), 0x7FFFu);
  // A format with red and blue the other way round.
  const PixelFormat bgr = PixelFormat::From({true, 32, 0xFF, 0xFF00, 0xFF0000});
  EXPECT_EQ(bgr.Convert(0x00112233), 0x00112233u);
}

struct FillTest : ::testing::TestWithParam<int> {};

// Draws at the first and last place a square fits and one pixel beyond, for
// every format: catches off-by-one clipping and pitch mistakes.
TEST_P(FillTest, ClipEdgesAndPitch) {
  MemoryDisplay d(37, 23, GetParam());
  d.Open();
  std::vector<Rect> visible;
  {
    FrameBuffer fb(d, visible);
    ASSERT_TRUE(fb.locked());
    fb.FillSquare(0, 0, 3, 0xFFFFFF);
    fb.FillSquare(37 - 3, 23 - 3, 3, 0xFFFFFF);
    fb.FillSquare(37 - 3 + 1, 0, 3, 0xFFFFFF);  // one column too far
    fb.FillSquare(0, 23 - 3 + 1, 3, 0xFFFFFF);  // one row too far
    fb.FillSquare(-1, 5, 3, 0xFFFFFF);
    fb.FillSquare(INT32_MAX - 1, 5, 3, 0xFFFFFF);  // must not overflow into a hit
    fb.FillSquare(INT32_MIN, INT32_MIN, 3, 0xFFFFFF);
  }
  int lit = 0;
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) {
      uint8_t r, g, b;
      d.RgbAt(x, y, r, g, b);
      const bool on = r == 255 && g == 255 && b == 255;
      const bool expected = (x < 3 && y < 3) || (x >= 34 && y >= 20);
      EXPECT_EQ(on, expected) << x << "," << y;
      lit += on;
    }
  EXPECT_EQ(lit, 18);
}

INSTANTIATE_TEST_SUITE_P(Formats, FillTest, ::testing::Values(32, 24, 16, 15));

// Three bytes a pixel: the byte after the pixel keeps its value.
TEST(FillSquare, ThreeBytePixelsKeepTheFollowingByte) {
  MemoryDisplay d(4, 1, 24);
  d.Open();
  auto& px = d.pixels();
  for (auto& b : px) b = 0xAB;
  std::vector<Rect> visible;
  {
    FrameBuffer fb(d, visible);
    fb.FillSquare(1, 0, 1, 0x00332211);  // blue 0x33, green 0x22, red 0x11
  }
  EXPECT_EQ(px[2], 0xAB);
  EXPECT_EQ(px[3], 0x33);
  EXPECT_EQ(px[4], 0x22);
  EXPECT_EQ(px[5], 0x11);
  EXPECT_EQ(px[6], 0xAB);
}

// A square across the common edge of two visible rectangles is not drawn,
// even though together they cover it; one wholly inside either is.
TEST(FillSquare, StraddlingTwoRectanglesDrawsNothing) {
  MemoryDisplay d(20, 10);
  d.Open();
  d.clip = {Rect{0, 0, 10, 10}, Rect{10, 0, 20, 10}};
  std::vector<Rect> visible;
  {
    FrameBuffer fb(d, visible);
    fb.FillSquare(9, 0, 2, 0xFFFFFF);
    fb.FillSquare(12, 4, 2, 0xFFFFFF);
    fb.FillSquare(2, 4, 2, 0xFFFFFF);
  }
  EXPECT_EQ(d.PixelAt(9, 0), 0u);
  EXPECT_EQ(d.PixelAt(10, 0), 0u);
  EXPECT_NE(d.PixelAt(12, 4), 0u);
  EXPECT_NE(d.PixelAt(3, 5), 0u);
}

// A covered part of the window (no visible rectangle) is never written.
TEST(FillSquare, CoveredPartsStayUntouched) {
  MemoryDisplay d(20, 10);
  d.Open();
  d.clip = {Rect{0, 0, 20, 5}};
  std::vector<Rect> visible;
  {
    FrameBuffer fb(d, visible);
    for (int y = -2; y < 12; ++y)
      for (int x = -2; x < 22; ++x) fb.FillSquare(x, y, 2, 0xFFFFFF);
  }
  for (int y = 5; y < 10; ++y)
    for (int x = 0; x < 20; ++x) EXPECT_EQ(d.PixelAt(x, y), 0u);
  EXPECT_NE(d.PixelAt(19, 4), 0u);
}

TEST(FrameBuffer, BusyLockSkipsTheFrameAndNeverUnlocks) {
  MemoryDisplay d(8, 8);
  d.Open();
  d.busy = true;
  std::vector<Rect> visible;
  {
    FrameBuffer fb(d, visible);
    EXPECT_FALSE(fb.locked());
    fb.FillSquare(0, 0, 1, 0xFFFFFF);  // no visible rectangles: nothing happens
  }
  EXPECT_EQ(d.unlockCount, 0);
  EXPECT_EQ(d.PixelAt(0, 0), 0u);
}

}  // namespace
}  // namespace tk
