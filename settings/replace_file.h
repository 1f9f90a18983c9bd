#pragma once
// Replacing a file by a finished new one without ever writing through a name
// somebody else made: the settings file and the pictures of the headless
// run both go this way. Off Windows only.
#include <sys/stat.h>

#include <functional>
#include <string>

namespace tk {

// What a name leads to, followed through its symbolic links.
struct ReplaceTarget {
  std::string path;      // the file to replace: the name itself, or where its links lead
  bool exists = false;   // path names something (of any type)
  struct stat st {};     // of that something, when it exists
};

// Follows the links of `path` (a settings file kept with other dotfiles is
// often one) the way the kernel's protected-symlink rule does: in a sticky
// directory that everyone may write to, only a link owned by us or by the
// directory's owner is followed, so a link planted in /tmp cannot aim our
// write at another file. Fails with a one-line reason for a planted link,
// a loop, or a name that cannot be looked at.
bool ResolveTarget(const std::string& path, ReplaceTarget& target, std::string& error);

// Creates a new, empty file beside `target` that nobody else could have made
// or pointed anywhere: O_CREAT|O_EXCL|O_NOFOLLOW under name(0), name(1), ...
// until one is free. Returns the descriptor (-1 with a reason) and the name.
int CreateExclusive(const std::function<std::string(int)>& name, mode_t mode, std::string& created,
                    std::string& error);

// The directory part of a path ("." for a bare name).
std::string DirectoryOf(const std::string& path);

// Gives the new file the old one's owner and permission bits (a private
// 0600 file stays private), or for a new file what the umask allows.
void CopyOwnerAndMode(int fd, const ReplaceTarget& target);

// Flushes a directory's entries, so a rename survives a power cut.
void SyncDirectory(const std::string& dir);

}  // namespace tk
