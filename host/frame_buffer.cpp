#include "host/frame_buffer.h"

namespace tk {

FrameBuffer::FrameBuffer(Display& display, std::vector<Rect>& visible) : display_(display), visible_(visible) {
  visible_.clear();
  if (!display_.Lock(view_, visible_)) {
    visible_.clear();
    return;
  }
  locked_ = true;
  format_ = PixelFormat::From(view_.format);
  damage_ = display_.Damage();
  if (!view_.bits && !damage_) visible_.clear();  // nowhere for a square to go
}

FrameBuffer::~FrameBuffer() {
  if (locked_) display_.Unlock();
}

}  // namespace tk
