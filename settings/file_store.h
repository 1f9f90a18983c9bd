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
  // False when the file was damaged (binary, cut off, too large, unreadable):
  // it then loads as defaults and a load leaves it alone.
  bool usable() { return Load(), usable_; }

  // Tests: the write fails once this many bytes were written, as on a full
  // disk.
  size_t writeLimitForTesting = static_cast<size_t>(-1);

  static constexpr size_t kMaxFileSize = 1 << 20;

 private:
  void Load();
  bool WriteAtomically(const std::string& text);

  std::string path_;
  bool loaded_ = false;
  bool exists_ = false;
  bool usable_ = false;
  std::string text_;
};

// $XDG_CONFIG_HOME/telkarim/settings.reg, or ~/.config/telkarim/settings.reg.
std::string DefaultSettingsPath();

}  // namespace tk
