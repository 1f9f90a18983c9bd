#pragma once
#include <windows.h>

#include <vector>

#include "host/display.h"

namespace tk::win32 {

// One monitor of the desktop and the DirectDraw device that shows it.
struct MonitorDevice {
  Rect bounds;               // virtual-desktop coordinates; the primary's top-left is (0, 0)
  bool primary = false;
  bool hasGuid = false;      // false: the default device (DirectDraw's "primary display driver")
  GUID guid{};
  bool deviceShared = false; // another monitor was listed with the same device
};

// Every monitor worth a scene, each with its device, in the order both
// window systems share (HostOrder: the primary first, then left to right,
// top to bottom, mirrors left out), or an empty list when the saver should
// run exactly as on a single monitor: one monitor, or a system without the
// multi-monitor functions (95, NT 4.0). Every function
// beyond those systems is looked up at run time, so the program still loads
// there.
std::vector<MonitorDevice> FindMonitors();

// The smallest rectangle holding every monitor.
Rect DesktopOf(const std::vector<MonitorDevice>& monitors);

}  // namespace tk::win32
