// The pacing arithmetic of the render loop.
#include <gtest/gtest.h>

#include "host/frame_pacer.h"

namespace tk {
namespace {

// 50 fps with 5 ms of work a frame settles at 15 ms sleeps: a 20 ms period.
TEST(FramePacer, SettlesOnTheTargetPeriod) {
  FramePacer p;
  uint32_t now = 1000;
  p.Reset(now);
  int32_t sleep = 0;
  for (int i = 0; i < 200; ++i) {
    now += 5;  // work
    sleep = p.NextSleep(now, 50, false);
    now += static_cast<uint32_t>(sleep);
  }
  EXPECT_EQ(sleep, 15);
}

TEST(FramePacer, FirstFrameSleepsNearlyAFullPeriod) {
  FramePacer p;
  p.Reset(5000);
  // elapsed = 20 + 1 ms of set-up, slept 0: (200 - 21) / 10.
  EXPECT_EQ(p.NextSleep(5001, 50, false), 17);
  EXPECT_EQ(p.index(), 1);
}

TEST(FramePacer, SlowFramesNeverSleepNegativeFullScreen) {
  FramePacer p;
  p.Reset(0);
  EXPECT_EQ(p.NextSleep(5000, 50, false), 0);
}

// A preview sleeps at least half its mean frame period (the loop then adds
// its 20 ms floor).
TEST(FramePacer, SmallWindowSleepsHalfItsMeanPeriod) {
  FramePacer p;
  p.Reset(0);
  // elapsed runs from the oldest sample, 20 ms before the reset.
  EXPECT_EQ(p.NextSleep(5000, 50, true), (5000 + 20) / 20);
}

// The tick count wraps; the pacer works on 32-bit differences.
TEST(FramePacer, SurvivesTheTickWrap) {
  FramePacer p;
  uint32_t now = 0xFFFFFFFFu - 100;
  p.Reset(now);
  int32_t sleep = 0;
  for (int i = 0; i < 100; ++i) {
    now += 5;
    sleep = p.NextSleep(now, 50, false);
    ASSERT_GE(sleep, 0);
    ASSERT_LE(sleep, 20);
    now += static_cast<uint32_t>(sleep);
  }
  EXPECT_EQ(sleep, 15);
}

}  // namespace
}  // namespace tk
