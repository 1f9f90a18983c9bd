#pragma once
#include <cstdint>

namespace tk {

// Colours are 0x00BBGGRR (red in the low byte); 0 is black and is what erases.
using Colour = uint32_t;

// Scales a colour by a brightness level (256 = unchanged), each channel
// saturating at 255. Integer-only because it runs once per plotted point.
// The high channel takes the whole colour times the level as a 64-bit product,
// so a carry out of the two lower channels' products can add one to it
// (0x00FF00 at level 300 gives 0x01FF00).
inline Colour ScaleColor(Colour colour, uint32_t level) {
  const uint32_t p0 = (colour & 0xFFu) * level;
  const uint32_t low = p0 >= 0x10000u ? 0xFFu : p0 >> 8;
  const uint32_t p1 = (colour & 0xFF00u) * level;
  const uint32_t middle = p1 >= 0x1000000u ? 0xFFu : (p1 >> 16) & 0xFFu;
  const uint64_t p2 = static_cast<uint64_t>(colour) * level;
  const uint32_t high = p2 > 0xFFFFFFFFull ? 0xFFu : static_cast<uint32_t>(p2 >> 24) & 0xFFu;
  return low | middle << 8 | high << 16;
}

}  // namespace tk
