// telkarim-settings: the settings dialog, started by `telkarim` for
// --settings, /c and no arguments (it is not on the PATH).
//
//   telkarim-settings [--settings-file PATH] [--owner WINDOW-ID]
//
// An empty PATH means no settings file at all; without the option the
// usual file is used. Exits 1 after OK and Cancel alike, as the dispatch
// expects of the settings mode; 2 for an argument it does not know.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "shell/linux/front_ends.h"
#include "shell/options.h"
#include "shell/settings_path.h"

int main(int argc, char** argv) {
  tk::DialogRequest request;
  request.settingsFile = tk::DefaultSettingsPath();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--settings-file" && i + 1 < argc) {
      request.settingsFile = argv[++i];
    } else if (arg == "--owner" && i + 1 < argc) {
      char* end = nullptr;
      request.owner = std::strtoull(argv[++i], &end, 0);
      if (*end != '\0') request.owner = 0;  // no owner rather than a wrong one
    } else {
      std::fprintf(stderr, "telkarim-settings: unexpected argument '%s'\n", tk::OneLine(arg).c_str());
      return 2;
    }
  }
  return tk::RunSettingsDialog(request);
}
