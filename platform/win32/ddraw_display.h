#pragma once
#include <windows.h>
#include <ddraw.h>

#include "host/display.h"
#include "monitors.h"

namespace tk::win32 {

// The screen under the saver window through DirectDraw: the primary surface
// (the whole screen) locked at the window's client rectangle, and a clipper
// that follows the window's visible region.
//
// On a desktop of several monitors there is one per monitor instead: the
// DirectDraw object of the monitor's own device, locked at that monitor's
// rectangle only, with sizes and visible rectangles in the monitor's own
// coordinates, so every scene is centred on its monitor.
class DirectDrawDisplay final : public Display {
 public:
  explicit DirectDrawDisplay(HWND window) : window_(window) {}
  DirectDrawDisplay(HWND window, const MonitorDevice& monitor, const Rect& desktop)
      : window_(window), perMonitor_(true), monitor_(monitor), desktop_(desktop) {}
  ~DirectDrawDisplay() override { Close(); }

  DisplayOpen Open() override;
  PixelFormatInfo PixelFormat() override;
  void Close() override;
  void AttachRenderThread() override;
  void DetachRenderThread() override;
  void ClientSize(int32_t& width, int32_t& height) override;
  int32_t ScreenWidth() override;
  bool Lock(PixelView& view, std::vector<Rect>& visible) override;
  void Unlock() override;

  // After Open, per monitor: whether the device's primary surface holds the
  // monitor's pixels at all (it may show another monitor only).
  bool ReachesMonitor() const { return reachable_; }

 private:
  bool LockSurface(RECT& area, PixelView& view);
  bool LockMonitor(PixelView& view, std::vector<Rect>& visible);

  HWND window_;
  bool perMonitor_ = false;
  MonitorDevice monitor_{};
  Rect desktop_{};
  bool reachable_ = false;
  RECT surfaceArea_{};  // per monitor: the monitor's pixels in surface coordinates
  int32_t surfaceWidth_ = 0, surfaceHeight_ = 0;
  bool comStarted_ = false;
  IDirectDraw* directDraw_ = nullptr;
  IDirectDrawSurface* primary_ = nullptr;
  // Render thread only.
  IDirectDrawClipper* clipper_ = nullptr;
  IDirectDrawSurface* locked_ = nullptr;  // the frame's surface reference
  std::vector<unsigned char> clipBlock_;
  std::vector<Rect> screenRects_;
  uint32_t locks_ = 0, lockFailures_ = 0;
};

// Where each screen appends one line as its render thread ends, so the Wine
// tests can tell which way each monitor was drawn and whether any lock
// failed. The process entry hands in TELKARIM_DISPLAY_LOG before any window
// exists; with no file named, nothing is written.
void SetDisplayLog(const char* path);
void WriteDisplayLog(const char* line);

}  // namespace tk::win32
