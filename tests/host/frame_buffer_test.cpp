// The frame buffer: pixel formats, the clip rule, the three store widths,
// and the squares it records for displays that present from them.
#include <gtest/gtest.h>

#include "core/clock.h"
#include "host/fill_plan.h"
#include "host/frame_buffer.h"
#include "host/render_host.h"
#include "host/render_loop.h"
#include "platform/offscreen/memory_display.h"
#include "platform/offscreen/memory_store.h"

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

// A display that keeps no picture: the squares come through the damage
// list, clipped as pixels would be, in the display's pixel values; nothing
// is written anywhere. Without a damage list such a lock draws nothing.
class SquaresOnly final : public Display {
 public:
  DisplayOpen Open() override { return DisplayOpen::kOk; }
  PixelFormatInfo PixelFormat() override { return format; }
  void Close() override {}
  void ClientSize(int32_t& w, int32_t& h) override { w = 20, h = 10; }
  int32_t ScreenWidth() override { return 20; }
  bool Lock(PixelView& view, std::vector<Rect>& visible) override {
    view.bits = nullptr;
    view.pitch = 0;
    view.format = format;
    visible = {Rect{0, 0, 20, 10}};
    return true;
  }
  void Unlock() override {}
  DamageList* Damage() override { return withList ? &damage : nullptr; }
  PixelFormatInfo format{true, 16, 0xF800, 0x07E0, 0x001F};
  DamageList damage;
  bool withList = true;
};

TEST(FrameBuffer, ADisplayWithoutPixelsGetsTheSquaresOnly) {
  SquaresOnly d;
  d.damage.KeepSquares(true);
  std::vector<Rect> visible;
  {
    FrameBuffer fb(d, visible);
    ASSERT_TRUE(fb.locked());
    fb.FillSquare(18, 8, 2, 0x000000FF);
    fb.FillSquare(19, 8, 2, 0x000000FF);  // over the edge: dropped
    fb.FillSquare(3, 4, 2, 0);
  }
  EXPECT_EQ(d.damage.Written(), (std::vector<Rect>{Rect{18, 8, 20, 10}, Rect{3, 4, 5, 6}}));
  EXPECT_EQ(d.damage.WrittenPixels(), (std::vector<uint32_t>{0xF800u, 0u}));
  d.withList = false;
  FrameBuffer fb(d, visible);
  fb.FillSquare(0, 0, 1, 0xFFFFFF);
  EXPECT_TRUE(visible.empty());
}

class NoThread final : public ThreadStarter {
 public:
  bool Start(std::function<void()>, int32_t) override { return true; }
  void Join() override {}
};

// A screen in memory that also records every frame's squares and plans them.
class Recording final : public Display {
 public:
  Recording(int32_t w, int32_t h, int32_t format) : screen(w, h, format) { damage.KeepSquares(true); }
  DisplayOpen Open() override { return screen.Open(); }
  PixelFormatInfo PixelFormat() override { return screen.PixelFormat(); }
  void Close() override { screen.Close(); }
  void ClientSize(int32_t& w, int32_t& h) override { screen.ClientSize(w, h); }
  int32_t ScreenWidth() override { return screen.ScreenWidth(); }
  bool Lock(PixelView& view, std::vector<Rect>& visible) override {
    damage.Clear();
    return screen.Lock(view, visible);
  }
  void Unlock() override {
    screen.Unlock();
    const PixelFormatInfo f = screen.PixelFormat();
    plan.Build(damage.Written(), damage.WrittenPixels(), f.redMask | f.greenMask | f.blueMask, 0);
  }
  DamageList* Damage() override { return &damage; }
  MemoryDisplay screen;
  DamageList damage;
  FillPlan plan;
};

// The saver's own frames, objects coming and going: any part of the screen
// repainted from the last frame's plan alone equals what the frames left
// there in pixels. This holds because every lit point is erased and drawn
// again in every frame; a point left lit without being drawn again (an
// object dropped before its points were erased, a size changed between the
// erase and the draw) fails here.
TEST(FrameBuffer, TheLastFramesSquaresHoldTheWholePicture) {
  for (const auto& [format, seed] : {std::pair{32, 3u}, std::pair{16, 8u}}) {
    SCOPED_TRACE(format);
    SimulatedTickSource clock(5000 + seed, 3);
    InstallTickSource(&clock);
    struct Restore {
      ~Restore() { InstallTickSource(nullptr); }
    } restore;
    Recording d(640, 360, format);
    MemorySettingsStore store;
    NoThread noThread;
    HostPlatform platform{{&d}, store, EmbeddedResources(), noThread, [](Settings& s) { s.objectVelocity = 9; }};
    RenderHost host(platform, seed);
    RenderLoop loop(host);
    int objects = 0;
    loop.observerContext = &objects;
    loop.onObjectCreated = [](void* count, SceneObject&) { ++*static_cast<int*>(count); };
    loop.Begin();
    const PixelFormatInfo f = d.PixelFormat();
    const uint32_t channels = f.redMask | f.greenMask | f.blueMask;
    uint32_t pick = seed;
    auto next = [&pick](int32_t n) {
      pick = pick * 1103515245u + 12345u;
      return static_cast<int32_t>((pick >> 8) % static_cast<uint32_t>(n));
    };
    std::vector<FillPlan::Group> groups;
    std::vector<Rect> rects;
    std::vector<uint32_t> shown(640 * 360);
    for (int frame = 1; frame <= 50 * 80; ++frame) {
      loop.Frame();
      if (frame % 40 != 0) continue;
      const int32_t x = next(640), y = next(360);
      const Rect area = frame % 1000 == 0 ? Rect{0, 0, 640, 360} : Rect{x, y, x + 1 + next(640 - x), y + 1 + next(360 - y)};
      d.plan.Within(area, groups, rects);
      for (const FillPlan::Group& g : groups)
        for (uint32_t i = g.first; i < g.first + g.count; ++i)
          for (int32_t py = rects[i].top; py < rects[i].bottom; ++py)
            for (int32_t px = rects[i].left; px < rects[i].right; ++px) shown[py * 640 + px] = g.pixel;
      int wrong = 0;
      for (int32_t py = area.top; py < area.bottom; ++py)
        for (int32_t px = area.left; px < area.right; ++px)
          if ((d.screen.PixelAt(px, py) & channels) != shown[py * 640 + px] && ++wrong <= 3)
            ADD_FAILURE() << "frame " << frame << " at " << px << "," << py;
      ASSERT_EQ(wrong, 0);
    }
    loop.End();
    EXPECT_GE(objects, 3);
  }
}

}  // namespace
}  // namespace tk
