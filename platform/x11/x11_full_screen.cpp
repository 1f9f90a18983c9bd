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
  bool KeyboardGrabbed() const override { return grabbed_; }

  void Show() override {
    for (Window w : windows_) XMapRaised(dpy_, w);
  }

  // No part of a screen that grew may show the desktop, and a window left
  // larger than a screen that shrank would hold scenes nobody sees.
  void FollowScreens() override {
    for (size_t i = 0; i < windows_.size(); ++i)
      XMoveResizeWindow(dpy_, windows_[i], 0, 0, static_cast<unsigned>(DisplayWidth(dpy_, screens_[i])),
                        static_cast<unsigned>(DisplayHeight(dpy_, screens_[i])));
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
    screens_.push_back(screen);
    Own(w, /*closable=*/true);
  }

  std::vector<int> screens_;  // the screen each window covers
  bool grabbed_ = false;
};

}  // namespace

std::unique_ptr<SaverTarget> MakeFullScreen(::Display* dpy) { return std::make_unique<FullScreenTarget>(dpy); }

}  // namespace tk::x11
