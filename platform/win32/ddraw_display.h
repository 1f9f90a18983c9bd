#pragma once
#include <windows.h>
#include <ddraw.h>

#include "host/display.h"

namespace tk::win32 {

// The screen under the saver window through DirectDraw: the primary surface
// (the whole screen) locked at the window's client rectangle, and a clipper
// that follows the window's visible region.
class DirectDrawDisplay final : public Display {
 public:
  explicit DirectDrawDisplay(HWND window) : window_(window) {}
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

 private:
  HWND window_;
  bool comStarted_ = false;
  IDirectDraw* directDraw_ = nullptr;
  IDirectDrawSurface* primary_ = nullptr;
  // Render thread only.
  IDirectDrawClipper* clipper_ = nullptr;
  IDirectDrawSurface* locked_ = nullptr;  // the frame's surface reference
  std::vector<unsigned char> clipBlock_;
};

}  // namespace tk::win32
