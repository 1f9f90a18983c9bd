#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "core/scene_object.h"
#include "core/star_field.h"
#include "core/viewport.h"
#include "host/display.h"
#include "host/display_list.h"
#include "host/frame_pacer.h"
#include "host/object_scheduler.h"

namespace tk {

class RenderHost;

// The render thread's procedure, cut into its steps so the headless renderer
// and the tests can run it frame by frame on simulated time. Everything here
// belongs to the render thread.
class RenderLoop {
 public:
  // The scene of the host's first display, drawing from the process-wide
  // generator as it stands: a single display run frame by frame.
  explicit RenderLoop(RenderHost& host);
  // The scene of one display, with its scheduler memory. The caller swaps
  // the display's generator in around every call.
  RenderLoop(RenderHost& host, Display& display, SchedulerState& scheduler);
  ~RenderLoop();

  // Thread start: the display's per-thread state, the star field, the first
  // pause, the screen width, the pacer.
  void Begin();
  // One frame: measure, manage the object, lock, draw, unlock, sleep.
  // Returns the milliseconds it slept.
  int32_t Frame() {
    Step();
    return Pace();
  }
  // The frame without its sleep: measure, manage the object, lock, draw,
  // unlock. Several displays' scenes each take a step, then the first one
  // paces the whole frame.
  void Step();
  // The sleep the pacer computes for this frame; returns its milliseconds.
  int32_t Pace();
  // Thread end: releases what Begin made and the current object.
  void End();

  // Begin, frames until the host asks to stop, End.
  void Run();

  // For the headless renderer and the tests.
  const Viewport& viewport() const { return viewport_; }
  SceneObject* current() const { return current_.get(); }
  StarField* stars() const { return stars_.get(); }
  uint32_t nextObjectTick() const { return nextObjectTick_; }
  const FramePacer& pacer() const { return pacer_; }
  // Called after each object is created (before Start), so observers can see
  // the sequence of objects.
  void (*onObjectCreated)(void* context, SceneObject& object) = nullptr;
  void* observerContext = nullptr;

 private:
  void MeasureViewport();
  void PlanPause(uint32_t now);

  RenderHost& host_;
  Display& display_;
  SchedulerState& scheduler_;
  bool begun_ = false;
  Viewport viewport_;
  std::unique_ptr<StarField> stars_;
  std::unique_ptr<SceneObject> current_;
  uint32_t nextObjectTick_ = 0;
  int32_t screenWidth_ = 0;
  FramePacer pacer_;
  std::vector<Rect> visible_;
};

// Every display's scene, driven by the one render thread: each frame every
// scene takes its step in turn with its own generator swapped in, then the
// first display's pacer sleeps for the whole frame. Displays added to or
// taken out of the host's list start or end their scene before the frame
// that follows. With one display this draws exactly what the single
// RenderLoop draws, its generator being seeded as the process-wide one.
class DisplayScenes {
 public:
  explicit DisplayScenes(RenderHost& host);
  ~DisplayScenes();
  void Begin();
  int32_t Frame();
  void End();

  size_t size() const { return scenes_.size(); }
  RenderLoop& scene(size_t i) { return *scenes_[i].loop; }

 private:
  void TakeChanges();

  struct Scene {
    DisplaySlot* slot;
    std::unique_ptr<RenderLoop> loop;
  };
  RenderHost& host_;
  bool begun_ = false;
  std::vector<Scene> scenes_;
};

// The render thread's body: Begin, frames until the host asks to stop, End.
void RunRenderThread(RenderHost& host);

}  // namespace tk
