#pragma once
#include <span>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace tk {

// The settings store off Windows: a text file in the registry's export
// format (registry_text.h), so the same file imports on Windows.
//
// The file may be UTF-8 or ANSI, or UTF-16LE with its byte-order mark as the
// Windows registry editor exports it; a save keeps the encoding, the mark and
// the line ends it found. Loading creates the file with the empty key when
// it is missing (unless the store is read-only). Saving reads the file again
// and changes only the values given, so what another program or save wrote
// in the meantime stays, then replaces it atomically through its links, with
// its owner and mode; our own saves of one file take turns on a lock. A file that is binary, badly encoded or over 1 MiB is
// damaged: it loads as defaults, a load leaves it alone, and a save moves it
// aside under a name no earlier backup has. Anything that is not a regular
// file (a device, a pipe, a directory) or cannot be read is never opened for
// long, never moved and never written.
class FileSettingsStore final : public SettingsStore {
 public:
  // An empty path is a store with no file: everything loads as defaults and
  // nothing is written (a user without a home directory).
  explicit FileSettingsStore(std::string path, bool readOnly = false);
  bool Open() override;
  Value Query(std::string_view name) override;
  bool Save(std::span<const NamedValue> values) override;
  bool SaveFrom(const Decide& decide) override;
  const std::string& path() const { return path_; }
  // False when the file is damaged or cannot be used: it then loads as
  // defaults and a load leaves it alone.
  bool usable();
  // After a failed Open or Save: one line saying why.
  const std::string& error() const { return error_; }

  // A load that gets no answer from the file (a hung network mount) gives up
  // after this long, so the saver's screen still ends on input; the values
  // then are the defaults, and no save follows them into the file.
  static constexpr int kLoadTimeoutMs = 5000;
  // Our own saves of one file wait for each other this long at most; a save
  // still waiting then fails and says so.
  static constexpr int kSaveLockTimeoutMs = 10000;

 private:
  enum class State { kMissing, kGood, kDamaged, kRefused };
  void Load();
  bool MaySave();

  std::string path_;
  bool readOnly_;
  bool loaded_ = false;
  bool loadTimedOut_ = false;
  State state_ = State::kMissing;
  std::string text_;
  std::string error_;
};

}  // namespace tk
