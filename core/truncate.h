#pragma once
#include <cmath>
#include <cstdint>

namespace tk {

// Real to integer, truncating toward zero. Out-of-range values and NaN give
// INT32_MIN, as the processor's own truncating conversion does; a plain cast
// would be undefined there, and a point projected from just beyond depth 100
// can land far outside 32 bits.
inline int32_t TruncToInt(double v) {
  if (v > -2147483649.0 && v < 2147483648.0) return static_cast<int32_t>(v);
  return INT32_MIN;
}

}  // namespace tk
