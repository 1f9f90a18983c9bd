#include "gdi_text.h"

namespace tk::win32 {
namespace {

HFONT MakeFont(int32_t height) {
  return CreateFontA(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, 0, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                     DEFAULT_QUALITY, DEFAULT_PITCH, "Arial");
}

// A device context of the window with the message's font selected.
class FontDc {
 public:
  FontDc(HWND window, int32_t height) : window_(window), dc_(GetDC(window)), font_(MakeFont(height)) {
    previous_ = SelectObject(dc_, font_);
  }
  ~FontDc() {
    SelectObject(dc_, previous_);
    DeleteObject(font_);
    ReleaseDC(window_, dc_);
  }
  HDC dc() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
  HFONT font_;
  HGDIOBJ previous_;
};

}  // namespace

Rect GdiTextPainter::ClientRect() {
  RECT r;
  GetClientRect(window_, &r);
  return Rect{r.left, r.top, r.right, r.bottom};
}

void GdiTextPainter::FillBlack(const Rect& r) {
  HDC dc = GetDC(window_);
  RECT area{r.left, r.top, r.right, r.bottom};
  FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ReleaseDC(window_, dc);
}

void GdiTextPainter::Measure(std::string_view text, int32_t fontHeight, int32_t& width, int32_t& height) {
  FontDc f(window_, fontHeight);
  RECT r{0, 0, ClientRect().Width(), 0};
  DrawTextA(f.dc(), text.data(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_CENTER);
  width = r.right;
  height = r.bottom;
}

void GdiTextPainter::Draw(std::string_view text, const Rect& r, int32_t fontHeight, uint32_t colour) {
  FontDc f(window_, fontHeight);
  SetBkColor(f.dc(), RGB(0, 0, 0));
  SetTextColor(f.dc(), colour);
  RECT area{r.left, r.top, r.right, r.bottom};
  DrawTextA(f.dc(), text.data(), static_cast<int>(text.size()), &area, DT_CENTER);
}

}  // namespace tk::win32
