#include "host/render_loop.h"

#include "core/clock.h"
#include "core/random.h"
#include "core/truncate.h"
#include "host/frame_buffer.h"
#include "host/object_scheduler.h"
#include "host/render_host.h"

namespace tk {

RenderLoop::RenderLoop(RenderHost& host) : RenderLoop(host, host.display(), host.scheduler()) {}

RenderLoop::RenderLoop(RenderHost& host, Display& display, SchedulerState& scheduler)
    : host_(host), display_(display), scheduler_(scheduler) {}

RenderLoop::~RenderLoop() { End(); }

void RenderLoop::MeasureViewport() {
  int32_t w = 0, h = 0;
  display_.ClientSize(w, h);
  viewport_ = MakeViewport(w, h);
}

void RenderLoop::PlanPause(uint32_t now) {
  // now + RandomFloat(6000) truncated: the same as adding the truncated pause
  // to a whole tick count, and it wraps with the tick count.
  nextObjectTick_ = now + static_cast<uint32_t>(TruncToInt(RandomFloat(6000.0f)));
}

void RenderLoop::Begin() {
  display_.AttachRenderThread();
  begun_ = true;
  MeasureViewport();
  stars_ = std::make_unique<StarField>(viewport_, host_.settings());
  PlanPause(TickCount());
  screenWidth_ = display_.ScreenWidth();
  pacer_.Reset(TickCount());
}

void RenderLoop::Step() {
  MeasureViewport();
  if (!current_) {
    if (TickReached(TickCount(), nextObjectTick_)) {
      current_ = CreateNextObject(scheduler_, host_.settings());
      if (current_) {
        if (onObjectCreated) onObjectCreated(observerContext, *current_);
        current_->Start(viewport_);
        current_->Update();
      }
    }
  } else if (current_->finished) {
    current_.reset();
    PlanPause(TickCount());
  } else {
    current_->Update();
  }

  {
    FrameBuffer fb(display_, visible_);
    if (fb.locked()) {
      stars_->Draw(fb, viewport_);
      if (current_) current_->Draw(fb, viewport_);
    }
  }
}

int32_t RenderLoop::Pace() {
  const bool small = viewport_.width < screenWidth_;
  int32_t ms = pacer_.NextSleep(TickCount(), host_.settings().fps, small);
  if (small && ms < 20) ms = 20;
  Ticks().Sleep(static_cast<uint32_t>(ms));
  return ms;
}

void RenderLoop::End() {
  if (!begun_) return;
  begun_ = false;
  display_.DetachRenderThread();
  current_.reset();
  stars_.reset();
}

void RenderLoop::Run() {
  Begin();
  while (!host_.StopRequested()) Frame();
  End();
}

MonitorScenes::MonitorScenes(RenderHost& host) : host_(host), first_(host) {
  others_.reserve(host.moreMonitors().size());
  for (RenderHost::Monitor& m : host.moreMonitors())
    others_.push_back(std::make_unique<RenderLoop>(host, *m.display, m.scheduler));
}

MonitorScenes::~MonitorScenes() { End(); }

void MonitorScenes::Begin() {
  first_.Begin();
  for (size_t i = 0; i < others_.size(); ++i) {
    ScopedRandom own(host_.moreMonitors()[i].random);
    others_[i]->Begin();
  }
}

int32_t MonitorScenes::Frame() {
  first_.Step();
  for (size_t i = 0; i < others_.size(); ++i) {
    ScopedRandom own(host_.moreMonitors()[i].random);
    others_[i]->Step();
  }
  return first_.Pace();
}

void MonitorScenes::End() {
  for (size_t i = 0; i < others_.size(); ++i) {
    ScopedRandom own(host_.moreMonitors()[i].random);
    others_[i]->End();
  }
  first_.End();
}

void RunRenderThread(RenderHost& host) {
  if (host.moreMonitors().empty()) {
    RenderLoop loop(host);
    loop.Run();
    return;
  }
  MonitorScenes scenes(host);
  scenes.Begin();
  while (!host.StopRequested()) scenes.Frame();
  scenes.End();
}

}  // namespace tk
