#include "settings/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "settings/replace_file.h"
#include "settings/store_test_hooks.h"

namespace tk {

StoreTestHooks& TestHooks() {
  static StoreTestHooks hooks;
  return hooks;
}

namespace {

// A save that was killed leaves its temp file behind; the next save removes
// the ones whose process is gone, so crashes do not pile files up. Only our
// own regular files are touched.
void RemoveDeadTempFiles(const std::string& path) {
  const std::string dir = DirectoryOf(path);
  const size_t slash = path.rfind('/');
  const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp";
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    std::string digits = name.substr(prefix.size());
    const size_t dash = digits.find('-');
    if (dash != std::string::npos) {
      if (dash + 1 == digits.size() || digits.find_first_not_of("0123456789", dash + 1) != std::string::npos) continue;
      digits.resize(dash);
    }
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    const long pid = std::strtol(digits.c_str(), nullptr, 10);
    if (pid <= 0 || pid == ::getpid()) continue;
    const std::string full = dir + "/" + name;
    struct stat st {};
    if (::lstat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) ::unlink(full.c_str());
  }
  ::closedir(d);
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Writes everything, flushes and closes; false with errno set.
bool WriteAll(int fd, const std::string& bytes) {
  const size_t limit = TestHooks().writeLimit;
  size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    size_t chunk = bytes.size() - done;
    if (done + chunk > limit) chunk = limit > done ? limit - done : 0;
    if (chunk == 0) {
      errno = ENOSPC;
      ok = false;
      break;
    }
    const ssize_t n = ::write(fd, bytes.data() + done, chunk);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      if (n == 0) errno = ENOSPC;
      ok = false;
    } else {
      done += static_cast<size_t>(n);
    }
  }
  ok = ok && ::fsync(fd) == 0;
  const int saved = errno;
  ok = (::close(fd) == 0) && ok;
  if (!ok && errno == 0) errno = saved;
  return ok;
}

// The new file, empty, beside the target: a replacement takes the old
// file's owner and mode, a new file what the umask allows and the owner
// OwnerOfNewEntries names.
int CreateTempBeside(const FileSnapshot& before, const std::string& shown, std::string& temp, std::string& error) {
  const std::string& target = before.target;
  const bool keepOwner = before.state == FileState::kGood || before.inheritsOwner;
  uid_t uid = 0;
  gid_t gid = 0;
  const NewOwner owner = keepOwner ? NewOwner::kOurs : OwnerOfNewEntries(DirectoryOf(target), uid, gid);
  if (owner == NewOwner::kRefused) {
    error = "will not create " + shown + ": its folder belongs to another user";
    return -1;
  }
  const std::string pid = std::to_string(::getpid());
  std::string why;
  const int fd = CreateExclusive(
      [&](int k) { return target + ".tmp" + pid + (k ? "-" + std::to_string(k) : std::string()); },
      keepOwner ? 0600 : 0666, temp, why);
  if (fd < 0) {
    error = "cannot write beside " + shown + ": " + why;
    return -1;
  }
  if (keepOwner) CopyOwnerAndMode(fd, ReplaceTarget{target, true, before.st});
  if (owner == NewOwner::kFolderOwner && ::fchown(fd, uid, gid) != 0) {
    error = "cannot give " + shown + " to the owner of its folder: " + std::strerror(errno);
    ::close(fd);
    ::unlink(temp.c_str());
    return -1;
  }
  return fd;
}

// A whole file from the start, as much as a settings file may hold.
std::string ReadAll(int fd) {
  std::string bytes;
  char buf[65536];
  for (off_t at = 0; bytes.size() <= kMaxSettingsFileSize;) {
    const ssize_t n = ::pread(fd, buf, sizeof buf, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(buf, static_cast<size_t>(n));
    at += n;
  }
  return bytes;
}

}  // namespace

