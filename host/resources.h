#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tk {

// The program's embedded bitmap resources, each in the platform's in-memory
// layout: a bitmap information header, the colour table, then the pixel rows
// (bottom-up). The Linux build links them in as generated data; Windows finds
// them among the module's resources.
struct ResourceBytes {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

class ResourceSource {
 public:
  virtual ~ResourceSource() = default;
  // The named bitmap (BANNER, TKLOGO, YINYANG, LCOLOR, LHEIGHT), or empty.
  virtual ResourceBytes FindBitmap(std::string_view name) const = 0;
};

// The pictures built into this executable.
const ResourceSource& EmbeddedResources();

}  // namespace tk
