#pragma once
#include <cstdint>

namespace tk {

// How the X11 display sends frames to the server, as the entry read it from
// the environment (the overrides exist for measuring; see environment.h).
struct X11PresentOptions {
  enum class Way {
    kChoose,  // filled rectangles, or shared images for small points on a local server
    kFill,    // TELKARIM_PRESENT=fill: always filled rectangles
    kImages,  // TELKARIM_PRESENT=put: always images, shared where the server allows
  };
  Way way = Way::kChoose;
  bool sharedMemory = true;  // false with TELKARIM_NO_SHM set
  int32_t foldPixels = -1;   // TELKARIM_FOLD_PIXELS (0..100000); -1 the measured default
  bool printFigures = false; // TELKARIM_X11_FIGURES: what presenting cost, on stderr at the end
};

}  // namespace tk
