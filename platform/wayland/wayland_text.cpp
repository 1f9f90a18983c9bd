#include "platform/wayland/wayland_text.h"

#include <string>
#include <vector>

#include <cairo.h>
#include <sys/mman.h>
#include <unistd.h>

#include <wayland-client.h>

namespace tk::wayland {

namespace {

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (true) {
    const size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return lines;
    start = end + 1;
  }
}

void UseFont(cairo_t* cr, int32_t fontHeight) {
  cairo_select_font_face(cr, "Arial", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, fontHeight);
}

}  // namespace

CairoTextPainter::CairoTextPainter(wl_shm* shm, wl_surface* surface, int32_t width, int32_t height, int32_t scale)
    : surface_(surface), width_(width < 1 ? 1 : width), height_(height < 1 ? 1 : height), scale_(scale < 1 ? 1 : scale) {
  const int32_t stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width_);
  bytes_ = static_cast<size_t>(stride) * static_cast<size_t>(height_);
  const int fd = memfd_create("telkarim-text", MFD_CLOEXEC);
  if (fd < 0) return;
  if (ftruncate(fd, static_cast<off_t>(bytes_)) == 0) {
    void* p = mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p != MAP_FAILED) {
      pixels_ = static_cast<uint8_t*>(p);
      wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(bytes_));
      buffer_ = wl_shm_pool_create_buffer(pool, 0, width_, height_, stride, WL_SHM_FORMAT_XRGB8888);
      wl_shm_pool_destroy(pool);
      // Cairo's RGB24 is the same 32-bit XRGB in the machine's byte order.
      cairo_surface_t* s = cairo_image_surface_create_for_data(pixels_, CAIRO_FORMAT_RGB24, width_, height_, stride);
      surfaceCairo_ = s;
      cr_ = cairo_create(s);
    }
  }
  close(fd);
  Show();
}

CairoTextPainter::~CairoTextPainter() {
  if (cr_) cairo_destroy(static_cast<cairo_t*>(cr_));
  if (surfaceCairo_) cairo_surface_destroy(static_cast<cairo_surface_t*>(surfaceCairo_));
  if (buffer_) wl_buffer_destroy(buffer_);
  if (pixels_) munmap(pixels_, bytes_);
}

void CairoTextPainter::Show() {
  if (!buffer_) return;
  if (surfaceCairo_) cairo_surface_flush(static_cast<cairo_surface_t*>(surfaceCairo_));
  wl_surface_attach(surface_, buffer_, 0, 0);
  wl_surface_set_buffer_scale(surface_, scale_);
  wl_surface_damage_buffer(surface_, 0, 0, width_, height_);
  wl_surface_commit(surface_);
}

void CairoTextPainter::FillBlack(const Rect& r) {
  auto* cr = static_cast<cairo_t*>(cr_);
  if (!cr || r.Width() <= 0 || r.Height() <= 0) return;
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_rectangle(cr, r.left, r.top, r.Width(), r.Height());
  cairo_fill(cr);
}

void CairoTextPainter::Measure(std::string_view text, int32_t fontHeight, int32_t& width, int32_t& height) {
  width = height = 0;
  auto* cr = static_cast<cairo_t*>(cr_);
  if (!cr) return;
  UseFont(cr, fontHeight);
  cairo_font_extents_t font;
  cairo_font_extents(cr, &font);
  double widest = 0;
  const std::vector<std::string_view> lines = Lines(text);
  for (std::string_view line : lines) {
    const std::string s(line);
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    if (e.x_advance > widest) widest = e.x_advance;
  }
  width = static_cast<int32_t>(widest + 0.999);
  height = static_cast<int32_t>(font.height * static_cast<double>(lines.size()) + 0.999);
}

void CairoTextPainter::Draw(std::string_view text, const Rect& r, int32_t fontHeight, uint32_t colour) {
  auto* cr = static_cast<cairo_t*>(cr_);
  if (!cr) return;
  UseFont(cr, fontHeight);
  cairo_font_extents_t font;
  cairo_font_extents(cr, &font);
  cairo_set_source_rgb(cr, (colour & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0, ((colour >> 16) & 0xFF) / 255.0);
  double y = r.top + font.ascent;
  for (std::string_view line : Lines(text)) {
    const std::string s(line);
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    cairo_move_to(cr, r.left + (r.Width() - e.x_advance) / 2, y);
    cairo_show_text(cr, s.c_str());
    y += font.height;
  }
  Show();
}

}  // namespace tk::wayland
