// The build without GIO: nothing to listen to, so a suspend is only noticed
// as the input that follows the wake-up.
#include "platform/linux/suspend_watch.h"

namespace tk {

struct SuspendWatch::State {};

SuspendWatch::SuspendWatch(EventLoop&, std::function<void()>) : state_(nullptr) {}
SuspendWatch::~SuspendWatch() = default;
bool SuspendWatch::WaitListening(int) { return false; }

}  // namespace tk
