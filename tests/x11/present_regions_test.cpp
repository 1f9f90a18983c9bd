#include "platform/x11/present_regions.h"

#include <gtest/gtest.h>

#include "host/damage_grid.h"

namespace tk::x11 {
namespace {

// Everything damaged must still be sent: a join may only grow rectangles.
bool Covers(const std::vector<Rect>& rs, int32_t x, int32_t y) {
  for (const Rect& r : rs)
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
  return false;
}

TEST(JoinCloseRegions, JoinsCheapGapsInOneBandOnly) {
  std::vector<Rect> rs = {{0, 0, 16, 16}, {48, 0, 64, 16}, {200, 0, 216, 16}, {0, 16, 16, 32}};
  JoinCloseRegions(rs, 1024);  // gap 32 x 16 = 512 joins; gap 136 x 16 does not
  ASSERT_EQ(rs.size(), 3u);
  EXPECT_EQ(rs[0], (Rect{0, 0, 64, 16}));
  EXPECT_EQ(rs[1], (Rect{200, 0, 216, 16}));
  EXPECT_EQ(rs[2], (Rect{0, 16, 16, 32}));  // another band is never joined
}

// A tall rectangle's gap costs its height in every column: the same gap that
// joins two one-cell runs must not join two tall ones.
TEST(JoinCloseRegions, WeighsTheGapByHeight) {
  std::vector<Rect> rs = {{0, 0, 16, 128}, {48, 0, 64, 128}};
  JoinCloseRegions(rs, 1024);
  EXPECT_EQ(rs.size(), 2u);
}

// Property: over random damage, the joined list still covers every damaged
// pixel, and the pixels it adds never cost more than the requests it saves
// (a gap may hold the lower part of a taller rectangle from the band above,
// which is then sent twice; that is allowed, it is within the same bound).
TEST(JoinCloseRegions, KeepsAllDamageAndPaysForItself) {
  uint32_t seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  auto area = [](const std::vector<Rect>& rs) {
    int64_t a = 0;
    for (const Rect& r : rs) a += int64_t{r.Width()} * r.Height();
    return a;
  };
  for (int round = 0; round < 50; ++round) {
    DamageGrid grid(16);
    grid.Reset(640, 480);
    std::vector<std::pair<int, int>> points;
    for (int i = 0; i < 200; ++i) {
      const int x = static_cast<int>(next() % 634), y = static_cast<int>(next() % 474);
      grid.Add(x, y, 6);
      points.emplace_back(x, y);
    }
    std::vector<Rect> rs;
    grid.TakeRegions(rs);
    const std::vector<Rect> before = rs;
    JoinCloseRegions(rs, kRequestCostPixels);
    ASSERT_LE(rs.size(), before.size());
    EXPECT_LE(area(rs) - area(before), static_cast<int64_t>(before.size() - rs.size()) * kRequestCostPixels)
        << "round " << round;
    for (auto [x, y] : points) {
      EXPECT_TRUE(Covers(rs, x, y));
      EXPECT_TRUE(Covers(rs, x + 5, y + 5));
    }
  }
}

}  // namespace
}  // namespace tk::x11
