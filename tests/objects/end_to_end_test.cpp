#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/frame_buffer.h"
#include "objects/objects.h"
#include "platform/offscreen/memory_display.h"
#include "test_support.h"

namespace tk {
namespace {

// Runs one object of a kind from its start to its last frame at 20 ms a
// frame; returns a digest of every frame and leaves the last one in `display`.
uint64_t RunLife(int kind, int q, uint32_t seed, MemoryDisplay& display, int& frames, int& litFrames) {
  testing::SimulatedWorld world(seed);
  ProcessSettings().objectColor = 0x30C0F0;
  display.Open();
  std::vector<Rect> visible;
  const Viewport v = MakeViewport(display.width(), display.height());
  auto o = MakeObject(kind, q);
  o->Start(v);
  uint64_t digest = 1469598103934665603ull;
  frames = litFrames = 0;
  while (!o->finished && frames < 3000) {
    o->Update();
    FrameBuffer fb(display, visible);
    o->Draw(fb, v);
    bool lit = false;
    for (uint8_t b : display.pixels()) {
      digest = (digest ^ b) * 1099511628211ull;
      lit |= b != 0;
    }
    litFrames += lit;
    ++frames;
    world.ticks.Advance(20);
  }
  return digest;
}

class EveryKind : public ::testing::TestWithParam<int> {};

TEST_P(EveryKind, LeavesNothingBehindAndRepeatsExactly) {
  const int kind = GetParam() < 13 ? GetParam() : 12;
  const int q = GetParam() == 13 ? 9 : 0;
  for (uint32_t seed : {1u, 2u, 3u}) {
    MemoryDisplay a(320, 240), b(320, 240);
    int framesA, framesB, litA, litB;
    const uint64_t da = RunLife(kind, q, seed * 31 + GetParam(), a, framesA, litA);
    const uint64_t db = RunLife(kind, q, seed * 31 + GetParam(), b, framesB, litB);
    EXPECT_LT(framesA, 3000) << "never finished";
    EXPECT_GT(litA, framesA / 4) << "hardly ever drawn";
    EXPECT_EQ(da, db);
    EXPECT_EQ(framesA, framesB);
    size_t lit = 0;
    for (uint8_t p : a.pixels()) lit += p != 0;
    EXPECT_EQ(lit, 0u) << "kind " << kind << " seed " << seed << " left pixels behind";
  }
}

INSTANTIATE_TEST_SUITE_P(Objects, EveryKind, ::testing::Range(0, 14));

}  // namespace
}  // namespace tk
