#include "host/display_list.h"

#include <algorithm>

#include "core/clock.h"

namespace tk {

class DisplayList::Hold {
 public:
  explicit Hold(DisplayList& list) : flag_(list.locked_) {
    while (flag_.exchange(true, std::memory_order_acquire)) {
    }
  }
  ~Hold() { flag_.store(false, std::memory_order_release); }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  std::atomic<bool>& flag_;
};

void DisplayList::Add(Display& display, uint32_t seed) {
  auto slot = std::make_unique<DisplaySlot>();
  slot->display = &display;
  slot->random = RandomSource(seed);
  Hold hold(*this);
  slots_.push_back(std::move(slot));
  changed_.store(true, std::memory_order_release);
}

void DisplayList::Remove(Display& display) {
  for (;;) {
    {
      Hold hold(*this);
      const auto it = std::find_if(slots_.begin(), slots_.end(),
                                   [&](const std::unique_ptr<DisplaySlot>& s) { return s->display == &display; });
      if (it == slots_.end()) return;
      if (!(*it)->drawn) {
        slots_.erase(it);
        return;
      }
      (*it)->leaving = true;
      changed_.store(true, std::memory_order_release);
    }
    // The render thread lets go at its next frame at the latest.
    Ticks().Sleep(1);
  }
}

std::vector<DisplaySlot*> DisplayList::Slots() {
  Hold hold(*this);
  std::vector<DisplaySlot*> all;
  for (auto& s : slots_) all.push_back(s.get());
  return all;
}

size_t DisplayList::size() {
  Hold hold(*this);
  return slots_.size();
}

DisplayList::Changes DisplayList::Sync() {
  Changes changes;
  if (!changed_.load(std::memory_order_acquire)) return changes;
  Hold hold(*this);
  changed_.store(false, std::memory_order_relaxed);
  for (auto& s : slots_) {
    if (s->drawn && s->leaving) changes.leaving.push_back(s.get());
    if (!s->drawn && !s->leaving) {
      s->drawn = true;
      changes.added.push_back(s.get());
    }
  }
  return changes;
}

void DisplayList::Released(const std::vector<DisplaySlot*>& slots) {
  if (slots.empty()) return;
  Hold hold(*this);
  for (DisplaySlot* s : slots) s->drawn = false;
  // A slot asked back goes now; one released because the thread ends stays
  // for the host to close. A slot asked back after this Sync is still drawn
  // and stays until its own release.
  std::erase_if(slots_, [](const std::unique_ptr<DisplaySlot>& s) { return s->leaving && !s->drawn; });
}

}  // namespace tk
