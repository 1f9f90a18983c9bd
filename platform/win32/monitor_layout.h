#pragma once
// Where each monitor's pixels are, worked out from rectangles alone so the
// rules can be checked without Windows. Coordinates are the virtual
// desktop's: the primary monitor's top-left is (0, 0), others may be negative.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/rect.h"

namespace tk::win32 {

// Where a monitor's top-left pixel lies in a DirectDraw primary surface, if
// it lies in it at all. A display device's primary surface normally covers
// its own monitor from (0, 0); a driver that shows one surface over the
// whole desktop has it as large as the virtual desktop, with (0, 0) at the
// desktop's top-left. A surface of the monitor's size on a device shared by
// several monitors shows only the primary monitor (the one at (0, 0)), so
// for the others it is no way to their pixels.
struct SurfacePlace {
  bool reachable = false;
  int32_t x = 0;  // the monitor's left in surface pixels
  int32_t y = 0;
};
SurfacePlace PlaceMonitor(const Rect& monitor, const Rect& desktop, int32_t surfaceWidth, int32_t surfaceHeight,
                          bool deviceShared);

// Whether `area` (surface pixels) may be locked on a surface of this size:
// non-empty and wholly inside it. The desktop can change under a running
// saver (a mode change, a monitor unplugged) before the window and its
// screens follow; until they do, a lock sized for the old desktop would hand
// the render thread pixels beyond the surface, so none is taken.
bool LockFits(const Rect& area, int32_t surfaceWidth, int32_t surfaceHeight);

// The window's visible rectangles (screen coordinates) that fall on a
// monitor, cut to it and moved into its own coordinates; empty pieces are
// left out. `out` is replaced.
void VisibleOnMonitor(const std::vector<Rect>& screenRects, const Rect& monitor, std::vector<Rect>& out);

// The monitors in the order the render host takes them, in the order both
// window systems share (see MonitorOrder): the primary first, its screen
// being the host's own display. `primary` is the index of the primary in
// `monitors`, -1 if none is marked. Returns indices.
std::vector<size_t> HostOrder(const std::vector<Rect>& monitors, int primary);

}  // namespace tk::win32
