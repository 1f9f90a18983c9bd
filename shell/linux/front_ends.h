#pragma once
// What the Linux entry asks of the platform layers. The X11 layer and the GTK
// dialog define these when they are built; no_display.cpp stands in for them
// otherwise (each then prints one line and returns 1).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "shell/linux/environment.h"

namespace tk {

struct SaverRequest {
  enum class Mode {
    kFullScreen,  // /s
    kPreview,     // /p ID, /l ID: a child of window `window`, no input watching
    kWindow,      // --window [WxH]: an ordinary window; input closes it as in /s
    kHack,        // XScreenSaver: -root, -window-id ID, XSCREENSAVER_WINDOW, -window
  };
  Mode mode = Mode::kFullScreen;
  uint64_t window = 0;  // preview parent or hack target; 0 with root = the (virtual) root
  bool root = false;
  int32_t width = 0, height = 0;  // --window size, 0 = a default
  std::optional<std::string> settingsFile;
  std::function<void(Settings&)> adjustSettings;  // this run's command-line overrides
  FrontEndEnvironment environment;                // read once by the entry
};

struct DialogRequest {
  uint64_t owner = 0;
  std::optional<std::string> settingsFile;
};

// Exit code of the run.
int RunX11Saver(const SaverRequest& request);
// Exit code of the dialog (1 after OK or Cancel, as the dispatch expects).
int RunSettingsDialog(const DialogRequest& request);
// X11 queries used by the dispatch; false / 0 without a display.
bool X11WindowExists(uint32_t window);
uint32_t X11ForegroundWindow();

}  // namespace tk
