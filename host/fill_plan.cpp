#include "host/fill_plan.h"

#include <cstddef>
#include <cstring>

namespace tk {
namespace {

uint32_t ReadPixel(const uint8_t* p, int32_t bytesPerPixel) {
  uint32_t v = 0;
  // Little-endian hosts only, as the frame buffer writes them.
  std::memcpy(&v, p, static_cast<size_t>(bytesPerPixel));
  return v;
}

uint32_t Hash(uint32_t pixel) {
  const uint32_t h = pixel * 0x9E3779B1u;
  return h ^ (h >> 16);
}

}  // namespace

FillPlan::FillPlan() : table_(1024) {
  fills_.reserve(4096);
  sorted_.reserve(4096);
  groups_.reserve(256);
}

void FillPlan::Build(const PixelView& view, int32_t bytesPerPixel, uint32_t pixelMask,
                     const std::vector<Rect>& squares) {
  fills_.clear();
  groups_.clear();
  if (++stamp_ == 0) {  // once in four billion frames
    for (Slot& s : table_) s = Slot{};
    stamp_ = 1;
  }
  for (const Rect& square : squares) Split(view, bytesPerPixel, pixelMask, square);

  // Counting sort by group: each group's rectangles side by side, in the
  // order they were found.
  uint32_t next = 0;
  for (Group& g : groups_) {
    g.first = next;
    next += g.count;
    g.count = 0;
  }
  sorted_.resize(fills_.size());
  for (const Fill& f : fills_) {
    Group& g = groups_[f.group];
    sorted_[g.first + g.count++] = f.rect;
  }
}

// Row by row, runs of one colour; a run with the same bounds and colour as
// one in the row above extends it, so a square of one colour is one
// rectangle and a square partly covered by a later one is a few.
void FillPlan::Split(const PixelView& view, int32_t bpp, uint32_t mask, const Rect& square) {
  open_.clear();
  const uint8_t* row = view.bits + static_cast<std::ptrdiff_t>(square.top) * view.pitch +
                       static_cast<std::ptrdiff_t>(square.left) * bpp;
  for (int32_t y = square.top; y < square.bottom; ++y, row += view.pitch) {
    row_.clear();
    const uint8_t* p = row;
    uint32_t pixel = ReadPixel(p, bpp) & mask;
    int32_t left = square.left;
    for (int32_t x = square.left + 1; x < square.right; ++x) {
      p += bpp;
      const uint32_t v = ReadPixel(p, bpp) & mask;
      if (v == pixel) continue;
      row_.push_back(Run{left, x, pixel, y});
      left = x;
      pixel = v;
    }
    row_.push_back(Run{left, square.right, pixel, y});

    // Both lists run left to right: a run of the row above that this row
    // continues keeps its top; the others end here.
    size_t k = 0;
    for (Run& r : row_) {
      while (k < open_.size() && open_[k].left < r.left) Emit(open_[k++], y);
      if (k < open_.size() && open_[k].left == r.left && open_[k].right == r.right &&
          open_[k].pixel == r.pixel) {
        r.top = open_[k++].top;
      }
    }
    while (k < open_.size()) Emit(open_[k++], y);
    open_.swap(row_);
  }
  for (const Run& r : open_) Emit(r, square.bottom);
}

void FillPlan::Emit(const Run& run, int32_t bottom) {
  const uint32_t g = GroupOf(run.pixel);
  ++groups_[g].count;
  fills_.push_back(Fill{Rect{run.left, run.top, run.right, bottom}, g});
}

uint32_t FillPlan::GroupOf(uint32_t pixel) {
  const uint32_t mask = static_cast<uint32_t>(table_.size()) - 1;
  for (uint32_t i = Hash(pixel) & mask;; i = (i + 1) & mask) {
    Slot& s = table_[i];
    if (s.stamp != stamp_) {
      // Kept at most half full, so a probe ends soon.
      if (2 * (groups_.size() + 1) > table_.size()) {
        Grow();
        return GroupOf(pixel);
      }
      s = Slot{stamp_, pixel, static_cast<uint32_t>(groups_.size())};
      groups_.push_back(Group{pixel, 0, 0});
      return s.group;
    }
    if (s.pixel == pixel) return s.group;
  }
}

void FillPlan::Grow() {
  std::vector<Slot> bigger(table_.size() * 2);
  const uint32_t mask = static_cast<uint32_t>(bigger.size()) - 1;
  for (uint32_t g = 0; g < groups_.size(); ++g) {
    uint32_t i = Hash(groups_[g].pixel) & mask;
    while (bigger[i].stamp == stamp_) i = (i + 1) & mask;
    bigger[i] = Slot{stamp_, groups_[g].pixel, g};
  }
  table_.swap(bigger);
}

}  // namespace tk
