#include "host/damage_grid.h"

#include <algorithm>

namespace tk {

void DamageGrid::Reset(int32_t width, int32_t height) {
  width_ = width > 0 ? width : 0;
  height_ = height > 0 ? height : 0;
  cols_ = (width_ + cell_ - 1) / cell_;
  rows_ = (height_ + cell_ - 1) / cell_;
  cells_.assign(static_cast<size_t>(cols_) * rows_, 0);
  dirty_.clear();
}

void DamageGrid::TakeRegions(std::vector<Rect>& out) {
  out.clear();
  if (dirty_.empty()) return;
  std::sort(dirty_.begin(), dirty_.end());
  // Runs of dirty cells along each row, in row order.
  std::vector<Rect> runs;
  size_t i = 0;
  while (i < dirty_.size()) {
    const int32_t start = dirty_[i];
    const int32_t row = start / cols_;
    int32_t end = start;
    while (i + 1 < dirty_.size() && dirty_[i + 1] == end + 1 && (end + 1) / cols_ == row) {
      ++i;
      ++end;
    }
    ++i;
    const int32_t c0 = start % cols_, c1 = end % cols_;
    runs.push_back(Rect{c0 * cell_, row * cell_, std::min((c1 + 1) * cell_, width_),
                        std::min((row + 1) * cell_, height_)});
  }
  for (int32_t idx : dirty_) cells_[idx] = 0;
  dirty_.clear();
  // Merge a run into a rectangle above it that has exactly the same columns
  // and ends where this row begins.
  for (const Rect& r : runs) {
    bool merged = false;
    for (auto it = out.rbegin(); it != out.rend(); ++it) {
      if (it->bottom < r.top) break;  // rows are sorted; nothing older can touch
      if (it->bottom == r.top && it->left == r.left && it->right == r.right) {
        it->bottom = r.bottom;
        merged = true;
        break;
      }
    }
    if (!merged) out.push_back(r);
  }
}

}  // namespace tk
