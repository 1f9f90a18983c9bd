#pragma once
#include <cstdint>
#include <vector>

#include "core/colour.h"
#include "core/renderable.h"
#include "core/viewport.h"

namespace tk {

struct Settings;

// The field of stars flying at the viewer, drawn first in every frame. It
// draws straight into screen memory with no back buffer, so every star
// remembers where it was plotted and is erased there before it moves.
class StarField final : public Renderable {
 public:
  struct Star {
    float x = 0, y = 0, z = 0;  // camera space; drawn only while z > 100
    int32_t screenX = 0, screenY = 0;  // where the star was last plotted
    Colour color = 0;
    int32_t brightness = 0;  // the star's own factor, 80..272
  };

  // Spawns settings.starNumber stars for the first frame's viewport. The
  // settings must outlive the field (the render host's copy does).
  StarField(const Viewport& viewport, const Settings& settings);

  // Nothing: the stars move inside Draw, by the time since the last Draw.
  void Update() override {}
  void Draw(FrameBuffer& fb, const Viewport& viewport) override;

  // A fresh far star with its screen position computed.
  void Respawn(Star& star, const Viewport& viewport);

  const std::vector<Star>& stars() const { return stars_; }
  std::vector<Star>& stars() { return stars_; }

  // Brightness level of a star at depth z (z > 100), capped at 512.
  static uint32_t Level(float z, int32_t brightness) {
    const uint32_t near = static_cast<uint32_t>(static_cast<int32_t>(3690000.0 / static_cast<double>(z)));
    const uint32_t level = (near * static_cast<uint32_t>(brightness)) >> 8;
    return level > 512 ? 512 : level;
  }

 private:
  const Settings& settings_;
  uint32_t lastTick_;
  std::vector<Star> stars_;
};

}  // namespace tk
