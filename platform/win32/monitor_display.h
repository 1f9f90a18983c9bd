#pragma once
#include <windows.h>

#include <memory>

#include "ddraw_display.h"
#include "host/damage_list.h"
#include "monitors.h"

namespace tk::win32 {

// A monitor that no DirectDraw primary surface reaches (a device that shows
// only the primary monitor for every monitor, as some drivers and Wine do):
// the scene is drawn into a bitmap of the monitor's size and the squares that
// changed are copied onto the saver window. The copy goes through the
// window's own device context, so it never lands outside the window or on
// windows that cover it.
class BitmapMonitorDisplay final : public Display {
 public:
  BitmapMonitorDisplay(HWND window, const MonitorDevice& monitor) : window_(window), monitor_(monitor) {}
  ~BitmapMonitorDisplay() override { Close(); }

  DisplayOpen Open() override;
  PixelFormatInfo PixelFormat() override;
  void Close() override;
  void AttachRenderThread() override;
  void DetachRenderThread() override;
  void ClientSize(int32_t& width, int32_t& height) override;
  int32_t ScreenWidth() override { return monitor_.bounds.Width(); }
  bool Lock(PixelView& view, std::vector<Rect>& visible) override;
  void Unlock() override;
  DamageList* Damage() override { return &damage_; }

 private:
  HWND window_;
  MonitorDevice monitor_;
  HBITMAP bitmap_ = nullptr;
  void* bits_ = nullptr;
  bool palettised_ = false;
  // Render thread only.
  HDC memory_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  bool locked_ = false;
  // A copy costs the system about as much as a few hundred pixels, so
  // nearby squares share one.
  DamageList damage_{256};
  uint32_t locks_ = 0, copies_ = 0;
};

// The screen of one monitor when the saver covers several: its own
// device's DirectDraw surface where that surface holds the monitor's pixels,
// otherwise the bitmap above. The primary monitor's screen reports
// DirectDraw's failures as a single monitor does (the saver then shows why
// it cannot run); another monitor's falls back to the bitmap instead.
class MonitorScreen final : public Display {
 public:
  MonitorScreen(HWND window, const MonitorDevice& monitor, const Rect& desktop)
      : direct_(window, monitor, desktop), bitmap_(window, monitor), primary_(monitor.primary) {}

  DisplayOpen Open() override;
  PixelFormatInfo PixelFormat() override { return active_->PixelFormat(); }
  void Close() override {
    direct_.Close();
    bitmap_.Close();
  }
  void AttachRenderThread() override { active_->AttachRenderThread(); }
  void DetachRenderThread() override { active_->DetachRenderThread(); }
  void ClientSize(int32_t& width, int32_t& height) override { active_->ClientSize(width, height); }
  int32_t ScreenWidth() override { return active_->ScreenWidth(); }
  bool Lock(PixelView& view, std::vector<Rect>& visible) override { return active_->Lock(view, visible); }
  void Unlock() override { active_->Unlock(); }
  DamageList* Damage() override { return active_->Damage(); }

 private:
  DirectDrawDisplay direct_;
  BitmapMonitorDisplay bitmap_;
  bool primary_;
  Display* active_ = &direct_;
};

}  // namespace tk::win32
