#include "host/fill_plan.h"

#include <algorithm>

namespace tk {
namespace {

uint32_t Hash(uint32_t v) {
  const uint32_t h = v * 0x9E3779B1u;
  return h ^ (h >> 16);
}

bool Overlap(const Rect& a, const Rect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace

void FillPlan::Build(const std::vector<Rect>& squares, const std::vector<uint32_t>& pixels, uint32_t pixelMask,
                     uint32_t background) {
  fills_.clear();
  groups_.clear();
  entries_.clear();
  if (++stamp_ == 0) {  // once in four billion frames
    for (Cell& c : cells_) c = Cell{};
    for (Slot& s : colours_) s = Slot{};
    stamp_ = 1;
  }
  // The background's group first, so it can be drawn before the others.
  for (uint32_t p : pixels) {
    if ((p & pixelMask) == background) {
      GroupOf(background);
      break;
    }
  }
  // Cells twice the largest square's side (at least 8 pixels), so a square
  // touches at most four and a cell holds few squares: about 8 000 cells on
  // any screen, since a point's side grows with the screen's width; and
  // neighbours in the picture are neighbours in memory.
  int32_t right = 0, bottom = 0, side = 1;
  for (const Rect& s : squares) {
    right = std::max(right, s.right);
    bottom = std::max(bottom, s.bottom);
    side = std::max(side, s.Width());
  }
  shift_ = 3;
  while ((1 << shift_) < 2 * side && shift_ < 30) ++shift_;
  columns_ = (right >> shift_) + 1;
  const size_t cells = static_cast<size_t>(columns_) * static_cast<size_t>((bottom >> shift_) + 1);
  if (cells_.size() < cells) cells_.resize(cells);

  for (size_t i = squares.size(); i-- > 0;) {
    const Rect& s = squares[i];
    const uint32_t pixel = pixels[i] & pixelMask;
    const int32_t cx0 = s.left >> shift_, cx1 = (s.right - 1) >> shift_;
    const int32_t cy0 = s.top >> shift_, cy1 = (s.bottom - 1) >> shift_;
    pieces_.clear();
    pieces_.push_back(s);
    if (pixel != background) {
      for (int32_t cy = cy0; cy <= cy1 && !pieces_.empty(); ++cy) {
        for (int32_t cx = cx0; cx <= cx1 && !pieces_.empty(); ++cx) {
          // A later square of another colour in this cell takes its pixels
          // from this one.
          for (int32_t e = CellAt(cx, cy).head; e >= 0 && !pieces_.empty(); e = entries_[e].next) {
            const uint32_t later = entries_[e].square;
            if ((pixels[later] & pixelMask) != pixel && Overlap(squares[later], s)) Subtract(squares[later]);
          }
        }
      }
    }
    for (int32_t cy = cy0; cy <= cy1; ++cy) {
      for (int32_t cx = cx0; cx <= cx1; ++cx) {
        Cell& c = CellAt(cx, cy);
        entries_.push_back(Entry{static_cast<uint32_t>(i), c.head});
        c.head = static_cast<int32_t>(entries_.size() - 1);
      }
    }
    if (pieces_.empty()) continue;
    const uint32_t g = GroupOf(pixel);
    groups_[g].count += static_cast<uint32_t>(pieces_.size());
    for (const Rect& r : pieces_) fills_.push_back(Fill{r, g});
  }

  // Counting sort by group: each group's rectangles side by side.
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

// Each piece becomes what lies outside `cover`: the bands above and below
// it, and the parts left and right of it between them.
void FillPlan::Subtract(const Rect& cover) {
  scratch_.clear();
  for (const Rect& p : pieces_) {
    if (!Overlap(p, cover)) {
      scratch_.push_back(p);
      continue;
    }
    const int32_t top = std::max(p.top, cover.top), bottom = std::min(p.bottom, cover.bottom);
    if (p.top < top) scratch_.push_back(Rect{p.left, p.top, p.right, top});
    if (p.left < cover.left) scratch_.push_back(Rect{p.left, top, cover.left, bottom});
    if (cover.right < p.right) scratch_.push_back(Rect{cover.right, top, p.right, bottom});
    if (bottom < p.bottom) scratch_.push_back(Rect{p.left, bottom, p.right, p.bottom});
  }
  pieces_.swap(scratch_);
}

FillPlan::Cell& FillPlan::CellAt(int32_t cx, int32_t cy) {
  Cell& c = cells_[static_cast<size_t>(cy) * static_cast<size_t>(columns_) + static_cast<size_t>(cx)];
  if (c.stamp != stamp_) c = Cell{stamp_, -1};
  return c;
}

uint32_t FillPlan::GroupOf(uint32_t pixel) {
  const uint32_t mask = static_cast<uint32_t>(colours_.size()) - 1;
  for (uint32_t i = Hash(pixel) & mask;; i = (i + 1) & mask) {
    Slot& s = colours_[i];
    if (s.stamp != stamp_) {
      // Kept at most half full, so a probe ends soon.
      if (2 * (groups_.size() + 1) > colours_.size()) {
        GrowColours();
        return GroupOf(pixel);
      }
      s = Slot{stamp_, pixel, static_cast<uint32_t>(groups_.size())};
      groups_.push_back(Group{pixel, 0, 0});
      return s.group;
    }
    if (s.pixel == pixel) return s.group;
  }
}

void FillPlan::GrowColours() {
  std::vector<Slot> bigger(colours_.size() * 2);
  const uint32_t mask = static_cast<uint32_t>(bigger.size()) - 1;
  for (uint32_t g = 0; g < groups_.size(); ++g) {
    uint32_t i = Hash(groups_[g].pixel) & mask;
    while (bigger[i].stamp == stamp_) i = (i + 1) & mask;
    bigger[i] = Slot{stamp_, groups_[g].pixel, g};
  }
  colours_.swap(bigger);
}

}  // namespace tk
