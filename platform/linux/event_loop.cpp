#include "platform/linux/event_loop.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <map>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tk {
namespace {

using Clock = std::chrono::steady_clock;

// The write end of the self-pipe of the loop that took the signals. A handler
// can do no more than write(), so it finds the pipe here; one loop in the
// process hears signals at a time, the one that asked last.
std::atomic<int> signalPipe{-1};

// Byte 0 on the pipe means "look at the posted queue or the stop flag";
// any other byte is the number of a signal that arrived.
constexpr unsigned char kWake = 0;

void OnAnySignal(int signo) {
  const int saved = errno;
  const unsigned char b = static_cast<unsigned char>(signo);
  const int fd = signalPipe.load(std::memory_order_relaxed);
  // A full pipe already holds enough bytes to wake the loop.
  if (fd >= 0) {
    [[maybe_unused]] ssize_t n = write(fd, &b, 1);
  }
  errno = saved;
}

}  // namespace

struct EventLoop::State {
  int pipe[2] = {-1, -1};
  Id nextId = 1;
  struct FdWatch {
    Id id;
    int fd;
    Callback fn;
  };
  struct Timer {
    Id id;
    Clock::duration period;
    Clock::time_point due;
    Callback fn;
  };
  std::vector<FdWatch> fds;
  std::vector<Timer> timers;
  std::vector<Id> removed;  // during a pass: not to be called again
  std::vector<pollfd> polled;
  std::vector<Id> polledIds;
  std::map<int, Callback> signals;
  std::map<int, struct sigaction> earlier;  // the handlers to give back
  std::vector<Callback> prepare;
  std::atomic<bool> stop{false};

  std::mutex postedMutex;
  std::vector<Callback> posted;

  void Wake() {
    const unsigned char b = kWake;
    [[maybe_unused]] ssize_t n = write(pipe[1], &b, 1);
  }

  bool Gone(Id id) const { return std::find(removed.begin(), removed.end(), id) != removed.end(); }

  // Empties the self-pipe and runs what it announced.
  void DrainPipe() {
    unsigned char buf[64];
    ssize_t n;
    bool seen[256] = {};
    while ((n = read(pipe[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
      for (ssize_t i = 0; i < n; ++i) seen[buf[i]] = true;
    for (int s = 1; s < 256 && !stop; ++s) {
      if (!seen[s]) continue;
      const auto it = signals.find(s);
      if (it != signals.end()) it->second();
    }
    std::vector<Callback> run;
    {
      std::lock_guard<std::mutex> lock(postedMutex);
      run.swap(posted);
    }
    for (Callback& fn : run) fn();
  }

  // Waits for the self-pipe, a descriptor or the next timer, and runs what
  // the pipe announced and the descriptors that turned readable; false when
  // poll() cannot wait at all.
  bool Wait() {
    polled.assign(1, pollfd{pipe[0], POLLIN, 0});
    polledIds.assign(1, 0);
    for (const FdWatch& w : fds) {
      polled.push_back(pollfd{w.fd, POLLIN, 0});
      polledIds.push_back(w.id);
    }
    const int n = poll(polled.data(), polled.size(), TimeoutMs(Clock::now()));
    if (n < 0) return errno == EINTR;
    removed.clear();
    if (n == 0) return true;
    if (polled[0].revents) DrainPipe();
    for (size_t i = 1; i < polled.size() && !stop; ++i) {
      if (!polled[i].revents || Gone(polledIds[i])) continue;
      for (FdWatch& w : fds)
        if (w.id == polledIds[i]) {
          Callback fn = w.fn;  // the callback may remove its own watch
          fn();
          break;
        }
    }
    return true;
  }

  void DispatchTimers() {
    const Clock::time_point now = Clock::now();
    std::vector<Id> due;
    for (const Timer& t : timers)
      if (t.due <= now) due.push_back(t.id);
    for (Id id : due) {
      if (stop || Gone(id)) continue;
      for (Timer& t : timers)
        if (t.id == id) {
          t.due = now + t.period;
          Callback fn = t.fn;
          fn();
          break;
        }
    }
  }

  int TimeoutMs(Clock::time_point now) const {
    if (timers.empty()) return -1;
    Clock::time_point first = timers.front().due;
    for (const Timer& t : timers) first = std::min(first, t.due);
    if (first <= now) return 0;
    // Rounded up, so that the wait never ends just before the tick is due.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(first - now).count();
    return static_cast<int>(std::min<long long>(ms, 60000));
  }
};

EventLoop::EventLoop() : state_(std::make_unique<State>()) {
  if (::pipe(state_->pipe) != 0) {
    state_->pipe[0] = state_->pipe[1] = -1;
    return;
  }
  for (int fd : state_->pipe) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
}

EventLoop::~EventLoop() {
  for (auto& [signo, action] : state_->earlier) sigaction(signo, &action, nullptr);
  int expected = state_->pipe[1];
  signalPipe.compare_exchange_strong(expected, -1);
  for (int fd : state_->pipe)
    if (fd >= 0) close(fd);
}

EventLoop::Id EventLoop::AddFd(int fd, Callback onReadable) {
  const Id id = state_->nextId++;
  state_->fds.push_back(State::FdWatch{id, fd, std::move(onReadable)});
  return id;
}

EventLoop::Id EventLoop::AddTimer(uint32_t periodMs, Callback onTick) {
  const Id id = state_->nextId++;
  const Clock::duration period = std::chrono::milliseconds(periodMs);
  state_->timers.push_back(State::Timer{id, period, Clock::now() + period, std::move(onTick)});
  return id;
}

void EventLoop::OnSignal(int signo, Callback onSignal) {
  if (signo <= 0 || signo >= 256 || state_->pipe[1] < 0) return;
  signalPipe.store(state_->pipe[1]);
  if (!state_->earlier.count(signo)) {
    struct sigaction sa{}, old{};
    sa.sa_handler = OnAnySignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    if (sigaction(signo, &sa, &old) != 0) return;
    state_->earlier[signo] = old;
  }
  state_->signals[signo] = std::move(onSignal);
}

void EventLoop::BeforeWait(Callback prepare) { state_->prepare.push_back(std::move(prepare)); }

void EventLoop::Remove(Id id) {
  State& s = *state_;
  s.removed.push_back(id);
  std::erase_if(s.fds, [id](const State::FdWatch& w) { return w.id == id; });
  std::erase_if(s.timers, [id](const State::Timer& t) { return t.id == id; });
}

void EventLoop::Post(Callback fn) {
  {
    std::lock_guard<std::mutex> lock(state_->postedMutex);
    state_->posted.push_back(std::move(fn));
  }
  state_->Wake();
}

void EventLoop::Stop() {
  state_->stop = true;
  state_->Wake();
}

void EventLoop::Run() {
  State& s = *state_;
  while (!s.stop) {
    for (size_t i = 0; i < s.prepare.size() && !s.stop; ++i) s.prepare[i]();
    if (s.stop || !s.Wait()) break;
    s.DispatchTimers();
  }
  s.stop = false;
}

}  // namespace tk
