#include <gtest/gtest.h>

#include <typeinfo>

#include "host/object_scheduler.h"
#include "objects/objects.h"
#include "test_support.h"

namespace tk {
namespace {

int KindOf(const SceneObject& o) {
  const std::type_info& t = typeid(o);
  const std::type_info* kinds[] = {&typeid(SphereObject),  &typeid(SaturnObject),   &typeid(DiskObject),
                                   &typeid(SpiralObject),  &typeid(TorusObject),    &typeid(WineGlassObject),
                                   &typeid(CubeObject),    &typeid(YinYangObject),  &typeid(Cube4DObject),
                                   &typeid(ReliefObject),  &typeid(AtomObject),     &typeid(MoleculeObject)};
  for (int k = 0; k < 12; ++k)
    if (t == *kinds[k]) return k;
  if (t == typeid(BannerObject)) return 12;
  if (t == typeid(LogoObject)) return 13;
  return -1;
}

TEST(Scheduler, AllOffGivesOnlyThePicture) {
  testing::SimulatedWorld world(3);
  Settings s;
  for (int k = 0; k < 12; ++k) s.disabled[k] = true;
  SchedulerState state;
  int banner = 0, logo = 0;
  for (int i = 0; i < 2000; ++i) {
    const int k = KindOf(*CreateNextObject(state, s));
    ASSERT_TRUE(k == 12 || k == 13);
    (k == 12 ? banner : logo)++;
  }
  EXPECT_NEAR(banner / 2000.0, 0.6, 0.04);
  EXPECT_TRUE(state.firstChoice);  // never cleared without an enabled object
}

TEST(Scheduler, OneEnabledAlternatesWithThePicture) {
  testing::SimulatedWorld world(5);
  Settings s;
  for (int k = 0; k < 12; ++k) s.disabled[k] = k != 4;
  SchedulerState state;
  EXPECT_EQ(KindOf(*CreateNextObject(state, s)), 4);
  for (int i = 0; i < 200; ++i) {
    const int k = KindOf(*CreateNextObject(state, s));
    if (i % 2 == 0) EXPECT_GE(k, 12);
    else EXPECT_EQ(k, 4);
  }
}

TEST(Scheduler, PositionsSkipDisabledKinds) {
  testing::SimulatedWorld world(11);
  Settings s;
  s.disabled[0] = s.disabled[1] = true;
  SchedulerState state;
  state.firstChoice = false;
  for (int i = 0; i < 500; ++i) {
    const int k = KindOf(*CreateNextObject(state, s));
    EXPECT_NE(k, 0);
    EXPECT_NE(k, 1);
    if (state.lastChoice == 0) {
      EXPECT_EQ(k, 2);
    }
    if (state.lastChoice == 10) {
      EXPECT_GE(k, 12);
    }
  }
}

TEST(Scheduler, FirstChoiceNoRepeatAndWeights) {
  testing::SimulatedWorld world(17);
  Settings s;
  int firstPicture = 0;
  for (int run = 0; run < 300; ++run) {
    SchedulerState state;
    if (KindOf(*CreateNextObject(state, s)) >= 12) ++firstPicture;
    EXPECT_FALSE(state.firstChoice);
  }
  EXPECT_EQ(firstPicture, 0);

  SchedulerState state;
  int counts[13] = {};
  int last = -1;
  const int draws = 14000;
  for (int i = 0; i < draws; ++i) {
    const int pos = (CreateNextObject(state, s), state.lastChoice);
    ASSERT_NE(pos, last);
    ASSERT_GE(pos, 0);
    ASSERT_LE(pos, 12);
    ++counts[pos];
    last = pos;
  }
  // The picture has twice an object's weight before the no-repeat rule; after
  // it, a repeated picture moves to position 0.
  for (int k = 1; k < 12; ++k) EXPECT_NEAR(counts[k] / double(draws), 1.0 / 14 * 14 / 13.0, 0.02) << k;
  EXPECT_GT(counts[12], counts[5] * 1.5);
  EXPECT_GT(counts[0], counts[5]);
}

}  // namespace
}  // namespace tk
