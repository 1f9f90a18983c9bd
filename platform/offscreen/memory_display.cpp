#include "platform/offscreen/memory_display.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tk {

MemoryDisplay::MemoryDisplay(int32_t width, int32_t height, int32_t format)
    : width_(width), height_(height), screenWidth_(width) {
  switch (format) {
    case 24: format_ = {true, 24, 0xFF0000, 0xFF00, 0xFF}; break;
    case 16: format_ = {true, 16, 0xF800, 0x07E0, 0x001F}; break;
    case 15: format_ = {true, 16, 0x7C00, 0x03E0, 0x001F}; break;
    case 8: format_ = {false, 8, 0, 0, 0}; break;
    default: format_ = {true, 32, 0xFF0000, 0xFF00, 0xFF}; break;
  }
  bpp_ = static_cast<int32_t>(format_.bitCount / 8);
  // Rows padded to 4 bytes, as a real surface's pitch often is wider than the
  // visible row; the 24-bit format gets a real gap to catch pitch mistakes.
  pitch_ = ((width_ * bpp_ + 3) / 4) * 4;
  pixels_.assign(static_cast<size_t>(pitch_) * static_cast<size_t>(height_), 0);
  clip = {Rect{0, 0, width_, height_}};
}

void MemoryDisplay::Resize(int32_t width, int32_t height) {
  const int32_t newPitch = ((width * bpp_ + 3) / 4) * 4;
  std::vector<uint8_t> fresh(static_cast<size_t>(newPitch) * static_cast<size_t>(height), 0);
  for (int32_t y = 0; y < std::min(height, height_); ++y)
    std::memcpy(&fresh[static_cast<size_t>(y) * newPitch], &pixels_[static_cast<size_t>(y) * pitch_],
                static_cast<size_t>(std::min(newPitch, pitch_)));
  pixels_.swap(fresh);
  width_ = width;
  height_ = height;
  pitch_ = newPitch;
  clip = {Rect{0, 0, width_, height_}};
}

DisplayOpen MemoryDisplay::Open() {
  ++openCount;
  if (failOpen != DisplayOpen::kOk) return failOpen;
  open_ = true;
  return DisplayOpen::kOk;
}

void MemoryDisplay::Close() {
  if (open_) ++closeCount;
  open_ = false;
}

bool MemoryDisplay::Lock(PixelView& view, std::vector<Rect>& visible) {
  ++lockCount;
  if (busy || !open_ || locked_) return false;
  locked_ = true;
  view.bits = pixels_.data();
  view.pitch = pitch_;
  view.format = format_;
  visible = clip;
  return true;
}

void MemoryDisplay::Unlock() {
  ++unlockCount;
  locked_ = false;
}

uint32_t MemoryDisplay::PixelAt(int32_t x, int32_t y) const {
  uint32_t v = 0;
  std::memcpy(&v, &pixels_[static_cast<size_t>(y) * pitch_ + static_cast<size_t>(x) * bpp_],
              static_cast<size_t>(bpp_));
  return v;
}

namespace {
uint8_t Channel(uint32_t pixel, uint32_t mask) {
  if (!mask) return 0;
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask);
  const uint32_t v = (pixel & mask) >> shift;
  // Widen to 8 bits by repeating the top bits, so 5-bit 31 becomes 255.
  uint32_t out = v << (8 - bits);
  if (bits < 8) out |= v >> (2 * bits - 8 > 0 ? 2 * bits - 8 : 0);
  return static_cast<uint8_t>(out & 0xFF);
}
}  // namespace

void MemoryDisplay::RgbAt(int32_t x, int32_t y, uint8_t& r, uint8_t& g, uint8_t& b) const {
  const uint32_t p = PixelAt(x, y);
  if (!format_.rgb) {
    r = g = b = static_cast<uint8_t>(p);
    return;
  }
  r = Channel(p, format_.redMask);
  g = Channel(p, format_.greenMask);
  b = Channel(p, format_.blueMask);
}

std::vector<uint8_t> MemoryDisplay::ToRgb() const {
  std::vector<uint8_t> out(static_cast<size_t>(width_) * height_ * 3);
  size_t i = 0;
  for (int32_t y = 0; y < height_; ++y)
    for (int32_t x = 0; x < width_; ++x, i += 3) RgbAt(x, y, out[i], out[i + 1], out[i + 2]);
  return out;
}

}  // namespace tk
