#include "host/monitor_order.h"

#include <algorithm>
#include <cstdint>

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

namespace {

uint64_t Area(const Rect& r) {
  return static_cast<uint64_t>(int64_t{r.right} - r.left) * static_cast<uint64_t>(int64_t{r.bottom} - r.top);
}

// The pixels of `screen` under at least one of `rects`: the monitors cut
// the screen into a grid along their edges, and each cell is counted once.
// A handful of monitors makes a handful of cells. Unsigned 64 bits hold the
// area of any screen of 32-bit edges.
uint64_t CoveredArea(const std::vector<Rect>& rects, const Rect& screen) {
  std::vector<Rect> cut;
  std::vector<int32_t> xs, ys;
  for (const Rect& r : rects) {
    const Rect c = Intersect(r, screen);
    if (IsEmpty(c)) continue;
    cut.push_back(c);
    xs.insert(xs.end(), {c.left, c.right});
    ys.insert(ys.end(), {c.top, c.bottom});
  }
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  uint64_t covered = 0;
  for (size_t i = 0; i + 1 < xs.size(); ++i)
    for (size_t j = 0; j + 1 < ys.size(); ++j) {
      const Rect cell{xs[i], ys[j], xs[i + 1], ys[j + 1]};
      for (const Rect& c : cut)
        if (Contains(c, cell)) {
          covered += Area(cell);
          break;
        }
    }
  return covered;
}

}  // namespace

bool MonitorsCoverScreen(const std::vector<Rect>& monitors, const Rect& screen) {
  if (IsEmpty(screen)) return false;
  const uint64_t covered = CoveredArea(monitors, screen);
  return covered >= Area(screen) - covered;
}

}  // namespace tk
