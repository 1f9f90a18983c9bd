#include "host/damage_merge.h"

#include <algorithm>
#include <cstddef>

namespace tk {

namespace {
constexpr size_t kNone = static_cast<size_t>(-1);
}

void DamageMerger::Merge(const std::vector<Rect>& in, int32_t width, int32_t height, size_t limit,
                         std::vector<Rect>& out) {
  out.clear();
  if (width <= 0 || height <= 0 || in.empty()) return;
  if (limit < 1) limit = 1;
  const int32_t longest = std::max(width, height);
  for (int32_t tile = firstTile_; tile < longest; tile *= 2)
    if (MergeAt(in, width, height, tile, limit, out)) return;
  out.clear();
  out.push_back(Rect{0, 0, width, height});
}

bool DamageMerger::MergeAt(const std::vector<Rect>& in, int32_t width, int32_t height, int32_t tile, size_t limit,
                           std::vector<Rect>& out) {
  out.clear();
  const int32_t cols = (width + tile - 1) / tile, rows = (height + tile - 1) / tile;
  grid_.assign(static_cast<size_t>(cols) * static_cast<size_t>(rows), 0);
  bool any = false;
  for (const Rect& r : in) {
    const int32_t l = std::max(r.left, 0), t = std::max(r.top, 0);
    const int32_t rr = std::min(r.right, width), b = std::min(r.bottom, height);
    if (l >= rr || t >= b) continue;
    any = true;
    for (int32_t y = t / tile; y <= (b - 1) / tile; ++y)
      std::fill_n(grid_.begin() + static_cast<std::ptrdiff_t>(y) * cols + l / tile, (rr - 1) / tile - l / tile + 1, 1);
  }
  if (!any) return true;
  // open_[c] is the rectangle whose span in the row above starts at column c.
  open_.assign(static_cast<size_t>(cols), kNone);
  next_.assign(static_cast<size_t>(cols), kNone);
  for (int32_t y = 0; y < rows; ++y) {
    std::fill(next_.begin(), next_.end(), kNone);
    const uint8_t* row = grid_.data() + static_cast<std::ptrdiff_t>(y) * cols;
    for (int32_t c = 0; c < cols;) {
      if (!row[c]) {
        ++c;
        continue;
      }
      int32_t e = c;
      while (e < cols && row[e]) ++e;
      const int32_t left = c * tile, right = std::min(e * tile, width);
      const int32_t top = y * tile, bottom = std::min((y + 1) * tile, height);
      const size_t above = open_[static_cast<size_t>(c)];
      if (above != kNone && out[above].right == right && out[above].bottom == top) {
        out[above].bottom = bottom;
        next_[static_cast<size_t>(c)] = above;
      } else {
        if (out.size() >= limit) return false;
        out.push_back(Rect{left, top, right, bottom});
        next_[static_cast<size_t>(c)] = out.size() - 1;
      }
      c = e;
    }
    open_.swap(next_);
  }
  return true;
}

}  // namespace tk
