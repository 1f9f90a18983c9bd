#pragma once
#include <bit>
#include <cstdint>
#include <cstddef>
#include <cstring>
#include <vector>

#include "core/colour.h"
#include "host/damage_list.h"
#include "host/display.h"

namespace tk {

// How a colour 0x00BBGGRR becomes a pixel of the locked surface: the three
// masks with their rotate counts, derived once per lock, never per pixel.
struct PixelFormat {
  uint32_t redMask = 0, greenMask = 0, blueMask = 0;
  int32_t redShift = 0, greenShift = 0, blueShift = 0;
  uint32_t keepMask = 0;  // the bits of a pixel that belong to no channel
  int32_t bytesPerPixel = 0;

  static PixelFormat From(const PixelFormatInfo& info) {
    PixelFormat f;
    f.redMask = info.redMask;
    f.greenMask = info.greenMask;
    f.blueMask = info.blueMask;
    f.bytesPerPixel = static_cast<int32_t>(info.bitCount >> 3);
    f.keepMask = ~(info.redMask | info.greenMask | info.blueMask);
    // Rotating right by lz(mask) - 24, - 16, - 8 brings each channel's top
    // bit under the mask's top bit, so every channel keeps its most
    // significant bits; a negative count rotates left.
    f.redShift = std::countl_zero(info.redMask) - 24;
    f.greenShift = std::countl_zero(info.greenMask) - 16;
    f.blueShift = std::countl_zero(info.blueMask) - 8;
    return f;
  }

  uint32_t Convert(Colour c) const {
    return (std::rotr(c, redShift) & redMask) | (std::rotr(c, greenShift) & greenMask) |
           (std::rotr(c, blueShift) & blueMask);
  }
};

// One frame's locked view of the screen under the window. FillSquare is the
// only operation in the saver that writes pixels; everything else computes
// coordinates. Built, used and ended on the render thread within one frame.
class FrameBuffer {
 public:
  // Locks the display. `visible` is the caller's reusable rectangle list, so a
  // frame allocates nothing once it has grown to the window's shape.
  FrameBuffer(Display& display, std::vector<Rect>& visible);
  // Unlocks when the lock succeeded.
  ~FrameBuffer();
  FrameBuffer(const FrameBuffer&) = delete;
  FrameBuffer& operator=(const FrameBuffer&) = delete;

  bool locked() const { return locked_; }
  const PixelFormat& format() const { return format_; }
  const std::vector<Rect>& visible() const { return visible_; }

  // Fills a size x size square whose top-left pixel is (x, y), in client
  // coordinates. Drawn only when it lies wholly inside one visible rectangle
  // (the first that holds it); a square crossing an edge is dropped even when
  // other rectangles cover the rest, which is how covered parts of the window
  // and the screen outside it stay untouched, and how erasing a point that was
  // never on screen does nothing.
  void FillSquare(int32_t x, int32_t y, int32_t size, Colour colour) {
    const int64_t x1 = int64_t{x} + size, y1 = int64_t{y} + size;
    for (const Rect& r : visible_) {
      if (x >= r.left && x1 <= r.right && y >= r.top && y1 <= r.bottom) {
        Plot(x, y, size, format_.Convert(colour));
        return;
      }
    }
  }

 private:
  void Plot(int32_t x, int32_t y, int32_t size, uint32_t pixel) {
    if (damage_) damage_->Add(x, y, size, pixel);
    if (!view_.bits) return;  // the display presents from the squares alone
    uint8_t* row = view_.bits + static_cast<std::ptrdiff_t>(x) * format_.bytesPerPixel +
                   static_cast<std::ptrdiff_t>(y) * view_.pitch;
    switch (format_.bytesPerPixel) {
      // Fixed-size stores compile to single moves; the rows are short (the
      // side is the window width / 320), so a loop beats a block copy call.
      case 2: {
        const uint16_t p = static_cast<uint16_t>(pixel);
        for (int32_t j = 0; j < size; ++j, row += view_.pitch)
          for (int32_t i = 0; i < size; ++i) std::memcpy(row + 2 * i, &p, 2);
        break;
      }
      case 4:
        for (int32_t j = 0; j < size; ++j, row += view_.pitch)
          for (int32_t i = 0; i < size; ++i) std::memcpy(row + 4 * i, &pixel, 4);
        break;
      default: {
        // Three bytes a pixel: only the channel bits are replaced, so the byte
        // after the pixel keeps its value.
        const int32_t bpp = format_.bytesPerPixel;
        for (int32_t j = 0; j < size; ++j, row += view_.pitch) {
          uint8_t* p = row;
          for (int32_t i = 0; i < size; ++i, p += bpp) {
            for (int32_t b = 0; b < bpp; ++b) {
              const uint32_t shift = 8u * static_cast<uint32_t>(b);
              const uint8_t keep = static_cast<uint8_t>(format_.keepMask >> shift);
              p[b] = static_cast<uint8_t>((p[b] & keep) | static_cast<uint8_t>(pixel >> shift));
            }
          }
        }
        break;
      }
    }
  }

  Display& display_;
  std::vector<Rect>& visible_;
  PixelView view_;
  PixelFormat format_;
  DamageList* damage_ = nullptr;
  bool locked_ = false;
};

}  // namespace tk
