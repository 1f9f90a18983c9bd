// The pictures from the module's own RT_BITMAP resources. A bitmap resource
// is the picture without its file header: the information header, the colour
// table and the rows, which is the layout the portable loader reads.
#include <windows.h>

#include <string>

#include "host/resources.h"

namespace tk {
namespace {

class ModuleResources final : public ResourceSource {
 public:
  ResourceBytes FindBitmap(std::string_view name) const override {
    const std::string n(name);
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, n.c_str(), MAKEINTRESOURCEA(2));  // RT_BITMAP
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded) return {};
    const void* data = LockResource(loaded);
    if (!data) return {};
    return ResourceBytes{static_cast<const uint8_t*>(data), SizeofResource(module, found)};
  }
};

}  // namespace

const ResourceSource& EmbeddedResources() {
  static ModuleResources resources;
  return resources;
}

}  // namespace tk
