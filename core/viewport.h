#pragma once
#include <cstdint>

#include "core/truncate.h"

namespace tk {

// The saver window's client area as the projection sees it; measured again at
// the start of every frame, so a resize (or a monitor change) follows at once.
struct Viewport {
  int32_t width = 0;   // client width in pixels
  int32_t height = 0;  // client height in pixels
  int32_t focal = 0;   // projection scale, always 2 * width
};

inline Viewport MakeViewport(int32_t width, int32_t height) { return Viewport{width, height, 2 * width}; }

// Side in pixels of every square the star field and the objects plot.
inline int32_t PointSize(const Viewport& v) {
  const int32_t s = v.width / 320;
  return s < 1 ? 1 : s;
}

// Perspective projection; the caller has made sure z > 100. Evaluated in double
// and truncated toward zero, as every real-to-integer conversion here is.
inline int32_t ProjectX(const Viewport& v, double x, double z) {
  return TruncToInt(static_cast<double>(v.focal) * x / z + static_cast<double>(v.width >> 1));
}
inline int32_t ProjectY(const Viewport& v, double y, double z) {
  return TruncToInt(static_cast<double>(v.focal) * y / z + static_cast<double>(v.height >> 1));
}

struct ScreenPoint {
  int32_t x = 0;
  int32_t y = 0;
};

// Projects a camera-space point; only defined for z > 100 (returns false and
// leaves `out` alone otherwise).
inline bool Project(const Viewport& v, double x, double y, double z, ScreenPoint& out) {
  if (!(z > 100.0)) return false;
  out.x = ProjectX(v, x, z);
  out.y = ProjectY(v, y, z);
  return true;
}

}  // namespace tk
