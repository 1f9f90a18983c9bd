#pragma once
// Made by resources/make_pictures.py; do not edit.
// CRC-32 of each picture's stored pixel rows.
#include <cstdint>

namespace tk {

struct PictureChecksum {
  const char* name;
  uint32_t crc;
};

inline constexpr PictureChecksum kPictureChecksums[] = {
    {"BANNER", 0x914f99cfu},
    {"TKLOGO", 0x43240f75u},
    {"YINYANG", 0xb689c769u},
    {"LCOLOR", 0x01c7f8aeu},
    {"LHEIGHT", 0x40065606u},
};

}  // namespace tk
