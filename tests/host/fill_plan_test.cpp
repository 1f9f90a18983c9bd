// A frame's changes as filled rectangles: drawn in any order of colours,
// the rectangles must leave exactly the frame's pixels over every square,
// worked out from the squares alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "host/fill_plan.h"

namespace tk {
namespace {

// A view of bytesPerPixel-sized pixels, with the squares that were filled.
struct Canvas {
  int32_t w, h, bpp;
  std::vector<uint8_t> bytes;
  std::vector<Rect> squares;
  std::vector<uint32_t> pixels;

  Canvas(int32_t width, int32_t height, int32_t bytesPerPixel)
      : w(width), h(height), bpp(bytesPerPixel), bytes(static_cast<size_t>(width * height * bytesPerPixel), 0) {}
  void Set(int32_t x, int32_t y, uint32_t p) { std::memcpy(&bytes[static_cast<size_t>((y * w + x) * bpp)], &p, bpp); }
  uint32_t At(int32_t x, int32_t y) const {
    uint32_t p = 0;
    std::memcpy(&p, &bytes[static_cast<size_t>((y * w + x) * bpp)], bpp);
    return p;
  }
  void Fill(const Rect& r, uint32_t p) {
    squares.push_back(r);
    pixels.push_back(p);
    for (int32_t y = r.top; y < r.bottom; ++y)
      for (int32_t x = r.left; x < r.right; ++x) Set(x, y, p);
  }
};

// Paints the plan's groups onto a canvas of marker pixels, the background's
// first and the others last group first (any order of them must do), then
// checks every pixel of every square against the source and that nothing
// outside the squares was touched.
void ExpectPlanRedraws(const FillPlan& plan, const Canvas& source, uint32_t mask) {
  const uint32_t marker = 0xABCDEFu & mask;
  std::vector<uint32_t> shown(static_cast<size_t>(source.w * source.h), marker);
  const auto& groups = plan.Groups();
  auto paint = [&](const FillPlan::Group& g) {
    for (uint32_t i = g.first; i < g.first + g.count; ++i) {
      const Rect& r = plan.Rects()[i];
      for (int32_t y = r.top; y < r.bottom; ++y)
        for (int32_t x = r.left; x < r.right; ++x) shown[static_cast<size_t>(y * source.w + x)] = g.pixel;
    }
  };
  const bool background = !groups.empty() && groups[0].pixel == 0;
  if (background) paint(groups[0]);
  for (size_t g = groups.size(); g-- > (background ? 1u : 0u);) paint(groups[g]);
  for (size_t g = 1; g < groups.size(); ++g) EXPECT_NE(groups[g].pixel, 0u) << "the background's group is not first";
  std::vector<bool> inSquare(shown.size(), false);
  for (const Rect& r : source.squares)
    for (int32_t y = r.top; y < r.bottom; ++y)
      for (int32_t x = r.left; x < r.right; ++x) inSquare[static_cast<size_t>(y * source.w + x)] = true;
  int wrong = 0;
  for (int32_t y = 0; y < source.h; ++y) {
    for (int32_t x = 0; x < source.w; ++x) {
      const uint32_t got = shown[static_cast<size_t>(y * source.w + x)];
      const uint32_t want = inSquare[static_cast<size_t>(y * source.w + x)] ? source.At(x, y) & mask : marker;
      if (got != want && ++wrong <= 5) ADD_FAILURE() << "at " << x << "," << y << ": " << got << " want " << want;
    }
  }
  EXPECT_EQ(wrong, 0);
}

// Repaints `area` from the plan onto a canvas of marker pixels, as a lost
// part of the screen is repainted, and checks it against the frame drawn
// onto black: equal inside the area (cut to the canvas), untouched outside.
void ExpectRepaintEqualsTheFrame(const FillPlan& plan, const Canvas& frame, uint32_t mask, const Rect& area) {
  Canvas black(frame.w, frame.h, frame.bpp);
  for (size_t i = 0; i < frame.squares.size(); ++i) black.Fill(frame.squares[i], frame.pixels[i]);
  const Rect cut{std::max(area.left, 0), std::max(area.top, 0), std::min(area.right, frame.w),
                 std::min(area.bottom, frame.h)};
  std::vector<FillPlan::Group> groups;
  std::vector<Rect> rects;
  plan.Within(cut, groups, rects);
  const uint32_t marker = 0xABCDEFu & mask;
  std::vector<uint32_t> shown(static_cast<size_t>(frame.w * frame.h), marker);
  for (const FillPlan::Group& g : groups) {
    EXPECT_EQ(&g == groups.data(), g.pixel == 0) << "the background's group is not the first";
    for (uint32_t i = g.first; i < g.first + g.count; ++i) {
      const Rect& r = rects[i];
      for (int32_t y = r.top; y < r.bottom; ++y)
        for (int32_t x = r.left; x < r.right; ++x) shown[static_cast<size_t>(y * frame.w + x)] = g.pixel;
    }
  }
  int wrong = 0;
  for (int32_t y = 0; y < frame.h; ++y) {
    for (int32_t x = 0; x < frame.w; ++x) {
      const bool inside = x >= cut.left && x < cut.right && y >= cut.top && y < cut.bottom;
      const uint32_t got = shown[static_cast<size_t>(y * frame.w + x)];
      const uint32_t want = inside ? black.At(x, y) & mask : marker;
      if (got != want && ++wrong <= 5) ADD_FAILURE() << "repaint at " << x << "," << y << ": " << got << " want " << want;
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST(FillPlan, OneRectanglePerSolidSquareAndOneGroupPerColour) {
  Canvas c(64, 48, 4);
  c.Fill(Rect{2, 3, 8, 9}, 0x00FF0000u);
  c.Fill(Rect{20, 3, 26, 9}, 0x0000FF00u);
  c.Fill(Rect{40, 30, 46, 36}, 0x00FF0000u);
  FillPlan plan;
  plan.Build(c.squares, c.pixels, 0x00FFFFFFu);
  ASSERT_EQ(plan.Rects().size(), 3u);
  ASSERT_EQ(plan.Groups().size(), 2u);
  const auto& red = plan.Groups()[plan.Groups()[0].pixel == 0x00FF0000u ? 0 : 1];
  EXPECT_EQ(red.pixel, 0x00FF0000u);
  ASSERT_EQ(red.count, 2u);
  std::vector<Rect> reds(plan.Rects().begin() + red.first, plan.Rects().begin() + red.first + 2);
  EXPECT_TRUE(std::count(reds.begin(), reds.end(), Rect{2, 3, 8, 9}) == 1 &&
              std::count(reds.begin(), reds.end(), Rect{40, 30, 46, 36}) == 1);
  ExpectPlanRedraws(plan, c, 0x00FFFFFFu);
}

// A star erased and redrawn two pixels down and right: the erase stays one
// square, drawn first, with the star over it. A point drawn and then partly
// erased by a later point's erase keeps only its uncovered part, an L.
TEST(FillPlan, EraseStaysWholeAndACoveredPointKeepsItsVisibleParts) {
  Canvas c(32, 32, 4);
  c.Fill(Rect{10, 10, 16, 16}, 0x00FFFFFFu);
  c.squares.clear();  // the previous frame
  c.pixels.clear();
  c.Fill(Rect{10, 10, 16, 16}, 0);
  c.Fill(Rect{12, 12, 18, 18}, 0x00123456u);
  FillPlan plan;
  plan.Build(c.squares, c.pixels, 0x00FFFFFFu);
  ASSERT_EQ(plan.Groups().size(), 2u);
  EXPECT_EQ(plan.Groups()[0].pixel, 0u);
  ASSERT_EQ(plan.Rects().size(), 2u);
  EXPECT_EQ(plan.Rects()[0], (Rect{10, 10, 16, 16}));
  EXPECT_EQ(plan.Rects()[1], (Rect{12, 12, 18, 18}));
  ExpectPlanRedraws(plan, c, 0x00FFFFFFu);

  c.Fill(Rect{14, 14, 20, 20}, 0);  // a later erase over the star's corner
  plan.Build(c.squares, c.pixels, 0x00FFFFFFu);
  ASSERT_EQ(plan.Groups().size(), 2u);
  const auto& star = plan.Groups()[1];
  EXPECT_EQ(star.pixel, 0x00123456u);
  ASSERT_EQ(star.count, 2u);  // the rows above, then the strip at the left
  EXPECT_EQ(plan.Rects()[star.first], (Rect{12, 12, 18, 14}));
  EXPECT_EQ(plan.Rects()[star.first + 1], (Rect{12, 14, 14, 18}));
  ExpectPlanRedraws(plan, c, 0x00FFFFFFu);
}

// Many frames of overlapping squares in many colours, at every pixel size,
// with bits outside the channels that must not split colours; the plan is
// reused, so its tables must forget each frame. Any part of each frame,
// repainted from the plan alone, equals the frame drawn onto black.
TEST(FillPlan, RedrawsEveryFrameExactlyAtEveryPixelSize) {
  for (int32_t bpp : {2, 3, 4}) {
    SCOPED_TRACE(bpp);
    const uint32_t mask = bpp == 2 ? 0xFFFFu : 0x00FFFFFFu;
    const uint32_t junk = bpp == 4 ? 0xFF000000u : 0;
    Canvas c(120, 90, bpp);
    FillPlan plan;
    uint32_t seed = 99;
    auto next = [&seed](uint32_t n) {
      seed = seed * 1103515245u + 12345u;
      return (seed >> 8) % n;
    };
    for (int frame = 0; frame < 40; ++frame) {
      c.squares.clear();
      c.pixels.clear();
      // Sizes mixed within a frame, now and then up to 40 pixels.
      const uint32_t largest = frame % 10 == 9 ? 40 : 5;
      // Up to 700 colours in a frame, past the table's first size.
      const uint32_t colours = frame < 20 ? 6 : 700;
      for (int i = 0; i < 400; ++i) {
        const int32_t side = 1 + static_cast<int32_t>(next(largest));
        const int32_t x = static_cast<int32_t>(next(static_cast<uint32_t>(c.w - side)));
        const int32_t y = static_cast<int32_t>(next(static_cast<uint32_t>(c.h - side)));
        // About half of them erases, as in a frame of moving points.
        const uint32_t value = next(2) ? 0 : next(colours) * 0x010203u;
        c.Fill(Rect{x, y, x + side, y + side}, (value & mask) | (next(2) ? junk : 0));
      }
      plan.Build(c.squares, c.pixels, mask);
      ExpectPlanRedraws(plan, c, mask);
      ExpectRepaintEqualsTheFrame(plan, c, mask,
                                  Rect{static_cast<int32_t>(next(80)) - 10, static_cast<int32_t>(next(60)) - 10,
                                       static_cast<int32_t>(next(80)) + 50, static_cast<int32_t>(next(60)) + 40});
      uint32_t total = 0;
      for (size_t g = 0; g < plan.Groups().size(); ++g) {
        total += plan.Groups()[g].count;
        for (size_t k = 0; k < g; ++k) ASSERT_NE(plan.Groups()[k].pixel, plan.Groups()[g].pixel);
      }
      EXPECT_EQ(total, plan.Rects().size());
    }
  }
}

}  // namespace
}  // namespace tk
