#include "settings/file_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

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

}  // namespace

FileSettingsStore::FileSettingsStore(std::string path) : path_(std::move(path)) {}

void FileSettingsStore::Load() {
  if (loaded_) return;
  loaded_ = true;
  text_.clear();
  usable_ = false;
  exists_ = false;
  FILE* f = std::fopen(path_.c_str(), "rb");
  if (!f) {
    exists_ = errno != ENOENT;  // unreadable but present: leave it alone
    usable_ = !exists_;
    return;
  }
  exists_ = true;
  struct stat st {};
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode) || static_cast<size_t>(st.st_size) > kMaxFileSize) {
    std::fclose(f);
    return;
  }
  std::string text(static_cast<size_t>(st.st_size), '\0');
  const size_t got = text.empty() ? 0 : std::fread(text.data(), 1, text.size(), f);
  const bool readError = std::ferror(f);
  std::fclose(f);
  if (readError || got != text.size()) return;
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  // Binary data or a last line without its line break (a file cut off while
  // being written by something else) is not trusted.
  if (text.find('\0') != std::string::npos) return;
  if (!text.empty() && text.back() != '\n') return;
  text_ = text;
  usable_ = true;
}

bool FileSettingsStore::Open() {
  Load();
  if (exists_) return usable_;
  if (!MakeParents(path_)) return false;
  const std::string fresh = std::string(kHeader) + "\n\n" + kSection + "\n";
  if (!WriteAtomically(fresh)) return false;
  text_ = fresh;
  exists_ = true;
  usable_ = true;
  return true;
}

SettingsStore::Value FileSettingsStore::Query(std::string_view name) {
  Load();
  if (!usable_) return {};
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
    // The registry's names are case-insensitive; the last line wins, as an
    // import would leave it.
    if (ParseValueLine(line, n, data) && EqualsIgnoreCase(n, name)) found = Interpret(data);
  }
  return found;
}

bool FileSettingsStore::Save(std::span<const NamedValue> values) {
  Load();
  if (exists_ && !usable_) {
    // The user's choice is worth more than a damaged file, but the damaged
    // file is kept beside the new one rather than lost.
    const std::string aside = path_ + ".bad";
    if (std::rename(path_.c_str(), aside.c_str()) != 0) return false;
    text_.clear();
    exists_ = false;
    usable_ = true;
  }
  if (!MakeParents(path_)) return false;
  std::vector<std::string> lines = SplitLines(text_);
  if (lines.empty()) lines = {kHeader, ""};
  std::vector<bool> written(values.size(), false);
  size_t sectionStart = lines.size(), sectionEnd = lines.size();
  bool inSection = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string t = Trim(lines[i]);
    if (!t.empty() && t[0] == '[') {
      if (inSection) {
        sectionEnd = i;
        inSection = false;
      }
      if (IsOurSection(t) && sectionStart == lines.size()) {
        sectionStart = i;
        inSection = true;
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
  if (sectionStart == lines.size()) {
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
    lines.push_back(kSection);
    lines.insert(lines.end(), missing.begin(), missing.end());
  } else {
    // Before the blank lines that separate the section from the next one.
    size_t at = sectionEnd;
    while (at > sectionStart + 1 && Trim(lines[at - 1]).empty()) --at;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), missing.begin(), missing.end());
  }
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  if (!WriteAtomically(out)) return false;
  text_ = out;
  exists_ = true;
  return true;
}

// A save that was killed leaves its temp file behind; the next save removes
// the ones whose process is gone, so crashes do not pile files up.
static void RemoveDeadTempFiles(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp";
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    const long pid = std::strtol(digits.c_str(), nullptr, 10);
    if (pid <= 0 || pid == ::getpid()) continue;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) ::unlink((dir + "/" + name).c_str());
  }
  ::closedir(d);
}

bool FileSettingsStore::WriteAtomically(const std::string& text) {
  RemoveDeadTempFiles(path_);
  // Write beside the file, flush it to the disk, then rename over: a crash
  // or a full disk leaves either the old file or the new one, never a part.
  const std::string temp = path_ + ".tmp" + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  bool ok = true;
  while (ok && done < text.size()) {
    size_t chunk = text.size() - done;
    if (done + chunk > writeLimitForTesting) chunk = writeLimitForTesting > done ? writeLimitForTesting - done : 0;
    if (chunk == 0) {
      ok = false;
      break;
    }
    const ssize_t n = ::write(fd, text.data() + done, chunk);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      ok = false;
    } else {
      done += static_cast<size_t>(n);
    }
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok || std::rename(temp.c_str(), path_.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  const size_t slash = path_.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path_.substr(0, slash));
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

std::string DefaultSettingsPath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return std::string(xdg) + "/telkarim/settings.reg";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.config/telkarim/settings.reg";
}

}  // namespace tk
