#pragma once
#include <cstdint>
#include <vector>

#include "host/display.h"

namespace tk {

// A screen in memory: the headless renderer's and the tests' display. Any
// size and format (32, 24, 16 as 5-6-5, 15 as 5-5-5 reporting 16 bits, and
// 8-bit palettised to exercise the refusal), a clip list that tests may set
// to model covering windows, a lock that can be made to fail, and a failure
// to inject at each start-up step.
class MemoryDisplay final : public Display {
 public:
  MemoryDisplay(int32_t width, int32_t height, int32_t format = 32);

  DisplayOpen Open() override;
  PixelFormatInfo PixelFormat() override { return format_; }
  void Close() override;
  void ClientSize(int32_t& w, int32_t& h) override {
    w = width_;
    h = height_;
  }
  int32_t ScreenWidth() override { return screenWidth_; }
  bool Lock(PixelView& view, std::vector<Rect>& visible) override;
  void Unlock() override;
  void AttachRenderThread() override { ++attachCount; }
  void DetachRenderThread() override { ++detachCount; }

  // Test controls.
  DisplayOpen failOpen = DisplayOpen::kOk;  // the step that fails in Open
  bool busy = false;                        // Lock fails at once
  std::vector<Rect> clip;                   // visible rectangles (client coordinates)
  void SetScreenWidth(int32_t w) { screenWidth_ = w; }
  // Changes the client size as a window resize would (the pixels are kept
  // as far as they fit).
  void Resize(int32_t width, int32_t height);

  // Observations.
  int openCount = 0, closeCount = 0, lockCount = 0, unlockCount = 0;
  int attachCount = 0, detachCount = 0;
  bool isOpen() const { return open_; }
  bool isLocked() const { return locked_; }

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t pitch() const { return pitch_; }
  int32_t bytesPerPixel() const { return bpp_; }
  std::vector<uint8_t>& pixels() { return pixels_; }
  const std::vector<uint8_t>& pixels() const { return pixels_; }
  // The raw pixel value at (x, y).
  uint32_t PixelAt(int32_t x, int32_t y) const;
  // The pixel at (x, y) as 8-bit red, green, blue (channels widened from the
  // format's bits).
  void RgbAt(int32_t x, int32_t y, uint8_t& r, uint8_t& g, uint8_t& b) const;
  // Whole picture as packed RGB rows, for the image writers.
  std::vector<uint8_t> ToRgb() const;

 private:
  int32_t width_, height_, screenWidth_;
  int32_t bpp_ = 4;
  int32_t pitch_ = 0;
  PixelFormatInfo format_;
  std::vector<uint8_t> pixels_;
  bool open_ = false;
  bool locked_ = false;
};

}  // namespace tk
