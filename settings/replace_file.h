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
// often one), also links to folders on the way, and refuses a link that may
// aim our write at a file its maker could not write: in a folder others than
// its owner may write (sticky or not), a link by anyone but us or the
// folder's owner; anywhere, a link by another user (not root) to something
// that is not theirs. Fails with a one-line reason for such a link, a loop,
// or a name that cannot be looked at.
bool ResolveTarget(const std::string& path, ReplaceTarget& target, std::string& error);

// Who is to own what a save creates in the folder `dir`: ourselves in our
// own folders and in shared ones; in a folder of another user that only they
// may write (their home, their ~/.config) that user, which only root can
// arrange, so root saving with a user's HOME leaves the user able to save.
// Others are refused there.
enum class NewOwner { kOurs, kFolderOwner, kRefused };
NewOwner OwnerOfNewEntries(const std::string& dir, uid_t& uid, gid_t& gid);

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
