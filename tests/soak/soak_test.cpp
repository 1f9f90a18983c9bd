// A saver runs unattended for days: objects must keep coming after the
// 32-bit tick count wraps, and memory must stay flat. The short form runs in
// every test run; TK_SOAK_LONG=1 runs two simulated hours at 1920x1080.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

#include "core/clock.h"
#include "host/render_host.h"
#include "host/render_loop.h"
#include "platform/offscreen/memory_display.h"
#include "platform/offscreen/memory_store.h"

#ifdef __SANITIZE_ADDRESS__
// The address sanitizer holds freed blocks back in a quarantine, and even a
// small one grows the resident size by more than our bound; without it the
// memory figure is ours. Leaks are still the sanitizer's check at exit, and
// the rest of the suite keeps the quarantine.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=0:thread_local_quarantine_size_kb=0"; }
#endif

namespace tk {
namespace {

long ResidentKiB() {
  std::ifstream f("/proc/self/statm");
  long pages = 0, resident = 0;
  f >> pages >> resident;
  return resident * 4;
}

class NoThread final : public ThreadStarter {
 public:
  bool Start(std::function<void()>, int32_t) override { return true; }
  void Join() override {}
};

struct Observed {
  uint32_t wrapTick = 0;
  int created = 0, createdAfterWrap = 0;
  bool wrapped = false;
};

TEST(Soak, ObjectsKeepComingAcrossTheTickWrapWithFlatMemory) {
  const bool longRun = std::getenv("TK_SOAK_LONG") != nullptr;
  const int32_t w = longRun ? 1920 : 640, h = longRun ? 1080 : 480;
  const uint64_t simulatedMs = longRun ? 2ull * 3600 * 1000 : 12ull * 60 * 1000;
  SimulatedTickSource clock(0xFFFFFFFFu - 60000u + 1u, 3);  // 60 s before the wrap
  InstallTickSource(&clock);
  MemoryDisplay display(w, h);
  MemorySettingsStore store;
  store.SetDword("StarNumber", 500);
  NoThread noThread;
  HostPlatform p{{&display}, store, EmbeddedResources(), noThread, nullptr};
  RenderHost host(p, 12345);
  ASSERT_EQ(host.errorText(), nullptr);
  RenderLoop loop(host);
  Observed seen;
  loop.observerContext = &seen;
  loop.onObjectCreated = [](void* ctx, SceneObject&) {
    auto* s = static_cast<Observed*>(ctx);
    ++s->created;
    if (s->wrapped) ++s->createdAfterWrap;
  };
  loop.Begin();
  const uint32_t start = clock.Now();
  long rssAfterMinute = 0;
  uint64_t frames = 0;
  uint32_t last = start;
  while (static_cast<uint64_t>(clock.Now() - start) < simulatedMs) {
    loop.Frame();
    ++frames;
    if (clock.Now() < last) seen.wrapped = true;
    last = clock.Now();
    if (!rssAfterMinute && clock.Now() - start >= 60000u) rssAfterMinute = ResidentKiB();
  }
  loop.End();
  InstallTickSource(nullptr);
  const long rssEnd = ResidentKiB();
  std::printf("soak: %llu frames, %.2f simulated hours, %d objects (%d after the wrap), RSS %ld -> %ld KiB\n",
              static_cast<unsigned long long>(frames), simulatedMs / 3600000.0, seen.created,
              seen.createdAfterWrap, rssAfterMinute, rssEnd);
  EXPECT_TRUE(seen.wrapped);
  // An object shows for at most about 41 s plus a pause of up to 6 s.
  EXPECT_GE(seen.createdAfterWrap, static_cast<int>(simulatedMs / 60000 / 2));
  EXPECT_LE(rssEnd - rssAfterMinute, 1024);
}

}  // namespace
}  // namespace tk
