#pragma once
#include <string>

namespace tk {

// $XDG_CONFIG_HOME/telkarim/settings.reg, or ~/.config/telkarim/settings.reg
// with the home directory from $HOME or else the password database; empty
// when there is no home directory at all (then nothing is written). Relative
// values of the variables count as unset.
std::string SettingsPathFor(const char* xdgConfigHome, const char* home, const std::string& passwordHome);

// The same from this process's environment.
std::string DefaultSettingsPath();

}  // namespace tk
