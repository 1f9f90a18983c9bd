#include "core/clock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <chrono>
#include <thread>
#endif

namespace tk {

#ifdef _WIN32
// On Windows the saver's time is the system's own millisecond tick count; the
// C++ clock and sleep would reach the same calls through a thread library the
// oldest Windows cannot load.
uint32_t SystemTickSource::Now() { return GetTickCount(); }

void SystemTickSource::Sleep(uint32_t ms) { ::Sleep(ms); }
#else
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
#endif

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
