#include "platform/offscreen/headless.h"
namespace tk {
int RunHeadless(const Options&) { return 1; }
int RunSheet(const Options&) { return 1; }
}  // namespace tk
