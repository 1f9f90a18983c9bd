#pragma once
#include <cstdint>

namespace tk {

// The settings priority on the render thread, which applies it to itself
// before its first frame (StdThreadStarter's hook). 0 leaves the thread as it
// is; -1 ("below normal") makes it 5 steps nicer than the process, on the
// thread's own id, so only the render thread yields; -15 ("idle") puts it in
// SCHED_IDLE, where it runs only when nothing else wants the processor.
// Failures leave it as it was: a saver that runs at the wrong priority still
// beats one that does not run.
void ApplyRenderPriority(int32_t priority);

}  // namespace tk
