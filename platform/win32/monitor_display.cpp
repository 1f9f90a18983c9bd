#include "monitor_display.h"

#include <cstdio>
#include <cstring>

#include "monitor_layout.h"

namespace tk::win32 {

DisplayOpen BitmapMonitorDisplay::Open() {
  const int32_t w = monitor_.bounds.Width(), h = monitor_.bounds.Height();
  HDC screen = GetDC(nullptr);
  palettised_ = (GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE) != 0 ||
                GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES) < 16;
  BITMAPINFO info;
  std::memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // top-down, like a locked surface
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  bitmap_ = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
  ReleaseDC(nullptr, screen);
  if (!bitmap_ || !bits_) {
    Close();
    return DisplayOpen::kSurfaceFailed;
  }
  std::memset(bits_, 0, static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
  return DisplayOpen::kOk;
}

PixelFormatInfo BitmapMonitorDisplay::PixelFormat() {
  // The bitmap is always 8-8-8; the screen behind it decides whether the
  // monitor has enough colours to be worth drawing on.
  PixelFormatInfo info;
  info.rgb = !palettised_;
  info.bitCount = 32;
  info.redMask = 0xFF0000;
  info.greenMask = 0xFF00;
  info.blueMask = 0xFF;
  return info;
}

void BitmapMonitorDisplay::Close() {
  if (bitmap_) {
    DeleteObject(bitmap_);
    bitmap_ = nullptr;
    bits_ = nullptr;
  }
}

void BitmapMonitorDisplay::AttachRenderThread() {
  damage_.Clear();
  memory_ = CreateCompatibleDC(nullptr);
  if (memory_ && bitmap_) previous_ = SelectObject(memory_, bitmap_);
}

void BitmapMonitorDisplay::DetachRenderThread() {
  char line[200];
  const Rect& b = monitor_.bounds;
  std::snprintf(line, sizeof line, "monitor path=bitmap monitor=%ld,%ld,%ld,%ld locks=%lu failed=0 copies=%lu",
                static_cast<long>(b.left), static_cast<long>(b.top), static_cast<long>(b.right),
                static_cast<long>(b.bottom), static_cast<unsigned long>(locks_), static_cast<unsigned long>(copies_));
  WriteDisplayLog(line);
  if (memory_) {
    if (previous_) SelectObject(memory_, previous_);
    DeleteDC(memory_);
    memory_ = nullptr;
    previous_ = nullptr;
  }
}

void BitmapMonitorDisplay::ClientSize(int32_t& width, int32_t& height) {
  width = monitor_.bounds.Width();
  height = monitor_.bounds.Height();
}

bool BitmapMonitorDisplay::Lock(PixelView& view, std::vector<Rect>& visible) {
  visible.clear();
  if (!bits_ || !memory_) return false;
  ++locks_;
  // Copies of earlier frames may still be queued; the bitmap is written
  // directly only after they are done.
  GdiFlush();
  view.bits = static_cast<uint8_t*>(bits_);
  view.pitch = monitor_.bounds.Width() * 4;
  view.format = PixelFormat();
  // The part of the window's client area on this monitor; whatever covers
  // the window is left to the window's device context to clip.
  RECT client;
  GetClientRect(window_, &client);
  POINT origin{0, 0};
  ClientToScreen(window_, &origin);
  const std::vector<Rect> area{Rect{client.left + origin.x, client.top + origin.y, client.right + origin.x,
                                    client.bottom + origin.y}};
  VisibleOnMonitor(area, monitor_.bounds, visible);
  locked_ = true;
  return true;
}

void BitmapMonitorDisplay::Unlock() {
  if (!locked_) return;
  locked_ = false;
  if (damage_.Empty()) return;
  POINT origin{0, 0};
  ClientToScreen(window_, &origin);
  const int32_t dx = monitor_.bounds.left - origin.x, dy = monitor_.bounds.top - origin.y;
  // A device context of its own for this thread: the window's class one
  // belongs to the window thread.
  HDC dc = GetDCEx(window_, nullptr, DCX_CACHE | DCX_CLIPSIBLINGS);
  if (!dc) {
    damage_.Clear();
    return;
  }
  for (const Rect& r : damage_.Rects())
    BitBlt(dc, r.left + dx, r.top + dy, r.Width(), r.Height(), memory_, r.left, r.top, SRCCOPY);
  damage_.Clear();
  ReleaseDC(window_, dc);
  GdiFlush();
  ++copies_;
}

DisplayOpen MonitorScreen::Open() {
  active_ = &direct_;
  const DisplayOpen opened = direct_.Open();
  if (opened == DisplayOpen::kOk && direct_.ReachesMonitor()) return opened;
  if (primary_ && opened != DisplayOpen::kOk) return opened;
  direct_.Close();
  active_ = &bitmap_;
  return bitmap_.Open();
}

}  // namespace tk::win32
