#include "host/fill_plan.h"

#include <algorithm>

#include "core/rect.h"

namespace tk {
namespace {

uint32_t Hash(uint32_t v) {
  const uint32_t h = v * 0x9E3779B1u;
  return h ^ (h >> 16);
}

}  // namespace

void FillPlan::Build(const std::vector<Rect>& squares, const std::vector<uint32_t>& pixels, uint32_t pixelMask,
                     uint32_t background) {
  fills_.clear();
  groups_.clear();
  entries_.clear();
  heads_.assign(kLists, -1);
  if (++stamp_ == 0) {  // once in four billion frames
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
  // Cells at least twice the largest side (and 8 pixels), so the top-left
  // pixels of every square that can overlap a given one lie in at most two
  // cells across and two down.
  int32_t side = 1;
  for (const Rect& s : squares) side = std::max({side, s.Width(), s.Height()});
  shift_ = 3;
  while ((1 << shift_) < 2 * side && shift_ < 30) ++shift_;

  for (size_t i = squares.size(); i-- > 0;) {
    const Rect& s = squares[i];
    const uint32_t pixel = pixels[i] & pixelMask;
    pieces_.clear();
    pieces_.push_back(s);
    if (pixel != background) {
      // A later square overlapping this one has its top-left pixel in
      // (left - side, right) x (top - side, bottom).
      const int32_t cx0 = (s.left - side + 1) >> shift_, cx1 = (s.right - 1) >> shift_;
      const int32_t cy0 = (s.top - side + 1) >> shift_, cy1 = (s.bottom - 1) >> shift_;
      for (int32_t cy = cy0; cy <= cy1 && !pieces_.empty(); ++cy) {
        for (int32_t cx = cx0; cx <= cx1 && !pieces_.empty(); ++cx) {
          // A later square of another colour takes its pixels from this one.
          for (int32_t e = heads_[ListOf(cx, cy)]; e >= 0 && !pieces_.empty(); e = entries_[e].next) {
            const uint32_t later = entries_[e].square;
            if ((pixels[later] & pixelMask) != pixel && Overlap(squares[later], s)) Subtract(squares[later]);
          }
        }
      }
    }
    int32_t& head = heads_[ListOf(s.left >> shift_, s.top >> shift_)];
    entries_.push_back(Entry{static_cast<uint32_t>(i), head});
    head = static_cast<int32_t>(entries_.size() - 1);
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

uint32_t FillPlan::ListOf(int32_t cx, int32_t cy) {
  const uint32_t h = static_cast<uint32_t>(cx) * 0x9E3779B1u ^ static_cast<uint32_t>(cy) * 0x85EBCA77u;
  return (h ^ (h >> 15)) & (kLists - 1);
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
