#pragma once
// Where the About box goes over the settings dialog: its top-left corner at
// the owner's centre less half the box's client size. The client size, not
// the outer size, is what the Windows dialog has always used, so both
// toolkits place the box the same way.

namespace tk {

struct ScreenRect {
  int left, top, right, bottom;  // screen pixels, right and bottom exclusive
};
struct ScreenPoint {
  int x, y;
  bool operator==(const ScreenPoint&) const = default;
};

// Halves truncate toward zero, as the Windows dialog's arithmetic does; a box
// larger than its owner lands up to a pixel right of or below the exact centre.
constexpr ScreenPoint AboutBoxOrigin(const ScreenRect& owner, int clientWidth, int clientHeight) {
  return {owner.left + ((owner.right - owner.left) - clientWidth) / 2,
          owner.top + ((owner.bottom - owner.top) - clientHeight) / 2};
}

}  // namespace tk
