#pragma once
#include <cstdint>
#include <string_view>

#include "host/display.h"

struct wl_shm;
struct wl_surface;
struct wl_buffer;

namespace tk::wayland {

// Error mode's text on a Wayland surface: one black wl_shm buffer of the
// surface's size in real pixels, drawn into by the window thread with cairo
// ("Arial", or whatever face fontconfig finds nearest) and committed after
// every message. Nothing else draws on the surface then: error mode has no
// render thread. With an empty text it only shows black, which is what the
// other outputs get.
class CairoTextPainter final : public TextPainter {
 public:
  CairoTextPainter(wl_shm* shm, wl_surface* surface, int32_t width, int32_t height, int32_t scale);
  ~CairoTextPainter() override;
  CairoTextPainter(const CairoTextPainter&) = delete;
  CairoTextPainter& operator=(const CairoTextPainter&) = delete;

  Rect ClientRect() override { return Rect{0, 0, width_, height_}; }
  void FillBlack(const Rect& r) override;
  void Measure(std::string_view text, int32_t fontHeight, int32_t& width, int32_t& height) override;
  void Draw(std::string_view text, const Rect& r, int32_t fontHeight, uint32_t colour) override;
  // Sends the buffer as it is now.
  void Show();

 private:
  wl_surface* surface_;
  wl_buffer* buffer_ = nullptr;
  uint8_t* pixels_ = nullptr;
  size_t bytes_ = 0;
  int32_t width_, height_, scale_;
  void* surfaceCairo_ = nullptr;  // cairo_surface_t over the pixels
  void* cr_ = nullptr;            // cairo_t
};

}  // namespace tk::wayland
