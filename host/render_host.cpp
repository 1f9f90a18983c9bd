#include "host/render_host.h"

#include "core/colour.h"
#include "core/random.h"
#include "core/truncate.h"
#include "host/picture_check.h"
#include "host/render_loop.h"

namespace tk {

RenderHost::RenderHost(HostPlatform& platform, uint32_t seed) : platform_(platform) {
  SeedRandom(seed);
  Settings loaded = LoadSettings(platform_.settingsStore);
  if (platform_.adjustSettings) platform_.adjustSettings(loaded);
  ProcessSettings() = loaded;

  switch (platform_.display.Open()) {
    case DisplayOpen::kOk: break;
    case DisplayOpen::kComFailed: { EnterErrorMode(messages::kOleFailure); return; }
    case DisplayOpen::kNoDirectDraw: { EnterErrorMode(messages::kNoDirectDraw); return; }
    case DisplayOpen::kInitFailed: { EnterErrorMode(messages::kDrawInitFailure); return; }
    case DisplayOpen::kSurfaceFailed: { EnterErrorMode(messages::kSurfaceFailure); return; }
  }
  displayOpen_ = true;

  // 15-bit displays report 16 bits, so 5-5-5 passes; palettised ones do not.
  const PixelFormatInfo format = platform_.display.PixelFormat();
  if (!format.rgb || format.bitCount < 16) {
    platform_.display.Close();
    displayOpen_ = false;
    { EnterErrorMode(messages::kTooFewColours); return; }
  }
  if (!PicturesIntact(platform_.resources)) {
    platform_.display.Close();
    displayOpen_ = false;
    { EnterErrorMode(messages::kFileCorrupt); return; }
  }

  OpenMoreMonitors(seed);

  stopRequested_.store(false);
  threadStarted_ = platform_.threads.Start([this] { RunRenderThread(*this); }, ProcessSettings().threadPriority);
}

uint32_t MonitorSeed(uint32_t seed, size_t index) {
  // The golden-ratio step spreads consecutive indices over the whole 32 bits.
  return seed ^ static_cast<uint32_t>(index * 0x9E3779B9u);
}

// The other monitors follow the first one's checks; one that cannot be opened
// or shows too few colours stays black rather than costing the others their
// saver.
void RenderHost::OpenMoreMonitors(uint32_t seed) {
  moreMonitors_.reserve(platform_.moreMonitors.size());
  for (size_t i = 0; i < platform_.moreMonitors.size(); ++i) {
    Display* d = platform_.moreMonitors[i];
    if (!d || d->Open() != DisplayOpen::kOk) continue;
    const PixelFormatInfo format = d->PixelFormat();
    if (!format.rgb || format.bitCount < 16) {
      d->Close();
      continue;
    }
    moreMonitors_.push_back(Monitor{d, SchedulerState{}, RandomSource(MonitorSeed(seed, i + 1))});
  }
}

void RenderHost::CloseMoreMonitors() {
  for (Monitor& m : moreMonitors_) m.display->Close();
  moreMonitors_.clear();
}

void RenderHost::EnterErrorMode(const char* text) {
  errorText_ = text;
  textRect_ = Rect{};
}

void RenderHost::StopThread() {
  if (!threadStarted_ || threadJoined_) return;
  RequestStop();
  platform_.threads.Join();
  threadJoined_ = true;
}

RenderHost::~RenderHost() {
  StopThread();
  CloseMoreMonitors();
  if (displayOpen_) platform_.display.Close();
}

void RenderHost::OnMonitorPowerDown() {
  if (!threadStarted_) return;
  StopThread();
  CloseMoreMonitors();
  if (displayOpen_) {
    platform_.display.Close();
    displayOpen_ = false;
  }
}

bool RenderHost::OnErrorTimer(TextPainter& painter) {
  if (!errorText_) return false;
  DrawErrorMessage(painter, errorText_, textRect_);
  return true;
}

int32_t ErrorFontHeight(int32_t w, int randomValue) {
  int32_t range = w / 28;
  if (range < 1) range = 1;
  return randomValue % range + w / 60;
}

void DrawErrorMessage(TextPainter& painter, const char* text, Rect& textRect) {
  const Rect c = painter.ClientRect();
  const int32_t w = c.right - c.left;
  painter.FillBlack(textRect);
  const int32_t h = ErrorFontHeight(w, Rand());
  int32_t tw = 0, th = 0;
  painter.Measure(text, h, tw, th);
  const int32_t left = TruncToInt(RandomFloat(static_cast<float>(c.right - tw - c.left)));
  const int32_t top = TruncToInt(RandomFloat(static_cast<float>(c.bottom - c.top - th)));
  textRect = Rect{left, top, left + tw, top + th};
  const Colour colour = ScaleColor(0xFF4040, static_cast<uint32_t>(Rand() % 280 + 80));
  painter.Draw(text, textRect, h, colour);
}

}  // namespace tk
