#include "platform/x11/x11_text.h"

#include <string>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xft/Xft.h>

#include "core/rect.h"

namespace tk::x11 {
namespace {

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (true) {
    const size_t nl = text.find('\n', start);
    lines.push_back(text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start));
    if (nl == std::string_view::npos) break;
    start = nl + 1;
  }
  return lines;
}

int32_t LineWidth(::Display* dpy, XftFont* font, std::string_view line) {
  XGlyphInfo info{};
  XftTextExtentsUtf8(dpy, font, reinterpret_cast<const FcChar8*>(line.data()), static_cast<int>(line.size()), &info);
  return info.xOff;
}

}  // namespace

XftTextPainter::XftTextPainter(_XDisplay* dpy, unsigned long window) : dpy_(dpy), window_(window) {
  XGCValues v{};
  v.foreground = BlackPixel(dpy_, DefaultScreen(dpy_));
  gc_ = XCreateGC(dpy_, window_, GCForeground, &v);
}

XftTextPainter::~XftTextPainter() {
  if (font_) XftFontClose(dpy_, static_cast<XftFont*>(font_));
  if (gc_) XFreeGC(dpy_, static_cast<GC>(gc_));
}

void* XftTextPainter::Font(int32_t height) {
  if (font_ && fontHeight_ == height) return font_;
  if (font_) XftFontClose(dpy_, static_cast<XftFont*>(font_));
  const int screen = DefaultScreen(dpy_);
  const double px = height < 1 ? 1.0 : static_cast<double>(height);
  XftFont* f = XftFontOpen(dpy_, screen, XFT_FAMILY, XftTypeString, "Arial", XFT_PIXEL_SIZE, XftTypeDouble, px,
                           nullptr);
  if (!f) f = XftFontOpen(dpy_, screen, XFT_FAMILY, XftTypeString, "sans", XFT_PIXEL_SIZE, XftTypeDouble, px, nullptr);
  font_ = f;
  fontHeight_ = height;
  return font_;
}

Rect XftTextPainter::ClientRect() {
  Window root;
  int x, y;
  unsigned w = 0, h = 0, border, depth;
  if (!XGetGeometry(dpy_, window_, &root, &x, &y, &w, &h, &border, &depth)) return Rect{};
  return Rect{0, 0, static_cast<int32_t>(w), static_cast<int32_t>(h)};
}

void XftTextPainter::FillBlack(const Rect& r) {
  if (IsEmpty(r)) return;
  XFillRectangle(dpy_, window_, static_cast<GC>(gc_), r.left, r.top, static_cast<unsigned>(r.Width()),
                 static_cast<unsigned>(r.Height()));
}

void XftTextPainter::Measure(std::string_view text, int32_t fontHeight, int32_t& width, int32_t& height) {
  width = height = 0;
  auto* font = static_cast<XftFont*>(Font(fontHeight));
  if (!font) return;
  const auto lines = Lines(text);
  for (std::string_view line : lines) {
    const int32_t w = LineWidth(dpy_, font, line);
    if (w > width) width = w;
  }
  height = static_cast<int32_t>(lines.size()) * font->height;
}

void XftTextPainter::Draw(std::string_view text, const Rect& r, int32_t fontHeight, uint32_t colour) {
  auto* font = static_cast<XftFont*>(Font(fontHeight));
  if (!font) return;
  const int screen = DefaultScreen(dpy_);
  XWindowAttributes wa;
  if (!XGetWindowAttributes(dpy_, window_, &wa)) return;
  XftDraw* draw = XftDrawCreate(dpy_, window_, wa.visual, wa.colormap);
  if (!draw) return;
  // 0x00BBGGRR to 16-bit channels.
  XRenderColor rc{};
  rc.red = static_cast<unsigned short>((colour & 0xFF) * 257);
  rc.green = static_cast<unsigned short>(((colour >> 8) & 0xFF) * 257);
  rc.blue = static_cast<unsigned short>(((colour >> 16) & 0xFF) * 257);
  rc.alpha = 0xFFFF;
  XftColor xc;
  if (XftColorAllocValue(dpy_, wa.visual, wa.colormap, &rc, &xc)) {
    FillBlack(r);
    int32_t y = r.top + font->ascent;
    for (std::string_view line : Lines(text)) {
      const int32_t x = r.left + (r.Width() - LineWidth(dpy_, font, line)) / 2;
      XftDrawStringUtf8(draw, &xc, font, x, y, reinterpret_cast<const FcChar8*>(line.data()),
                        static_cast<int>(line.size()));
      y += font->height;
    }
    XftColorFree(dpy_, wa.visual, wa.colormap, &xc);
  }
  XftDrawDestroy(draw);
  (void)screen;
}

}  // namespace tk::x11
