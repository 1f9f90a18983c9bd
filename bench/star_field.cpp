// One star-field frame (erase, move, respawn, plot) with 500 stars into a
// 32-bit surface, at three screen sizes.
#include <benchmark/benchmark.h>

#include "core/clock.h"
#include "core/random.h"
#include "core/star_field.h"
#include "host/frame_buffer.h"
#include "platform/offscreen/memory_display.h"
#include "settings/settings.h"

namespace {

void BM_StarFieldFrame(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  tk::SimulatedTickSource clock(1000);
  tk::InstallTickSource(&clock);
  tk::SeedRandom(1);
  tk::MemoryDisplay display(w, h);
  display.Open();
  tk::Settings settings;
  settings.starNumber = 500;
  const tk::Viewport v = tk::MakeViewport(w, h);
  tk::StarField field(v, settings);
  std::vector<tk::Rect> visible;
  for (auto _ : state) {
    clock.Advance(20);
    tk::FrameBuffer fb(display, visible);
    field.Draw(fb, v);
    benchmark::DoNotOptimize(display.pixels().data());
  }
  tk::InstallTickSource(nullptr);
}
BENCHMARK(BM_StarFieldFrame)->Args({640, 480})->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
