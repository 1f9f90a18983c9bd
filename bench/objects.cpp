// Update + Draw of one frame of every object at 1920 x 1080, 32 bits a pixel.
#include <benchmark/benchmark.h>

#include <vector>

#include "core/clock.h"
#include "core/random.h"
#include "host/frame_buffer.h"
#include "objects/objects.h"
#include "platform/offscreen/memory_display.h"

namespace {

void ObjectFrame(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const int q = static_cast<int>(state.range(1));
  tk::SimulatedTickSource ticks(5000);
  tk::InstallTickSource(&ticks);
  tk::SeedRandom(12345);
  tk::MemoryDisplay display(1920, 1080);
  display.Open();
  std::vector<tk::Rect> visible;
  const tk::Viewport v = tk::MakeViewport(1920, 1080);
  auto start = [&] {
    auto o = tk::MakeObject(kind, q);
    o->Start(v);
    ticks.Advance(static_cast<uint32_t>(o->entryDuration));  // showing, at rest
    return o;
  };
  auto o = start();
  for (auto _ : state) {
    ticks.Advance(1);
    if (o->finished) o = start();
    o->Update();
    tk::FrameBuffer fb(display, visible);
    o->Draw(fb, v);
    benchmark::ClobberMemory();
  }
  tk::InstallTickSource(nullptr);
}

}  // namespace

BENCHMARK(ObjectFrame)
    ->ArgNames({"kind", "logo"})
    ->Args({0, 0})->Args({1, 0})->Args({2, 0})->Args({3, 0})->Args({4, 0})->Args({5, 0})->Args({6, 0})
    ->Args({7, 0})->Args({8, 0})->Args({9, 0})->Args({10, 0})->Args({11, 0})->Args({12, 0})->Args({12, 9})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
