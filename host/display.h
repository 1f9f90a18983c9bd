#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/rect.h"

namespace tk {

class DamageList;

// The screen's pixel format as the display reports it.
struct PixelFormatInfo {
  bool rgb = false;       // direct colour (not palettised)
  uint32_t bitCount = 0;  // bits per pixel; 15-bit displays report 16
  uint32_t redMask = 0;
  uint32_t greenMask = 0;
  uint32_t blueMask = 0;
};

// What a successful lock hands out. Valid only until Unlock: a lock may return
// a new address and pitch every time, so nobody keeps row pointers across frames.
struct PixelView {
  uint8_t* bits = nullptr;  // the client area's top-left pixel
  int32_t pitch = 0;        // bytes from one row to the next
  PixelFormatInfo format;
};

// How opening the screen went; each failure names the step that failed.
enum class DisplayOpen {
  kOk,
  kComFailed,          // the platform's component system did not start
  kNoDirectDraw,       // the drawing service is missing
  kInitFailed,         // the drawing service did not initialise
  kSurfaceFailed,      // no primary surface
};

// The screen under the saver window: the only way the render host reaches
// pixels. Open, PixelFormat and Close run on the window thread; everything
// from AttachRenderThread to DetachRenderThread runs on the render thread,
// which the host starts after Open succeeded and joins before Close.
class Display {
 public:
  virtual ~Display() = default;

  // Start-up, window thread.
  virtual DisplayOpen Open() = 0;
  // The failure message for a step of Open that failed, in this platform's
  // own words; null (the default) for the Windows text of that step.
  virtual const char* FailureText(DisplayOpen) const { return nullptr; }
  virtual PixelFormatInfo PixelFormat() = 0;
  // Gives back the surface and the drawing service; safe to call twice.
  virtual void Close() = 0;

  // Render thread: set up and tear down what the thread owns (the clipper).
  virtual void AttachRenderThread() {}
  virtual void DetachRenderThread() {}

  // The window's client size, read at the start of every frame.
  virtual void ClientSize(int32_t& width, int32_t& height) = 0;
  // Width of the primary screen, read once when the render thread starts.
  virtual int32_t ScreenWidth() = 0;

  // Locks the pixels under the client area and fills the window's visible
  // rectangles in client coordinates. Never waits: a busy surface fails at
  // once and the frame is skipped.
  virtual bool Lock(PixelView& view, std::vector<Rect>& visible) = 0;
  // Presents what was written; called only after a successful Lock.
  virtual void Unlock() = 0;

  // Optional: a list in which the frame buffer records every square written
  // during a lock (erases included), so a display can present only what
  // changed. Null (the default) records nothing.
  virtual DamageList* Damage() { return nullptr; }
};

// Draws the failure message in error mode ("draw this text here").
class TextPainter {
 public:
  virtual ~TextPainter() = default;
  // The client rectangle of the saver window.
  virtual Rect ClientRect() = 0;
  virtual void FillBlack(const Rect& r) = 0;
  // Measures text (lines broken at '\n', each centred) in a font of the given
  // pixel height; returns its width and height.
  virtual void Measure(std::string_view text, int32_t fontHeight, int32_t& width, int32_t& height) = 0;
  // Draws text into r, lines centred horizontally, on black, in colour
  // (0x00BBGGRR).
  virtual void Draw(std::string_view text, const Rect& r, int32_t fontHeight, uint32_t colour) = 0;
};

}  // namespace tk
