#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/random.h"
#include "host/display.h"
#include "host/object_scheduler.h"

namespace tk {

// One display's share of the saver: the screen, and what the scene drawn on
// it keeps from frame to frame. The generator is the scene's own; the render
// thread swaps it into the process-wide slot while it works on that scene, so
// every display's picture is the same for the same seed whatever the others
// do. The render thread alone touches scheduler and random while the display
// is in the list.
struct DisplaySlot {
  Display* display = nullptr;
  SchedulerState scheduler;
  RandomSource random;
  // Hand-over flags, read and written under the list's lock only.
  bool drawn = false;    // the render thread has a scene on it
  bool leaving = false;  // the window thread asked for it back
};

// The displays the render host draws on, in order: index 0 is the first (the
// primary monitor's, or the only one). The window thread adds and removes
// displays at any time; the render thread takes the changes between two
// frames (Sync), so a scene is never cut off in the middle of one.
//
// The lock is a spin on one atomic flag, held for a few instructions: the
// Windows build's thread library has no mutex, and the only wait (Remove)
// sleeps between looks.
class DisplayList {
 public:
  DisplayList() = default;
  DisplayList(const DisplayList&) = delete;
  DisplayList& operator=(const DisplayList&) = delete;

  // Window thread: an open display joins the list with its scene's seed; the
  // render thread starts its scene before its next frame.
  void Add(Display& display, uint32_t seed);
  // Window thread: takes a display out of the list. On return the render
  // thread has ended its scene and no longer touches it, so the caller may
  // close it. Waits at most one frame while the render thread runs.
  void Remove(Display& display);
  // Window thread, while no render thread runs (before it starts, after it
  // was joined): every display in the list, in order.
  std::vector<DisplaySlot*> Slots();
  size_t size();

  // Render thread, between frames. What changed since the last call: the
  // slots to start a scene on (marked drawn) and the slots to end the scene
  // of; Released() must follow once those scenes have ended.
  struct Changes {
    std::vector<DisplaySlot*> added;
    std::vector<DisplaySlot*> leaving;
  };
  Changes Sync();
  // Render thread: the scenes of these slots have ended (their displays are
  // detached from the thread); the slots leave the list or, when still
  // wanted, wait for the next Sync to start again.
  void Released(const std::vector<DisplaySlot*>& slots);

 private:
  class Hold;
  std::atomic<bool> locked_{false};
  std::atomic<bool> changed_{false};  // a cheap look for the render thread every frame
  std::vector<std::unique_ptr<DisplaySlot>> slots_;
};

}  // namespace tk
