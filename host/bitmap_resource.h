#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "host/resources.h"

namespace tk {

// The device-independent bitmap information header, field for field as it is
// stored (little-endian, 40 bytes).
struct BitmapInfoHeader {
  uint32_t size = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  uint32_t compression = 0;
  uint32_t imageSize = 0;
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
  uint32_t colorsUsed = 0;
  uint32_t colorsImportant = 0;
};

// Bytes per stored pixel row: ((bitCount * width + 31) / 32) * 4.
int32_t BitmapStride(int32_t bitCount, int32_t width);

// One loaded bitmap resource: its header, row stride, colour table as
// 0x00BBGGRR and the stored rows (bottom line first for a positive height).
struct BitmapResource {
  ResourceBytes handle{};
  int32_t stride = 0;
  BitmapInfoHeader header{};
  std::vector<uint32_t> palette;
  const uint8_t* bits = nullptr;

  // Loads the named bitmap. False (and the record left empty) when the
  // resource is missing or too short for what its header claims, so a damaged
  // picture is never read beyond its end.
  bool Load(const ResourceSource& source, std::string_view name);
  void Release();
  bool loaded() const { return bits != nullptr; }
  int32_t width() const { return header.width; }
  int32_t height() const { return header.height; }
  // Byte count of the stored rows.
  size_t PixelBytes() const;
};

}  // namespace tk
