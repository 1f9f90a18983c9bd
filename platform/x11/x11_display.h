#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/damage_list.h"
#include "host/display.h"
#include "platform/x11/x11_presenter.h"
#include "shell/linux/present_options.h"

struct _XDisplay;
struct _XGC;

namespace tk::x11 {

// The screen under one X window, for the render host: the connection and
// the part of the window it covers. It keeps its own connection to the
// server, used by the window thread only in Open and PixelFormat and by the
// render thread from AttachRenderThread on, so the window thread's event
// loop never shares a connection with drawing.
//
// The "primary surface" is one persistent image the size of the area: the
// frame buffer writes into it, and Unlock presents only what the frame wrote,
// the way the presenter chosen at Open sends it (see x11_presenter.h); the
// whole image goes to the server only when the window needs repainting.
//
// On a desktop of several monitors one window covers them all and each
// monitor gets its own X11Display with the monitor's rectangle in the window:
// it then reports the monitor's size, its image is the monitor's size, the
// visible rectangles are in the monitor's own coordinates and its pixels land
// at the monitor's place in the window, so each scene is centred on its own
// monitor.
class X11Display final : public Display {
 public:
  // `window` is the X window drawn into (ours, a preview child, or a hack's
  // target); `displayName` null means $DISPLAY. Without `monitor` the whole
  // window is the screen.
  X11Display(const char* displayName, unsigned long window, const X11PresentOptions& options = {});
  X11Display(const char* displayName, unsigned long window, const Rect& monitor,
             const X11PresentOptions& options = {});
  ~X11Display() override;

  DisplayOpen Open() override;
  const char* FailureText(DisplayOpen step) const override;
  PixelFormatInfo PixelFormat() override { return format_; }
  void Close() override;
  void ClientSize(int32_t& width, int32_t& height) override;
  int32_t ScreenWidth() override { return screenWidth_; }
  bool Lock(PixelView& view, std::vector<Rect>& visible) override;
  void Unlock() override;
  DamageList* Damage() override { return &damage_; }

  // Window thread, on ConfigureNotify: the window's new size, which the
  // render thread picks up at its next ClientSize without asking the server
  // every frame.
  void SetClientSize(int32_t width, int32_t height) {
    size_.store(Pack(width, height), std::memory_order_relaxed);
  }

  // Any thread: the next Unlock sends the whole image (after an Expose, or
  // when the image was made anew).
  void RequestRepaint() { repaint_.store(true, std::memory_order_relaxed); }

  // What presenting cost so far (window thread: once the render thread has
  // let go of the display).
  Figures figures() const { return figures_; }

 private:
  bool MakeImage(int32_t width, int32_t height);
  // What this display covers in window coordinates: its monitor, or the
  // whole window as of the last ClientSize.
  Rect Area() const { return hasMonitor_ ? monitor_ : Rect{0, 0, width_, height_}; }
  static uint64_t Pack(int32_t w, int32_t h) {
    return (uint64_t{static_cast<uint32_t>(w)} << 32) | static_cast<uint32_t>(h);
  }

  std::string displayName_;
  bool haveName_ = false;
  unsigned long window_;
  bool hasMonitor_ = false;
  Rect monitor_;  // in window coordinates
  X11PresentOptions options_;
  _XDisplay* dpy_ = nullptr;
  _XGC* gc_ = nullptr;
  PresentTarget target_;
  PixelFormatInfo format_;
  int32_t screenWidth_ = 0;
  int32_t width_ = 0, height_ = 0;  // the window, as of the last ClientSize
  std::atomic<uint64_t> size_{0};    // the window, as the window thread last heard

  std::unique_ptr<Presenter> presenter_;
  DamageList damage_;
  std::atomic<bool> repaint_{true};
  Figures figures_;
};

}  // namespace tk::x11
