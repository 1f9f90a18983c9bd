#include "core/random.h"

namespace tk {

RandomSource& ProcessRandom() {
  static RandomSource source;
  return source;
}

float RandomFloat(float x) {
  constexpr float kInv = static_cast<float>(1.0 / 32767.0);
  return static_cast<float>(static_cast<double>(Rand()) * static_cast<double>(x) * static_cast<double>(kInv));
}

}  // namespace tk
