#pragma once
// Placeholder until the object model lands: the render loop needs only this
// much of a scene object.
#include "core/renderable.h"
#include "core/viewport.h"

namespace tk {

class SceneObject : public Renderable {
 public:
  // Builds the points and plans the motion; once, before the first Update.
  virtual void Start(const Viewport& viewport) = 0;
};

}  // namespace tk
