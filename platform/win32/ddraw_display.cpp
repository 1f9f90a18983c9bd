#include "ddraw_display.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "monitor_layout.h"

namespace tk::win32 {
namespace {

// Spelled out rather than taken from the import library, so both builds use
// exactly these identities.
constexpr GUID kClsidDirectDraw = {0xD7B70EE0, 0x4340, 0x11CF, {0xB0, 0x63, 0x00, 0x20, 0xAF, 0xC2, 0xCD, 0x35}};
constexpr GUID kIidDirectDraw = {0x6C14DB80, 0xA733, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};

// In-process server, in-process handler and local server.
constexpr DWORD kClassContext = 7;

RECT ClientOnScreen(HWND window) {
  RECT r;
  GetClientRect(window, &r);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  OffsetRect(&r, origin.x, origin.y);
  return r;
}

void FillView(const DDSURFACEDESC& description, PixelView& view) {
  view.bits = static_cast<uint8_t*>(description.lpSurface);
  view.pitch = description.lPitch;
  view.format.rgb = (description.ddpfPixelFormat.dwFlags & DDPF_RGB) != 0;
  view.format.bitCount = description.ddpfPixelFormat.dwRGBBitCount;
  view.format.redMask = description.ddpfPixelFormat.dwRBitMask;
  view.format.greenMask = description.ddpfPixelFormat.dwGBitMask;
  view.format.blueMask = description.ddpfPixelFormat.dwBBitMask;
}

// Written once by the process entry before any render thread starts, read
// only after.
std::string& DisplayLogPath() {
  static std::string path;
  return path;
}

}  // namespace

void SetDisplayLog(const char* path) { DisplayLogPath() = path ? path : ""; }

void WriteDisplayLog(const char* line) {
  const std::string& path = DisplayLogPath();
  if (path.empty()) return;
  if (FILE* f = std::fopen(path.c_str(), "a")) {
    std::fprintf(f, "%s\n", line);
    std::fclose(f);
  }
}

DisplayOpen DirectDrawDisplay::Open() {
  if (FAILED(CoInitialize(nullptr))) return DisplayOpen::kComFailed;
  comStarted_ = true;
  void* object = nullptr;
  if (FAILED(CoCreateInstance(kClsidDirectDraw, nullptr, kClassContext, kIidDirectDraw, &object))) {
    Close();
    return DisplayOpen::kNoDirectDraw;
  }
  directDraw_ = static_cast<IDirectDraw*>(object);
  // The primary monitor keeps the default device; the others name their own.
  GUID* device = perMonitor_ && !monitor_.primary && monitor_.hasGuid ? &monitor_.guid : nullptr;
  if (FAILED(directDraw_->Initialize(device))) {
    Close();
    return DisplayOpen::kInitFailed;
  }
  directDraw_->SetCooperativeLevel(window_, DDSCL_NORMAL);
  DDSURFACEDESC description;
  std::memset(&description, 0, sizeof description);
  description.dwSize = sizeof description;  // 108
  description.dwFlags = DDSD_CAPS;
  description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  if (FAILED(directDraw_->CreateSurface(&description, &primary_, nullptr))) {
    primary_ = nullptr;
    Close();
    return DisplayOpen::kSurfaceFailed;
  }
  if (perMonitor_) {
    DDSURFACEDESC size;
    std::memset(&size, 0, sizeof size);
    size.dwSize = sizeof size;
    if (SUCCEEDED(primary_->GetSurfaceDesc(&size))) {
      surfaceWidth_ = static_cast<int32_t>(size.dwWidth);
      surfaceHeight_ = static_cast<int32_t>(size.dwHeight);
    }
    const SurfacePlace place =
        PlaceMonitor(monitor_.bounds, desktop_, surfaceWidth_, surfaceHeight_, monitor_.deviceShared);
    reachable_ = place.reachable;
    surfaceArea_ = RECT{place.x, place.y, place.x + monitor_.bounds.Width(), place.y + monitor_.bounds.Height()};
  }
  return DisplayOpen::kOk;
}

PixelFormatInfo DirectDrawDisplay::PixelFormat() {
  PixelFormatInfo info;
  if (!primary_) return info;
  DDPIXELFORMAT format;
  std::memset(&format, 0, sizeof format);
  format.dwSize = sizeof format;  // 32
  if (FAILED(primary_->GetPixelFormat(&format))) return info;
  info.rgb = (format.dwFlags & DDPF_RGB) != 0;
  info.bitCount = format.dwRGBBitCount;
  info.redMask = format.dwRBitMask;
  info.greenMask = format.dwGBitMask;
  info.blueMask = format.dwBBitMask;
  return info;
}

void DirectDrawDisplay::Close() {
  if (primary_) {
    primary_->Release();
    primary_ = nullptr;
  }
  if (directDraw_) {
    directDraw_->Release();
    directDraw_ = nullptr;
  }
  if (comStarted_) {
    CoUninitialize();
    comStarted_ = false;
  }
}

void DirectDrawDisplay::AttachRenderThread() {
  // Results are not examined: without a clipper every lock simply finds no
  // visible rectangle and nothing is drawn.
  if (directDraw_ && SUCCEEDED(directDraw_->CreateClipper(0, &clipper_, nullptr)))
    clipper_->SetHWnd(0, window_);
  else
    clipper_ = nullptr;
}

void DirectDrawDisplay::DetachRenderThread() {
  char line[200];
  const Rect& b = monitor_.bounds;
  if (perMonitor_)
    std::snprintf(line, sizeof line,
                  "monitor path=ddraw monitor=%ld,%ld,%ld,%ld place=%ld,%ld surface=%ldx%ld locks=%lu failed=%lu",
                  static_cast<long>(b.left), static_cast<long>(b.top), static_cast<long>(b.right),
                  static_cast<long>(b.bottom), static_cast<long>(surfaceArea_.left), static_cast<long>(surfaceArea_.top),
                  static_cast<long>(surfaceWidth_), static_cast<long>(surfaceHeight_),
                  static_cast<unsigned long>(locks_), static_cast<unsigned long>(lockFailures_));
  else
    std::snprintf(line, sizeof line, "single path=ddraw locks=%lu failed=%lu", static_cast<unsigned long>(locks_),
                  static_cast<unsigned long>(lockFailures_));
  WriteDisplayLog(line);
  if (clipper_) {
    clipper_->Release();
    clipper_ = nullptr;
  }
}

void DirectDrawDisplay::ClientSize(int32_t& width, int32_t& height) {
  if (perMonitor_) {
    width = monitor_.bounds.Width();
    height = monitor_.bounds.Height();
    return;
  }
  RECT r;
  GetClientRect(window_, &r);
  width = r.right - r.left;
  height = r.bottom - r.top;
}

int32_t DirectDrawDisplay::ScreenWidth() {
  return perMonitor_ ? monitor_.bounds.Width() : GetSystemMetrics(SM_CXSCREEN);
}

// Locks `area` of the primary surface without waiting and fills the view;
// the surface holds a reference of ours until Unlock. The surface's size is
// asked every time: the desktop may have changed since the screen was
// opened, and an area that no longer fits is not locked at all.
bool DirectDrawDisplay::LockSurface(RECT& area, PixelView& view) {
  DDSURFACEDESC size;
  std::memset(&size, 0, sizeof size);
  size.dwSize = sizeof size;
  if (FAILED(primary_->GetSurfaceDesc(&size)) ||
      !LockFits(Rect{area.left, area.top, area.right, area.bottom}, static_cast<int32_t>(size.dwWidth),
                static_cast<int32_t>(size.dwHeight))) {
    ++lockFailures_;
    return false;
  }
  primary_->AddRef();
  DDSURFACEDESC description;
  std::memset(&description, 0, sizeof description);
  description.dwSize = sizeof description;
  ++locks_;
  if (FAILED(primary_->Lock(&area, &description, 0, nullptr))) {
    ++lockFailures_;
    primary_->Release();
    return false;
  }
  locked_ = primary_;
  FillView(description, view);
  return true;
}

bool DirectDrawDisplay::Lock(PixelView& view, std::vector<Rect>& visible) {
  visible.clear();
  if (!primary_) return false;
  if (perMonitor_) return LockMonitor(view, visible);
  RECT area = ClientOnScreen(window_);
  if (area.right <= area.left || area.bottom <= area.top) return false;
  if (!LockSurface(area, view)) return false;

  DWORD size = 0;
  if (clipper_ && SUCCEEDED(clipper_->GetClipList(&area, nullptr, &size)) && size >= sizeof(RGNDATAHEADER)) {
    clipBlock_.assign(size, 0);
    auto* region = reinterpret_cast<RGNDATA*>(clipBlock_.data());
    region->rdh.dwSize = sizeof(RGNDATAHEADER);  // 32
    if (SUCCEEDED(clipper_->GetClipList(&area, region, &size))) {
      const auto* rects = reinterpret_cast<const RECT*>(region->Buffer);
      // Screen coordinates to the client area's own.
      for (DWORD i = 0; i < region->rdh.nCount; ++i)
        visible.push_back(Rect{rects[i].left - area.left, rects[i].top - area.top, rects[i].right - area.left,
                               rects[i].bottom - area.top});
    }
  }
  return true;
}

// Only the monitor's own rectangle of its device's surface is locked, never
// beyond the surface; the visible rectangles are the window's, cut to the
// monitor and moved into its coordinates.
bool DirectDrawDisplay::LockMonitor(PixelView& view, std::vector<Rect>& visible) {
  if (!reachable_) return false;
  RECT area = surfaceArea_;
  if (!LockSurface(area, view)) return false;

  const Rect& b = monitor_.bounds;
  RECT onScreen{b.left, b.top, b.right, b.bottom};
  screenRects_.clear();
  DWORD size = 0;
  if (clipper_ && SUCCEEDED(clipper_->GetClipList(&onScreen, nullptr, &size)) && size >= sizeof(RGNDATAHEADER)) {
    clipBlock_.assign(size, 0);
    auto* region = reinterpret_cast<RGNDATA*>(clipBlock_.data());
    region->rdh.dwSize = sizeof(RGNDATAHEADER);
    if (SUCCEEDED(clipper_->GetClipList(&onScreen, region, &size))) {
      const auto* rects = reinterpret_cast<const RECT*>(region->Buffer);
      for (DWORD i = 0; i < region->rdh.nCount; ++i)
        screenRects_.push_back(Rect{rects[i].left, rects[i].top, rects[i].right, rects[i].bottom});
    }
  }
  VisibleOnMonitor(screenRects_, b, visible);
  return true;
}

void DirectDrawDisplay::Unlock() {
  if (!locked_) return;
  locked_->Unlock(nullptr);
  locked_->Release();
  locked_ = nullptr;
}

}  // namespace tk::win32
