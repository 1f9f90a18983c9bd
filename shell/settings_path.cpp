#include "shell/settings_path.h"

#include <cstdlib>

#include "settings/file_io.h"

namespace tk {

std::string SettingsPathFor(const char* xdgConfigHome, const char* home, const std::string& passwordHome) {
  if (xdgConfigHome && *xdgConfigHome == '/') return std::string(xdgConfigHome) + "/telkarim/settings.reg";
  // Started without a home in the environment (by a daemon, cron, env -u):
  // the password database still knows it. Never the current directory.
  const std::string h = home && *home == '/' ? std::string(home) : passwordHome;
  if (h.empty()) return {};
  return h + "/.config/telkarim/settings.reg";
}

std::string DefaultSettingsPath() {
  const char* home = std::getenv("HOME");
  return SettingsPathFor(std::getenv("XDG_CONFIG_HOME"), home,
                         home && *home == '/' ? std::string() : HomeFromPasswordDatabase());
}

}  // namespace tk
