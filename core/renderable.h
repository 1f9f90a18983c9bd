#pragma once

namespace tk {

class FrameBuffer;
struct Viewport;

// Everything the render thread draws each frame.
class Renderable {
 public:
  virtual ~Renderable() = default;
  // Advances time and motion; once per frame.
  virtual void Update() = 0;
  // Erases and redraws; once per locked frame.
  virtual void Draw(FrameBuffer& fb, const Viewport& viewport) = 0;

  bool finished = false;
};

}  // namespace tk
