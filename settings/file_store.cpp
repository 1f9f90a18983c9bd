#include "settings/file_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "settings/replace_file.h"

namespace tk {
namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";
constexpr const char* kSection = "[HKEY_CURRENT_USER\\Software\\Telkarim\\Telkarim's Screen Saver]";

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(start, nl - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = nl + 1;
  }
  return lines;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
  return s.substr(a, b - a);
}

bool IsOurSection(const std::string& line) { return EqualsIgnoreCase(Trim(line), kSection); }

// A value line: "Name"=data. Returns false for anything else.
bool ParseValueLine(const std::string& raw, std::string& name, std::string& data) {
  const std::string line = Trim(raw);
  if (line.size() < 3 || line[0] != '"') return false;
  std::string n;
  size_t i = 1;
  for (; i < line.size() && line[i] != '"'; ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) ++i;
    n += line[i];
  }
  if (i >= line.size() || i + 1 >= line.size() || line[i + 1] != '=') return false;
  name = n;
  data = line.substr(i + 2);
  return true;
}

SettingsStore::Value Interpret(const std::string& data) {
  SettingsStore::Value v;
  v.found = true;
  if (data.rfind("dword:", 0) == 0) {
    const std::string hex = data.substr(6);
    if (hex.size() == 8 && hex.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
      v.type = SettingsStore::kRegDword;
      v.size = 4;
      v.dword = static_cast<uint32_t>(std::strtoul(hex.c_str(), nullptr, 16));
    } else {
      v.type = 0;  // malformed: never a usable number
    }
  } else if (!data.empty() && data[0] == '"') {
    v.type = 1;  // a string
    v.size = static_cast<uint32_t>(data.size());
  } else if (data.rfind("hex(", 0) == 0) {
    v.type = static_cast<uint32_t>(std::strtoul(data.c_str() + 4, nullptr, 16));
    if (v.type == SettingsStore::kRegDword) v.type = 0x7FFFFFFF;  // raw bytes are not trusted as a number
  } else if (data.rfind("hex:", 0) == 0) {
    v.type = 3;  // binary
  }
  return v;
}

std::string FormatValue(const SettingsStore::NamedValue& v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08x", v.value);
  return "\"" + v.name + "\"=dword:" + buf;
}

bool MakeParents(const std::string& path) {
  for (size_t i = 1; i < path.size(); ++i) {
    if (path[i] != '/') continue;
    const std::string dir = path.substr(0, i);
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// Our values go into every copy of our section that holds them, so that the
// last line of each name (the one a load and an import use) is the new one;
// names not there yet go at the end of the last copy. Everything else, ours
// or not, stays as it was.
std::string MergeValues(const std::string& text, std::span<const SettingsStore::NamedValue> values) {
  std::vector<std::string> lines = SplitLines(text);
  if (lines.empty()) lines = {kHeader, ""};
  std::vector<bool> written(values.size(), false);
  size_t lastStart = lines.size(), lastEnd = lines.size();
  bool inSection = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string t = Trim(lines[i]);
    if (!t.empty() && t[0] == '[') {
      if (inSection) lastEnd = i;
      inSection = IsOurSection(t);
      if (inSection) {
        lastStart = i;
        lastEnd = lines.size();
      }
      continue;
    }
    if (!inSection) continue;
    std::string n, data;
    if (!ParseValueLine(lines[i], n, data)) continue;
    for (size_t k = 0; k < values.size(); ++k) {
      if (EqualsIgnoreCase(n, values[k].name)) {
        lines[i] = FormatValue(values[k]);
        written[k] = true;
      }
    }
  }
  std::vector<std::string> missing;
  for (size_t k = 0; k < values.size(); ++k)
    if (!written[k]) missing.push_back(FormatValue(values[k]));
  if (lastStart == lines.size()) {
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
    lines.push_back(kSection);
    lines.insert(lines.end(), missing.begin(), missing.end());
  } else {
    // Before the blank lines that separate the section from the next one.
    size_t at = lastEnd;
    while (at > lastStart + 1 && Trim(lines[at - 1]).empty()) --at;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), missing.begin(), missing.end());
  }
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

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

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(std::string& out, uint32_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

bool DecodeSettingsText(const std::string& bytes, std::string& text, FileSettingsStore::Encoding& encoding) {
  encoding = {};
  text.clear();
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    // The registry editor's own export: UTF-16LE behind its mark.
    encoding.utf16 = true;
    if (bytes.size() % 2 != 0) return false;
    for (size_t i = 2; i < bytes.size(); i += 2) {
      uint32_t c = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
      if (c >= 0xD800 && c <= 0xDBFF) {
        if (i + 3 >= bytes.size()) return false;
        const uint32_t low = static_cast<unsigned char>(bytes[i + 2]) | static_cast<unsigned char>(bytes[i + 3]) << 8;
        if (low < 0xDC00 || low > 0xDFFF) return false;
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      } else if (c >= 0xDC00 && c <= 0xDFFF) {
        return false;
      }
      if (c == 0) return false;
      AppendUtf8(text, c);
    }
  } else {
    text = bytes;
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
      encoding.utf8Bom = true;
      text.erase(0, 3);
    }
    if (text.find('\0') != std::string::npos) return false;
  }
  const size_t nl = text.find('\n');
  encoding.crlf = nl != std::string::npos && nl > 0 && text[nl - 1] == '\r';
  return true;
}

