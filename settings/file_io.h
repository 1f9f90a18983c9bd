#pragma once
// The settings file on the disk: reading it whole (also with a time limit,
// for mounts that never answer), and replacing it atomically only when it is
// still what was read. Off Windows only; the text itself is registry_text's.
#include <sys/stat.h>

#include <string>

#include "settings/registry_text.h"

namespace tk {

enum class FileState {
  kMissing,  // nothing there yet
  kGood,     // read and decoded
  kDamaged,  // a regular file whose contents cannot be trusted
  kRefused,  // not a regular file, unreadable, or behind a link we do not follow
};

struct FileSnapshot {
  FileState state = FileState::kMissing;
  std::string target;    // the file the path leads to, through its links
  std::string text;      // decoded, when kGood
  TextEncoding encoding;
  struct stat st {};     // of what was read, to notice a change before replacing it
  // A damaged file was moved aside: the new one takes its owner and mode
  // from `st` as a replacement would.
  bool inheritsOwner = false;
};

inline constexpr size_t kMaxSettingsFileSize = 1 << 20;

// Reads the file `path` leads to. Sets `error` to one line when refused.
FileSnapshot ReadSettingsFile(const std::string& path, std::string& error);

enum class TimedRead { kAnswered, kTimedOut };
// The same on a thread of its own, waiting at most timeoutMs for it.
TimedRead ReadSettingsFileWithin(const std::string& path, int timeoutMs, FileSnapshot& snap, std::string& error);

enum class ReplaceResult {
  kReplaced,  // the new bytes are in place
  kLate,      // in place, but the old file was written to meanwhile: `late` holds it
  kChanged,   // the file is no longer what was read: read and merge again
  kFailed,    // with a one-line reason
};
// Writes the bytes to an exclusive temporary file beside the target, flushes
// it and renames it over the target, when the target is still `before`. A new
// file gets what the umask allows (and the folder owner's ownership, see
// OwnerOfNewEntries), a replacement the old file's owner and mode. `shown`
// is the name the reasons give.
ReplaceResult ReplaceIfUnchanged(const FileSnapshot& before, const std::string& bytes, const std::string& shown,
                                 std::string& late, std::string& error);

// Serialises our own saves of the files in one folder: an advisory lock on
// the folder itself, so no lock file is left anywhere. Where a folder cannot
// be locked (no read permission, a file system without locks) saves go on
// without it and rely on reading again alone.
class FolderLock {
 public:
  enum class Result { kHeld, kUnavailable, kTimedOut };
  Result Take(const std::string& dir, int timeoutMs);
  ~FolderLock();

 private:
  int fd_ = -1;
};

// Renames a damaged file aside as name.bad, name.bad.2, ... never over an
// earlier copy.
bool MoveAside(const std::string& target, const std::string& shown, std::string& error);

// Creates the missing folders on the way to `path`, owned as
// OwnerOfNewEntries says; refuses with one line where they cannot be.
bool MakeParents(const std::string& path, const std::string& shown, std::string& error);

// The home directory the password database gives the real user; empty
// when it knows none that is absolute.
std::string HomeFromPasswordDatabase();

}  // namespace tk
