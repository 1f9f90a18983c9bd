// The render thread on systems with the C++ thread library. The Windows
// build starts its thread with the system's own call instead (its runtime
// has no std::thread), so this file is not part of it.
#include <thread>

#include "host/render_host.h"

namespace tk {

struct StdThreadStarter::Impl {
  std::thread thread;
};

StdThreadStarter::StdThreadStarter(void (*applyPriority)(int32_t)) : applyPriority_(applyPriority) {}
StdThreadStarter::~StdThreadStarter() { Join(); }

bool StdThreadStarter::Start(std::function<void()> body, int32_t priority) {
  if (impl_) return false;
  impl_ = std::make_unique<Impl>();
  auto apply = applyPriority_;
  impl_->thread = std::thread([body = std::move(body), apply, priority] {
    if (apply) apply(priority);
    body();
  });
  return true;
}

void StdThreadStarter::Join() {
  if (impl_ && impl_->thread.joinable()) impl_->thread.join();
  impl_.reset();
}

}  // namespace tk
