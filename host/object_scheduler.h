#pragma once
#include <memory>

#include "core/scene_object.h"
#include "settings/settings.h"

namespace tk {

// The scheduler's memory, owned by the render host, touched only by the
// render thread.
struct SchedulerState {
  bool firstChoice = true;
  int lastChoice = -1;
};

// Chooses and creates the next object to show (constructed, not started), or
// none when memory runs out.
std::unique_ptr<SceneObject> CreateNextObject(SchedulerState& state, const Settings& settings);

}  // namespace tk
