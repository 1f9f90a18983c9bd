// The seat under the saver: a key, a button, the wheel or a touch ends it,
// and so does the pointer travelling far enough across the outputs. No
// cursor shows over the saver's surfaces.
#include <cstdint>
#include <memory>

#include <unistd.h>

#include <wayland-client.h>

#include "platform/wayland/wayland_run.h"

namespace tk::wayland {
namespace {

// How long the keyboard may be away from every surface of ours before that
// counts as the focus lost: a compositor moving it from one of our surfaces
// to another sends the leave and the enter together, well within this.
constexpr uint32_t kFocusGraceMs = 250;

// --- input -----------------------------------------------------------------

void KeyboardKeymap(void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) { close(fd); }
void KeyboardEnter(void* data, wl_keyboard*, uint32_t, wl_surface* surface, wl_array*) {
  static_cast<Run*>(data)->OnKeyboardFocus(surface, true);
}
void KeyboardLeave(void* data, wl_keyboard*, uint32_t, wl_surface* surface) {
  static_cast<Run*>(data)->OnKeyboardFocus(surface, false);
}
void KeyboardKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t state) {
  if (state == WL_KEYBOARD_KEY_STATE_PRESSED) static_cast<Run*>(data)->OnInput(InputKind::kKeyPress);
}
void KeyboardModifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void KeyboardRepeat(void*, wl_keyboard*, int32_t, int32_t) {}
const wl_keyboard_listener kKeyboardListener = {KeyboardKeymap, KeyboardEnter, KeyboardLeave,
                                                KeyboardKey,    KeyboardModifiers, KeyboardRepeat};

void PointerEnter(void* data, wl_pointer* pointer, uint32_t serial, wl_surface* surface, wl_fixed_t sx,
                  wl_fixed_t sy) {
  // No cursor over the saver.
  wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
  static_cast<Run*>(data)->OnPointerAt(surface, sx, sy, true);
}
void PointerLeave(void*, wl_pointer*, uint32_t, wl_surface*) {}
void PointerMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t sx, wl_fixed_t sy) {
  static_cast<Run*>(data)->OnPointerAt(nullptr, sx, sy, false);
}
void PointerButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
  if (state == WL_POINTER_BUTTON_STATE_PRESSED) static_cast<Run*>(data)->OnInput(InputKind::kButtonPress);
}
// The wheel is a button, as it is on X.
void PointerAxis(void* data, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {
  static_cast<Run*>(data)->OnInput(InputKind::kButtonPress);
}
void PointerFrame(void*, wl_pointer*) {}
void PointerAxisSource(void*, wl_pointer*, uint32_t) {}
void PointerAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
void PointerAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}
void PointerAxisValue120(void*, wl_pointer*, uint32_t, int32_t) {}
const wl_pointer_listener kPointerListener = {PointerEnter,      PointerLeave,    PointerMotion,
                                              PointerButton,     PointerAxis,     PointerFrame,
                                              PointerAxisSource, PointerAxisStop, PointerAxisDiscrete,
                                              PointerAxisValue120};

void TouchDown(void* data, wl_touch*, uint32_t, uint32_t, wl_surface*, int32_t, wl_fixed_t, wl_fixed_t) {
  static_cast<Run*>(data)->OnInput(InputKind::kButtonPress);
}
void TouchUp(void*, wl_touch*, uint32_t, uint32_t, int32_t) {}
void TouchMotion(void*, wl_touch*, uint32_t, int32_t, wl_fixed_t, wl_fixed_t) {}
void TouchFrame(void*, wl_touch*) {}
void TouchCancel(void*, wl_touch*) {}
void TouchShape(void*, wl_touch*, int32_t, wl_fixed_t, wl_fixed_t) {}
void TouchOrientation(void*, wl_touch*, int32_t, wl_fixed_t) {}
const wl_touch_listener kTouchListener = {TouchDown,   TouchUp,    TouchMotion,     TouchFrame,
                                          TouchCancel, TouchShape, TouchOrientation};

void SeatCapabilities(void* data, wl_seat* seat, uint32_t caps) {
  auto* run = static_cast<Run*>(data);
  if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !run->keyboard_) {
    run->keyboard_ = wl_seat_get_keyboard(seat);
    wl_keyboard_add_listener(run->keyboard_, &kKeyboardListener, run);
  } else if (!(caps & WL_SEAT_CAPABILITY_KEYBOARD) && run->keyboard_) {
    wl_keyboard_destroy(run->keyboard_);
    run->keyboard_ = nullptr;
  }
  if ((caps & WL_SEAT_CAPABILITY_POINTER) && !run->pointer_) {
    run->pointer_ = wl_seat_get_pointer(seat);
    wl_pointer_add_listener(run->pointer_, &kPointerListener, run);
  } else if (!(caps & WL_SEAT_CAPABILITY_POINTER) && run->pointer_) {
    // The last pointing device went: the next one gets a pointer of its own,
    // since this one hears nothing any more.
    wl_pointer_destroy(run->pointer_);
    run->pointer_ = nullptr;
  }
  if ((caps & WL_SEAT_CAPABILITY_TOUCH) && !run->touch_) {
    run->touch_ = wl_seat_get_touch(seat);
    wl_touch_add_listener(run->touch_, &kTouchListener, run);
  }
}
void SeatName(void*, wl_seat*, const char*) {}

}  // namespace

const wl_seat_listener kSeatListener = {SeatCapabilities, SeatName};

void Run::OnPointerAt(wl_surface* surface, wl_fixed_t sx, wl_fixed_t sy, bool enter) {
  if (enter) {
    pointerOver_ = nullptr;
    for (auto& o : outputs_)
      if (o->surface == surface) pointerOver_ = o.get();
  }
  Output* over = pointerOver_;
  // The desktop's coordinates, so travel across outputs adds up.
  CursorPoint p{wl_fixed_to_int(sx), wl_fixed_to_int(sy)};
  if (over) {
    p.x += over->x;
    p.y += over->y;
  }
  if (!anchored_) {
    // Where the pointer first shows itself is where travel is measured from.
    anchored_ = true;
    watch_->SetAnchor(p);
    return;
  }
  OnInput(InputKind::kPointerMotion, p);
}

// The keyboard taken from the saver (a window that took the focus, another
// workspace shown) ends a full-screen saver, as losing the focus does on X;
// the keyboard's events speak only of our own surfaces. Moving between them
// (a leave, then an enter on another output's surface) is no loss: it counts
// only when none of ours has the keyboard a moment later.
void Run::OnKeyboardFocus(wl_surface*, bool entered) {
  keyboardFocus_ = entered;
  if (entered || focusCheck_) return;
  focusCheck_ = true;
  auto id = std::make_shared<EventLoop::Id>();
  *id = loop_.AddTimer(kFocusGraceMs, [this, id] {
    loop_.Remove(*id);
    focusCheck_ = false;
    if (!keyboardFocus_) OnInput(InputKind::kFocusLost);
  });
}

}  // namespace tk::wayland
