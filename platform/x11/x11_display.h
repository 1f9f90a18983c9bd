#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/damage_list.h"
#include "host/display.h"
#include "host/fill_plan.h"

struct _XDisplay;
struct _XImage;
struct _XGC;

namespace tk::x11 {

// The screen under one X window, for the render host. It keeps its own
// connection to the server, used by the window thread only in Open and
// PixelFormat and by the render thread from AttachRenderThread on, so the
// window thread's event loop never shares a connection with drawing.
//
// The "primary surface" is one persistent image the size of the window: the
// frame buffer writes into it, and Unlock presents only what the frame wrote.
// The frame's erases are sent as one batch of black rectangles, then each
// square drawn, less what later squares of the frame covered, as a filled
// rectangle, one batch per colour (FillPlan): a square costs
// the server an 8-byte rectangle instead of its pixels, locally and over the
// network alike; the whole image goes to the server only when the window
// needs repainting. Where points are one or two pixels and the server is
// local with MIT-SHM, the frame's damage rectangles go as shared images
// instead, one put request each, which measured cheaper there (see
// kFillFromWidth). TELKARIM_PRESENT=fill or put fixes the way, for measuring.
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
  X11Display(const char* displayName, unsigned long window);
  X11Display(const char* displayName, unsigned long window, const Rect& monitor);
  ~X11Display() override;

  DisplayOpen Open() override;
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

  // What presenting cost, for the measurements: frames presented, squares
  // drawn, rectangles sent and pixels in them; whether shared memory was in
  // use at the end.
  struct Figures {
    uint64_t frames = 0, squares = 0, rectangles = 0, pixels = 0, colours = 0;
    bool filled = false;  // filled rectangles at the end, else images
    bool sharedMemory = false;
  };
  Figures figures() const { return figures_; }

 private:
  bool MakeImage(int32_t width, int32_t height);
  bool MakeSharedImage(int32_t width, int32_t height);
  bool MakePrivateImage(int32_t width, int32_t height);
  void DropImage();
  void Put(const Rect& r);
  void PresentFills();
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
  _XDisplay* dpy_ = nullptr;
  _XGC* gc_ = nullptr;
  void* visual_ = nullptr;
  int depth_ = 0;
  PixelFormatInfo format_;
  int32_t screenWidth_ = 0;
  int32_t width_ = 0, height_ = 0;  // the window, as of the last ClientSize
  std::atomic<uint64_t> size_{0};    // the window, as the window thread last heard

  _XImage* image_ = nullptr;
  int32_t imageWidth_ = 0, imageHeight_ = 0;
  bool shmUsable_ = false;  // the extension is there and has not failed
  bool imageShared_ = false;
  // The segment's XShmSegmentInfo; the image points at it for as long as it
  // lives, so it cannot be a local of the function that makes the image.
  void* shmInfo_ = nullptr;
  // A private image's mapping, when it is one (see MakePrivateImage).
  void* privateBase_ = nullptr;
  size_t privateBytes_ = 0;

  DamageList damage_;
  int present_ = 0;   // 1 always fill, -1 always images, 0 choose per image
  bool fill_ = true;  // present by filled rectangles, not images
  uint32_t pixelMask_ = 0;
  FillPlan plan_;
  // XRectangle's layout, without Xlib in this header.
  struct FillRect {
    int16_t x, y;
    uint16_t width, height;
  };
  std::vector<FillRect> fillRects_;
  std::atomic<bool> repaint_{true};
  Figures figures_;
};

}  // namespace tk::x11
