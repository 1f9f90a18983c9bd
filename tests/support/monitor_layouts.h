#pragma once
// Desktops of several monitors as a window system lists them, with the scenes
// the saver must give them, in order. The Windows and the X11 layers are both
// checked against this one list: with one seed, the same layout must get the
// same scene on the same monitor on either system. Coordinates are ones both
// systems can have (X has no negative ones).
#include <vector>

#include "core/rect.h"
#include "host/monitor_order.h"

namespace tk::test {

struct MonitorLayout {
  const char* name;
  std::vector<MonitorArea> listed;  // in the system's order; at most one primary
  std::vector<Rect> scenes;         // the monitors that get a scene, in order
};

inline const std::vector<MonitorLayout>& SharedMonitorLayouts() {
  static const std::vector<MonitorLayout> layouts = {
      {"primary listed third, on the right",
       {{{1280, 0, 2560, 1024}, false},
        {{0, 1024, 1280, 2048}, false},
        {{2560, 0, 3840, 1024}, true},
        {{0, 0, 1280, 1024}, false}},
       {{2560, 0, 3840, 1024}, {0, 0, 1280, 1024}, {0, 1024, 1280, 2048}, {1280, 0, 2560, 1024}}},
      // A column is taken top to bottom before the next column.
      {"two stacked beside the primary",
       {{{1024, 0, 2048, 768}, true}, {{0, 768, 1024, 1536}, false}, {{0, 0, 1024, 768}, false}},
       {{1024, 0, 2048, 768}, {0, 0, 1024, 768}, {0, 768, 1024, 1536}}},
      // Nothing marked primary: the monitor at the origin leads.
      {"no primary marked",
       {{{1280, 0, 2560, 1024}, false}, {{0, 0, 1280, 1024}, false}},
       {{0, 0, 1280, 1024}, {1280, 0, 2560, 1024}}},
      // A clone of the primary and a smaller one inside it show its pixels.
      {"mirrors",
       {{{0, 0, 1280, 1024}, false},
        {{0, 0, 800, 600}, false},
        {{1280, 0, 1920, 1024}, false},
        {{0, 0, 1280, 1024}, true}},
       {{0, 0, 1280, 1024}, {1280, 0, 1920, 1024}}},
      {"a monitor without pixels",
       {{{0, 0, 1024, 768}, true}, {{1024, 0, 1024, 768}, false}, {{1024, 0, 1824, 600}, false}},
       {{0, 0, 1024, 768}, {1024, 0, 1824, 600}}},
  };
  return layouts;
}

}  // namespace tk::test
