#pragma once
#include <map>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/random.h"
#include "host/resources.h"
#include "objects/objects.h"
#include "settings/settings.h"

namespace tk::testing {

// Simulated time and a fixed seed for one test; restores the clock after.
struct SimulatedWorld {
  explicit SimulatedWorld(uint32_t seed = 7, uint32_t start = 1000) : ticks(start) {
    InstallTickSource(&ticks);
    SeedRandom(seed);
    saved = ProcessSettings();
    ProcessSettings() = Settings{};
  }
  ~SimulatedWorld() {
    InstallTickSource(nullptr);
    ProcessSettings() = saved;
  }
  SimulatedTickSource ticks;
  Settings saved;
};

// Resource bytes held by the test, so they can be damaged or replaced.
class CopiedResources final : public ResourceSource {
 public:
  explicit CopiedResources(const ResourceSource& from) {
    for (const char* n : {"BANNER", "TKLOGO", "YINYANG", "LCOLOR", "LHEIGHT"}) {
      const ResourceBytes b = from.FindBitmap(n);
      bytes[n].assign(b.data, b.data + b.size);
    }
  }
  ResourceBytes FindBitmap(std::string_view name) const override {
    auto it = bytes.find(std::string(name));
    if (it == bytes.end() || it->second.empty()) return {};
    return {it->second.data(), it->second.size()};
  }
  std::map<std::string, std::vector<uint8_t>> bytes;
};

}  // namespace tk::testing
