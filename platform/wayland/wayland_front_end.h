#pragma once
// What the Linux entry asks of the Wayland front end.
#include <cstdint>
#include <optional>
#include <string>

#include "shell/linux/front_ends.h"

namespace tk::wayland {

// True when WAYLAND_DISPLAY is set and a compositor answers on it.
bool CompositorAnswers(const FrontEndEnvironment& environment);
// Full screen on every output, or --window; the exit code of the run.
// SIGTERM and SIGINT end it with 0, and set *signalled when given.
int RunSaver(const SaverRequest& request, bool* signalled = nullptr);
// --idle: resident until SIGTERM; 2 when the compositor reports no idle time.
int RunIdle(int32_t seconds, const std::optional<std::string>& settingsFile, const FrontEndEnvironment& environment);

}  // namespace tk::wayland
