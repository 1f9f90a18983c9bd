#include "shell/input_rules.h"

namespace tk {

uint32_t PointerTravel(CursorPoint from, CursorPoint to) {
  const int64_t dx = int64_t{to.x} - from.x, dy = int64_t{to.y} - from.y;
  const uint64_t travel = static_cast<uint64_t>(dx < 0 ? -dx : dx) + static_cast<uint64_t>(dy < 0 ? -dy : dy);
  return travel > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(travel);
}

bool InputWatch::ShouldClose(InputKind kind, CursorPoint cursor) {
  if (!watching_ || closing_) return false;
  bool close = false;
  switch (kind) {
    case InputKind::kKeyPress:
    case InputKind::kButtonPress:
    case InputKind::kPowerEvent: close = true; break;
    case InputKind::kFocusLost: close = fullScreen_; break;
    case InputKind::kPointerMotion:
      if (PointerTravel(anchor_, cursor) > kMouseThreshold) {
        close = true;
        anchor_ = cursor;
      }
      break;
    case InputKind::kOther: break;
  }
  if (close) closing_ = true;
  return close;
}

}  // namespace tk
