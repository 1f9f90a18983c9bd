#pragma once
// What the Linux entry asks of the Wayland front end.
#include <cstdint>
#include <optional>
#include <string>

#include "shell/linux/front_ends.h"

namespace tk::wayland {

// True when WAYLAND_DISPLAY is set and a compositor answers on it.
bool CompositorAnswers();
// Full screen on every output, or --window; the exit code of the run.
int RunSaver(const SaverRequest& request);
// The same, ended also when quitFd turns readable (signals are then the
// caller's to handle).
int RunSaver(const SaverRequest& request, int quitFd);
// --idle: resident until SIGTERM; 2 when the compositor reports no idle time.
int RunIdle(int32_t seconds, const std::optional<std::string>& settingsFile);

}  // namespace tk::wayland
