#pragma once
#include <cstdint>
#include <vector>

#include "host/display.h"

namespace tk {

// A frame's changes as solid-colour rectangles, for displays that draw
// faster than they copy: an X server fills a rectangle of one colour from a
// 16-byte request, where a put request carries every pixel.
//
// Built from the squares the frame wrote (in the order written) and the view
// after the frame, so it needs no knowledge of which square won where two
// overlap: each square is read back and split into rectangles of one final
// colour (one, unless a later square covered part of it), and the
// rectangles are grouped by pixel value. Every rectangle holds its final
// colour, so the groups may be drawn in any order and the screen ends equal
// to the view over every square. Once the lists have grown to a frame's
// squares and colours, nothing is allocated.
class FillPlan {
 public:
  struct Group {
    uint32_t pixel = 0;  // as stored in the view, the channel bits only
    uint32_t first = 0;  // into Rects()
    uint32_t count = 0;
  };

  FillPlan();

  // `bytesPerPixel` 2, 3 or 4; `pixelMask` keeps the bits that belong to a
  // channel (a 32-bit pixel's fourth byte is not part of its colour).
  // Every square lies inside the view.
  void Build(const PixelView& view, int32_t bytesPerPixel, uint32_t pixelMask, const std::vector<Rect>& squares);

  const std::vector<Group>& Groups() const { return groups_; }
  // Group g's rectangles are Rects()[g.first, g.first + g.count).
  const std::vector<Rect>& Rects() const { return sorted_; }

 private:
  struct Run {
    int32_t left, right;  // pixels [left, right) of the row
    uint32_t pixel;
    int32_t top;  // the first row the run has had these bounds and colour
  };
  struct Fill {
    Rect rect;
    uint32_t group;
  };
  struct Slot {
    uint32_t stamp = 0;  // the frame that wrote the slot; 0 = never
    uint32_t pixel = 0;
    uint32_t group = 0;
  };

  void Split(const PixelView& view, int32_t bytesPerPixel, uint32_t mask, const Rect& square);
  void Emit(const Run& run, int32_t bottom);
  uint32_t GroupOf(uint32_t pixel);
  void Grow();

  std::vector<Run> open_, row_;
  std::vector<Fill> fills_;
  std::vector<Group> groups_;
  std::vector<Rect> sorted_;
  std::vector<Slot> table_;  // pixel -> group, open addressing, a power of two
  uint32_t stamp_ = 1;
};

}  // namespace tk
