// Filled rectangles: the frame's erases go as one batch of black rectangles,
// then each square drawn, less what later squares of the frame covered, as a
// filled rectangle, one batch per colour (FillPlan). A square costs the
// server an 8-byte rectangle instead of its pixels, locally and over the
// network alike; the image itself goes only for a repaint.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <sys/mman.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "host/fill_plan.h"
#include "platform/x11/x11_presenter.h"

namespace tk::x11 {
namespace {

static_assert(sizeof(XRectangle) == 8 && offsetof(XRectangle, x) == 0 && offsetof(XRectangle, y) == 2 &&
              offsetof(XRectangle, width) == 4 && offsetof(XRectangle, height) == 6);

class FillPresenter final : public Presenter {
 public:
  explicit FillPresenter(const PresentTarget& target) : Presenter(Kind::kFill, target) {}
  ~FillPresenter() override { Drop(); }

  // The image is sent only for a repaint, so it can live in private memory,
  // and there on 2 MiB pages: a frame touches a few rows of each of a
  // thousand squares spread over the whole image right after a sleep, and
  // with 4 KiB pages nearly every row is a page of its own and a TLB miss.
  bool Make(int32_t width, int32_t height) override {
    Drop();
    if (width <= 0 || height <= 0) return false;
    XImage* img = XCreateImage(t_.dpy, static_cast<Visual*>(t_.visual), static_cast<unsigned>(t_.depth), ZPixmap, 0,
                               nullptr, static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (!img) return false;
    const size_t huge = size_t{2} << 20;
    const size_t bytes = static_cast<size_t>(img->bytes_per_line) * static_cast<size_t>(height);
    const size_t mapped = (bytes + huge - 1) / huge * huge + huge;  // room to align
    void* base = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base != MAP_FAILED) {
      const uintptr_t start = (reinterpret_cast<uintptr_t>(base) + huge - 1) & ~uintptr_t{huge - 1};
      madvise(reinterpret_cast<void*>(start), bytes, MADV_HUGEPAGE);  // a hint; 4 KiB pages still work
      img->data = reinterpret_cast<char*>(start);
      base_ = base;
      mapped_ = mapped;
    } else {
      img->data = static_cast<char*>(std::calloc(static_cast<size_t>(img->bytes_per_line), static_cast<size_t>(height)));
      if (!img->data) {
        XDestroyImage(img);
        return false;
      }
    }
    Adopt(img, width, height);
    return true;
  }

  void Prepare(DamageList& damage) const override {
    damage.KeepSquares(true);
    damage.SetFoldAllowance(0);
  }

  void Present(const DamageList& damage, int originX, int originY, Figures& figures) override {
    // Erasing fills with colour 0, pixel 0 in every format; its group comes
    // first and is drawn first (see FillPlan).
    plan_.Build(damage.Written(), damage.WrittenPixels(), t_.pixelMask, 0);
    const std::vector<Rect>& rects = plan_.Rects();
    xrects_.resize(rects.size());
    for (size_t i = 0; i < rects.size(); ++i) {
      const Rect& r = rects[i];
      xrects_[i] = XRectangle{static_cast<short>(originX + r.left), static_cast<short>(originY + r.top),
                              static_cast<unsigned short>(r.Width()), static_cast<unsigned short>(r.Height())};
      figures.pixels += uint64_t(static_cast<uint32_t>(r.Width())) * static_cast<uint32_t>(r.Height());
    }
    for (const FillPlan::Group& g : plan_.Groups()) {
      XSetForeground(t_.dpy, t_.gc, g.pixel);
      XFillRectangles(t_.dpy, t_.window, t_.gc, xrects_.data() + g.first, static_cast<int>(g.count));
    }
    figures.rectangles += rects.size();
    figures.colours += plan_.Groups().size();
  }

 private:
  void Release() override {
    if (base_) {
      image_->data = nullptr;
      XDestroyImage(image_);
      munmap(base_, mapped_);
      base_ = nullptr;
    } else {
      XDestroyImage(image_);  // frees the calloc'd pixels too
    }
  }

  void* base_ = nullptr;  // the mapping, when the pixels live in one
  size_t mapped_ = 0;
  FillPlan plan_;
  std::vector<XRectangle> xrects_;
};

}  // namespace

std::unique_ptr<Presenter> MakeFillPresenter(const PresentTarget& target) {
  return std::make_unique<FillPresenter>(target);
}

}  // namespace tk::x11
