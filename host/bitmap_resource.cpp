#include "host/bitmap_resource.h"

#include <cstring>

namespace tk {

int32_t BitmapStride(int32_t bitCount, int32_t width) {
  const int32_t b = bitCount * width;
  if (b % 32 == 0) return b / 8;
  return ((b / 8) & ~3) + 4;
}

namespace {
uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
}  // namespace

size_t BitmapResource::PixelBytes() const {
  const int32_t rows = header.height < 0 ? -header.height : header.height;
  return static_cast<size_t>(stride) * static_cast<size_t>(rows);
}

bool BitmapResource::Load(const ResourceSource& source, std::string_view name) {
  Release();
  const ResourceBytes r = source.FindBitmap(name);
  if (!r.data || r.size < 40) return false;
  const uint8_t* d = r.data;
  BitmapInfoHeader h;
  h.size = Le32(d);
  h.width = static_cast<int32_t>(Le32(d + 4));
  h.height = static_cast<int32_t>(Le32(d + 8));
  h.planes = Le16(d + 12);
  h.bitCount = Le16(d + 14);
  h.compression = Le32(d + 16);
  h.imageSize = Le32(d + 20);
  h.xPelsPerMeter = static_cast<int32_t>(Le32(d + 24));
  h.yPelsPerMeter = static_cast<int32_t>(Le32(d + 28));
  h.colorsUsed = Le32(d + 32);
  h.colorsImportant = Le32(d + 36);
  if (h.size < 40 || h.size > r.size || h.width <= 0 || h.width > 65536 || h.height == 0 ||
      h.height > 65536 || h.height < -65536 || h.bitCount == 0 || h.bitCount > 32)
    return false;
  size_t offset = h.size;
  std::vector<uint32_t> table;
  if (h.bitCount <= 8) {
    const uint32_t entries = h.colorsUsed != 0 ? h.colorsUsed : (1u << h.bitCount);
    if (entries > 256 || offset + size_t{entries} * 4 > r.size) return false;
    table.resize(entries);
    for (uint32_t i = 0; i < entries; ++i) {
      const uint32_t v = Le32(d + offset + 4 * i);
      table[i] = ((v & 0xFF) << 16) | (v >> 16) | (v & 0xFF00);
    }
    offset += size_t{entries} * 4;
  }
  header = h;
  stride = BitmapStride(h.bitCount, h.width);
  if (offset + PixelBytes() > r.size) {
    header = {};
    stride = 0;
    return false;
  }
  handle = r;
  palette = std::move(table);
  bits = d + offset;
  return true;
}

void BitmapResource::Release() {
  handle = {};
  palette.clear();
  bits = nullptr;
  stride = 0;
  header = {};
}

}  // namespace tk
