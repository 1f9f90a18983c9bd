#pragma once
#include <cstdint>

namespace tk {

// The saver's one pseudo-random source: the classic linear-congruential rule
// (state = state * 214013 + 2531011 mod 2^32, result = bits 16..30), so every
// platform, and every test, draws exactly the same sequence from a seed.
// One process-wide instance; every random decision draws from it in program
// order. The render host seeds it from the tick count before the render thread
// exists, and after that only the render thread draws from it.
class RandomSource {
 public:
  static constexpr int kMax = 32767;

  explicit constexpr RandomSource(uint32_t seed = 1) : state_(seed) {}
  void Seed(uint32_t seed) { state_ = seed; }
  int Next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
  }
  uint32_t State() const { return state_; }

 private:
  uint32_t state_;
};

// The process-wide generator.
RandomSource& ProcessRandom();

inline int Rand() { return ProcessRandom().Next(); }

// Puts `own` in the process-wide slot for the scope's life and takes it back
// (advanced) at the end: how one thread draws several independent sequences
// through the one generator that the object code calls. Only for the thread
// that alone uses the process-wide generator at the time.
class ScopedRandom {
 public:
  explicit ScopedRandom(RandomSource& own) : own_(own) { Swap(); }
  ~ScopedRandom() { Swap(); }
  ScopedRandom(const ScopedRandom&) = delete;
  ScopedRandom& operator=(const ScopedRandom&) = delete;

 private:
  void Swap() {
    const RandomSource held = ProcessRandom();
    ProcessRandom() = own_;
    own_ = held;
  }
  RandomSource& own_;
};
inline void SeedRandom(uint32_t seed) { ProcessRandom().Seed(seed); }

// rand() * x * (1/32767): uniform in [0, x], both ends reachable. The factor
// is the single-precision constant nearest 1/32767; the product is evaluated
// in double and rounded to single when returned.
float RandomFloat(float x);

// U(s) = rand() * (s / 32767) with s / 32767 folded to a single-precision
// constant, as the object and star code writes it: uniform in [0, s].
// Returned in double because callers go on computing with it.
inline double UniformDraw(double s) {
  const float factor = static_cast<float>(s / 32767.0);
  return static_cast<double>(Rand()) * static_cast<double>(factor);
}

// The symmetric draw: rand() * h * (2/32767) - h, uniform in [-h, h].
inline double SymmetricDraw(double h) {
  return static_cast<double>(Rand()) * h * static_cast<double>(static_cast<float>(2.0 / 32767.0)) - h;
}

// The decile test: rand() % 10, compared by the caller with a threshold.
inline int Decile() { return Rand() % 10; }

}  // namespace tk
