// The preview: a child of the caller's window, following its size and ending
// with it; input is the caller's business.
#include "platform/x11/x11_errors.h"
#include "platform/x11/x11_target.h"

namespace tk::x11 {
namespace {

class Preview final : public SaverTarget {
 public:
  Preview(::Display* dpy, Window parent) : SaverTarget(dpy), parent_(parent) {}

  // False when the parent does not exist, or vanished while the child was
  // made (a window of another client can go at any moment).
  bool Create() {
    XWindowAttributes pa;
    if (!Attributes(dpy_, parent_, pa)) return false;
    // Hearing of the parent's resizes and its end.
    BeginTrap();
    XSelectInput(dpy_, parent_, StructureNotifyMask);
    const Window w = CreateSaverWindow(dpy_, parent_, 0, 0, pa.width, pa.height, false, kBasicEvents);
    if (EndTrap(dpy_) != 0) return false;
    SetNames(dpy_, w, kPreviewTitle);
    windows_.push_back(w);
    Own(w, /*closable=*/false);
    return true;
  }

  void Show() override { XMapRaised(dpy_, windows_.front()); }

  bool Handle(const XEvent& e) override {
    if (e.type == ConfigureNotify && e.xconfigure.window == parent_)
      XResizeWindow(dpy_, windows_.front(), static_cast<unsigned>(e.xconfigure.width < 1 ? 1 : e.xconfigure.width),
                    static_cast<unsigned>(e.xconfigure.height < 1 ? 1 : e.xconfigure.height));
    if (e.type == DestroyNotify && e.xdestroywindow.window == parent_) return true;
    return SaverTarget::Handle(e);
  }

 private:
  Window parent_;
};

}  // namespace

std::unique_ptr<SaverTarget> MakePreview(::Display* dpy, Window parent) {
  auto preview = std::make_unique<Preview>(dpy, parent);
  if (!preview->Create()) return nullptr;
  return preview;
}

}  // namespace tk::x11
