#pragma once
#include "host/display.h"

struct _XDisplay;

namespace tk::x11 {

// Error mode's text, drawn by the window thread straight into the saver
// window with an anti-aliased "Arial" (fontconfig picks the nearest face;
// "sans" when even that fails).
class XftTextPainter final : public TextPainter {
 public:
  XftTextPainter(_XDisplay* dpy, unsigned long window);
  ~XftTextPainter() override;
  Rect ClientRect() override;
  void FillBlack(const Rect& r) override;
  void Measure(std::string_view text, int32_t fontHeight, int32_t& width, int32_t& height) override;
  void Draw(std::string_view text, const Rect& r, int32_t fontHeight, uint32_t colour) override;

 private:
  void* Font(int32_t height);

  _XDisplay* dpy_;
  unsigned long window_;
  void* gc_ = nullptr;
  void* font_ = nullptr;
  int32_t fontHeight_ = 0;
};

}  // namespace tk::x11
