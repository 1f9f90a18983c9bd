#pragma once
#include "shell/options.h"

namespace tk {

// The contact sheet: every object caught mid-show at rest, each in its own
// cell labelled with its kind number, written as a PNG to options.sheetPath.
// Returns the exit code (0, or 2 with one line on stderr when the picture
// cannot be written).
int RunSheetImpl(const Options& options);

}  // namespace tk
