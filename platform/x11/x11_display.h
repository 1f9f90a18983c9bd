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
// Mostly the server's own window is the picture: the frame buffer only
// records the frame's squares, and Unlock sends the erases as one batch of
// black rectangles, then each square drawn, less what later squares of the
// frame covered, as a filled rectangle, one batch per colour (FillPlan). A
// square costs the server an 8-byte rectangle instead of its pixels, locally
// and over the network alike, and the client keeps no picture of the screen:
// a part the server lost (uncovered, exposed) is cleared and repainted from
// the last frame's pieces, which are all that is lit. Where points are one
// or two pixels and the server is local with MIT-SHM, the frame is written
// into a shared image the size of the window instead and its damage
// rectangles go as put requests, which measured cheaper there (see
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

  // Any thread: the next Unlock repaints a part of the window the server
  // lost (an Expose's rectangle, in window coordinates), or all of it.
  void RequestRepaint(const Rect& lost);
  void RequestRepaint() { RequestRepaint(Rect{-32768, -32768, 32767, 32767}); }

  // What presenting cost, for the measurements: frames presented, squares
  // drawn, rectangles sent and pixels in them; whether shared memory was in
  // use at the end.
  struct Figures {
    uint64_t frames = 0, squares = 0, rectangles = 0, pixels = 0, colours = 0, repaints = 0;
    bool filled = false;  // filled rectangles at the end, else images
    bool sharedMemory = false;
    uint64_t imageBytes = 0;  // the client's picture of the screen, if any
  };
  Figures figures() const { return figures_; }

 private:
  bool Prepare(int32_t width, int32_t height);
  bool MakeSharedImage(int32_t width, int32_t height);
  void DropImage();
  Rect TakeRepaint();
  void Put(const Rect& r);
  void PresentFills();
  void Fill(const std::vector<FillPlan::Group>& groups, const std::vector<Rect>& rects);
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

  _XImage* image_ = nullptr;  // only when presenting images
  int32_t shownWidth_ = 0, shownHeight_ = 0;  // the area as the last frame drew it
  bool shmUsable_ = false;  // the extension is there and has not failed
  bool imageShared_ = false;
  // The segment's XShmSegmentInfo; the image points at it for as long as it
  // lives, so it cannot be a local of the function that makes the image.
  void* shmInfo_ = nullptr;

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
  std::vector<FillPlan::Group> repaintGroups_;
  std::vector<Rect> repaintRects_;
  // The part of the window to repaint, as left, top, right, bottom in 16
  // bits each (X's own coordinate range); left >= right when none.
  std::atomic<uint64_t> repaint_{0};
  Figures figures_;
};

}  // namespace tk::x11