FileSnapshot ReadSettingsFile(const std::string& path, std::string& error) {
  FileSnapshot snap;
  ReplaceTarget t;
  if (!ResolveTarget(path, t, error)) {
    snap.state = FileState::kRefused;
    return snap;
  }
  snap.target = t.path;
  if (!t.exists) return snap;
  snap.st = t.st;
  // Only a regular file is opened at all: a pipe or a device could block the
  // open for ever (and with it the saver's screen) or act on being opened.
  if (!S_ISREG(t.st.st_mode)) {
    error = path + " is not a regular file";
    snap.state = FileState::kRefused;
    return snap;
  }
  const int fd = ::open(t.path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "cannot read " + path + (fd < 0 ? std::string(": ") + std::strerror(errno) : std::string());
    if (fd >= 0) ::close(fd);
    snap.state = FileState::kRefused;
    return snap;
  }
  snap.st = st;
  std::string bytes;
  bool readError = false;
  char buf[65536];
  while (bytes.size() <= kMaxSettingsFileSize) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) readError = true;
    if (n <= 0) break;
    bytes.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  if (readError) {
    error = "cannot read " + path;
    snap.state = FileState::kRefused;
    return snap;
  }
  // Too large or not text: not ours to interpret. A missing last line break
  // is not damage; editors and printf leave files that way.
  if (bytes.size() > kMaxSettingsFileSize || !DecodeSettingsText(bytes, snap.text, snap.encoding)) {
    snap.text.clear();
    snap.state = FileState::kDamaged;
    return snap;
  }
  snap.state = FileState::kGood;
  return snap;
}

TimedRead ReadSettingsFileWithin(const std::string& path, int timeoutMs, FileSnapshot& snap, std::string& error) {
  // The file is read on a thread of its own, so that a mount that never
  // answers holds that thread and not the caller (the saver's screen, which
  // must end on input). The thread owns everything it touches.
  struct Job {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    FileSnapshot snap;
    std::string error;
  };
  auto job = std::make_shared<Job>();
  auto read = [job, path, hook = TestHooks().beforeLoad] {
    if (hook) hook();
    std::string error;
    FileSnapshot snap = ReadSettingsFile(path, error);
    const std::lock_guard<std::mutex> lock(job->m);
    job->snap = std::move(snap);
    job->error = std::move(error);
    job->done = true;
    job->cv.notify_all();
  };
  std::thread reader;
  try {
    reader = std::thread(read);
  } catch (const std::system_error&) {
    read();  // no thread to be had: read here
  }
  std::unique_lock<std::mutex> lock(job->m);
  const bool answered = job->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return job->done; });
  lock.unlock();
  if (!answered) {
    // Left to finish on its own, if ever; the process may end before.
    reader.detach();
    return TimedRead::kTimedOut;
  }
  // Gone before we return, so a fork right after (the tests' killed saves)
  // copies a process of one thread.
  if (reader.joinable()) reader.join();
  snap = std::move(job->snap);
  if (!job->error.empty()) error = job->error;
  return TimedRead::kAnswered;
}

namespace {
// A writer that opened the old file before the rename (an appending `>>`,
// whose shell opens the file and then writes) may not have written yet.
// The kernel refuses a read lease while anyone holds a file open for
// writing, so the old file, which no name reaches any more, is looked at
// until the last such writer has closed it: what it wrote is then there to
// be merged. Bounded, for a program that keeps the file open for good; where
// leases are not to be had (a file system without them, another owner's
// file without the right to lease it) this is the plain check it was.
// A writer still inside its open() when the lease is granted (it found the
// old name before the rename) counts only once that open is done, so the
// file must be free of writers twice, a few milliseconds apart.
void WaitForWritersToClose(int fd) {
  constexpr int kLimitMs = 2000, kQuietMs = 5;
  // Such a writer breaking our lease in the moment we hold it would send us
  // SIGIO, whose default is to end the process.
  struct sigaction ignore {}, before {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGIO, &ignore, &before);
  struct Restore {
    struct sigaction& before;
    ~Restore() { ::sigaction(SIGIO, &before, nullptr); }
  } restore{before};
  int quiet = 0;
  for (int waited = 0; waited < kLimitMs; ++waited) {
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
      // Given back at once: no name leads to the file any more.
      ::fcntl(fd, F_SETLEASE, F_UNLCK);
      if (++quiet > kQuietMs) return;
    } else if (errno == EAGAIN) {
      quiet = 0;
    } else {
      return;
    }
    ::usleep(1000);
  }
}
}  // namespace

