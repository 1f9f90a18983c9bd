#include "platform/offscreen/headless.h"

#include <cstdio>

namespace tk {
// Until the contact sheet lands.
int RunSheet(const Options&) {
  std::fputs("telkarim: --sheet is not available in this build\n", stderr);
  return 2;
}
}  // namespace tk
