#pragma once
#include <cstdint>

namespace tk {

// The millisecond tick count and sleep, as the saver sees time. Injected so the
// headless renderer and the tests run on simulated time; the tick count wraps
// at 2^32 like the system's, and every comparison of ticks is written to
// survive that wrap.
class TickSource {
 public:
  virtual ~TickSource() = default;
  virtual uint32_t Now() = 0;
  virtual void Sleep(uint32_t ms) = 0;
};

// The system's monotonic clock in milliseconds.
class SystemTickSource final : public TickSource {
 public:
  uint32_t Now() override;
  void Sleep(uint32_t ms) override;
};

// Simulated time: Now() returns the set time; Sleep(ms) advances it by ms plus
// the working time charged for each frame (the pacer sleeps once per frame).
class SimulatedTickSource final : public TickSource {
 public:
  explicit SimulatedTickSource(uint32_t start = 0, uint32_t workPerSleep = 0)
      : now_(start), workPerSleep_(workPerSleep) {}
  uint32_t Now() override { return now_; }
  void Sleep(uint32_t ms) override { now_ += ms + workPerSleep_; }
  void Advance(uint32_t ms) { now_ += ms; }
  void Set(uint32_t t) { now_ = t; }

 private:
  uint32_t now_;
  uint32_t workPerSleep_;
};

// The process-wide tick source; the system clock unless one was installed.
// Install before the render thread starts, never while it runs.
TickSource& Ticks();
void InstallTickSource(TickSource* source);  // nullptr restores the system clock

inline uint32_t TickCount() { return Ticks().Now(); }

// True when tick a is at or after tick b, on the signed 32-bit difference, so
// the answer stays right across the wrap of the tick count (an unsigned
// a >= b would hold back every object for up to 49.7 days after the wrap).
inline bool TickReached(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) >= 0; }

}  // namespace tk
