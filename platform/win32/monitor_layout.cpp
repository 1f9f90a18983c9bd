#include "monitor_layout.h"

#include <algorithm>

namespace tk::win32 {

Rect Intersect(const Rect& a, const Rect& b) {
  return Rect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
}

bool IsEmpty(const Rect& r) { return r.right <= r.left || r.bottom <= r.top; }

SurfacePlace PlaceMonitor(const Rect& monitor, const Rect& desktop, int32_t surfaceWidth, int32_t surfaceHeight,
                          bool deviceShared) {
  SurfacePlace place;
  if (IsEmpty(monitor)) return place;
  if (surfaceWidth == desktop.Width() && surfaceHeight == desktop.Height() &&
      Intersect(monitor, desktop) == monitor) {
    place.reachable = true;
    place.x = monitor.left - desktop.left;
    place.y = monitor.top - desktop.top;
    return place;
  }
  const bool isPrimary = monitor.left == 0 && monitor.top == 0;
  if (surfaceWidth == monitor.Width() && surfaceHeight == monitor.Height() && (!deviceShared || isPrimary)) {
    place.reachable = true;
    return place;
  }
  return place;
}

void VisibleOnMonitor(const std::vector<Rect>& screenRects, const Rect& monitor, std::vector<Rect>& out) {
  out.clear();
  for (const Rect& r : screenRects) {
    const Rect cut = Intersect(r, monitor);
    if (IsEmpty(cut)) continue;
    out.push_back(Rect{cut.left - monitor.left, cut.top - monitor.top, cut.right - monitor.left,
                       cut.bottom - monitor.top});
  }
}

std::vector<size_t> HostOrder(const std::vector<Rect>& monitors, int primary) {
  size_t first = 0;
  if (primary >= 0 && static_cast<size_t>(primary) < monitors.size()) {
    first = static_cast<size_t>(primary);
  } else {
    for (size_t i = 0; i < monitors.size(); ++i)
      if (monitors[i].left == 0 && monitors[i].top == 0) {
        first = i;
        break;
      }
  }
  std::vector<size_t> order;
  if (monitors.empty()) return order;
  order.push_back(first);
  for (size_t i = 0; i < monitors.size(); ++i)
    if (i != first) order.push_back(i);
  return order;
}

}  // namespace tk::win32
