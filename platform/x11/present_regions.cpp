#include "platform/x11/present_regions.h"

namespace tk::x11 {

void JoinCloseRegions(std::vector<Rect>& regions, int64_t requestCostPixels) {
  if (regions.size() < 2) return;
  size_t out = 0;
  for (size_t i = 1; i < regions.size(); ++i) {
    Rect& last = regions[out];
    const Rect& r = regions[i];
    const int64_t gap = int64_t{r.left} - last.right;
    if (r.top == last.top && r.bottom == last.bottom && gap >= 0 && gap * last.Height() <= requestCostPixels) {
      last.right = r.right;
    } else {
      regions[++out] = r;
    }
  }
  regions.resize(out + 1);
}

}  // namespace tk::x11
