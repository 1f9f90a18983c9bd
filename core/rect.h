#pragma once
#include <cstdint>

namespace tk {

// A rectangle: left, top, right, bottom (right and bottom exclusive).
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

// The rectangle arithmetic every part of the saver shares: the monitor
// layouts of both window systems, the damage list and the fill plan. They
// compare edges and never subtract them, so no rectangle near the ends of the
// 32-bit range overflows.

// No pixel at all (a rectangle turned inside out counts as empty too).
inline bool IsEmpty(const Rect& r) { return r.right <= r.left || r.bottom <= r.top; }

// The pixels in both; empty (possibly inside out) when they do not meet.
inline Rect Intersect(const Rect& a, const Rect& b) {
  return Rect{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
              a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
}

// The smallest rectangle holding both.
inline Rect Union(const Rect& a, const Rect& b) {
  return Rect{a.left < b.left ? a.left : b.left, a.top < b.top ? a.top : b.top,
              a.right > b.right ? a.right : b.right, a.bottom > b.bottom ? a.bottom : b.bottom};
}

// True when the two share at least one pixel; the fast form of
// !IsEmpty(Intersect(a, b)) for the fill plan's inner loop.
inline bool Overlap(const Rect& a, const Rect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Every pixel of `inner` lies in `outer`.
inline bool Contains(const Rect& outer, const Rect& inner) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

// The same rectangle seen from an origin at (x, y): how a screen rectangle
// becomes a window's or a monitor's own.
inline Rect RelativeTo(const Rect& r, int32_t x, int32_t y) {
  return Rect{r.left - x, r.top - y, r.right - x, r.bottom - y};
}

}  // namespace tk
