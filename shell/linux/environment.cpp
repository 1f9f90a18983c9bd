#include "shell/linux/environment.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tk {

uint64_t ParseWindowId(const char* v) {
  if (!v || !*v) return 0;
  char* end = nullptr;
  errno = 0;
  const unsigned long long n = std::strtoull(v, &end, 0);
  while (end && (*end == ' ' || *end == '\t')) ++end;
  if (errno != 0 || !end || *end != '\0' || n == 0 || n > 0xFFFFFFFFull) return 0;
  return n;
}

FrontEndEnvironment ReadEnvironment(const EnvironmentLookup& lookup) {
  FrontEndEnvironment env;
  env.xscreensaverWindow = ParseWindowId(lookup("XSCREENSAVER_WINDOW"));
  X11PresentOptions& p = env.present;
  // For measuring: TELKARIM_PRESENT=fill or put fixes the way of presenting;
  // anything else lets the display choose.
  if (const char* v = lookup("TELKARIM_PRESENT")) {
    if (std::strcmp(v, "fill") == 0) p.way = X11PresentOptions::Way::kFill;
    if (std::strcmp(v, "put") == 0) p.way = X11PresentOptions::Way::kImages;
  }
  p.sharedMemory = lookup("TELKARIM_NO_SHM") == nullptr;
  if (const char* v = lookup("TELKARIM_FOLD_PIXELS")) {
    const long n = std::strtol(v, nullptr, 10);
    if (n >= 0 && n <= 100000) p.foldPixels = static_cast<int32_t>(n);
  }
  p.printFigures = lookup("TELKARIM_X11_FIGURES") != nullptr;
  env.waylandToplevel = lookup("TELKARIM_WAYLAND_TOPLEVEL") != nullptr;
  if (const char* v = lookup("WAYLAND_DISPLAY")) env.waylandDisplay = v;
  if (const char* v = lookup("XDG_RUNTIME_DIR")) env.runtimeDir = v;
  return env;
}

FrontEndEnvironment ReadEnvironment() {
  return ReadEnvironment([](const char* name) -> const char* { return std::getenv(name); });
}

}  // namespace tk
