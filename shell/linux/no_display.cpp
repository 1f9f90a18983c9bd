// Stand-ins for a build without the X11 layer or the GTK dialog.
#include <cstdio>

#include "shell/linux/front_ends.h"

namespace tk {

#ifndef TK_HAVE_X11
int RunX11Saver(const SaverRequest&) {
  std::fputs("telkarim: this build has no X11 display support; try --render OUT.png\n", stderr);
  return 1;
}
bool X11WindowExists(uint32_t) { return false; }
uint32_t X11ForegroundWindow() { return 0; }
#endif

#ifndef TK_HAVE_GTK
int RunSettingsDialog(const DialogRequest&) {
  std::fputs("telkarim: this build has no settings dialog; use --set Name=Value ... --save-settings\n",
             stderr);
  return 1;
}
#endif

}  // namespace tk
