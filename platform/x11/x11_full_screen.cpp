// The saver proper: a window over every X screen, each cut into its
// monitors, the cursor hidden, the keyboard grabbed; input anywhere ends it.
#include "platform/x11/x11_errors.h"
#include "platform/x11/x11_target.h"

namespace tk::x11 {
namespace {

class FullScreenTarget final : public SaverTarget {
 public:
  explicit FullScreenTarget(::Display* dpy) : SaverTarget(dpy) {
    // The default screen's window first: its first monitor is the primary.
    const int first = DefaultScreen(dpy);
    Cover(first);
    for (int s = 0; s < ScreenCount(dpy); ++s)
      if (s != first) Cover(s);
  }
  ~FullScreenTarget() override {
    for (Cursor c : cursors_) XFreeCursor(dpy_, c);
  }

  std::vector<Rect> MonitorsIn(Window w) const override { return ArrangedMonitorsIn(w); }
  bool WatchesInput() const override { return true; }
  bool FullScreen() const override { return true; }

  void Show() override {
    for (Window w : windows_) XMapRaised(dpy_, w);
  }

  bool Handle(const XEvent& e) override {
    if (e.type == MapNotify && e.xmap.window == windows_.front() && !grabbed_) {
      // An override-redirect window gets no focus from a window manager.
      BeginTrap();
      XSetInputFocus(dpy_, windows_.front(), RevertToParent, CurrentTime);
      grabbed_ = XGrabKeyboard(dpy_, windows_.front(), True, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
      EndTrap(dpy_);
    }
    return SaverTarget::Handle(e);
  }

  void Hide() override {
    if (grabbed_) XUngrabKeyboard(dpy_, CurrentTime);
    grabbed_ = false;
    SaverTarget::Hide();
  }

 private:
  void Cover(int screen) {
    const Window w = CreateSaverWindow(dpy_, RootWindow(dpy_, screen), 0, 0, DisplayWidth(dpy_, screen),
                                       DisplayHeight(dpy_, screen), true, kBasicEvents | kInputEvents, screen);
    SetNames(dpy_, w, kFullScreenTitle);
    cursors_.push_back(BlankCursor(dpy_, w));
    XDefineCursor(dpy_, w, cursors_.back());
    windows_.push_back(w);
    Own(w, /*closable=*/true);
  }

  bool grabbed_ = false;
};

}  // namespace

std::unique_ptr<SaverTarget> MakeFullScreen(::Display* dpy) { return std::make_unique<FullScreenTarget>(dpy); }

}  // namespace tk::x11
