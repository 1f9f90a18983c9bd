#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "core/scene_object.h"
#include "core/star_field.h"
#include "core/viewport.h"
#include "host/display.h"
#include "host/frame_pacer.h"

namespace tk {

class RenderHost;

// The render thread's procedure, cut into its steps so the headless renderer
// and the tests can run it frame by frame on simulated time. Everything here
// belongs to the render thread.
class RenderLoop {
 public:
  explicit RenderLoop(RenderHost& host) : host_(host) {}
  ~RenderLoop();

  // Thread start: the display's per-thread state, the star field, the first
  // pause, the screen width, the pacer.
  void Begin();
  // One frame: measure, manage the object, lock, draw, unlock, sleep.
  // Returns the milliseconds it slept.
  int32_t Frame();
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
  bool begun_ = false;
  Viewport viewport_;
  std::unique_ptr<StarField> stars_;
  std::unique_ptr<SceneObject> current_;
  uint32_t nextObjectTick_ = 0;
  int32_t screenWidth_ = 0;
  FramePacer pacer_;
  std::vector<Rect> visible_;
};

// The render thread's body.
void RunRenderThread(RenderHost& host);

}  // namespace tk
