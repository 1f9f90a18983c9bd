// The record of what a frame wrote, for displays that present only changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "host/damage_list.h"
#include "host/damage_merge.h"
#include "host/frame_buffer.h"

namespace tk {
namespace {

int64_t Area(const std::vector<Rect>& rs) {
  int64_t a = 0;
  for (const Rect& r : rs) a += int64_t{r.Width()} * r.Height();
  return a;
}

struct Square {
  int32_t x, y, size;
};

// A missed pixel is a square left on screen; these are the invariants every
// display relies on, over many frames of star-like erase and redraw (a point
// moves a few pixels a frame, some jump far, some stand still) in the order
// both drawers use: pairs side by side, and batches of 20 erases then 20
// plots. Every pixel of every square is in some rectangle, and the
// rectangles hold no more pixels than the squares plus the allowance for
// each rectangle saved.
TEST(DamageList, HoldsEverySquareAndPaysForEachFold) {
  uint32_t seed = 2024;
  auto next = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int32_t>((seed >> 16) % n);
  };
  DamageList damage;
  std::vector<Square> added;
  for (int frame = 0; frame < 200; ++frame) {
    const int32_t allowance = frame < 100 ? 0 : 400;
    damage.SetFoldAllowance(allowance);
    const int32_t size = 1 + frame % 12, width = 640, height = 480;
    added.clear();
    auto add = [&](int32_t x, int32_t y) {
      damage.Add(x, y, size);
      added.push_back(Square{x, y, size});
    };
    const int points = next(400);
    const bool batches = frame % 2 == 1;
    std::vector<Square> from, to;
    for (int i = 0; i < points; ++i) {
      const int32_t x = next(width - size + 1), y = next(height - size + 1);
      int32_t nx = x + next(9) - 4, ny = y + next(9) - 4;
      if (next(10) == 0) nx = next(width - size + 1), ny = next(height - size + 1);
      nx = std::clamp(nx, 0, width - size);
      ny = std::clamp(ny, 0, height - size);
      from.push_back(Square{x, y, size});
      to.push_back(Square{nx, ny, size});
    }
    for (int begin = 0; begin < points; begin += batches ? 20 : 1) {
      const int end = std::min(points, begin + (batches ? 20 : 1));
      for (int i = begin; i < end; ++i) add(from[i].x, from[i].y);
      for (int i = begin; i < end; ++i) add(to[i].x, to[i].y);
    }
    const std::vector<Rect>& rs = damage.Rects();
    ASSERT_LE(rs.size(), added.size());
    std::vector<uint8_t> held(static_cast<size_t>(width) * height, 0);
    for (const Rect& r : rs)
      for (int32_t y = std::max(r.top, 0); y < std::min(r.bottom, height); ++y)
        for (int32_t x = std::max(r.left, 0); x < std::min(r.right, width); ++x) held[y * width + x] = 1;
    int64_t squaresArea = 0;
    for (const Square& s : added) {
      squaresArea += int64_t{s.size} * s.size;
      for (int32_t j = 0; j < s.size; ++j)
        for (int32_t i = 0; i < s.size; ++i)
          ASSERT_TRUE(held[(s.y + j) * width + s.x + i]) << "frame " << frame << " at " << s.x + i << "," << s.y + j;
    }
    EXPECT_LE(Area(rs), squaresArea + int64_t{allowance} * static_cast<int64_t>(added.size() - rs.size()))
        << "frame " << frame;
    for (const Rect& r : rs) {
      EXPECT_GE(r.left, 0);
      EXPECT_GE(r.top, 0);
      EXPECT_LE(r.right, width);
      EXPECT_LE(r.bottom, height);
    }
    damage.Clear();
    EXPECT_TRUE(damage.Empty());
  }
}

// A point erased and redrawn a pixel away is one rectangle, a square written
// twice adds nothing, and squares apart stay apart (folding them would send
// the pixels between them).
TEST(DamageList, FoldsAPointsEraseAndPlotButNotDistantSquares) {
  DamageList damage;
  damage.Add(100, 100, 6);
  damage.Add(101, 99, 6);
  damage.Add(101, 99, 6);
  ASSERT_EQ(damage.Rects().size(), 1u);
  EXPECT_EQ(damage.Rects()[0], (Rect{100, 99, 107, 106}));
  damage.Add(300, 100, 6);
  damage.Add(100, 112, 6);  // touching nothing: its own rectangle
  EXPECT_EQ(damage.Rects().size(), 3u);
  // With an allowance the gap is worth sending to save a rectangle.
  damage.SetFoldAllowance(400);
  damage.Add(100, 120, 6);
  EXPECT_EQ(damage.Rects().size(), 3u);
  EXPECT_EQ(damage.Rects()[2], (Rect{100, 112, 106, 126}));
  damage.SetFoldAllowance(0);
  // At the left and top edges the cell keys go negative.
  damage.Add(0, 0, 2);
  damage.Add(1, 0, 2);
  EXPECT_EQ(damage.Rects().size(), 4u);
}

// After Clear the table still names last frame's rectangles; a stale entry
// must never be folded into (it would index past the list, or grow a
// rectangle of this frame that the square is nowhere near).
TEST(DamageList, ClearForgetsEveryRectangle) {
  DamageList damage;
  for (int i = 0; i < 100; ++i) damage.Add(i * 10, 50, 4);
  damage.Clear();
  damage.Add(990, 50, 4);
  damage.Add(5, 5, 4);
  ASSERT_EQ(damage.Rects().size(), 2u);
  EXPECT_EQ(damage.Rects()[0], (Rect{990, 50, 994, 54}));
  EXPECT_EQ(damage.Rects()[1], (Rect{5, 5, 9, 9}));
  // The frame stamp wraps after 65 535 frames and comes back to the value of
  // a frame long gone; that frame's entries must be gone too.
  damage.Clear();
  for (int i = 0; i < 100; ++i) damage.Add(i * 10, 50, 4);
  for (int i = 0; i < 65535; ++i) damage.Clear();
  damage.Add(991, 50, 4);
  ASSERT_EQ(damage.Rects().size(), 1u);
  EXPECT_EQ(damage.Rects()[0], (Rect{991, 50, 995, 54}));
}

// The frame buffer records exactly the squares it draws: a square it drops
// (off the client, across two visible rectangles) was never written, so it
// is not damage.
TEST(DamageList, FrameBufferRecordsOnlyWhatItDraws) {
  struct Recording final : Display {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(40 * 20);
    DamageList damage;
    DisplayOpen Open() override { return DisplayOpen::kOk; }
    PixelFormatInfo PixelFormat() override { return {true, 32, 0xFF0000, 0xFF00, 0xFF}; }
    void Close() override {}
    void ClientSize(int32_t& w, int32_t& h) override { w = 40, h = 20; }
    int32_t ScreenWidth() override { return 40; }
    bool Lock(PixelView& view, std::vector<Rect>& visible) override {
      view.bits = reinterpret_cast<uint8_t*>(pixels.data());
      view.pitch = 40 * 4;
      view.format = PixelFormat();
      visible = {Rect{0, 0, 20, 20}, Rect{20, 0, 40, 20}};
      return true;
    }
    void Unlock() override {}
    DamageList* Damage() override { return &damage; }
  } d;
  std::vector<Rect> visible;
  {
    FrameBuffer fb(d, visible);
    fb.FillSquare(2, 3, 2, 0xFFFFFF);
    fb.FillSquare(19, 3, 2, 0xFFFFFF);  // across the two rectangles
    fb.FillSquare(39, 19, 2, 0xFFFFFF); // off the client
    fb.FillSquare(30, 10, 3, 0);        // an erase is damage too
  }
  ASSERT_EQ(d.damage.Rects().size(), 2u);
  EXPECT_EQ(d.damage.Rects()[0], (Rect{2, 3, 4, 5}));
  EXPECT_EQ(d.damage.Rects()[1], (Rect{30, 10, 33, 13}));
}


// What a compositor is sent: never more rectangles than allowed, nothing
// outside the surface, and every damaged pixel inside it covered, whether the
// damage is a few squares, a star field all over the screen, or squares
// hanging over the edges. A missed pixel is a square the compositor never
// shows; a rectangle past the edge is a protocol error on some compositors.
TEST(DamageMerger, CoversEveryPixelWithinTheLimitAndTheSurface) {
  const int32_t w = 1000, h = 700;
  DamageMerger merger;
  std::vector<Rect> out;
  uint32_t seed = 12345;
  auto next = [&](uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<int32_t>((seed >> 8) % n);
  };
  for (int count : {1, 3, 40, 1500}) {
    std::vector<Rect> in;
    for (int i = 0; i < count; ++i) {
      const int32_t x = next(w + 20) - 10, y = next(h + 20) - 10, s = 1 + next(4);
      in.push_back(Rect{x, y, x + s, y + s});
    }
    merger.Merge(in, w, h, 32, out);
    ASSERT_FALSE(out.empty());
    EXPECT_LE(out.size(), 32u) << count << " squares";
    std::vector<uint8_t> covered(static_cast<size_t>(w) * h, 0);
    for (const Rect& r : out) {
      ASSERT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= w && r.bottom <= h && r.left < r.right && r.top < r.bottom);
      for (int32_t y = r.top; y < r.bottom; ++y)
        for (int32_t x = r.left; x < r.right; ++x) covered[static_cast<size_t>(y) * w + x] = 1;
    }
    for (const Rect& r : in)
      for (int32_t y = std::max(r.top, 0); y < std::min(r.bottom, h); ++y)
        for (int32_t x = std::max(r.left, 0); x < std::min(r.right, w); ++x) {
          ASSERT_TRUE(covered[static_cast<size_t>(y) * w + x]) << count << " squares: " << x << "," << y;
        }
    // A few squares stay a few small rectangles, not the whole surface.
    if (count <= 3) {
      EXPECT_LE(Area(out), int64_t{count} * 64 * 64);
    }
  }
  merger.Merge({Rect{-5, -5, -1, -1}}, w, h, 32, out);
  EXPECT_TRUE(out.empty()) << "damage wholly outside the surface sends nothing";
}

}  // namespace
}  // namespace tk