std::string EncodeSettingsText(const std::string& text, const FileSettingsStore::Encoding& encoding) {
  std::string lines;
  for (const std::string& line : SplitLines(text)) lines += line + (encoding.crlf ? "\r\n" : "\n");
  if (!encoding.utf16) return (encoding.utf8Bom ? "\xEF\xBB\xBF" : "") + lines;
  // The text came from UTF-16 or is our own ASCII, so it is valid UTF-8.
  std::string out = "\xFF\xFE";
  for (size_t i = 0; i < lines.size();) {
    const unsigned char b = static_cast<unsigned char>(lines[i]);
    const int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
    uint32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    for (int k = 1; k <= extra && i + static_cast<size_t>(k) < lines.size(); ++k)
      c = c << 6 | (static_cast<unsigned char>(lines[i + static_cast<size_t>(k)]) & 0x3F);
    i += static_cast<size_t>(extra) + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      AppendUtf16(out, 0xD800 + (c >> 10));
      AppendUtf16(out, 0xDC00 + (c & 0x3FF));
    } else {
      AppendUtf16(out, c);
    }
  }
  return out;
}

FileSettingsStore::FileSettingsStore(std::string path, bool readOnly) : path_(std::move(path)), readOnly_(readOnly) {}

FileSettingsStore::Snapshot FileSettingsStore::ReadFile(const std::string& path, std::string& target,
                                                         std::string& error) {
  Snapshot snap;
  ReplaceTarget t;
  if (!ResolveTarget(path, t, error)) {
    snap.state = State::kRefused;
    return snap;
  }
  target = t.path;
  if (!t.exists) return snap;
  snap.st = t.st;
  // Only a regular file is opened at all: a pipe or a device could block the
  // open for ever (and with it the saver's screen) or act on being opened.
  if (!S_ISREG(t.st.st_mode)) {
    error = path + " is not a regular file";
    snap.state = State::kRefused;
    return snap;
  }
  const int fd = ::open(t.path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "cannot read " + path + (fd < 0 ? std::string(": ") + std::strerror(errno) : std::string());
    if (fd >= 0) ::close(fd);
    snap.state = State::kRefused;
    return snap;
  }
  snap.st = st;
  std::string bytes;
  bool readError = false;
  char buf[65536];
  while (bytes.size() <= kMaxFileSize) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) readError = true;
    if (n <= 0) break;
    bytes.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  if (readError) {
    error = "cannot read " + path;
    snap.state = State::kRefused;
    return snap;
  }
  // Too large or not text: not ours to interpret. A missing last line break
  // is not damage; editors and printf leave files that way.
  if (bytes.size() > kMaxFileSize || !DecodeSettingsText(bytes, snap.text, snap.encoding)) {
    snap.text.clear();
    snap.state = State::kDamaged;
    return snap;
  }
  snap.state = State::kGood;
  return snap;
}

