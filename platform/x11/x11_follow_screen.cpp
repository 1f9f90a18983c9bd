#include "platform/x11/x11_follow_screen.h"

#include <X11/extensions/Xrandr.h>

#include "host/render_host.h"
#include "platform/x11/x11_errors.h"
#include "platform/x11/x11_monitors.h"

namespace tk::x11 {
namespace {

// A window's own rectangle: (0, 0) and its size.
Rect WindowArea(::Display* dpy, Window w) {
  XWindowAttributes wa;
  if (!Attributes(dpy, w, wa)) return Rect{};
  return Rect{0, 0, wa.width, wa.height};
}

// Every screen's size as the server has it now, its root window's. The
// RandR events that tell of a new size may come after other RandR events
// (or only once some client asks), so Xlib's own record, which they update,
// is brought up to date here.
std::vector<Rect> ScreenSizes(::Display* dpy) {
  std::vector<Rect> sizes;
  for (int s = 0; s < ScreenCount(dpy); ++s) {
    Window root = 0;
    int x = 0, y = 0;
    unsigned w = 0, h = 0, border = 0, depth = 0;
    if (XGetGeometry(dpy, RootWindow(dpy, s), &root, &x, &y, &w, &h, &border, &depth)) {
      ScreenOfDisplay(dpy, s)->width = static_cast<int>(w);
      ScreenOfDisplay(dpy, s)->height = static_cast<int>(h);
    }
    sizes.push_back(Rect{0, 0, DisplayWidth(dpy, s), DisplayHeight(dpy, s)});
  }
  return sizes;
}

// Every screen's monitors as the server lists them, flattened for comparing:
// the screen, then each monitor's edges and whether it is the primary.
std::vector<int> MonitorList(::Display* dpy) {
  std::vector<int> list;
  for (int s = 0; s < ScreenCount(dpy); ++s) {
    list.push_back(-1 - s);
    for (const FoundMonitor& m : QueryMonitors(dpy, s))
      list.insert(list.end(), {m.area.left, m.area.top, m.area.right, m.area.bottom, m.primary ? 1 : 0});
  }
  return list;
}

}  // namespace

void ScreenFollower::Open(const SaverTarget& target) {
  const char* name = DisplayString(dpy_);
  for (Window w : target.windows()) {
    const std::vector<Rect> monitors = target.MonitorsIn(w);
    if (monitors.empty())
      displays_.push_back(Screen{w, true, WindowArea(dpy_, w), std::make_unique<X11Display>(name, w, present_)});
    for (const Rect& m : monitors)
      displays_.push_back(Screen{w, false, m, std::make_unique<X11Display>(name, w, m, present_)});
  }
  screenSizes_ = ScreenSizes(dpy_);
  monitorList_ = MonitorList(dpy_);
}

bool ScreenFollower::Select() {
  int randrErrors = 0;
  if (XRRQueryExtension(dpy_, &randrEvents_, &randrErrors)) {
    BeginTrap();
    for (int s = 0; s < ScreenCount(dpy_); ++s)
      XRRSelectInput(dpy_, RootWindow(dpy_, s),
                     RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask |
                         RRResourceChangeNotifyMask);
    if (EndTrap(dpy_) != 0) randrEvents_ = -1;
  } else {
    randrEvents_ = -1;
  }
  return randrEvents_ >= 0;
}

bool ScreenFollower::Tells(const XEvent& e) {
  if (randrEvents_ < 0 || (e.type != randrEvents_ + RRScreenChangeNotify && e.type != randrEvents_ + RRNotify))
    return false;
  // Keeps Xlib's idea of the screen's size up to date.
  XRRUpdateConfiguration(const_cast<XEvent*>(&e));
  return true;
}

bool ScreenFollower::MonitorsMoved() const { return MonitorList(dpy_) != monitorList_; }

// Every window's monitors are read again. A monitor that went loses its
// scene, one that came gets one, one that moved or changed size gets a new
// one laid out on it; the render thread takes each change between two
// frames.
bool ScreenFollower::Follow(SaverTarget& target, RenderHost* host) {
  std::vector<Rect> screens = ScreenSizes(dpy_);
  bool changed = screens != screenSizes_;
  screenSizes_ = screens;
  monitorList_ = MonitorList(dpy_);
  target.FollowScreens();
  const char* name = DisplayString(dpy_);
  for (Window w : target.windows()) {
    const std::vector<Rect> monitors = target.MonitorsIn(w);
    const Rect area = WindowArea(dpy_, w);
    const auto wanted = [&](const Screen& d) {
      if (d.window != w) return true;
      if (d.whole) return monitors.empty() && d.monitor == area;
      for (const Rect& m : monitors)
        if (m == d.monitor) return true;
      return false;
    };
    // A scene that ends leaves its last frame on the window: its place goes
    // back to black, or to the scenes drawn there from now on.
    for (Screen& d : displays_)
      if (!wanted(d)) {
        changed = true;
        if (host) host->RemoveDisplay(*d.display);
        BeginTrap();
        XClearArea(dpy_, w, d.monitor.left, d.monitor.top, static_cast<unsigned>(d.monitor.Width()),
                   static_cast<unsigned>(d.monitor.Height()), False);
        EndTrap(dpy_);
      }
    std::erase_if(displays_, [&](const Screen& d) { return !wanted(d); });
    const auto have = [&](bool whole, const Rect& m) {
      for (const Screen& d : displays_)
        if (d.window == w && d.whole == whole && d.monitor == m) return true;
      return false;
    };
    std::vector<Screen> added;
    if (monitors.empty() && !have(true, area))
      added.push_back(Screen{w, true, area, std::make_unique<X11Display>(name, w, present_)});
    for (const Rect& m : monitors)
      if (!have(false, m)) added.push_back(Screen{w, false, m, std::make_unique<X11Display>(name, w, m, present_)});
    for (Screen& d : added) {
      if (host) host->AddDisplay(*d.display);
      displays_.push_back(std::move(d));
      changed = true;
    }
  }
  return changed;
}

}  // namespace tk::x11
