#pragma once
#include <windows.h>

#include "host/display.h"

namespace tk::win32 {

// Error mode's "draw this text here" through GDI, in Arial.
class GdiTextPainter final : public TextPainter {
 public:
  explicit GdiTextPainter(HWND window) : window_(window) {}
  Rect ClientRect() override;
  void FillBlack(const Rect& r) override;
  void Measure(std::string_view text, int32_t fontHeight, int32_t& width, int32_t& height) override;
  void Draw(std::string_view text, const Rect& r, int32_t fontHeight, uint32_t colour) override;

 private:
  HWND window_;
};

}  // namespace tk::win32