ReplaceResult ReplaceIfUnchanged(const FileSnapshot& before, const std::string& bytes, const std::string& shown,
                                 std::string& late, std::string& error) {
  const std::string& target = before.target;
  RemoveDeadTempFiles(target);
  const bool replacing = before.state == FileState::kGood;
  // Write beside the file, flush it to the disk, then rename over: a crash
  // or a full disk leaves either the old file or the new one, never a part.
  std::string temp;
  const int fd = CreateTempBeside(before, shown, temp, error);
  if (fd < 0) return ReplaceResult::kFailed;
  if (!WriteAll(fd, bytes)) {
    error = "cannot write " + shown + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
    return ReplaceResult::kFailed;
  }
  if (TestHooks().beforeReplace) TestHooks().beforeReplace();
  // Held across the rename, to see whether a writer that had the old file
  // open (an appending `>>`) still wrote to it.
  const int old = replacing ? ::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC) : -1;
  struct stat now {};
  const bool present = ::lstat(target.c_str(), &now) == 0;
  if (present != replacing || (present && !SameFile(now, before.st)) || (replacing && old < 0)) {
    if (old >= 0) ::close(old);
    ::unlink(temp.c_str());
    return ReplaceResult::kChanged;
  }
  if (std::rename(temp.c_str(), target.c_str()) != 0) {
    error = "cannot replace " + shown + ": " + std::strerror(errno);
    if (old >= 0) ::close(old);
    ::unlink(temp.c_str());
    return ReplaceResult::kFailed;
  }
  SyncDirectory(DirectoryOf(target));
  if (old < 0) return ReplaceResult::kReplaced;
  WaitForWritersToClose(old);
  struct stat after {};
  const bool wroteLate = ::fstat(old, &after) == 0 && !SameFile(after, before.st);
  if (wroteLate) late = ReadAll(old);
  ::close(old);
  return wroteLate ? ReplaceResult::kLate : ReplaceResult::kReplaced;
}

FolderLock::Result FolderLock::Take(const std::string& dir, int timeoutMs) {
  fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) return Result::kUnavailable;
  // Saves take milliseconds; a short wait that grows keeps twenty savers
  // from spinning, and a holder that never lets go (a stopped process) ends
  // in a failure that says so rather than a hang.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (int pause = 1;; pause = std::min(pause * 2, 20)) {
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return Result::kHeld;
    if (errno != EWOULDBLOCK && errno != EINTR) {
      ::close(fd_);
      fd_ = -1;
      return Result::kUnavailable;
    }
    if (std::chrono::steady_clock::now() >= until) return Result::kTimedOut;
    std::this_thread::sleep_for(std::chrono::milliseconds(pause));
  }
}

FolderLock::~FolderLock() {
  if (fd_ >= 0) ::close(fd_);  // closing lets the lock go
}

bool MoveAside(const std::string& target, const std::string& shown, std::string& error) {
  // The user's choice is worth more than a damaged file, but the damaged
  // file is kept beside the new one rather than lost, and never replaces a
  // copy an earlier save kept.
  for (int k = 1; k < 1000; ++k) {
    const std::string aside = target + ".bad" + (k == 1 ? std::string() : "." + std::to_string(k));
    if (::renameat2(AT_FDCWD, target.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EEXIST) continue;
    if (errno != EINVAL && errno != ENOSYS) break;
    // File systems without the no-replace rename: a new hard link cannot
    // replace anything either.
    if (::link(target.c_str(), aside.c_str()) == 0) return ::unlink(target.c_str()) == 0;
    if (errno == EEXIST) continue;
    break;
  }
  error = "cannot keep the damaged " + shown + " aside: " + std::strerror(errno);
  return false;
}

bool MakeParents(const std::string& path, const std::string& shown, std::string& error) {
  for (size_t i = 1; i < path.size(); ++i) {
    if (path[i] != '/') continue;
    const std::string dir = path.substr(0, i);
    struct stat st {};
    if (::lstat(dir.c_str(), &st) == 0) continue;
    uid_t uid = 0;
    gid_t gid = 0;
    const NewOwner owner = OwnerOfNewEntries(DirectoryOf(dir), uid, gid);
    if (owner == NewOwner::kRefused) {
      error = "will not create the folder " + dir + " of " + shown + ": its parent belongs to another user";
      return false;
    }
    if (::mkdir(dir.c_str(), 0755) != 0) {
      if (errno == EEXIST) continue;  // another save made it just now
      error = "cannot create the folder of " + shown + ": " + std::strerror(errno);
      return false;
    }
    if (owner == NewOwner::kFolderOwner && ::fchownat(AT_FDCWD, dir.c_str(), uid, gid, AT_SYMLINK_NOFOLLOW) != 0) {
      error = "cannot give the folder " + dir + " to the owner of its parent: " + std::strerror(errno);
      ::rmdir(dir.c_str());
      return false;
    }
  }
  return true;
}

std::string HomeFromPasswordDatabase() {
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') return pw->pw_dir;
  return {};
}

}  // namespace tk
