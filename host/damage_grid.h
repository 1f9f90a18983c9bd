#pragma once
#include <cstdint>
#include <vector>

#include "host/display.h"

namespace tk {

// Records which parts of the client area a frame wrote, on a coarse grid of
// square cells, so a display can present only what changed: a frame then
// costs in proportion to its points, not to the window's area. Portable so
// the merging can be tested without a screen.
class DamageGrid {
 public:
  explicit DamageGrid(int32_t cellSize = 32) : cell_(cellSize < 1 ? 1 : cellSize) {}

  // Resizes the grid to a client area and forgets all damage.
  void Reset(int32_t width, int32_t height);

  // Marks the cells under a square already clipped to the client area.
  void Add(int32_t x, int32_t y, int32_t size) {
    const int32_t cx0 = x / cell_, cy0 = y / cell_;
    const int32_t cx1 = (x + size - 1) / cell_, cy1 = (y + size - 1) / cell_;
    for (int32_t cy = cy0; cy <= cy1; ++cy)
      for (int32_t cx = cx0; cx <= cx1; ++cx) Mark(cx, cy);
  }

  // The damaged area as rectangles in client coordinates, clipped to the
  // client area: the dirty cells of each row merged into runs, and runs of
  // consecutive rows with the same extent merged into one rectangle. Clears
  // the damage.
  void TakeRegions(std::vector<Rect>& out);

  bool Empty() const { return dirty_.empty(); }
  int32_t CellSize() const { return cell_; }

 private:
  void Mark(int32_t cx, int32_t cy) {
    const int32_t i = cy * cols_ + cx;
    if (!cells_[i]) {
      cells_[i] = 1;
      dirty_.push_back(i);
    }
  }

  int32_t cell_;
  int32_t width_ = 0, height_ = 0, cols_ = 0, rows_ = 0;
  std::vector<uint8_t> cells_;
  std::vector<int32_t> dirty_;
};

}  // namespace tk
