#pragma once
#include <sys/stat.h>

#include <functional>
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
// The file may be UTF-8 or ANSI, or UTF-16LE with its byte-order mark as the
// Windows registry editor exports it; a save keeps the encoding, the mark and
// the line ends it found. Loading creates the file with the empty key when
// it is missing (unless the store is read-only). Saving reads the file again
// and changes only our own values in it, so what another program wrote in
// the meantime stays, then replaces it atomically through its links, with
// its owner and mode. A file that is binary, badly encoded or over 1 MiB is
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
  const std::string& path() const { return path_; }
  // False when the file is damaged or cannot be used: it then loads as
  // defaults and a load leaves it alone.
  bool usable() { return Load(), state_ == State::kGood || state_ == State::kMissing; }
  // After a failed Open or Save: one line saying why.
  const std::string& error() const { return error_; }

  // Tests: the write fails once this many bytes were written, as on a full
  // disk.
  size_t writeLimitForTesting = static_cast<size_t>(-1);
  // Tests: runs after a save has read the file and before it replaces it,
  // where another program may change the file.
  std::function<void()> beforeReplaceForTesting;
  // Tests: runs on the loading thread before it reads, as a hung mount would
  // hold it; and how long a load waits for the file.
  std::function<void()> beforeLoadForTesting;
  int loadTimeoutMs = kLoadTimeoutMs;

  // A load that gets no answer from the file (a hung network mount) gives up
  // after this long, so the saver's screen still ends on input; the values
  // then are the defaults, and no save follows them into the file.
  static constexpr int kLoadTimeoutMs = 5000;

  static constexpr size_t kMaxFileSize = 1 << 20;

  // How a file's text is stored on the disk.
  struct Encoding {
    bool utf16 = false;   // UTF-16LE (always with its byte-order mark)
    bool utf8Bom = false; // UTF-8 with the mark
    bool crlf = false;    // lines end in CR LF
  };

 private:
  enum class State {
    kMissing,  // nothing there yet
    kGood,     // read and decoded
    kDamaged,  // a regular file whose contents cannot be trusted
    kRefused,  // not a regular file, unreadable, or behind a link we do not follow
  };
  struct Snapshot {
    State state = State::kMissing;
    std::string text;  // UTF-8, as lines split by '\n' (CRs removed)
    Encoding encoding;
    struct stat st {};  // of the file read, to notice a change before replacing it
  };

  void Load();
  Snapshot Read(std::string& target) { return ReadFile(path_, target, error_); }
  static Snapshot ReadFile(const std::string& path, std::string& target, std::string& error);
  bool WriteAtomically(const std::string& target, const Snapshot& before, const std::string& bytes);
  bool MoveAside(const std::string& target);

  std::string path_;
  bool readOnly_;
  bool loaded_ = false;
  bool loadTimedOut_ = false;
  State state_ = State::kMissing;
  std::string text_;
  std::string error_;
};

// Decodes and encodes the file's text (exposed for the tests). Decoding fails
// for text that is not a settings file at all: NUL characters, an odd
// number of UTF-16 bytes, or a lone surrogate.
bool DecodeSettingsText(const std::string& bytes, std::string& text, FileSettingsStore::Encoding& encoding);
std::string EncodeSettingsText(const std::string& text, const FileSettingsStore::Encoding& encoding);

// $XDG_CONFIG_HOME/telkarim/settings.reg, or ~/.config/telkarim/settings.reg
// with the home directory from $HOME or else the password database; empty
// when there is no home directory at all (then nothing is written).
std::string DefaultSettingsPath();

}  // namespace tk
