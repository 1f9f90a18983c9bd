// Filled rectangles: the frame's erases go as one batch of black rectangles,
// then each square drawn, less what later squares of the frame covered, as a
// filled rectangle, one batch per colour (FillPlan). A square costs the
// server an 8-byte rectangle instead of its pixels, locally and over the
// network alike.
//
// The client keeps no picture of the screen: the frame buffer only records
// the squares, and the server's window is the picture. Writing them into a
// screen-sized image after every sleep missed the cache on nearly every row;
// it was half the client's time at 1920x1080 and most of its resident size.
// A part the server lost is repainted from the last frame's pieces, which
// are all that is lit (see FillPlan::Within).
#include <cstddef>
#include <cstdint>
#include <vector>

#include <X11/Xlib.h>

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

  bool Make(int32_t width, int32_t height) override {
    Drop();
    if (width <= 0 || height <= 0) return false;
    Adopt(nullptr, width, height);
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
    Fill(plan_.Groups(), plan_.Rects(), originX, originY, figures);
  }

  // After the frame: the lost part cleared and filled with what the frame
  // left lit there, over whatever the server shows.
  void Repaint(const Rect& lost, int originX, int originY, Figures& figures) override {
    plan_.Within(lost, groups_, rects_);
    Fill(groups_, rects_, originX, originY, figures);
  }

 private:
  void Fill(const std::vector<FillPlan::Group>& groups, const std::vector<Rect>& rects, int originX, int originY,
            Figures& figures) {
    xrects_.resize(rects.size());
    for (size_t i = 0; i < rects.size(); ++i) {
      const Rect& r = rects[i];
      xrects_[i] = XRectangle{static_cast<short>(originX + r.left), static_cast<short>(originY + r.top),
                              static_cast<unsigned short>(r.Width()), static_cast<unsigned short>(r.Height())};
      figures.pixels += uint64_t(static_cast<uint32_t>(r.Width())) * static_cast<uint32_t>(r.Height());
    }
    for (const FillPlan::Group& g : groups) {
      XSetForeground(t_.dpy, t_.gc, g.pixel);
      XFillRectangles(t_.dpy, t_.window, t_.gc, xrects_.data() + g.first, static_cast<int>(g.count));
    }
    figures.rectangles += rects.size();
    figures.colours += groups.size();
  }

  FillPlan plan_;
  std::vector<FillPlan::Group> groups_;  // a repaint's, kept for their capacity
  std::vector<Rect> rects_;
  std::vector<XRectangle> xrects_;
};

}  // namespace

std::unique_ptr<Presenter> MakeFillPresenter(const PresentTarget& target) {
  return std::make_unique<FillPresenter>(target);
}

}  // namespace tk::x11
