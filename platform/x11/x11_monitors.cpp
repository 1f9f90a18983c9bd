#include "platform/x11/x11_monitors.h"

#include <algorithm>

#include <X11/Xlib.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include "platform/x11/x11_errors.h"

namespace tk::x11 {
namespace {

bool Inside(const Rect& inner, const Rect& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

Rect Intersect(const Rect& a, const Rect& b) {
  return Rect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
}

bool Empty(const Rect& r) { return r.Width() <= 0 || r.Height() <= 0; }

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
  std::erase_if(found, [](const FoundMonitor& m) { return Empty(m.area); });
  // Primary first, then reading order; stable so that of two equal monitors
  // the one listed first is the one kept.
  std::stable_sort(found.begin(), found.end(), [](const FoundMonitor& a, const FoundMonitor& b) {
    if (a.primary != b.primary) return a.primary;
    if (a.area.left != b.area.left) return a.area.left < b.area.left;
    return a.area.top < b.area.top;
  });
  std::vector<Rect> kept;
  for (size_t i = 0; i < found.size(); ++i) {
    bool mirror = false;
    for (size_t j = 0; j < found.size() && !mirror; ++j) {
      if (i == j || !Inside(found[i].area, found[j].area)) continue;
      // Inside a bigger one, or equal to one listed earlier.
      mirror = found[i].area != found[j].area || j < i;
    }
    if (!mirror) kept.push_back(found[i].area);
  }
  return kept;
}

std::vector<Rect> MonitorsInWindow(const std::vector<Rect>& monitors, const Rect& window) {
  std::vector<Rect> cut;
  bool anyWhole = false;
  for (const Rect& m : monitors) {
    if (Empty(Intersect(m, window))) continue;
    anyWhole = anyWhole || Inside(m, window);
    cut.push_back(Rect{m.left - window.left, m.top - window.top, m.right - window.left, m.bottom - window.top});
  }
  if (!anyWhole) return {};
  if (cut.size() == 1 && cut[0] == Rect{0, 0, window.Width(), window.Height()}) return {};
  return cut;
}

}  // namespace tk::x11
