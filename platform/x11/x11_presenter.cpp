#include "platform/x11/x11_presenter.h"

#include <cstdio>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tk::x11 {
namespace {

// Below this width a point is one or two pixels, so many of a frame's
// squares touch and a few shared images carry them for less than their
// rectangles one by one: at 640x480 (sphere only, saver + Xvfb) images cost
// 4.4-4.8 % against 4.8-5.5 % filled, in a 240x180 preview 2.3 % against
// 3.5-3.9 %; at 1920x1080 both cost the same, at 3840x2160 filling saves
// 10-20 %, and without shared memory filling always wins.
constexpr int32_t kFillFromWidth = 960;

}  // namespace

std::string FiguresLine(const Figures& f) {
  char line[256];
  std::snprintf(line, sizeof line, "x11: %llu frames, %llu squares, %llu rectangles, %llu pixels, %llu colours, %s, %s",
                static_cast<unsigned long long>(f.frames), static_cast<unsigned long long>(f.squares),
                static_cast<unsigned long long>(f.rectangles), static_cast<unsigned long long>(f.pixels),
                static_cast<unsigned long long>(f.colours), f.filled ? "filled" : "put",
                f.sharedMemory ? "shared image" : "XPutImage");
  return line;
}

Presenter::~Presenter() = default;

void Presenter::Adopt(_XImage* image, int32_t width, int32_t height) {
  image_ = image;
  width_ = width;
  height_ = height;
}

void Presenter::Drop() {
  if (!image_) return;
  Release();
  image_ = nullptr;
  width_ = height_ = 0;
}

void Presenter::Put(const Rect& r, int originX, int originY, Figures& figures) {
  const unsigned w = static_cast<unsigned>(r.Width()), h = static_cast<unsigned>(r.Height());
  XPutImage(t_.dpy, t_.window, t_.gc, image_, r.left, r.top, originX + r.left, originY + r.top, w, h);
  ++figures.rectangles;
  figures.pixels += uint64_t{w} * h;
}

void Presenter::Repaint(int originX, int originY, Figures& figures) {
  Put(Rect{0, 0, width_, height_}, originX, originY, figures);
}

std::unique_ptr<Presenter> ChoosePresenter(const X11PresentOptions& options, bool sharedMemory, int32_t width,
                                           const PresentTarget& target) {
  using Way = X11PresentOptions::Way;
  const bool shared = sharedMemory && options.sharedMemory;
  const bool images = options.way == Way::kImages || (options.way == Way::kChoose && shared && width < kFillFromWidth);
  if (!images) return MakeFillPresenter(target);
  if (shared) return MakeSharedImagePresenter(target, options.foldPixels);
  return MakePlainImagePresenter(target);
}

std::unique_ptr<Presenter> WithoutSharedMemory(const X11PresentOptions& options, const PresentTarget& target) {
  // Images were only worth it through shared memory.
  if (options.way == X11PresentOptions::Way::kChoose) return MakeFillPresenter(target);
  return MakePlainImagePresenter(target);
}

}  // namespace tk::x11
