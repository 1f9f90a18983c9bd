#include "core/clock.h"

#include <chrono>
#include <thread>

namespace tk {

uint32_t SystemTickSource::Now() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SystemTickSource::Sleep(uint32_t ms) {
  if (ms == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

namespace {
SystemTickSource& SystemClock() {
  static SystemTickSource clock;
  return clock;
}
TickSource* installed = nullptr;
}  // namespace

TickSource& Ticks() { return installed ? *installed : SystemClock(); }
void InstallTickSource(TickSource* source) { installed = source; }

}  // namespace tk
