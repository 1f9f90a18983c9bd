// Render host start-up, its failure messages, error mode, teardown, and the
// render loop's object life cycle on simulated time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "core/clock.h"
#include "core/random.h"
#include "host/render_host.h"
#include "host/render_loop.h"
#include "platform/offscreen/memory_display.h"
#include "platform/offscreen/memory_store.h"

namespace tk {
namespace {

class NoThread final : public ThreadStarter {
 public:
  bool Start(std::function<void()> b, int32_t p) override {
    body = std::move(b);
    priority = p;
    ++starts;
    return true;
  }
  void Join() override { ++joins; }
  std::function<void()> body;
  int32_t priority = 99;
  int starts = 0, joins = 0;
};

class RecordingPainter final : public TextPainter {
 public:
  Rect ClientRect() override { return client; }
  void FillBlack(const Rect& r) override { blacked.push_back(r); }
  void Measure(std::string_view, int32_t h, int32_t& w, int32_t& th) override {
    w = 10 * h;
    th = 2 * h;
  }
  void Draw(std::string_view t, const Rect& r, int32_t h, uint32_t c) override {
    text = std::string(t);
    drawn = r;
    height = h;
    colour = c;
  }
  Rect client{0, 0, 640, 480};
  std::vector<Rect> blacked;
  std::string text;
  Rect drawn;
  int32_t height = 0;
  uint32_t colour = 0;
};

struct HostTest : ::testing::Test {
  void SetUp() override { InstallTickSource(&clock); }
  void TearDown() override { InstallTickSource(nullptr); }
  HostPlatform Platform() { return HostPlatform{{&display}, store, EmbeddedResources(), threads, nullptr}; }
  SimulatedTickSource clock{10000, 3};
  MemoryDisplay display{320, 240};
  MemorySettingsStore store;
  NoThread threads;
};

TEST_F(HostTest, EachStartUpFailureGivesItsMessageAndNoThread) {
  const std::pair<DisplayOpen, const char*> cases[] = {
      {DisplayOpen::kComFailed, "ERROR: OLE initialization failure!"},
      {DisplayOpen::kNoDirectDraw, "Telkarim's Screen Saver requires DirectDraw!"},
      {DisplayOpen::kInitFailed, "ERROR: DirectDraw initialization failure!"},
      {DisplayOpen::kSurfaceFailed, "ERROR: Could not create DirectDraw surface!"},
  };
  for (const auto& [step, message] : cases) {
    display.failOpen = step;
    HostPlatform p = Platform();
    RenderHost host(p, 1);
    ASSERT_NE(host.errorText(), nullptr);
    EXPECT_STREQ(host.errorText(), message);
    EXPECT_FALSE(host.threadStarted());
  }
  EXPECT_EQ(threads.starts, 0);
}

TEST_F(HostTest, PalettisedDisplayIsRefusedAndFifteenBitsAccepted) {
  MemoryDisplay eight(64, 64, 8);
  HostPlatform p{{&eight}, store, EmbeddedResources(), threads, nullptr};
  {
    RenderHost host(p, 1);
    EXPECT_STREQ(host.errorText(), "Telkarim's Screen Saver\nrequires at least 32,768 colors!");
    EXPECT_FALSE(eight.isOpen());  // given back at once
  }
  EXPECT_EQ(eight.closeCount, 1);
  MemoryDisplay fifteen(64, 64, 15);
  HostPlatform q{{&fifteen}, store, EmbeddedResources(), threads, nullptr};
  RenderHost ok(q, 1);
  EXPECT_EQ(ok.errorText(), nullptr);
  EXPECT_TRUE(ok.threadStarted());
}

TEST_F(HostTest, StartsTheThreadAtTheStoredPriorityAndTearsDownOnce) {
  store.SetDword("ThreadPriority", static_cast<uint32_t>(-15));
  {
    HostPlatform p = Platform();
    RenderHost host(p, 1);
    EXPECT_EQ(host.errorText(), nullptr);
    EXPECT_EQ(threads.priority, -15);
    EXPECT_TRUE(display.isOpen());
    // Monitor power-down stops rendering for good and gives the screen back.
    host.OnMonitorPowerDown();
    EXPECT_TRUE(host.StopRequested());
    EXPECT_EQ(threads.joins, 1);
    EXPECT_FALSE(display.isOpen());
  }
  // Teardown after the power-down neither joins nor closes a second time.
  EXPECT_EQ(threads.joins, 1);
  EXPECT_EQ(display.closeCount, 1);
}

TEST_F(HostTest, ErrorMessageStaysInsideTheClientWithItsHeightRange) {
  display.failOpen = DisplayOpen::kSurfaceFailed;
  HostPlatform p = Platform();
  RenderHost host(p, 5);
  RecordingPainter painter;
  for (int i = 0; i < 200; ++i) {
    const Rect before = host.textRect();
    ASSERT_TRUE(host.OnErrorTimer(painter));
    EXPECT_EQ(painter.blacked.back(), before);  // the last message is wiped first
    EXPECT_GE(painter.height, 640 / 60);
    EXPECT_LE(painter.height, 640 / 60 + 640 / 28 - 1);
    const Rect r = host.textRect();
    EXPECT_GE(r.left, 0);
    EXPECT_GE(r.top, 0);
    EXPECT_LE(r.right, 640);
    EXPECT_LE(r.bottom, 480);
    EXPECT_EQ(painter.text, "ERROR: Could not create DirectDraw surface!");
    // Shades of the message colour at levels 80..359.
    EXPECT_EQ(painter.colour & 0xFF, (painter.colour >> 8) & 0xFF);
  }
}

// Narrow windows make W / 28 zero; the font height must still be drawn from
// a non-empty range instead of dividing by zero.
TEST(ErrorFontHeight, NarrowWindowsKeepANonZeroRange) {
  EXPECT_EQ(ErrorFontHeight(27, 12345), 0);
  EXPECT_EQ(ErrorFontHeight(0, 7), 0);
  EXPECT_EQ(ErrorFontHeight(640, 22), 10);
  EXPECT_EQ(ErrorFontHeight(640, 23), 11);
}

TEST_F(HostTest, CommandLineOverridesApplyForTheRunOnly) {
  HostPlatform p = Platform();
  p.adjustSettings = [](Settings& s) { s.starNumber = 321; };
  RenderHost host(p, 1);
  EXPECT_EQ(ProcessSettings().starNumber, 321);
  EXPECT_EQ(store.saves, 0);
}

// The render loop on simulated time: a failed lock still paces and moves,
// and a tick count close to the wrap keeps the first pause short.
TEST_F(HostTest, LoopPacesThroughBusyLocksAndAcrossTheTickWrap) {
  clock.Set(0xFFFFFFFFu - 3000);
  HostPlatform p = Platform();
  RenderHost host(p, 1);
  RenderLoop loop(host);
  loop.Begin();
  EXPECT_EQ(display.attachCount, 1);
  display.busy = true;
  int32_t slept = 0;
  for (int i = 0; i < 50; ++i) slept += loop.Frame();
  EXPECT_GT(slept, 0);
  EXPECT_EQ(display.unlockCount, 0);
  display.busy = false;
  for (int i = 0; i < 600; ++i) loop.Frame();  // well past the wrap
  EXPECT_GT(display.unlockCount, 500);
  loop.End();
  EXPECT_EQ(display.detachCount, 1);
}

// A window narrower than the screen (a preview) sleeps at least 20 ms a frame.
TEST_F(HostTest, PreviewSleepsAtLeastTwentyMilliseconds) {
  display.SetScreenWidth(1920);
  HostPlatform p = Platform();
  RenderHost host(p, 1);
  RenderLoop loop(host);
  loop.Begin();
  for (int i = 0; i < 50; ++i) EXPECT_GE(loop.Frame(), 20);
}

TEST_F(HostTest, PauseBeforeTheFirstObjectIsAtMostSixSeconds) {
  for (uint32_t seed = 1; seed < 40; ++seed) {
    HostPlatform p = Platform();
    RenderHost host(p, seed);
    RenderLoop loop(host);
    const uint32_t t0 = clock.Now();
    loop.Begin();
    EXPECT_LE(loop.nextObjectTick() - t0, 6000u);
    loop.End();
  }
}

// Several monitors: each monitor shows exactly the scene a single monitor of
// its size would show with that monitor's seed, so no monitor's draws leak
// into another's sequence, and the first monitor's picture is the one the
// single-monitor saver draws with the host's own seed.
TEST_F(HostTest, EachMonitorShowsItsOwnSceneAsASingleMonitorWould) {
  constexpr int kFrames = 900;  // long enough for several objects to come and go
  auto single = [&](int32_t w, int32_t h, uint32_t seed) {
    clock.Set(10000);
    MemoryDisplay alone(w, h);
    HostPlatform p{{&alone}, store, EmbeddedResources(), threads, nullptr};
    RenderHost host(p, seed);
    RenderLoop loop(host);
    loop.Begin();
    for (int i = 0; i < kFrames; ++i) loop.Frame();
    loop.End();
    return alone.pixels();
  };
  const auto firstAlone = single(320, 240, 7);
  const auto secondAlone = single(200, 150, MonitorSeed(7, 1));
  const auto thirdAlone = single(160, 120, MonitorSeed(7, 2));

  clock.Set(10000);
  MemoryDisplay second(200, 150), third(160, 120);
  HostPlatform p = Platform();
  p.displays = {&display, &second, &third};
  RenderHost host(p, 7);
  ASSERT_EQ(host.displays().size(), 3u);
  DisplayScenes scenes(host);
  scenes.Begin();
  for (int i = 0; i < kFrames; ++i) scenes.Frame();
  scenes.End();
  EXPECT_TRUE(display.pixels() == firstAlone);
  EXPECT_TRUE(second.pixels() == secondAlone);
  EXPECT_TRUE(third.pixels() == thirdAlone);
  EXPECT_NE(secondAlone, std::vector<uint8_t>(secondAlone.size(), 0));
  EXPECT_EQ(second.attachCount, 1);
  EXPECT_EQ(second.detachCount, 1);
}

// A monitor that cannot be opened, or shows too few colours, stays black and
// costs the others nothing; every monitor that opened is closed on teardown.
TEST_F(HostTest, AFailingMonitorIsLeftOutAndTheRestAreClosed) {
  MemoryDisplay broken(100, 100), palettised(100, 100, 8), good(100, 100);
  broken.failOpen = DisplayOpen::kSurfaceFailed;
  {
    HostPlatform p = Platform();
    p.displays = {&display, &broken, &palettised, &good};
    RenderHost host(p, 1);
    EXPECT_EQ(host.errorText(), nullptr);
    const std::vector<DisplaySlot*> slots = host.displays().Slots();
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_EQ(slots[0]->display, &display);
    EXPECT_EQ(slots[1]->display, &good);
    EXPECT_EQ(slots[1]->random.State(), MonitorSeed(1, 3));
    EXPECT_FALSE(palettised.isOpen());
  }
  EXPECT_FALSE(good.isOpen());
  EXPECT_EQ(good.closeCount, 1);

  // The first monitor failing is still the saver's failure, as on one screen.
  display.failOpen = DisplayOpen::kInitFailed;
  HostPlatform p = Platform();
  p.displays = {&display, &good};
  RenderHost host(p, 1);
  EXPECT_STREQ(host.errorText(), "ERROR: DirectDraw initialization failure!");
  EXPECT_EQ(threads.starts, 1);
  EXPECT_EQ(good.openCount, 1);
}

// The real thread: start, run a few frames, stop on request and join.
TEST(RenderThread, StopsAndJoinsOnTeardown) {
  MemoryDisplay display(160, 120);
  MemorySettingsStore store;
  StdThreadStarter threads;
  HostPlatform p{{&display}, store, EmbeddedResources(), threads, nullptr};
  for (int i = 0; i < 20; ++i) {
    RenderHost host(p, 1);
    ASSERT_TRUE(host.threadStarted());
  }
  EXPECT_FALSE(display.isLocked());
}

// The same with three monitors on the one render thread (a race between the
// window thread and the scenes would show under the thread sanitizer).
TEST(RenderThread, SeveralMonitorsStopAndJoinOnTeardown) {
  MemoryDisplay first(160, 120), second(120, 90), third(80, 60);
  MemorySettingsStore store;
  StdThreadStarter threads;
  HostPlatform p{{&first, &second, &third}, store, EmbeddedResources(), threads, nullptr};
  for (int i = 0; i < 20; ++i) {
    RenderHost host(p, 1);
    ASSERT_TRUE(host.threadStarted());
  }
  for (const MemoryDisplay* d : {&first, &second, &third}) {
    EXPECT_FALSE(d->isLocked());
    EXPECT_FALSE(d->isOpen());
  }
}

// A memory display whose frames another thread may count while the render
// thread draws.
class WatchedDisplay final : public Display {
 public:
  WatchedDisplay(int32_t w, int32_t h) : inner_(w, h) {}
  DisplayOpen Open() override { return inner_.Open(); }
  PixelFormatInfo PixelFormat() override { return inner_.PixelFormat(); }
  void Close() override { inner_.Close(); }
  void AttachRenderThread() override { inner_.AttachRenderThread(); }
  void DetachRenderThread() override { inner_.DetachRenderThread(); }
  void ClientSize(int32_t& w, int32_t& h) override { inner_.ClientSize(w, h); }
  int32_t ScreenWidth() override { return inner_.ScreenWidth(); }
  bool Lock(PixelView& view, std::vector<Rect>& visible) override {
    frames.fetch_add(1);
    return inner_.Lock(view, visible);
  }
  void Unlock() override { inner_.Unlock(); }
  // Read by the window thread only once the display was taken back.
  const MemoryDisplay& inner() const { return inner_; }
  std::atomic<int> frames{0};

