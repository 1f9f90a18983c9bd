#include "settings/replace_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <vector>

namespace tk {

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

namespace {

// Others than the owner may change what a folder holds.
bool OthersMayWrite(const struct stat& dir) { return (dir.st_mode & (S_IWGRP | S_IWOTH)) != 0; }

// Who owns what `path` leads to; when nothing is there yet, the nearest
// folder on its way that exists (where it would be created).
bool OwnerOfTarget(std::string path, uid_t& owner) {
  for (;;) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
      owner = st.st_uid;
      return true;
    }
    if ((errno != ENOENT && errno != ENOTDIR) || path == "/" || path == ".") return false;
    path = DirectoryOf(path);
  }
}

std::string Join(const std::string& dir, const std::string& name) {
  if (dir == "/") return "/" + name;
  return dir + "/" + name;
}

// The folder above `dir`, which has no links in it: "." and ".." grow, the
// rest lose their last name.
std::string Up(const std::string& dir) {
  if (dir == "/") return dir;
  if (dir == "." || dir == ".." || (dir.size() >= 3 && dir.compare(dir.size() - 3, 3, "/..") == 0)) return dir + "/..";
  return DirectoryOf(dir);
}

std::deque<std::string> Names(const std::string& path) {
  std::deque<std::string> names;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    const std::string name = path.substr(start, slash - start);
    if (!name.empty() && name != ".") names.push_back(name);
    start = slash + 1;
  }
  return names;
}

// Reads the link `link` (lstat `st`, in the folder `dir`, which holds no
// links) into `to` when we may follow it.
bool MayFollow(const std::string& link, const struct stat& st, const std::string& dir, std::string& to,
               std::string& error) {
  const uid_t us = ::geteuid();
  // In a folder others may write, a link by anyone but us or the folder's
  // owner may have been put there to aim our write elsewhere: sticky or
  // not, group or world, whatever the kernel's own rule is set to.
  struct stat ds {};
  if (::lstat(dir.c_str(), &ds) != 0) {
    error = "cannot look at " + dir + ": " + std::strerror(errno);
    return false;
  }
  if (OthersMayWrite(ds) && st.st_uid != us && st.st_uid != ds.st_uid) {
    error = "will not follow " + link + ": a link another user made in a folder others may write";
    return false;
  }
  std::vector<char> buf(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 2);
  const ssize_t n = ::readlink(link.c_str(), buf.data(), buf.size());
  if (n <= 0 || static_cast<size_t>(n) >= buf.size()) {
    error = "cannot read the link " + link;
    return false;
  }
  to.assign(buf.data(), static_cast<size_t>(n));
  // A link leads our write only where its owner could write themselves:
  // to their own file, unless it is ours or root's. So root, saving with a
  // user's HOME, never writes a system file through the user's link.
  uid_t owner = 0;
  const std::string lead = to[0] == '/' ? to : Join(dir, to);
  if (st.st_uid != us && st.st_uid != 0 && (!OwnerOfTarget(lead, owner) || owner != st.st_uid)) {
    error = "will not follow " + link + ": a link another user made to a file that is not theirs";
    return false;
  }
  return true;
}

}  // namespace

bool ResolveTarget(const std::string& path, ReplaceTarget& target, std::string& error) {
  // Name by name, so a link to a folder on the way meets the same rules as a
  // link to the file itself. `done` never holds a link.
  std::deque<std::string> rest = Names(path);
  std::string done = !path.empty() && path[0] == '/' ? "/" : ".";
  int links = 0;
  while (!rest.empty()) {
    const std::string name = rest.front();
    rest.pop_front();
    if (name == "..") {
      done = Up(done);
      continue;
    }
    const std::string next = Join(done, name);
    struct stat st {};
    if (::lstat(next.c_str(), &st) != 0) {
      if (errno != ENOENT) {
        error = "cannot look at " + next + ": " + std::strerror(errno);
        return false;
      }
      // Nothing there yet: the rest is to be made.
      target.path = next;
      for (const std::string& r : rest) target.path = Join(target.path, r);
      target.exists = false;
      return true;
    }
    if (!S_ISLNK(st.st_mode)) {
      done = next;
      continue;
    }
    // The kernel gives up after 40 links too.
    if (++links > 40) {
      error = "cannot follow " + path + ": too many links";
      return false;
    }
    std::string to;
    if (!MayFollow(next, st, done, to, error)) return false;
    std::deque<std::string> more = Names(to);
    rest.insert(rest.begin(), more.begin(), more.end());
    if (to[0] == '/') done = "/";
  }
  target.path = done;
  target.exists = ::lstat(done.c_str(), &target.st) == 0;
  if (!target.exists) {
    error = "cannot look at " + done + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

NewOwner OwnerOfNewEntries(const std::string& dir, uid_t& uid, gid_t& gid) {
  struct stat ds {};
  if (::stat(dir.c_str(), &ds) != 0) return NewOwner::kOurs;  // the create itself reports it
  const uid_t us = ::geteuid();
  if (ds.st_uid == us || OthersMayWrite(ds)) return NewOwner::kOurs;
  if (us != 0) return NewOwner::kRefused;
  uid = ds.st_uid;
  gid = ds.st_gid;
  return NewOwner::kFolderOwner;
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
