#pragma once
// Where the monitors of an X screen are, so that every monitor gets a scene
// of its own centred on it, as XScreenSaver's daemon gives each monitor its
// own hack.
#include <vector>

#include "core/rect.h"
#include "host/monitor_order.h"

struct _XDisplay;

namespace tk::x11 {

// A monitor as the server reports it, in root-window coordinates.
using FoundMonitor = MonitorArea;

// The monitors of X screen `screen`: RandR 1.5 monitors (active ones), or
// Xinerama's heads where the server has no RandR monitors (Xinerama spans
// one logical screen, so only screen 0 has heads). Empty when neither says
// anything: the screen is then one monitor.
std::vector<FoundMonitor> QueryMonitors(_XDisplay* dpy, int screen);

// The monitors worth a scene each, clipped to the screen (0, 0, width,
// height), in the order both window systems share (MonitorOrder): the
// primary first, the rest from left to right, then top to bottom; empty
// ones and mirrors left out. Empty when they cover less than half of the
// screen (MonitorsCoverScreen): the screen is then one monitor.
std::vector<Rect> ArrangeMonitors(std::vector<FoundMonitor> found, int width, int height);

// The monitors a window (its rectangle in root coordinates) is cut into,
// in window coordinates: every monitor it overlaps, when at least one lies
// wholly inside it. Empty when the window is one scene as it is: a window
// inside a single monitor (a preview, a hack's small window), or one that
// is exactly the screen's only monitor (the common desktop, which must be
// drawn exactly as a single screen always was).
std::vector<Rect> MonitorsInWindow(const std::vector<Rect>& monitors, const Rect& window);

}  // namespace tk::x11
