#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "shell/linux/present_options.h"

namespace tk {

// Everything the Linux front ends take from the environment, read once by
// the entry and handed down; no platform layer looks at the environment
// itself.
struct FrontEndEnvironment {
  // XSCREENSAVER_WINDOW: the window XScreenSaver made for a hack, or its
  // virtual root; 0 when unset or not a window id.
  uint64_t xscreensaverWindow = 0;
  X11PresentOptions present;
  // TELKARIM_WAYLAND_TOPLEVEL: full-screen windows on Wayland even where the
  // layer shell is offered, as on compositors without it (for the tests).
  bool waylandToplevel = false;
  // WAYLAND_DISPLAY: whether to try the compositor at all, and with
  // XDG_RUNTIME_DIR where the one-saver-per-compositor lock lives; empty
  // when unset.
  std::string waylandDisplay;
  std::string runtimeDir;
};

// `lookup` is getenv, or a table in the tests.
using EnvironmentLookup = std::function<const char*(const char*)>;
FrontEndEnvironment ReadEnvironment(const EnvironmentLookup& lookup);
FrontEndEnvironment ReadEnvironment();

// A window id as XScreenSaver writes it (decimal or 0x hexadecimal, spaces
// after it allowed); 0 for anything else, zero, or beyond 32 bits.
uint64_t ParseWindowId(const char* text);

}  // namespace tk
