// An ordinary top-level window of ours with the cursor hidden in it: the
// window to try the saver in, or a hack's window when it was given none.
#include "platform/x11/x11_target.h"

namespace tk::x11 {
namespace {

class OwnWindow final : public SaverTarget {
 public:
  OwnWindow(::Display* dpy, int width, int height, bool asHack) : SaverTarget(dpy), asHack_(asHack) {
    const long events = asHack ? kBasicEvents : kBasicEvents | kInputEvents;
    const Window w = CreateSaverWindow(dpy, DefaultRootWindow(dpy), 0, 0, width > 0 ? width : 800,
                                       height > 0 ? height : 600, false, events);
    SetNames(dpy, w, kWindowTitle);
    windows_.push_back(w);
    Own(w, /*closable=*/true);
    cursors_.push_back(BlankCursor(dpy, w));
    XDefineCursor(dpy, w, cursors_.back());
  }
  ~OwnWindow() override {
    for (Cursor c : cursors_) XFreeCursor(dpy_, c);
  }

  std::vector<Rect> MonitorsIn(Window w) const override { return asHack_ ? ArrangedMonitorsIn(w) : SaverTarget::MonitorsIn(w); }
  bool WatchesInput() const override { return !asHack_; }
  void Show() override { XMapRaised(dpy_, windows_.front()); }

 private:
  bool asHack_;
};

}  // namespace

std::unique_ptr<SaverTarget> MakeOwnWindow(::Display* dpy, int width, int height, bool asHack) {
  return std::make_unique<OwnWindow>(dpy, width, height, asHack);
}

}  // namespace tk::x11
