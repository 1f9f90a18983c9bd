#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "host/display.h"

namespace tk {

// What one frame wrote, as rectangles in client coordinates, so a display
// can present only the pixels that changed: the work follows the points, not
// the window's area. FillSquare adds every square it writes (erases too).
//
// A point is erased and redrawn a few pixels away within the same frame, so
// a new square is folded into a recent rectangle it lies close to whenever
// their bounding box holds no more pixels than the two apart: the list then
// carries about one rectangle per point, never more pixels than the squares
// themselves, and a square written twice costs nothing. Nearby rectangles
// are found through a small table keyed by 8-pixel cell; it forgets a frame
// by moving to a new stamp, so nothing screen-sized is cleared and, once the
// list has grown to the frame's squares, nothing is allocated.
class DamageList {
 public:
  DamageList() { rects_.reserve(1024); }

  // A square already known to lie inside the client area; size >= 1.
  void Add(int32_t x, int32_t y, int32_t size) {
    const Rect s{x, y, x + size, y + size};
    bounds_ = rects_.empty() ? s : Union(bounds_, s);
    // Every earlier square whose top-left corner is within 4 pixels of this
    // one's was keyed in one of these four cells.
    const int32_t cx = (x - 4) >> 3, cy = (y - 4) >> 3;
    for (int32_t j = 0; j < 2; ++j) {
      for (int32_t i = 0; i < 2; ++i) {
        const Slot& slot = table_[Key(cx + i, cy + j)];
        if (slot.stamp != stamp_) continue;
        Rect& r = rects_[slot.index];
        const Rect u = Union(r, s);
        if (Area(u) <= Area(r) + Area(s)) {
          r = u;
          return;
        }
      }
    }
    Slot& own = table_[Key(x >> 3, y >> 3)];
    own.stamp = stamp_;
    own.index = static_cast<uint32_t>(rects_.size());
    rects_.push_back(s);
  }

  // The rectangles written since the last Clear, in the order first written;
  // together they hold every pixel of every square added.
  const std::vector<Rect>& Rects() const { return rects_; }
  // The smallest rectangle holding them all; meaningless when Empty.
  const Rect& Bounds() const { return bounds_; }
  bool Empty() const { return rects_.empty(); }

  // Forgets the damage; O(1) apart from the stamp wrapping once in 2^32 frames.
  void Clear() {
    rects_.clear();
    if (++stamp_ == 0) {
      table_.fill(Slot{});
      stamp_ = 1;
    }
  }

 private:
  struct Slot {
    uint32_t stamp = 0;  // the frame that wrote the slot; 0 = never
    uint32_t index = 0;  // into rects_
  };
  static constexpr uint32_t kSlots = 4096;  // a power of two, well above a frame's points

  static uint32_t Key(int32_t cx, int32_t cy) {
    const uint32_t h = static_cast<uint32_t>(cx) * 0x9E3779B1u ^ static_cast<uint32_t>(cy) * 0x85EBCA77u;
    return (h ^ (h >> 15)) & (kSlots - 1);
  }
  static Rect Union(const Rect& a, const Rect& b) {
    return Rect{a.left < b.left ? a.left : b.left, a.top < b.top ? a.top : b.top,
                a.right > b.right ? a.right : b.right, a.bottom > b.bottom ? a.bottom : b.bottom};
  }
  static int64_t Area(const Rect& r) { return int64_t{r.Width()} * r.Height(); }

  std::vector<Rect> rects_;
  Rect bounds_;
  uint32_t stamp_ = 1;
  std::array<Slot, kSlots> table_{};
};

}  // namespace tk