void FileSettingsStore::Load() {
  if (loaded_) return;
  loaded_ = true;
  if (path_.empty()) {
    state_ = State::kRefused;
    error_ = "no settings file: there is no home directory";
    return;
  }
  // The file is read on a thread of its own, so that a mount that never
  // answers holds that thread and not the caller (the saver's screen, which
  // must end on input). The thread owns everything it touches.
  struct Job {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    Snapshot snap;
    std::string error;
  };
  auto job = std::make_shared<Job>();
  auto read = [job, path = path_, hook = beforeLoadForTesting] {
    if (hook) hook();
    std::string target, error;
    Snapshot snap = ReadFile(path, target, error);
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
  const bool answered = job->cv.wait_for(lock, std::chrono::milliseconds(loadTimeoutMs), [&] { return job->done; });
  lock.unlock();
  if (!answered) {
    // Left to finish on its own, if ever; the process may end before.
    reader.detach();
    state_ = State::kRefused;
    loadTimedOut_ = true;
    error_ = path_ + " did not answer";
    return;
  }
  // Gone before we return, so a fork right after (the tests' killed saves)
  // copies a process of one thread.
  if (reader.joinable()) reader.join();
  state_ = job->snap.state;
  text_ = std::move(job->snap.text);
  if (!job->error.empty()) error_ = job->error;
}

bool FileSettingsStore::Open() {
  Load();
  if (state_ != State::kMissing) return state_ == State::kGood;
  if (readOnly_) return true;
  // The empty key, as the registry's create-or-open leaves it.
  return Save({});
}

SettingsStore::Value FileSettingsStore::Query(std::string_view name) {
  Load();
  if (state_ != State::kGood) return {};
  bool inSection = false;
  Value found;
  for (const std::string& line : SplitLines(text_)) {
    const std::string t = Trim(line);
    if (!t.empty() && t[0] == '[') {
      inSection = IsOurSection(t);
      continue;
    }
    if (!inSection) continue;
    std::string n, data;
    // The registry's names are case-insensitive; the last line wins, also
    // across repeated copies of our section, as an import would leave it.
    if (ParseValueLine(line, n, data) && EqualsIgnoreCase(n, name)) found = Interpret(data);
  }
  return found;
}

bool FileSettingsStore::MoveAside(const std::string& target) {
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
  error_ = "cannot keep the damaged " + path_ + " aside: " + std::strerror(errno);
  return false;
}

bool FileSettingsStore::Save(std::span<const NamedValue> values) {
  if (path_.empty()) {
    error_ = "no settings file: there is no home directory";
    return false;
  }
  if (readOnly_) {
    error_ = path_ + " is open for reading only";
    return false;
  }
  if (loadTimedOut_) {
    // The values to save were made from the defaults, not from the file.
    error_ = path_ + " did not answer when it was read";
    return false;
  }
  // Read again right before writing, and write only when the file is still
  // what was read; another program's change in between makes us merge again.
  for (int attempt = 0; attempt < 10; ++attempt) {
    std::string target;
    Snapshot snap = Read(target);
    if (snap.state == State::kRefused) return false;
    if (snap.state == State::kDamaged) {
      if (!MoveAside(target)) return false;
      snap = Snapshot{};
    }
    if (snap.state == State::kMissing && !MakeParents(target)) {
      error_ = "cannot create the folder of " + path_ + ": " + std::strerror(errno);
      return false;
    }
    const std::string text = MergeValues(snap.text, values);
    const std::string bytes = EncodeSettingsText(text, snap.encoding);
    errno = 0;
    if (WriteAtomically(target, snap, bytes)) {
      text_ = text;
      state_ = State::kGood;
      loaded_ = true;
      return true;
    }
    if (errno != EAGAIN) return false;
  }
  error_ = path_ + " kept changing while it was saved";
  return false;
}

// Fails with errno EAGAIN when the file changed since it was read.
bool FileSettingsStore::WriteAtomically(const std::string& target, const Snapshot& before, const std::string& bytes) {
  RemoveDeadTempFiles(target);
  // Write beside the file, flush it to the disk, then rename over: a crash
  // or a full disk leaves either the old file or the new one, never a part.
  const std::string pid = std::to_string(::getpid());
  std::string temp, why;
  const bool replacing = before.state == State::kGood;
  const int fd = CreateExclusive(
      [&](int k) { return target + ".tmp" + pid + (k ? "-" + std::to_string(k) : std::string()); },
      replacing ? 0600 : 0666, temp, why);
  if (fd < 0) {
    error_ = "cannot write beside " + path_ + ": " + why;
    errno = 0;
    return false;
  }
  if (replacing) CopyOwnerAndMode(fd, ReplaceTarget{target, true, before.st});
  size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    size_t chunk = bytes.size() - done;
    if (done + chunk > writeLimitForTesting) chunk = writeLimitForTesting > done ? writeLimitForTesting - done : 0;
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
  ok = (::close(fd) == 0) && ok;
  if (!ok) {
    error_ = "cannot write " + path_ + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
    errno = 0;
    return false;
  }
  if (beforeReplaceForTesting) beforeReplaceForTesting();
  struct stat now {};
  const bool present = ::lstat(target.c_str(), &now) == 0;
  if (present != replacing || (present && !SameFile(now, before.st))) {
    ::unlink(temp.c_str());
    errno = EAGAIN;
    return false;
  }
  if (std::rename(temp.c_str(), target.c_str()) != 0) {
    error_ = "cannot replace " + path_ + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
    errno = 0;
    return false;
  }
  SyncDirectory(DirectoryOf(target));
  return true;
}

std::string DefaultSettingsPath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return std::string(xdg) + "/telkarim/settings.reg";
  std::string home;
  if (const char* h = std::getenv("HOME"); h && *h == '/') home = h;
  if (home.empty()) {
    // Started without a home in the environment (by a daemon, cron, env -u):
    // the password database still knows it. Never the current directory.
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') home = pw->pw_dir;
  }
  if (home.empty()) return {};
  return home + "/.config/telkarim/settings.reg";
}

}  // namespace tk
