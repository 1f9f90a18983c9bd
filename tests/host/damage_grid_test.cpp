// The record of what a frame wrote, for displays that present only changes.
#include <gtest/gtest.h>

#include "host/damage_grid.h"

namespace tk {
namespace {

long Area(const std::vector<Rect>& rs) {
  long a = 0;
  for (const Rect& r : rs) a += static_cast<long>(r.Width()) * r.Height();
  return a;
}

TEST(DamageGrid, CoversEverySquareAndStaysInsideTheClient) {
  DamageGrid g(16);
  g.Reset(100, 50);
  g.Add(0, 0, 1);
  g.Add(95, 45, 5);   // the last cells are partial
  g.Add(15, 15, 2);   // crosses four cells
  std::vector<Rect> out;
  g.TakeRegions(out);
  auto covered = [&](int x, int y) {
    for (const Rect& r : out)
      if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    return false;
  };
  EXPECT_TRUE(covered(0, 0));
  EXPECT_TRUE(covered(99, 49));
  EXPECT_TRUE(covered(16, 16));
  for (const Rect& r : out) {
    EXPECT_GE(r.left, 0);
    EXPECT_LE(r.right, 100);
    EXPECT_LE(r.bottom, 50);
  }
  // Cells (0,0), (1,0), (0,1), (1,1) merge into one square; the corner cell
  // is its own.
  EXPECT_EQ(out.size(), 2u);
  EXPECT_TRUE(g.Empty());
  g.TakeRegions(out);
  EXPECT_TRUE(out.empty());
}

TEST(DamageGrid, CostFollowsThePointsNotTheArea) {
  DamageGrid g(32);
  g.Reset(3840, 2160);
  for (int i = 0; i < 10; ++i) g.Add(i * 300, i * 200, 2);
  std::vector<Rect> out;
  g.TakeRegions(out);
  EXPECT_LE(Area(out), 10L * 32 * 32);
}

}  // namespace
}  // namespace tk
