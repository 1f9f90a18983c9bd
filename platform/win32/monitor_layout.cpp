#include "monitor_layout.h"

#include "host/monitor_order.h"

namespace tk::win32 {

SurfacePlace PlaceMonitor(const Rect& monitor, const Rect& desktop, int32_t surfaceWidth, int32_t surfaceHeight,
                          bool deviceShared) {
  SurfacePlace place;
  if (IsEmpty(monitor)) return place;
  if (surfaceWidth == desktop.Width() && surfaceHeight == desktop.Height() &&
      Contains(desktop, monitor)) {
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

bool LockFits(const Rect& area, int32_t surfaceWidth, int32_t surfaceHeight) {
  return !IsEmpty(area) && Contains(Rect{0, 0, surfaceWidth, surfaceHeight}, area);
}

void VisibleOnMonitor(const std::vector<Rect>& screenRects, const Rect& monitor, std::vector<Rect>& out) {
  out.clear();
  for (const Rect& r : screenRects) {
    const Rect cut = Intersect(r, monitor);
    if (IsEmpty(cut)) continue;
    out.push_back(RelativeTo(cut, monitor.left, monitor.top));
  }
}

std::vector<size_t> HostOrder(const std::vector<Rect>& monitors, int primary) {
  std::vector<MonitorArea> areas;
  for (size_t i = 0; i < monitors.size(); ++i)
    areas.push_back(MonitorArea{monitors[i], static_cast<int>(i) == primary});
  return MonitorOrder(areas);
}

}  // namespace tk::win32
