#include "platform/offscreen/headless.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <sys/stat.h>

#include "core/clock.h"
#include "host/render_host.h"
#include "host/render_loop.h"
#include "platform/offscreen/image_writers.h"
#include "platform/offscreen/memory_display.h"
#include "platform/offscreen/memory_store.h"
#include "settings/file_store.h"

namespace tk {
namespace {

// The headless run has no thread: the render loop is stepped frame by frame
// on the caller's thread, on simulated time.
class NoThread final : public ThreadStarter {
 public:
  bool Start(std::function<void()>, int32_t) override { return true; }
  void Join() override {}
};

// Simulated working time charged to every frame, so the pacer sees a
// plausible machine and the frame rate settles as it would on screen.
constexpr uint32_t kWorkPerFrameMs = 3;

int Fail(const std::string& why) {
  std::fprintf(stderr, "telkarim: %s\n", OneLine(why).c_str());
  return 2;
}

}  // namespace

int RunHeadless(const Options& o) {
  // A picture of width * height pixels needs it several times over (surface,
  // RGB copy, GIF indices); refuse sizes that cannot be had instead of dying.
  const size_t pixels = static_cast<size_t>(o.width) * static_cast<size_t>(o.height);
  std::unique_ptr<MemoryDisplay> display;
  try {
    display = std::make_unique<MemoryDisplay>(o.width, o.height, o.format);
    std::vector<uint8_t> probe(pixels * 4);
    (void)probe;
  } catch (const std::bad_alloc&) {
    return Fail("--size " + std::to_string(o.width) + "x" + std::to_string(o.height) + " needs more memory than there is");
  }
  if (!o.recordDir.empty()) {
    struct stat st{};
    if (stat(o.recordDir.c_str(), &st) != 0 && mkdir(o.recordDir.c_str(), 0777) != 0)
      return Fail("cannot create " + o.recordDir + ": " + std::strerror(errno));
  }

  SimulatedTickSource clock(o.startTick, kWorkPerFrameMs);
  InstallTickSource(&clock);
  struct Restore {
    ~Restore() { InstallTickSource(nullptr); }
  } restore;

  MemorySettingsStore memoryStore;
  std::unique_ptr<FileSettingsStore> fileStore;
  SettingsStore* store = &memoryStore;
  if (o.settingsFile) {
    fileStore = std::make_unique<FileSettingsStore>(*o.settingsFile);
    store = fileStore.get();
  }
  NoThread noThread;
  HostPlatform platform{{display.get()}, *store, EmbeddedResources(), noThread,
                        [overrides = o.settingOverrides](Settings& s) {
                          std::string ignored;
                          for (const std::string& a : overrides) ApplySettingOverride(s, a, ignored);
                        }};
  RenderHost host(platform, o.seed);

  GifWriter gif;
  std::string error;
  if (!o.gifPath.empty() && !gif.Open(o.gifPath, o.width, o.height, error)) return Fail(error);

  const uint64_t endMs = static_cast<uint64_t>(o.seconds * 1000.0);
  uint64_t frames = 0;
  if (host.errorText()) {
    // No render thread in error mode: the picture stays black, and the
    // message goes where a person can read it.
    std::fprintf(stderr, "telkarim: %s\n", host.errorText());
  } else {
    RenderLoop loop(host);
    loop.Begin();
    // Elapsed time is summed in 64 bits from 32-bit tick steps, so the end
    // is reached across the tick count's wrap however long the run.
    uint32_t last = TickCount();
    uint64_t elapsedMs = 0;
    uint32_t lastGif = last;
    while (elapsedMs < endMs || frames == 0) {
      loop.Frame();
      ++frames;
      const uint32_t tick = TickCount();
      elapsedMs += static_cast<uint32_t>(tick - last);
      last = tick;
      if (frames % static_cast<uint64_t>(o.every) != 0) continue;
      if (!o.recordDir.empty()) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame%06llu.png", static_cast<unsigned long long>(frames));
        if (!WritePng(o.recordDir + name, o.width, o.height, display->ToRgb(), error)) return Fail(error);
      }
      if (!o.gifPath.empty()) {
        const uint32_t now = TickCount();
        if (!gif.AddFrame(display->ToRgb(), now - lastGif, error)) return Fail(error);
        lastGif = now;
      }
    }
    loop.End();
  }
  if (!o.gifPath.empty()) {
    if (frames == 0 && !gif.AddFrame(display->ToRgb(), 100, error)) return Fail(error);
    if (!gif.Close(error)) return Fail(error);
  }
  if (!o.renderPath.empty() && !WritePng(o.renderPath, o.width, o.height, display->ToRgb(), error))
    return Fail(error);
  std::fprintf(stderr, "telkarim: %llu frames, %.1f s simulated\n", static_cast<unsigned long long>(frames),
               o.seconds);
  return 0;
}

}  // namespace tk

#include "platform/offscreen/sheet.h"

namespace tk {
int RunSheet(const Options& options) { return RunSheetImpl(options); }
}  // namespace tk