 private:
  MemoryDisplay inner_;
};

bool DrawnWithin(const WatchedDisplay& d, int ms) {
  for (int i = 0; i < ms && d.frames.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return d.frames.load() > 0;
}

// Outputs plugged in and out while the render thread draws: a display added
// gets a scene, one taken back is let go of before RemoveDisplay returns (a
// scene still drawing on a destroyed display would show under the address
// sanitizer, a hand-over without order under the thread sanitizer), and the
// first display may go like any other.
TEST(RenderThread, DisplaysComeAndGoWhileItDraws) {
  WatchedDisplay first(160, 120);
  MemorySettingsStore store;
  StdThreadStarter threads;
  HostPlatform p{{&first}, store, EmbeddedResources(), threads, nullptr};
  RenderHost host(p, 1);
  ASSERT_TRUE(host.threadStarted());
  for (int i = 0; i < 12; ++i) {
    auto extra = std::make_unique<WatchedDisplay>(80, 60);
    ASSERT_TRUE(host.AddDisplay(*extra));
    // Every other round it goes before the thread may even have seen it.
    if (i % 2 == 0) {
      ASSERT_TRUE(DrawnWithin(*extra, 20000));
    }
    host.RemoveDisplay(*extra);
    EXPECT_FALSE(extra->inner().isOpen());
    EXPECT_FALSE(extra->inner().isLocked());
    EXPECT_EQ(extra->inner().attachCount, extra->inner().detachCount);
  }
  EXPECT_EQ(host.displays().size(), 1u);
  WatchedDisplay last(100, 80);
  ASSERT_TRUE(host.AddDisplay(last));
  host.RemoveDisplay(first);
  EXPECT_FALSE(first.inner().isOpen());
  const int before = last.frames.load();
  for (int i = 0; i < 20000 && last.frames.load() < before + 3; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_GE(last.frames.load(), before + 3) << "the scene left alone stopped";
  host.OnMonitorPowerDown();
  EXPECT_FALSE(host.AddDisplay(first)) << "a saver stopped for good took a new display";
  EXPECT_FALSE(last.inner().isOpen());
}

}  // namespace
}  // namespace tk
