// The shared arithmetic: the random rule, colour scaling, projection, matrices.
#include <gtest/gtest.h>

#include <cmath>

#include "core/colour.h"
#include "core/matrix.h"
#include "core/random.h"
#include "core/truncate.h"
#include "core/viewport.h"

namespace tk {
namespace {

// Guards against a generator that differs from the classic rule: every
// platform must draw the same sequence from a seed.
TEST(RandomSource, FollowsTheLinearCongruentialRule) {
  RandomSource r(1);
  EXPECT_EQ(r.Next(), 41);
  EXPECT_EQ(r.Next(), 18467);
  EXPECT_EQ(r.Next(), 6334);
  RandomSource z(0);
  EXPECT_EQ(z.Next(), 38);  // 2531011 >> 16
  for (int i = 0; i < 100000; ++i) {
    const int v = z.Next();
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 32767);
  }
}

TEST(RandomSource, ProcessInstanceIsResettable) {
  SeedRandom(1234);
  const int a = Rand(), b = Rand();
  SeedRandom(1234);
  EXPECT_EQ(Rand(), a);
  EXPECT_EQ(Rand(), b);
}

// RandomFloat must reach both ends of [0, x] and never pass x.
TEST(RandomFloat, ReachesBothEndsAndNoMore) {
  // Seeds chosen by search so the next draw is 0 and 32767.
  uint32_t seed0 = 0, seedMax = 0;
  bool have0 = false, haveMax = false;
  for (uint32_t s = 0; !(have0 && haveMax); ++s) {
    RandomSource r(s);
    const int v = r.Next();
    if (v == 0 && !have0) seed0 = s, have0 = true;
    if (v == 32767 && !haveMax) seedMax = s, haveMax = true;
  }
  SeedRandom(seed0);
  EXPECT_EQ(RandomFloat(6000.0f), 0.0f);
  SeedRandom(seedMax);
  EXPECT_EQ(RandomFloat(6000.0f), 6000.0f);
  SeedRandom(7);
  for (int i = 0; i < 10000; ++i) ASSERT_LE(RandomFloat(1.0f), 1.0f);
}

TEST(ScaleColor, SaturatesEachChannelAndCarriesIntoTheHighOne) {
  EXPECT_EQ(ScaleColor(0xFFFFFF, 256), 0xFFFFFFu);
  EXPECT_EQ(ScaleColor(0xFFFFFF, 512), 0xFFFFFFu);
  EXPECT_EQ(ScaleColor(0x808080, 128), 0x404040u);
  EXPECT_EQ(ScaleColor(0x123456, 0), 0u);
  // The high channel takes the whole product: 0x00FF00 * 300 = 0x12AD400.
  EXPECT_EQ(ScaleColor(0x00FF00, 300), 0x01FF00u);
  EXPECT_EQ(ScaleColor(0xff9070, 256), 0xff9070u);
  EXPECT_EQ(ScaleColor(0xff4040, 80), 0x4F1414u);  // 0xff4040 * 80 = 0x4FC41400
}

TEST(Viewport, FocalAndPointSize) {
  const Viewport v = MakeViewport(640, 480);
  EXPECT_EQ(v.focal, 1280);
  EXPECT_EQ(PointSize(v), 2);
  EXPECT_EQ(PointSize(MakeViewport(639, 480)), 1);
  EXPECT_EQ(PointSize(MakeViewport(1, 1)), 1);
  EXPECT_EQ(PointSize(MakeViewport(1280, 1024)), 4);
  EXPECT_EQ(PointSize(MakeViewport(959, 10)), 2);
}

TEST(Project, CentreAndTheDepthLimit) {
  const Viewport v = MakeViewport(641, 481);
  ScreenPoint p;
  for (double z : {100.5, 7400.0, 1e9}) {
    ASSERT_TRUE(Project(v, 0, 0, z, p));
    EXPECT_EQ(p.x, 320);
    EXPECT_EQ(p.y, 240);
  }
  p = {-5, -5};
  EXPECT_FALSE(Project(v, 0, 0, 100.0, p));
  EXPECT_EQ(p.x, -5);  // untouched
  // Truncation toward zero, not floor: a point left of the centre by less
  // than a pixel still lands on the centre column.
  EXPECT_EQ(ProjectX(MakeViewport(0, 0), -0.5, 1000.0), 0);
}

// A point just beyond the near limit projects far outside 32 bits; the
// conversion must stay defined (the processor's INT32_MIN) and deterministic.
TEST(TruncToInt, OutOfRangeIsIntMin) {
  EXPECT_EQ(TruncToInt(2.9), 2);
  EXPECT_EQ(TruncToInt(-2.9), -2);
  EXPECT_EQ(TruncToInt(3e10), INT32_MIN);
  EXPECT_EQ(TruncToInt(-3e10), INT32_MIN);
  EXPECT_EQ(TruncToInt(std::nan("")), INT32_MIN);
  EXPECT_EQ(TruncToInt(2147483647.0), 2147483647);
}

TEST(Matrix, ProductOrderAndAliasing) {
  Matrix3 a, b;
  for (int i = 0; i < 9; ++i) {
    a.m[i] = static_cast<float>(i + 1);
    b.m[i] = static_cast<float>(9 - i);
  }
  Matrix3 r = a;
  r.Multiply(b);  // b * a
  // Row 0 of b (9, 8, 7) times a's columns.
  EXPECT_FLOAT_EQ(r.at(0, 0), 9 * 1 + 8 * 4 + 7 * 7);
  EXPECT_FLOAT_EQ(r.at(0, 1), 9 * 2 + 8 * 5 + 7 * 8);
  Matrix3 self = a;
  self.Multiply(self);  // a * a through shared storage
  EXPECT_FLOAT_EQ(self.at(0, 0), 1 * 1 + 2 * 4 + 3 * 7);
  EXPECT_FLOAT_EQ(self.at(2, 2), 7 * 3 + 8 * 6 + 9 * 9);
}

TEST(Matrix4, PlaneRotationMapsTheFirstAxis) {
  Matrix4 m;
  const float theta = 0.7f;
  m.SetPlaneRotation(0, 1, theta);
  const float p[4] = {1, 0, 0, 0};
  float out[3];
  m.TransformToPoint(p, out);
  EXPECT_NEAR(out[0], std::cos(theta), 1e-6);
  EXPECT_NEAR(out[1], std::sin(theta), 1e-6);
  EXPECT_NEAR(out[2], 0, 1e-7);
  // The fourth coordinate reaches x, y, z through the fourth row only.
  Matrix4 w;
  w.SetPlaneRotation(2, 3, 1.0f);
  const float q[4] = {0, 0, 0, 1};
  w.TransformToPoint(q, out);
  EXPECT_NEAR(out[2], -std::sin(1.0f), 1e-6);
  Matrix4 id;
  Matrix4 prod = w;
  prod.Multiply(id);
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(prod.m[i], w.m[i]);
}

}  // namespace
}  // namespace tk
