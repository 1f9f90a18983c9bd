#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "core/rect.h"
#include "host/display.h"

namespace tk {

// What one frame wrote, as rectangles in client coordinates, so a display
// can present only the pixels that changed: the work follows the points, not
// the window's area. FillSquare adds every square it writes (erases too).
//
// A point is erased and redrawn a few pixels away within the same frame, and
// neighbouring points of an object lie close together, so a new square is
// folded into a recent rectangle near it whenever their bounding box holds at
// most `foldAllowance` pixels more than the two apart: the display's price of
// one more rectangle, counted in pixels. With an allowance of 0 the list
// never holds more pixels than the squares did, and a square written twice
// costs nothing. Nearby rectangles are found through a small table keyed by
// 16-pixel cell; it forgets a frame by moving to a new stamp, so nothing
// screen-sized is cleared and, once the list has grown to a frame's squares,
// nothing is allocated.
class DamageList {
 public:
  explicit DamageList(int32_t foldAllowance = 0) : allowance_(foldAllowance) { rects_.reserve(1024); }

  // Pixels a fold may add to save one rectangle; see above.
  void SetFoldAllowance(int32_t pixels) { allowance_ = pixels; }

  // For a display that fills instead of copying (see FillPlan): the squares
  // are kept one by one, as written, and nothing is folded.
  void KeepSquares(bool on) {
    keepSquares_ = on;
    Clear();
  }

  // A square already known to lie inside the client area; size >= 1;
  // `pixel` is what it was filled with, kept only with KeepSquares.
  void Add(int32_t x, int32_t y, int32_t size, uint32_t pixel = 0) {
    ++squares_;
    const Rect s{x, y, x + size, y + size};
    if (keepSquares_) {
      written_.push_back(s);
      writtenPixels_.push_back(pixel);
      return;
    }
    // A star is erased and plotted one after the other.
    if (!rects_.empty() && Fold(rects_.back(), s)) return;
    // Every earlier square whose top-left corner is within 8 pixels of this
    // one's was keyed in one of these four cells.
    const int32_t cx = (x - 8) >> 4, cy = (y - 8) >> 4;
    for (int32_t j = 0; j < 2; ++j) {
      for (int32_t i = 0; i < 2; ++i) {
        const Slot& slot = table_[Key(cx + i, cy + j)];
        if (slot.stamp != stamp_) continue;
        if (Fold(rects_[slot.index], s)) return;
      }
    }
    if (rects_.size() <= kMaxIndex) {
      Slot& own = table_[Key(x >> 4, y >> 4)];
      own.stamp = stamp_;
      own.index = static_cast<uint16_t>(rects_.size());
    }
    rects_.push_back(s);
  }

  // The rectangles written since the last Clear, in the order first written;
  // together they hold every pixel of every square added.
  const std::vector<Rect>& Rects() const { return rects_; }
  // With KeepSquares: every square since the last Clear, in the order
  // written, and the pixel each was filled with.
  const std::vector<Rect>& Written() const { return written_; }
  const std::vector<uint32_t>& WrittenPixels() const { return writtenPixels_; }
  bool Empty() const { return rects_.empty() && written_.empty(); }
  // Squares added since the last Clear, for the measurements.
  uint32_t Squares() const { return squares_; }

  // Forgets the damage; O(1) apart from the stamp wrapping once in 65 535
  // frames.
  void Clear() {
    rects_.clear();
    written_.clear();
    writtenPixels_.clear();
    squares_ = 0;
    if (++stamp_ == 0) {
      table_.fill(Slot{});
      stamp_ = 1;
    }
  }

 private:
  // Four bytes a slot keep the table at 8 KiB, inside the first-level cache
  // even though the render thread sleeps between frames.
  struct Slot {
    uint16_t stamp = 0;  // the frame that wrote the slot; 0 = never
    uint16_t index = 0;  // into rects_
  };
  static constexpr uint32_t kSlots = 2048;  // a power of two, above a frame's points
  static constexpr size_t kMaxIndex = 0xFFFF;  // later rectangles are not looked up

  static uint32_t Key(int32_t cx, int32_t cy) {
    const uint32_t h = static_cast<uint32_t>(cx) * 0x9E3779B1u ^ static_cast<uint32_t>(cy) * 0x85EBCA77u;
    return (h ^ (h >> 15)) & (kSlots - 1);
  }
  static int64_t Area(const Rect& r) { return int64_t{r.Width()} * r.Height(); }
  // Grows r to hold s when that adds no more than the allowance.
  bool Fold(Rect& r, const Rect& s) const {
    const Rect u = Union(r, s);
    if (Area(u) > Area(r) + Area(s) + allowance_) return false;
    r = u;
    return true;
  }

  int64_t allowance_;
  bool keepSquares_ = false;
  std::vector<Rect> rects_;
  std::vector<Rect> written_;
  std::vector<uint32_t> writtenPixels_;
  uint32_t squares_ = 0;
  uint16_t stamp_ = 1;
  std::array<Slot, kSlots> table_{};
};

}  // namespace tk
