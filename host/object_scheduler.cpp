#include "host/object_scheduler.h"

namespace tk {

std::unique_ptr<SceneObject> CreateNextObject(SchedulerState&, const Settings&) { return nullptr; }

}  // namespace tk
