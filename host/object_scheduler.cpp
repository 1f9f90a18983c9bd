#include "host/object_scheduler.h"

#include <new>

#include "core/random.h"
#include "objects/objects.h"

namespace tk {

std::unique_ptr<SceneObject> CreateNextObject(SchedulerState& state, const Settings& settings) {
  int n = 0;
  for (int k = 0; k < kObjectKinds; ++k)
    if (!settings.disabled[k]) ++n;
  const int r = Rand();
  int position = 0;
  if (n != 0) {
    if (state.firstChoice) {
      position = r % n;
      state.firstChoice = false;
    } else {
      position = r % (n + 2);
    }
    if (position == n + 1) position = n;
    if (position == state.lastChoice) position = (position + 1) % (n + 1);
  }
  state.lastChoice = position;
  // Walk the enabled kinds; the maker's picture (12) is never switched off.
  int kind = 0;
  while (kind < kObjectKinds && settings.disabled[kind]) ++kind;
  for (int i = 0; i < position; ++i) {
    ++kind;
    while (kind < kObjectKinds && settings.disabled[kind]) ++kind;
  }
  if (kind > kObjectKinds) kind = kObjectKinds;
  const int q = kind == kObjectKinds ? Rand() % 10 : 0;
  return MakeObject(kind, q);
}

}  // namespace tk
