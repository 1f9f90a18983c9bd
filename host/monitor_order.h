#pragma once
// Which monitors get a scene of their own, and in what order. The order
// decides which monitor gets which generator (the first keeps the
// process-wide seed, the next MonitorSeed(seed, 1) and so on), so both window
// systems take it from here: one seed gives the same scenes on the same
// layout wherever the saver runs.
#include <cstddef>
#include <vector>

#include "core/rect.h"

namespace tk {

// A monitor as the window system lists it, in desktop coordinates.
struct MonitorArea {
  Rect area;
  bool primary = false;
};

// Indices into `monitors`: the primary first (the first one marked; when
// none is, the one whose top-left is the desktop's origin), the rest from
// left to right, then top to bottom, so the order never depends on the
// order the system listed them in. Left out: empty monitors, and mirrors (a
// monitor equal to one already taken, or wholly inside a bigger one, shows
// the same pixels, and a second scene would only be drawn over the first).
std::vector<size_t> MonitorOrder(const std::vector<MonitorArea>& monitors);

// The coverage rule. A full-screen saver covers the whole screen whatever
// the monitors say: pixels outside every monitor are still the saver's and
// stay black. The monitors get a scene each only when together they cover
// at least half of the screen; below that the list says more about a
// misconfigured server than about the glass (a 1x1 monitor and a 50x50 one
// on a 1920x1080 screen), and the screen is one monitor with one scene
// centred on it. Each pixel counts once, however many monitors show it.
bool MonitorsCoverScreen(const std::vector<Rect>& monitors, const Rect& screen);

}  // namespace tk
