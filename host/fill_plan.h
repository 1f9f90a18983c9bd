#pragma once
#include <cstdint>
#include <vector>

#include "host/display.h"

namespace tk {

// A frame's changes as solid-colour rectangles, for displays that draw
// faster than they copy: an X server fills a rectangle of one colour from an
// 8-byte entry of a request, where a put request carries every pixel.
//
// Built from the squares the frame wrote, in the order written, with the
// pixel each was filled with. The rectangles are grouped by pixel value, one
// group per colour, and the first group is the background's (the erase
// colour) whenever the frame erased anything: it must be drawn first, the
// others may follow in any order.
//
// A background square is kept whole: whatever later square covers part of it
// is drawn after it. Any other square keeps only the part of it that no later
// square of another colour covers: that part ends the frame in its colour,
// and the covered part belongs to the later squares. So the screen ends equal
// to the frame over every square, without reading a pixel back, and a point
// erased and redrawn a pixel away costs two rectangles, not an erase cut into
// pieces around its redraw. Once the lists have grown to a frame's squares
// and colours, nothing is allocated.
class FillPlan {
 public:
  struct Group {
    uint32_t pixel = 0;
    uint32_t first = 0;  // into Rects()
    uint32_t count = 0;
  };

  // `squares[i]` was filled with `pixels[i]`; `pixelMask` keeps the bits
  // that belong to a channel, so bits outside them never split a colour;
  // `background` is the erase pixel, after masking.
  void Build(const std::vector<Rect>& squares, const std::vector<uint32_t>& pixels, uint32_t pixelMask,
             uint32_t background = 0);

  const std::vector<Group>& Groups() const { return groups_; }
  // Group g's rectangles are Rects()[g.first, g.first + g.count); groups are
  // drawn in this order (see above).
  const std::vector<Rect>& Rects() const { return sorted_; }

  // The picture inside `area` as the last Build left it, for repainting a
  // part the screen lost (uncovered, exposed, a new monitor): the area in the
  // background's group, first, then every other colour's pieces cut to it, in
  // the form of Groups() and Rects(). Every point lit on the screen is erased
  // and drawn again in every frame, so the last frame's pieces in their
  // colours are all that is lit; the rest is background.
  void Within(const Rect& area, std::vector<Group>& groups, std::vector<Rect>& rects) const;

 private:
  struct Fill {
    Rect rect;
    uint32_t group;
  };
  // The squares already seen (the later ones: the frame is walked
  // backwards), each listed once under the cell of 1 << shift_ pixels that
  // holds its top-left pixel, through `entries_`. Cells share the lists of a
  // small table by a hash of their place: 8 KiB, the same on every screen,
  // so the lookups stay in the cache even though the render thread sleeps
  // between frames, where a grid over the whole screen missed on nearly
  // every one. Squares of other cells in a list only cost an overlap test.
  static constexpr uint32_t kLists = 2048;  // a power of two
  struct Entry {
    uint32_t square;
    int32_t next;
  };
  struct Slot {
    uint32_t stamp = 0;
    uint32_t pixel = 0;
    uint32_t group = 0;
  };

  void Subtract(const Rect& cover);
  uint32_t GroupOf(uint32_t pixel);
  void GrowColours();
  static uint32_t ListOf(int32_t cx, int32_t cy);

  std::vector<Rect> pieces_, scratch_;
  std::vector<int32_t> heads_;  // per list, into entries_; -1 = empty
  int32_t shift_ = 3;
  std::vector<Entry> entries_;
  std::vector<Fill> fills_;
  std::vector<Group> groups_;
  std::vector<Rect> sorted_;
  std::vector<Slot> colours_ = std::vector<Slot>(1024);  // pixel -> group, a power of two
  uint32_t stamp_ = 0;
  uint32_t background_ = 0;
};

}  // namespace tk
