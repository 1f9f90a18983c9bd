#pragma once
#include <cstdint>

namespace tk {

// Paces the render loop towards the configured frame rate from the last ten
// frames: how long they took, sleeps included, against how long ten frames
// should take.
class FramePacer {
 public:
  struct Sample {
    uint32_t tick = 0;  // when the frame's sleep was computed
    int32_t sleep = 0;  // the milliseconds chosen for that frame
  };

  // Ten samples 2 ms apart ending 2 ms before t0, so the first frame sees
  // about 20 ms of history and sleeps nearly a full frame period at once.
  void Reset(uint32_t t0) {
    for (int k = 0; k < 10; ++k) samples_[k] = Sample{t0 - 20u + 2u * static_cast<uint32_t>(k), 0};
    index_ = 0;
  }

  // Milliseconds to sleep after the frame just drawn, at tick `now`. `small`
  // is true for a window narrower than the screen (a preview), which never
  // sleeps less than half its mean frame period.
  int32_t NextSleep(uint32_t now, int32_t fps, bool small) {
    const int32_t elapsed = static_cast<int32_t>(now - samples_[index_].tick);
    int32_t slept = 0;
    for (const Sample& s : samples_) slept += s.sleep;
    const int32_t x = (10000 / fps - elapsed + slept) / 10;
    int32_t result;
    if (small) {
      const int32_t half = elapsed / 20;
      result = x > half ? x : half;
    } else {
      result = x > 0 ? x : 0;
    }
    samples_[index_] = Sample{now, result};
    index_ = (index_ + 1) % 10;
    return result;
  }

  const Sample& sample(int k) const { return samples_[k]; }
  int index() const { return index_; }

 private:
  Sample samples_[10];
  int index_ = 0;
};

}  // namespace tk
