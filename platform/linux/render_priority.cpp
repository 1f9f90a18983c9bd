#include "platform/linux/render_priority.h"

#include <cerrno>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tk {

void ApplyRenderPriority(int32_t priority) {
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  if (priority == -1) {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, tid);
    if (errno == 0) setpriority(PRIO_PROCESS, tid, nice + 5 > 19 ? 19 : nice + 5);
  } else if (priority == -15) {
    sched_param param{};
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
  }
}

}  // namespace tk
