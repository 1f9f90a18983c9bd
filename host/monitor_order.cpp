#include "host/monitor_order.h"

#include <algorithm>

namespace tk {

std::vector<size_t> MonitorOrder(const std::vector<MonitorArea>& monitors) {
  constexpr size_t kNone = static_cast<size_t>(-1);
  size_t primary = kNone;
  std::vector<size_t> order;
  for (size_t i = 0; i < monitors.size(); ++i)
    if (!IsEmpty(monitors[i].area)) order.push_back(i);
  for (size_t i : order)
    if (monitors[i].primary && primary == kNone) primary = i;
  for (size_t i : order)
    if (monitors[i].area.left == 0 && monitors[i].area.top == 0 && primary == kNone) primary = i;
  // Stable, so that of two equal monitors the one listed first is kept.
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    if ((a == primary) != (b == primary)) return a == primary;
    const Rect &ra = monitors[a].area, &rb = monitors[b].area;
    if (ra.left != rb.left) return ra.left < rb.left;
    return ra.top < rb.top;
  });

  std::vector<size_t> kept;
  for (size_t i = 0; i < order.size(); ++i) {
    const Rect& area = monitors[order[i]].area;
    bool mirror = false;
    for (size_t j = 0; j < order.size() && !mirror; ++j) {
      const Rect& other = monitors[order[j]].area;
      if (i == j || !Contains(other, area)) continue;
      // Inside a bigger one, or equal to one taken earlier.
      mirror = area != other || j < i;
    }
    if (!mirror) kept.push_back(order[i]);
  }
  return kept;
}

}  // namespace tk
