#pragma once
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace tk {

// The settings store off Windows: a text file in the registry's export
// format, so the same file imports on Windows:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Telkarim\Telkarim's Screen Saver]
//   "StarColor"=dword:00ff9070
//
// Loading creates the file with the empty key when it is missing. Saving
// keeps every other key, value and comment and replaces the file atomically.
// A file that is unreadable, binary, cut off mid-line or over 1 MiB loads as
// defaults and is never overwritten by a load.
class FileSettingsStore final : public SettingsStore {
 public:
  explicit FileSettingsStore(std::string path);
  bool Open() override;
  Value Query(std::string_view name) override;
  bool Save(std::span<const NamedValue> values) override;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  struct Parsed;
  bool loaded_ = false;
  bool usable_ = false;
  std::string text_;
};

// $XDG_CONFIG_HOME/telkarim/settings.reg, or ~/.config/telkarim/settings.reg.
std::string DefaultSettingsPath();

}  // namespace tk
