#include "host/render_host.h"

#include "core/colour.h"
#include "core/random.h"
#include "core/truncate.h"
#include "host/picture_check.h"
#include "host/render_loop.h"

namespace tk {

namespace {

// Opens a display and checks its pixel format; 15-bit displays report 16
// bits, so 5-5-5 passes, palettised ones do not. The message for the saver's
// failure when it is the first display, null when it opened.
const char* OpenChecked(Display& display) {
  const DisplayOpen opened = display.Open();
  if (opened != DisplayOpen::kOk)
    if (const char* own = display.FailureText(opened)) return own;
  switch (opened) {
    case DisplayOpen::kOk: break;
    case DisplayOpen::kComFailed: return messages::kOleFailure;
    case DisplayOpen::kNoDirectDraw: return messages::kNoDirectDraw;
    case DisplayOpen::kInitFailed: return messages::kDrawInitFailure;
    case DisplayOpen::kSurfaceFailed: return messages::kSurfaceFailure;
  }
  const PixelFormatInfo format = display.PixelFormat();
  if (!format.rgb || format.bitCount < 16) {
    display.Close();
    return messages::kTooFewColours;
  }
  return nullptr;
}

}  // namespace

RenderHost::RenderHost(HostPlatform& platform, uint32_t seed) : platform_(platform), seed_(seed) {
  SeedRandom(seed);
  Settings loaded = LoadSettings(platform_.settingsStore);
  if (platform_.adjustSettings) platform_.adjustSettings(loaded);
  ProcessSettings() = loaded;

  // The first display's failure is the saver's, as on a single screen; it
  // is checked before the pictures so the messages come in their order.
  const std::vector<Display*>& given = platform_.displays;
  if (!given.empty() && given.front()) {
    if (const char* failure = OpenChecked(*given.front())) {
      EnterErrorMode(failure);
      return;
    }
    if (!PicturesIntact(platform_.resources)) {
      given.front()->Close();
      EnterErrorMode(messages::kFileCorrupt);
      return;
    }
    displays_.Add(*given.front(), MonitorSeed(seed, 0));
  } else if (!PicturesIntact(platform_.resources)) {
    EnterErrorMode(messages::kFileCorrupt);
    return;
  }
  // Another display that cannot be opened or shows too few colours stays
  // black rather than costing the others their saver.
  for (size_t i = 1; i < given.size(); ++i)
    if (given[i] && !OpenChecked(*given[i])) displays_.Add(*given[i], MonitorSeed(seed, i));
  displaysGiven_ = given.size();

  stopRequested_.store(false);
  threadStarted_ = platform_.threads.Start([this] { RunRenderThread(*this); }, ProcessSettings().threadPriority);
}

uint32_t MonitorSeed(uint32_t seed, size_t index) {
  // The golden-ratio step spreads consecutive indices over the whole 32 bits.
  return seed ^ static_cast<uint32_t>(index * 0x9E3779B9u);
}

bool RenderHost::AddDisplay(Display& display) {
  if (!threadStarted_ || threadJoined_) return false;
  const size_t index = displaysGiven_++;
  if (OpenChecked(display)) return false;
  displays_.Add(display, MonitorSeed(seed_, index));
  return true;
}

void RenderHost::RemoveDisplay(Display& display) {
  bool listed = false;
  for (DisplaySlot* slot : displays_.Slots()) listed = listed || slot->display == &display;
  if (!listed) return;
  displays_.Remove(display);
  display.Close();
}

void RenderHost::CloseDisplays() {
  for (DisplaySlot* slot : displays_.Slots()) RemoveDisplay(*slot->display);
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
  CloseDisplays();
}

void RenderHost::OnMonitorPowerDown() {
  if (!threadStarted_) return;
  StopThread();
  CloseDisplays();
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
