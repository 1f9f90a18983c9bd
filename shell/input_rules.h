#pragma once
#include <cstdint>

namespace tk {

// What the saver window's input watcher is shown, in the window system's
// terms reduced to what decides a close.
enum class InputKind {
  kKeyPress,
  kButtonPress,
  kPointerMotion,  // the cursor moved; the position comes from a query, not the event
  kFocusLost,      // the saver lost the keyboard focus (or activation)
  kPowerEvent,     // the machine is suspending or the monitor powers down
  kOther,
};

struct CursorPoint {
  int32_t x = 0;
  int32_t y = 0;
};

// Largest travel, in pixels (|dx| + |dy|), that does not close the saver.
inline constexpr uint32_t kMouseThreshold = 4;

// |dx| + |dy| between two cursor positions, without overflow at the edges of
// the 32-bit range.
uint32_t PointerTravel(CursorPoint from, CursorPoint to);

// Input-to-exit, decided once per event on the window thread. A preview or a
// hack (drawn into someone else's window) never watches; a full-screen saver
// also closes when it loses the focus. There is no grace period: the first
// qualifying event after the window exists closes it. Once a close was asked
// for, nothing more is, so a burst of input posts one close.
class InputWatch {
 public:
  InputWatch(bool watching, bool fullScreen) : watching_(watching), fullScreen_(fullScreen) {}

  // Where travel is measured from: the cursor when the window was created.
  void SetAnchor(CursorPoint p) { anchor_ = p; }
  CursorPoint anchor() const { return anchor_; }

  // True when this event should close the saver. A travel under the
  // threshold leaves the anchor alone, so slow drift adds up against it.
  bool ShouldClose(InputKind kind, CursorPoint cursor = {});

  bool closing() const { return closing_; }

 private:
  bool watching_;
  bool fullScreen_;
  bool closing_ = false;
  CursorPoint anchor_;
};

}  // namespace tk
