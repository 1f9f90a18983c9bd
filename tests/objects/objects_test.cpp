#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "core/scene_object.h"
#include "objects/objects.h"
#include "test_support.h"

namespace tk {
namespace {

using testing::SimulatedWorld;

const Viewport kView = MakeViewport(640, 480);

std::unique_ptr<SceneObject> Started(int kind, int q = 0) {
  auto o = MakeObject(kind, q);
  o->Start(kView);
  return o;
}

TEST(ObjectPoints, EveryKindHasItsExactCount) {
  SimulatedWorld world;
  const int expected[12] = {450, 600, 150, 825, 697, 532, 552, -1, 656, 900, 596, 701};
  for (int k = 0; k < 12; ++k) {
    if (expected[k] < 0) continue;
    auto o = Started(k);
    EXPECT_EQ(o->pointCount, expected[k]) << "kind " << k;
  }
  EXPECT_EQ(Started(7)->pointCount, 710);  // one per lit pixel of our yin-yang
  EXPECT_EQ(Started(12, 0)->pointCount, 588);
  EXPECT_EQ(Started(12, 9)->pointCount, 784);
}

TEST(ObjectPoints, ListedPositionsAndRadii) {
  SimulatedWorld world;
  auto sphere = Started(0);
  EXPECT_EQ(sphere->radius, 1210);
  const ScenePoint* p = sphere->points.get();
  EXPECT_EQ(p[0].modelX, 1100);
  EXPECT_EQ(p[1].modelX, 1075);
  EXPECT_EQ(p[1].modelY, 228);
  EXPECT_EQ(p[420].modelX, -1100);
  EXPECT_EQ(p[0].level, 255);
  EXPECT_EQ(p[0].screenX, -1000);
  EXPECT_EQ(p[0].color, 0xFFFFFFu);

  auto saturn = Started(1);
  EXPECT_EQ(saturn->points[0].modelX, 700);
  EXPECT_EQ(saturn->points[450].modelX, 935);
  EXPECT_EQ(saturn->radius, 1320);

  auto disk = Started(2);
  EXPECT_NEAR(disk->points[1].modelX, 917.0342, 1e-3);
  EXPECT_NEAR(disk->points[1].modelZ, 182.4095, 1e-3);
  EXPECT_NE(disk->points[1].modelX, std::trunc(disk->points[1].modelX));
  // Ring sizes 33, 36, 38, 43: each ring starts at (r, 0, 0).
  EXPECT_EQ(disk->points[33].modelX, 1035);
  EXPECT_EQ(disk->points[69].modelX, 1135);
  EXPECT_EQ(disk->points[107].modelX, 1235);

  auto spiral = Started(3);
  EXPECT_NEAR(spiral->points[0].modelX, -305.534, 1e-2);
  EXPECT_NEAR(spiral->points[0].modelY, -1000, 1e-3);
  EXPECT_NEAR(spiral->points[0].modelZ, 420.082, 1e-2);
  EXPECT_NEAR(spiral->points[824].modelY, 998, 1.0);

  auto torus = Started(4);
  EXPECT_NEAR(torus->points[0].modelX, 1150, 1e-3);
  EXPECT_NEAR(torus->points[4].modelX, 850, 1e-3);
  EXPECT_NEAR(torus->points[4].modelY, 300, 1e-3);
  EXPECT_NEAR(torus->points[680].modelX, 1150, 1e-2);  // the 41st section repeats the first

  auto glass = Started(5);
  EXPECT_NEAR(glass->points[0].modelX, 0, 1e-3);
  EXPECT_NEAR(glass->points[0].modelY, 951.919, 1e-2);
  EXPECT_NEAR(glass->points[0].modelZ, 632.919, 1e-2);
  EXPECT_EQ(glass->radius, 1430);

  auto cube = Started(6);
  auto at = [&](int i) { return std::array<float, 3>{cube->points[i].modelX, cube->points[i].modelY, cube->points[i].modelZ}; };
  EXPECT_EQ(at(0), (std::array<float, 3>{-720, -720, -720}));
  EXPECT_EQ(at(12), (std::array<float, 3>{720, -720, -720}));
  EXPECT_EQ(at(156), (std::array<float, 3>{-600, -720, -600}));
  EXPECT_EQ(at(420), (std::array<float, 3>{-600, -600, -600}));
  EXPECT_EQ(at(551), (std::array<float, 3>{600, 600, 600}));
  std::set<std::array<float, 3>> distinct;
  for (int i = 0; i < cube->pointCount; ++i) distinct.insert(at(i));
  EXPECT_EQ(distinct.size(), 496u);
}

TEST(ObjectPoints, PicturePlacementAndSpin) {
  SimulatedWorld world;
  auto yin = Started(7);
  EXPECT_EQ(yin->radius, 1866);
  auto logo = Started(12, 6);
  EXPECT_EQ(logo->radius, 1650);
  auto banner = Started(12, 5);
  EXPECT_EQ(banner->radius, 1925);
  float minX = 1e9f, maxX = -1e9f;
  for (int i = 0; i < logo->pointCount; ++i) {
    minX = std::min(minX, logo->points[i].modelX);
    maxX = std::max(maxX, logo->points[i].modelX);
    EXPECT_EQ(logo->points[i].modelY, 0);
  }
  EXPECT_EQ(minX, -1500);  // the logo's frame spans columns 0..69
  EXPECT_EQ(maxX, 1457);

  // The z spin is a third of what the base plan draws from the same numbers.
  SeedRandom(99);
  SphereObject plain;
  plain.Start(kView);
  SeedRandom(99);
  YinYangObject picture;
  picture.Start(kView);
  EXPECT_FLOAT_EQ(picture.targetSpinZ, plain.targetSpinZ * 0.33333334f);
  EXPECT_FLOAT_EQ(picture.targetSpinX, plain.targetSpinX);
}

TEST(ObjectPoints, FourDCubeEdgesAndLayout) {
  SimulatedWorld world;
  Cube4DObject c;
  c.Start(kView);
  EXPECT_EQ(c.pointCount, 656);
  EXPECT_EQ(c.edges[0], (std::array<int32_t, 2>{0, 1}));
  EXPECT_EQ(c.edges[31], (std::array<int32_t, 2>{14, 15}));
  c.angleX = c.angleY = c.angleZ = 0;
  c.spinX = c.spinY = c.spinZ = c.targetSpinX = c.targetSpinY = c.targetSpinZ = 0;
  c.startSpinX = c.startSpinY = c.startSpinZ = 0;
  c.angleXW = c.angleYW = c.angleZW = 0;
  c.Update();
  EXPECT_EQ(c.pointCount, 656);
  EXPECT_NEAR(c.points[0].x - c.offsetX, -560, 1e-3);
  EXPECT_NEAR(c.points[15].y - c.offsetY, 560, 1e-3);
  EXPECT_NEAR(c.points[16].x - c.offsetX, -506.67, 1e-2);
}

double Distance(const Vec3f& a, const Vec3f& b) {
  const double dx = double(a.x) - b.x, dy = double(a.y) - b.y, dz = double(a.z) - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The nucleus's first face is a fixed list; the rest must be that face turned
// about the centre. Catches a regenerated or reordered first face, faces
// that are mirror images or drift off the sphere, and gaps or clumps where
// two faces meet.
TEST(ObjectPoints, NucleusIsTheFirstFaceTurnedOntoEveryFace) {
  const auto& n = NucleusPoints();
  const float face0[9][3] = {{15.74f, -95.511f, 11.436f}, {50.437f, -82.595f, 11.613f}, {31.724f, -89.025f, 23.049f},
                             {26.63f, -82.595f, 44.38f},  {78.389f, -56.792f, 11.436f}, {64.558f, -68.733f, 23.049f},
                             {61.084f, -61.301f, 44.38f}, {41.87f, -68.733f, 54.276f},  {35.1f, -56.792f, 71.018f}};
  for (int k = 0; k < 9; ++k) {
    EXPECT_EQ(n[k].x, face0[k][0]) << "k" << k;
    EXPECT_EQ(n[k].y, face0[k][1]) << "k" << k;
    EXPECT_EQ(n[k].z, face0[k][2]) << "k" << k;
  }
  // The listed bounds are rounded figures (radii to 0.01, spacing to 0.1): the
  // first face itself has a point at 97.4728 and a pair 20.7947 apart.
  double nearestMin = 1e9, nearestMax = 0;
  for (int i = 0; i < 180; ++i) {
    const double r = Distance(n[i], {0, 0, 0});
    EXPECT_GE(r, 97.065) << i;
    EXPECT_LE(r, 97.475) << i;
    double nearest = 1e9;
    for (int j = 0; j < 180; ++j)
      if (j != i) nearest = std::min(nearest, Distance(n[i], n[j]));
    nearestMin = std::min(nearestMin, nearest);
    nearestMax = std::max(nearestMax, nearest);
  }
  EXPECT_GE(nearestMin, 20.75);
  EXPECT_LE(nearestMax, 22.95);
  for (int f = 0; f < 20; ++f) {
    // Same shape and the same order as face 0, point by point, and the same
    // turn: a mirror image would flip the sign of this triple product.
    for (int a = 0; a < 9; ++a)
      for (int b = a + 1; b < 9; ++b)
        EXPECT_NEAR(Distance(n[9 * f + a], n[9 * f + b]), Distance(n[a], n[b]), 1e-3) << "face " << f;
    const auto triple = [&](int base) {
      const Vec3f &p = n[base], &q = n[base + 4], &r = n[base + 8];
      return double(p.x) * (double(q.y) * r.z - double(q.z) * r.y) - double(p.y) * (double(q.x) * r.z - double(q.z) * r.x) +
             double(p.z) * (double(q.x) * r.y - double(q.y) * r.x);
    };
    EXPECT_NEAR(triple(9 * f), triple(0), 1.0) << "face " << f;
  }
  for (int f = 0; f < 5; ++f) {
    const Vec3f& first = n[9 * f];
    EXPECT_NEAR(first.y, -95.511, 1e-3) << "face " << f;
    EXPECT_NEAR(std::hypot(double(first.x), double(first.z)), 19.456, 1e-3) << "face " << f;
    const Vec3f& top = n[9 * (15 + f)];
    EXPECT_NEAR(top.y, 95.511, 1e-3) << "face " << 15 + f;
    for (int k = 0; k < 9; ++k) {
      EXPECT_LT(n[9 * f + k].y, -50) << "face " << f << " is not around -y";
      EXPECT_GT(n[9 * (15 + f) + k].y, 50) << "face " << 15 + f << " is not around +y";
    }
  }
}

TEST(ObjectPoints, AtomAndMoleculeLayout) {
  SimulatedWorld world;
  AtomObject atom;
  atom.Start(kView);
  for (const auto& o : atom.orbits) {
    EXPECT_GE(o.orbitRadius, 900);
    EXPECT_LE(o.orbitRadius, 1300);
  }
  EXPECT_EQ(atom.points[416].color, 0xFFFFFFu);
  // Electron colours are the blue base scaled by 200..399.
  EXPECT_EQ(ScaleColor(0xFF5340, 200), (199u << 16) | (64u << 8) | 50u);
  atom.Update();
  for (const auto& o : atom.orbits) {
    EXPECT_GE(o.angle, 0);
    EXPECT_LT(o.angle, 6.283185307);
  }

  MoleculeObject mol;
  mol.Start(kView);
  EXPECT_EQ(mol.points[0].color, 0xFF5340u);    // N
  EXPECT_EQ(mol.points[32].color, 0x606060u);   // C
  EXPECT_EQ(mol.points[11 * 32].color, 0x4540FFu);  // O
  EXPECT_EQ(mol.points[640].color, 0xFFFFFFu);  // first bead
}

// A scene object whose points and timeline the test sets itself.
class Probe : public SceneObject {
 public:
  explicit Probe(int n, int r = 1100) : n_(n), r_(r) {}
  void Build() override {
    radius = r_;
    for (int i = 0; i < n_; ++i) AddPoint(i, 0, 0, 0xFFFFFF);
  }
  int n_, r_;
};

TEST(Timeline, StartGrowsRadiusByATenth) {
  SimulatedWorld world;
  Probe a(10, 1100), b(10, 9);
  a.Start(kView);
  b.Start(kView);
  EXPECT_EQ(a.radius, 1210);
  EXPECT_EQ(b.radius, 9);
}

TEST(Timeline, AppearingEntryAndVanishingExit) {
  SimulatedWorld world;
  Probe o(600);
  o.Start(kView);
  o.entryMode = 1;
  o.exitMode = 2;
  o.entryDuration = 6000;
  o.exitStart = 10000;
  o.exitDuration = 4000;
  o.revealOrder = std::make_unique<int32_t[]>(600);
  for (int i = 0; i < 600; ++i) o.revealOrder[i] = 599 - i;
  const uint32_t t0 = o.startTick;
  world.ticks.Set(t0 + 1500);
  o.Advance();
  EXPECT_EQ(o.visibleCount, 300);
  EXPECT_EQ(o.offsetZ, 7400);
  world.ticks.Set(t0 + 3000);
  o.Advance();
  EXPECT_EQ(o.visibleCount, 600);
  world.ticks.Set(t0 + 8000);
  o.Advance();
  EXPECT_FALSE(o.shuffled);
  EXPECT_EQ(o.spinX, o.targetSpinX);
  world.ticks.Set(t0 + 12000);
  o.Advance();
  EXPECT_EQ(o.hiddenCount, 300);
  EXPECT_TRUE(o.shuffled);
  EXPECT_FALSE(o.finished);
  world.ticks.Set(t0 + 14000);
  o.Advance();
  EXPECT_FALSE(o.finished);
  world.ticks.Set(t0 + 14001);
  o.Advance();
  EXPECT_TRUE(o.finished);
  EXPECT_EQ(o.hiddenCount, 600);
}

TEST(Timeline, FlightsEaseInAndOut) {
  SimulatedWorld world;
  Probe o(10);
  o.Start(kView);
  o.entryMode = 0;
  o.exitMode = 0;
  o.entryDuration = 8000;
  o.exitStart = 12000;
  o.exitDuration = 6000;
  o.entryFromX = 3000.7f, o.entryFromY = -200.2f, o.entryFromZ = 40000.5f;
  o.exitToX = -5000, o.exitToY = 100, o.exitToZ = 20000;
  const uint32_t t0 = o.startTick;
  world.ticks.Set(t0);
  o.Advance();
  EXPECT_NEAR(o.offsetX, 3000, 1);
  EXPECT_NEAR(o.offsetZ, 40000, 1);
  world.ticks.Set(t0 + 7999);
  o.Advance();
  EXPECT_NEAR(o.offsetX, 0, 1);
  EXPECT_NEAR(o.offsetZ, 7400, 1);
  world.ticks.Set(t0 + 18000);
  o.Advance();
  EXPECT_NEAR(o.offsetX, -5000, 1);
  EXPECT_NEAR(o.offsetZ, 20000, 1);
  EXPECT_FALSE(o.finished);
  world.ticks.Set(t0 + 18500);
  o.Advance();
  EXPECT_TRUE(o.finished);
  EXPECT_LT(o.offsetX, -5000);  // on along the same parabola
}

TEST(Timeline, PlanStaysInItsRanges) {
  SimulatedWorld world;
  int shuffledPlans = 0;
  for (int i = 0; i < 300; ++i) {
    Probe o(50);
    o.Start(kView);
    if (o.entryMode == 0) {
      EXPECT_GE(o.entryDuration, 6000);
      EXPECT_LE(o.entryDuration, 9000);
      EXPECT_GE(o.entryFromZ, -7400);
      EXPECT_LE(o.entryFromZ, 92200);
    } else {
      EXPECT_GE(o.entryDuration, 5000);
      EXPECT_LE(o.entryDuration, 8000);
    }
    EXPECT_GE(o.exitStart - o.entryDuration, 2000);
    EXPECT_LE(o.exitStart - o.entryDuration, 24000);
    EXPECT_LE(std::abs(o.targetSpinX), 0.0012f + 1e-7f);
    const bool wantsOrder = o.entryMode == 2 || o.exitMode == 2;
    EXPECT_EQ(wantsOrder, o.revealOrder != nullptr);
    if (wantsOrder) {
      ++shuffledPlans;
      std::set<int> seen(o.revealOrder.get(), o.revealOrder.get() + 50);
      EXPECT_EQ(seen.size(), 50u);
    }
  }
  EXPECT_GT(shuffledPlans, 50);
}

TEST(Shading, LevelFollowsRotatedDepth) {
  EXPECT_EQ(DepthLevel(1210, -1210), 296);
  EXPECT_EQ(DepthLevel(1210, 1210), 40);
  EXPECT_EQ(DepthLevel(1210, 0), 168);
  EXPECT_EQ(DepthLevel(1210, 1100), 51);
  EXPECT_EQ(DepthLevel(1210, -1100), 284);
}

TEST(Shading, FrameWithoutTimeKeepsAngles) {
  SimulatedWorld world;
  SphereObject s;
  s.Start(kView);
  s.Update();
  const float ax = s.angleX, ay = s.angleY;
  s.Update();
  EXPECT_EQ(s.frameDelta, 0);
  EXPECT_EQ(s.angleX, ax);
  EXPECT_EQ(s.angleY, ay);
}

TEST(Relief, FixedTiltAndHalfSpin) {
  SimulatedWorld world;
  ReliefObject r;
  r.Start(kView);
  for (int i = 0; i < 50; ++i) {
    world.ticks.Advance(137);
    r.Update();
    EXPECT_FLOAT_EQ(r.angleX, 0.35f);
    EXPECT_EQ(r.angleZ, 0.0f);
    EXPECT_EQ(r.pointCount, 900);
  }
}

// Heights and colours in rows and columns 127 and 128 carry markers that must
// never show up in the grid, wherever the flight is.
TEST(Relief, NeverReadsPastRowOrColumn126) {
  SimulatedWorld world;
  testing::CopiedResources res(EmbeddedResources());
  for (const char* name : {"LHEIGHT", "LCOLOR"}) {
    auto& b = res.bytes[name];
    const size_t bits = 40 + 1024;
    uint8_t* palette = b.data() + 40;
    palette[4 * 77] = 0x56, palette[4 * 77 + 1] = 0x34, palette[4 * 77 + 2] = 0x12;
    for (int r = 0; r < 129; ++r)
      for (int c = 0; c < 129; ++c) {
        const bool edge = r >= 127 || c >= 127;
        uint8_t& px = b[bits + r * 132 + c];
        if (std::string(name) == "LHEIGHT") px = edge ? 255 : 0;
        else px = edge ? 77 : 1;
      }
  }
  ReliefObject relief(res);
  relief.Start(kView);
  for (int step = 0; step < 2000; ++step) {
    relief.heading = static_cast<float>(step * 6.283185307 / 2000);
    relief.Update();
    for (int i = 0; i < relief.pointCount; ++i) {
      ASSERT_EQ(relief.points[i].modelY, 384.0f) << "heading step " << step;
      ASSERT_NE(relief.points[i].color, 0x123456u) << "heading step " << step;
    }
  }
}

}  // namespace
}  // namespace tk
