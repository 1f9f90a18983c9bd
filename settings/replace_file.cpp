#include "settings/replace_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tk {

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool ResolveTarget(const std::string& path, ReplaceTarget& target, std::string& error) {
  std::string current = path;
  // The kernel gives up after 40 links too.
  for (int hops = 0; hops <= 40; ++hops) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0) {
      if (errno != ENOENT) {
        error = "cannot look at " + current + ": " + std::strerror(errno);
        return false;
      }
      target.path = current;
      target.exists = false;
      return true;
    }
    if (!S_ISLNK(st.st_mode)) {
      target.path = current;
      target.exists = true;
      target.st = st;
      return true;
    }
    const std::string dir = DirectoryOf(current);
    struct stat ds {};
    if (::stat(dir.c_str(), &ds) != 0) {
      error = "cannot look at " + dir + ": " + std::strerror(errno);
      return false;
    }
    const bool shared = (ds.st_mode & S_ISVTX) && (ds.st_mode & S_IWOTH);
    if (shared && st.st_uid != ::geteuid() && st.st_uid != ds.st_uid) {
      error = "will not follow " + current + ": a link another user made in a shared directory";
      return false;
    }
    std::vector<char> buf(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 2);
    const ssize_t n = ::readlink(current.c_str(), buf.data(), buf.size());
    if (n < 0 || static_cast<size_t>(n) >= buf.size()) {
      error = "cannot read the link " + current;
      return false;
    }
    const std::string next(buf.data(), static_cast<size_t>(n));
    current = (next.empty() || next[0] == '/') ? next : dir + "/" + next;
  }
  error = "cannot follow " + path + ": too many links";
  return false;
}

int CreateExclusive(const std::function<std::string(int)>& name, mode_t mode, std::string& created,
                    std::string& error) {
  // A name that is taken (a leftover of a killed run, or something planted)
  // is skipped, never opened.
  for (int k = 0; k < 100; ++k) {
    const std::string candidate = name(k);
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0) {
      created = candidate;
      return fd;
    }
    if (errno != EEXIST) {
      error = std::strerror(errno);
      return -1;
    }
  }
  error = "no free name for a temporary file";
  return -1;
}

void CopyOwnerAndMode(int fd, const ReplaceTarget& target) {
  if (!target.exists) return;
  // Owner first: a change of owner clears the set-id bits that the mode
  // below then puts back. Only root may give a file away; others keep theirs.
  if (target.st.st_uid != ::geteuid() || target.st.st_gid != ::getegid())
    (void)!::fchown(fd, target.st.st_uid, target.st.st_gid);
  ::fchmod(fd, target.st.st_mode & 07777);
}

void SyncDirectory(const std::string& dir) {
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return;
  ::fsync(dfd);
  ::close(dfd);
}

}  // namespace tk
