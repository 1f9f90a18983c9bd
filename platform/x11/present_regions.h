#pragma once
#include <cstdint>
#include <vector>

#include "host/display.h"

namespace tk::x11 {

// What one more put request costs the X server, in pixels copied: measured on
// Xvfb with MIT-SHM, where a request costs about as much as copying 1,400
// pixels (bench/x11_cpu.sh, fitting server time to requests and pixels over
// several cell sizes). Rounded down so a merge never costs more than it saves.
inline constexpr int64_t kRequestCostPixels = 1024;

// Joins neighbouring rectangles of the same band (equal top and bottom, as
// the damage grid's row runs are) when the gap between them, counted in
// pixels, is cheaper to send than another request. `regions` must be in the
// damage grid's order: bands top to bottom, runs left to right.
void JoinCloseRegions(std::vector<Rect>& regions, int64_t requestCostPixels = kRequestCostPixels);

}  // namespace tk::x11
