// --settings, /c and no arguments on Linux: the dialog is a program of its
// own, telkarim-settings, so the saver never loads GTK and the screen's
// resident size stays the drawing's. The dialog takes this process's place
// (same id, its exit status), so whoever started the dialog and waits for it
// or ends it sees no difference.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "shell/linux/front_ends.h"
#include "shell/options.h"

// Where the package puts the dialog, relative to the folder of the command
// (../libexec/telkarim/telkarim-settings under the usual prefix).
#ifndef TK_DIALOG_FROM_BIN
#define TK_DIALOG_FROM_BIN "../libexec/telkarim/telkarim-settings"
#endif

namespace tk {
namespace {

// The folder of the running program itself, whatever link it was started
// through (the hack in XScreenSaver's folder is a link to the command).
std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return std::string();
  const std::string exe(path, static_cast<size_t>(n));
  const size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

}  // namespace

int RunSettingsDialog(const DialogRequest& request) {
  const std::string folder = ProgramFolder();
  if (folder.empty()) {
    std::fputs("telkarim: cannot find the settings dialog: /proc/self/exe cannot be read\n", stderr);
    return 1;
  }
  // Installed, the package's private folder; in a build tree, beside the
  // program.
  const std::string places[] = {folder + "/" TK_DIALOG_FROM_BIN, folder + "/telkarim-settings"};

  std::vector<std::string> args = {"telkarim-settings", "--settings-file", request.settingsFile.value_or(std::string())};
  if (request.owner != 0) {
    args.push_back("--owner");
    args.push_back(std::to_string(request.owner));
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::fflush(nullptr);
  for (const std::string& place : places) {
    execv(place.c_str(), argv.data());
    // Only a missing file moves on to the next place.
    const int why = errno;
    if (why != ENOENT && why != ENOTDIR) {
      const std::string what = "cannot start the settings dialog " + place + ": " + std::strerror(why);
      std::fprintf(stderr, "telkarim: %s\n", OneLine(what).c_str());
      return 1;
    }
  }
  const std::string what = "the settings dialog is not installed (no " + places[0] + ")";
  std::fprintf(stderr, "telkarim: %s\n", OneLine(what).c_str());
  return 1;
}

}  // namespace tk
