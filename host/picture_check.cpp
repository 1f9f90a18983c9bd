#include "host/picture_check.h"

#include <array>

#include "host/bitmap_resource.h"
#include "resources/picture_checksums.h"

namespace tk {
namespace {

std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[i] = c;
  }
  return t;
}

uint32_t Crc32(const uint8_t* data, size_t size) {
  static const std::array<uint32_t, 256> table = MakeCrcTable();
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

}  // namespace

bool PicturesIntact(const ResourceSource& resources) {
  for (const PictureChecksum& p : kPictureChecksums) {
    BitmapResource bmp;
    // A picture that is missing or cut short counts as corrupt too.
    if (!bmp.Load(resources, p.name)) return false;
    const bool ok = Crc32(bmp.bits, bmp.PixelBytes()) == p.crc;
    bmp.Release();
    if (!ok) return false;
  }
  return true;
}

}  // namespace tk
