#pragma once
#include "shell/options.h"

namespace tk {

// --render / --record / --gif: runs the saver on simulated time into a memory
// surface and writes the frames. Returns the exit code (0, or 2 with one line
// on stderr when an output cannot be written).
int RunHeadless(const Options& options);

// --sheet: every object caught mid-show, labelled with its kind.
int RunSheet(const Options& options);

}  // namespace tk
