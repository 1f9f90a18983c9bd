#pragma once
// What the program-level tests share: children started and waited for with a
// bound, and an Xvfb of the test's own on a display number the server picks
// itself (-displayfd), so tests running side by side never collide. Every
// wait polls up to a limit; a busy machine only makes a passing test slower.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tk::test {

// A private folder under /tmp for a test process's settings, removed with
// the object (a static one at exit), so test runs leave nothing behind.
class ScratchDir {
 public:
  explicit ScratchDir(const char* prefix) {
    std::string tmpl = std::string("/tmp/") + prefix + "-XXXXXX";
    if (const char* d = mkdtemp(tmpl.data())) path_ = d;
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  // Empty when the folder could not be made.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// True when `tool` is an executable in one of the usual program folders.
inline bool HaveTool(const char* tool) {
  for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/bin/"})
    if (access((std::string(dir) + tool).c_str(), X_OK) == 0) return true;
  return false;
}

// A child process with our environment plus `extraEnv` ("NAME=value");
// `quiet` sends its standard output to /dev/null.
inline pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {},
                   bool quiet = false) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  for (const std::string& kv : extraEnv) {
    const size_t eq = kv.find('=');
    setenv(kv.substr(0, eq).c_str(), kv.substr(eq + 1).c_str(), 1);
  }
  if (quiet) {
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

// The exit status within `ms` (128 + the signal when killed), or -1 while
// the process still runs.
inline int WaitExit(pid_t pid, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (true) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (std::chrono::steady_clock::now() >= end) return -1;
    SleepMs(5);
  }
}

// Kills a child that is still running and collects it.
inline void Reap(pid_t pid) {
  if (pid <= 0 || WaitExit(pid, 0) != -1) return;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// Asks a child to end (SIGTERM), and kills it when it has not within 2 s.
inline void Stop(pid_t pid) {
  if (pid <= 0 || WaitExit(pid, 0) != -1) return;
  kill(pid, SIGTERM);
  if (WaitExit(pid, 2000) == -1) Reap(pid);
}

// An Xvfb of the test's own. Start gives it one "-screen N WxHxD" per entry
// of `screens` plus `options`, and waits up to 20 s for the display number.
class Xvfb {
 public:
  Xvfb() = default;
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;
  ~Xvfb() { Stop(pid_); }

  bool Start(const std::vector<std::string>& screens, const std::vector<std::string>& options) {
    if (!HaveTool("Xvfb")) return false;
    std::vector<std::string> argv = {"Xvfb"};
    for (size_t i = 0; i < screens.size(); ++i) argv.insert(argv.end(), {"-screen", std::to_string(i), screens[i]});
    argv.insert(argv.end(), options.begin(), options.end());
    return Launch(argv, "");
  }
  // A resizable Xephyr of one screen of `size`, shown on X server `outer`:
  // a server whose screen xrandr can grow and shrink.
  bool StartNested(const std::string& outer, const std::string& size) {
    if (!HaveTool("Xephyr")) return false;
    return Launch({"Xephyr", "-screen", size, "-resizeable", "-br", "-nolisten", "tcp", "-noreset"}, outer);
  }

  // ":N", empty until Start succeeded.
  const std::string& name() const { return name_; }

 private:
  bool Launch(std::vector<std::string> argv, const std::string& outer) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      argv.insert(argv.begin() + 1, {"-displayfd", std::to_string(fds[1])});
      if (!outer.empty()) setenv("DISPLAY", outer.c_str(), 1);
      const int devnull = open("/dev/null", O_WRONLY);
      dup2(devnull, 2);
      std::vector<char*> args;
      for (std::string& a : argv) args.push_back(a.data());
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end && poll(&p, 1, 100) >= 0) {
      if (!(p.revents & (POLLIN | POLLHUP))) continue;
      char c;
      if (read(fds[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    close(fds[0]);
    if (number.empty()) return false;
    name_ = ":" + number;
    return true;
  }

  pid_t pid_ = -1;
  std::string name_;
};

}  // namespace tk::test
