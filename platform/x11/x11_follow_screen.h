#pragma once
// Following the screen while the saver runs: screens that grow or shrink and
// monitors that come and go, on every screen, as RandR tells of them. The
// displays follow: one for every monitor the target's windows cover, a new
// one where a monitor came, moved or changed size, while the scenes on
// monitors that stayed go on undisturbed.
#include <cstdint>
#include <memory>
#include <vector>

#include <X11/Xlib.h>

#include "core/rect.h"
#include "platform/x11/x11_display.h"
#include "platform/x11/x11_target.h"

namespace tk {
class RenderHost;
}

namespace tk::x11 {

// Monitors set by hand (xrandr --setmonitor) change without any event.
inline constexpr uint32_t kMonitorPollMs = 2000;

class ScreenFollower {
 public:
  // The display of one monitor and the window it draws into.
  struct Screen {
    Window window;
    bool whole;    // one scene on the whole window
    Rect monitor;  // the monitor it is centred on, in window coordinates; the whole window's size when whole
    std::unique_ptr<X11Display> display;
  };

  ScreenFollower(::Display* dpy, const X11PresentOptions& present) : dpy_(dpy), present_(present) {}

  // A display for every monitor the windows cover, the primary's first; a
  // window that is one scene gets one display for the whole of it. The
  // screens and monitors as they are now are the ones followed from.
  void Open(const SaverTarget& target);
  // The displays, the primary's first.
  std::vector<Screen>& displays() { return displays_; }

  // Asks RandR on every screen for changes of size and of monitors; false
  // without RandR, when nothing is followed.
  bool Select();
  // Whether event `e` is RandR's word of a change; RandR speaks up for less
  // than a change too (a client asking it about the outputs can be enough),
  // so only Follow tells whether something really changed.
  bool Tells(const XEvent& e);
  // The monitors are not the ones last looked at.
  bool MonitorsMoved() const;
  // The screens or their monitors changed: the target's windows cover their
  // screens again and the displays follow every window's monitors, each
  // change handed to `host` (when there is one). False when nothing changed
  // at all.
  bool Follow(SaverTarget& target, RenderHost* host);

 private:
  ::Display* dpy_;
  const X11PresentOptions& present_;
  std::vector<Screen> displays_;
  int randrEvents_ = -1;           // RandR's first event number; -1 without RandR
  std::vector<Rect> screenSizes_;  // every screen's size when last looked at
  std::vector<int> monitorList_;   // and its monitors (MonitorList)
};

}  // namespace tk::x11
