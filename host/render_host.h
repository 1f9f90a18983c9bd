#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "host/display.h"
#include "host/display_list.h"
#include "host/resources.h"
#include "settings/settings.h"

namespace tk {

// Starts and joins the one render thread. The Windows build gives it its
// 16000-byte stack; the Linux build maps the priority onto the thread.
class ThreadStarter {
 public:
  virtual ~ThreadStarter() = default;
  // Runs body on a new thread at a settings priority (0 normal, -1 below
  // normal, -15 idle); false when no thread could be started.
  virtual bool Start(std::function<void()> body, int32_t priority) = 0;
  // Waits without limit for the thread to end.
  virtual void Join() = 0;
};

// std::thread, with the priority applied by the new thread to itself through
// `applyPriority` (platform code; may be null). Not in the Windows build.
class StdThreadStarter final : public ThreadStarter {
 public:
  explicit StdThreadStarter(void (*applyPriority)(int32_t) = nullptr);
  ~StdThreadStarter() override;
  bool Start(std::function<void()> body, int32_t priority) override;
  void Join() override;

 private:
  void (*applyPriority_)(int32_t);
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// What the render host is given by the platform layer.
struct HostPlatform {
  // The screens to draw on, each of which gets a scene of its own centred on
  // it: one on a single monitor, the common case; several, the primary's
  // first, when the saver covers several monitors. The first failing to open
  // is the saver's failure; another that fails stays black.
  std::vector<Display*> displays;
  SettingsStore& settingsStore;
  const ResourceSource& resources;
  ThreadStarter& threads;
  // Applied to the loaded settings before the render thread starts: the
  // command line's overrides for this run.
  std::function<void(Settings&)> adjustSettings;
};

// The failure messages of start-up, shown on the black window in error mode.
namespace messages {
inline constexpr const char* kOleFailure = "ERROR: OLE initialization failure!";
inline constexpr const char* kNoDirectDraw = "Telkarim's Screen Saver requires DirectDraw!";
inline constexpr const char* kDrawInitFailure = "ERROR: DirectDraw initialization failure!";
inline constexpr const char* kSurfaceFailure = "ERROR: Could not create DirectDraw surface!";
inline constexpr const char* kTooFewColours = "Telkarim's Screen Saver\nrequires at least 32,768 colors!";
inline constexpr const char* kFileCorrupt =
    "File corrupt. Please download \nfrom https://telkarim.example/saver/";
}  // namespace messages

// The program's own part of the saver window, from its creation to its
// destruction: opens the screen, checks it, and runs the render thread, or
// shows why it cannot.
class RenderHost {
 public:
  // Construction, in order: seed the random source, load the settings into
  // the process-wide copy, open the display, check its pixel format and the
  // embedded pictures, start the render thread. The first failing step leaves
  // the host in error mode with no thread.
  RenderHost(HostPlatform& platform, uint32_t seed);
  // Teardown: stops and joins the thread, then closes the display.
  ~RenderHost();
  RenderHost(const RenderHost&) = delete;
  RenderHost& operator=(const RenderHost&) = delete;

  // Null while rendering; the failure message in error mode.
  const char* errorText() const { return errorText_; }
  bool threadStarted() const { return threadStarted_; }

  // Error mode's timer (every 2500 ms): draws the message again at a new
  // random place, size and shade. Returns false when not in error mode.
  bool OnErrorTimer(TextPainter& painter);
  const Rect& textRect() const { return textRect_; }

  // Monitor power-down: stops rendering for good and gives the screen back.
  void OnMonitorPowerDown();

  // Window thread, while the saver runs: a display that appears (a monitor
  // plugged in, an output announced) is opened, checked and handed to the
  // render thread, which starts a scene on it between two frames; false when
  // it failed to open or shows too few colours (it stays black), or the saver
  // no longer draws. Its seed follows those of the displays given so far.
  bool AddDisplay(Display& display);
  // Window thread: a display that goes away. On return its scene has ended
  // and the display is closed, so the caller may destroy it.
  void RemoveDisplay(Display& display);

  // The displays that opened and passed the pixel-format check, in the
  // order the platform gave them, each with its scene's scheduler memory and
  // generator, seeded MonitorSeed(seed, its index among those given). The
  // first display's seed is the host's own, so a single display draws
  // exactly the sequence it always has.
  DisplayList& displays() { return displays_; }
  const Settings& settings() const { return ProcessSettings(); }
  bool StopRequested() const { return stopRequested_.load(std::memory_order_acquire); }
  void RequestStop() { stopRequested_.store(true, std::memory_order_release); }

 private:
  void StopThread();
  void EnterErrorMode(const char* text);
  void CloseDisplays();

  HostPlatform& platform_;
  uint32_t seed_;
  size_t displaysGiven_ = 0;  // the index of the next display's seed
  std::atomic<bool> stopRequested_{false};
  bool threadStarted_ = false;
  bool threadJoined_ = false;
  const char* errorText_ = nullptr;
  Rect textRect_{};
  DisplayList displays_;
};

// The seed of the generator of display `index` (0 for the first): a seed of
// its own for each, derived from the host's seed so a fixed seed still gives
// the same picture on every monitor. Index 0 is the host's seed itself.
uint32_t MonitorSeed(uint32_t seed, size_t index);

// Draws a failure message at a random place, size and shade (four draws of
// the random source, in the order font height, left, top, colour factor),
// blacking out where it was drawn last. `textRect` is updated.
void DrawErrorMessage(TextPainter& painter, const char* text, Rect& textRect);

// The font height rule: rand() % (W / 28) + W / 60, with the range kept at
// least 1 for windows narrower than 28 pixels.
int32_t ErrorFontHeight(int32_t clientWidth, int randomValue);

}  // namespace tk
