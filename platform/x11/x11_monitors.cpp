#include "platform/x11/x11_monitors.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include "core/rect.h"
#include "platform/x11/x11_errors.h"

namespace tk::x11 {
namespace {

std::vector<FoundMonitor> RandrMonitors(::Display* dpy, int screen) {
  std::vector<FoundMonitor> found;
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (!XRRQueryExtension(dpy, &eventBase, &errorBase) || !XRRQueryVersion(dpy, &major, &minor)) return found;
  if (major < 1 || (major == 1 && minor < 5)) return found;
  int count = 0;
  BeginTrap();
  XRRMonitorInfo* monitors = XRRGetMonitors(dpy, RootWindow(dpy, screen), True, &count);
  const int error = EndTrap(dpy);
  if (monitors && error == 0)
    for (int i = 0; i < count; ++i)
      found.push_back(FoundMonitor{Rect{monitors[i].x, monitors[i].y, monitors[i].x + monitors[i].width,
                                        monitors[i].y + monitors[i].height},
                                   monitors[i].primary != 0});
  if (monitors) XRRFreeMonitors(monitors);
  return found;
}

std::vector<FoundMonitor> XineramaHeads(::Display* dpy, int screen) {
  std::vector<FoundMonitor> found;
  int eventBase = 0, errorBase = 0;
  if (screen != 0 || !XineramaQueryExtension(dpy, &eventBase, &errorBase) || !XineramaIsActive(dpy)) return found;
  int count = 0;
  if (XineramaScreenInfo* heads = XineramaQueryScreens(dpy, &count)) {
    // Xinerama has no primary; its first head is the one desktops treat so.
    for (int i = 0; i < count; ++i)
      found.push_back(FoundMonitor{Rect{heads[i].x_org, heads[i].y_org, heads[i].x_org + heads[i].width,
                                        heads[i].y_org + heads[i].height},
                                   i == 0});
    XFree(heads);
  }
  return found;
}

}  // namespace

std::vector<FoundMonitor> QueryMonitors(_XDisplay* dpy, int screen) {
  std::vector<FoundMonitor> found = RandrMonitors(dpy, screen);
  if (found.empty()) found = XineramaHeads(dpy, screen);
  return found;
}

std::vector<Rect> ArrangeMonitors(std::vector<FoundMonitor> found, int width, int height) {
  const Rect screen{0, 0, width, height};
  for (FoundMonitor& m : found) m.area = Intersect(m.area, screen);
  std::vector<Rect> kept;
  for (size_t i : MonitorOrder(found)) kept.push_back(found[i].area);
  if (!MonitorsCoverScreen(kept, screen)) kept.clear();
  return kept;
}

std::vector<Rect> MonitorsInWindow(const std::vector<Rect>& monitors, const Rect& window) {
  std::vector<Rect> cut;
  bool anyWhole = false;
  for (const Rect& m : monitors) {
    if (!Overlap(m, window)) continue;
    anyWhole = anyWhole || Contains(window, m);
    cut.push_back(RelativeTo(m, window.left, window.top));
  }
  if (!anyWhole) return {};
  if (cut.size() == 1 && cut[0] == Rect{0, 0, window.Width(), window.Height()}) return {};
  return cut;
}

}  // namespace tk::x11
