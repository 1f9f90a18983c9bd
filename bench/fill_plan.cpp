// Planning one frame's filled rectangles (FillPlan::Build) for the frames
// the saver really draws: 500 stars and the sphere, recorded at 1920x1080 and
// 3840x2160. "cold" evicts the caches before every plan, as the 20 ms sleep
// between two frames does on a busy machine; that is the case that decides
// what presenting costs on X.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "core/clock.h"
#include "core/random.h"
#include "core/star_field.h"
#include "host/damage_list.h"
#include "host/fill_plan.h"
#include "host/frame_buffer.h"
#include "objects/objects.h"
#include "platform/offscreen/memory_display.h"
#include "settings/settings.h"

namespace {

// A memory screen that keeps every square a frame wrote, as the X display
// does when it fills.
class Recording final : public tk::Display {
 public:
  Recording(int32_t w, int32_t h) : screen_(w, h) { damage_.KeepSquares(true); }
  tk::DisplayOpen Open() override { return screen_.Open(); }
  tk::PixelFormatInfo PixelFormat() override { return screen_.PixelFormat(); }
  void Close() override { screen_.Close(); }
  void ClientSize(int32_t& w, int32_t& h) override { screen_.ClientSize(w, h); }
  int32_t ScreenWidth() override { return screen_.ScreenWidth(); }
  bool Lock(tk::PixelView& view, std::vector<tk::Rect>& visible) override { return screen_.Lock(view, visible); }
  void Unlock() override { screen_.Unlock(); }
  tk::DamageList* Damage() override { return &damage_; }
  tk::DamageList& damage() { return damage_; }

 private:
  tk::MemoryDisplay screen_;
  tk::DamageList damage_;
};

struct Frame {
  std::vector<tk::Rect> squares;
  std::vector<uint32_t> pixels;
};

std::vector<Frame> Record(int32_t w, int32_t h, int frames) {
  tk::SimulatedTickSource clock(5000);
  tk::InstallTickSource(&clock);
  tk::SeedRandom(7);
  Recording display(w, h);
  display.Open();
  tk::Settings settings;
  settings.starNumber = 500;
  const tk::Viewport v = tk::MakeViewport(w, h);
  tk::StarField field(v, settings);
  auto sphere = tk::MakeObject(0);
  sphere->Start(v);
  clock.Advance(static_cast<uint32_t>(sphere->entryDuration));
  std::vector<tk::Rect> visible;
  std::vector<Frame> out;
  for (int i = 0; i < frames + 50; ++i) {
    clock.Advance(20);
    sphere->Update();
    {
      tk::FrameBuffer fb(display, visible);
      field.Draw(fb, v);
      sphere->Draw(fb, v);
    }
    if (i >= 50) out.push_back(Frame{display.damage().Written(), display.damage().WrittenPixels()});
    display.damage().Clear();
  }
  tk::InstallTickSource(nullptr);
  return out;
}

void BM_FillPlan(benchmark::State& state) {
  const int32_t w = static_cast<int32_t>(state.range(0)), h = static_cast<int32_t>(state.range(1));
  const bool cold = state.range(2) != 0;
  const std::vector<Frame> frames = Record(w, h, 100);
  std::vector<uint8_t> evict(size_t{64} << 20, 1);
  tk::FillPlan plan;
  size_t k = 0, rects = 0, squares = 0;
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      for (size_t i = 0; i < evict.size(); i += 64) evict[i] = static_cast<uint8_t>(evict[i] + 1);
      benchmark::ClobberMemory();
      state.ResumeTiming();
    }
    const Frame& f = frames[k++ % frames.size()];
    plan.Build(f.squares, f.pixels, 0x00FFFFFFu, 0);
    rects += plan.Rects().size();
    squares += f.squares.size();
  }
  state.counters["squares"] = benchmark::Counter(static_cast<double>(squares), benchmark::Counter::kAvgIterations);
  state.counters["rects"] = benchmark::Counter(static_cast<double>(rects), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FillPlan)
    ->ArgNames({"w", "h", "cold"})
    ->Args({1920, 1080, 0})
    ->Args({1920, 1080, 1})
    ->Args({3840, 2160, 0})
    ->Args({3840, 2160, 1})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
