#pragma once
#include <cstdint>
#include <vector>

#include "host/display.h"

namespace tk {

// Reduces a frame's damage to at most `limit` rectangles for a compositor,
// which pays per rectangle far more than per pixel: the rectangles are
// marked on a grid of square tiles clipped to width x height, each tile row's
// runs of marked tiles become spans, and a span repeating the one below the
// previous row grows that rectangle downwards. While that gives more than
// `limit` rectangles the tiles double in size; the last resort is the whole
// surface. `out` is cleared first; the merger keeps its scratch from frame
// to frame, so once grown to the surface a frame allocates nothing.
class DamageMerger {
 public:
  explicit DamageMerger(int32_t firstTile = 32) : firstTile_(firstTile < 1 ? 1 : firstTile) {}
  void Merge(const std::vector<Rect>& in, int32_t width, int32_t height, size_t limit, std::vector<Rect>& out);

 private:
  bool MergeAt(const std::vector<Rect>& in, int32_t width, int32_t height, int32_t tile, size_t limit,
               std::vector<Rect>& out);
  int32_t firstTile_;
  std::vector<uint8_t> grid_;
  // Per column of tiles: the rectangle (index in out) whose span starts there
  // in the row above, and the same for the row being read.
  std::vector<size_t> open_, next_;
};

}  // namespace tk
