#include "host/render_loop.h"

#include "core/clock.h"
#include "core/random.h"
#include "core/truncate.h"
#include "host/frame_buffer.h"
#include "host/object_scheduler.h"
#include "host/render_host.h"

namespace tk {

namespace {

DisplaySlot& FirstSlot(RenderHost& host) { return *host.displays().Slots().front(); }

}  // namespace

RenderLoop::RenderLoop(RenderHost& host)
    : RenderLoop(host, *FirstSlot(host).display, FirstSlot(host).scheduler) {}

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

DisplayScenes::DisplayScenes(RenderHost& host) : host_(host) {}

DisplayScenes::~DisplayScenes() { End(); }

void DisplayScenes::Begin() {
  begun_ = true;
  TakeChanges();
}

void DisplayScenes::TakeChanges() {
  DisplayList::Changes changes = host_.displays().Sync();
  for (DisplaySlot* slot : changes.leaving) {
    std::erase_if(scenes_, [&](Scene& s) {
      if (s.slot != slot) return false;
      ScopedRandom own(slot->random);
      s.loop->End();
      return true;
    });
  }
  host_.displays().Released(changes.leaving);
  for (DisplaySlot* slot : changes.added) {
    scenes_.push_back(Scene{slot, std::make_unique<RenderLoop>(host_, *slot->display, slot->scheduler)});
    ScopedRandom own(slot->random);
    scenes_.back().loop->Begin();
  }
}

int32_t DisplayScenes::Frame() {
  TakeChanges();
  for (Scene& s : scenes_) {
    ScopedRandom own(s.slot->random);
    s.loop->Step();
  }
  if (!scenes_.empty()) return scenes_.front().loop->Pace();
  // No display at the moment (the last output went): look again shortly.
  constexpr uint32_t kIdleMs = 50;
  Ticks().Sleep(kIdleMs);
  return static_cast<int32_t>(kIdleMs);
}

void DisplayScenes::End() {
  if (!begun_) return;
  begun_ = false;
  std::vector<DisplaySlot*> ended;
  for (Scene& s : scenes_) {
    ScopedRandom own(s.slot->random);
    s.loop->End();
    ended.push_back(s.slot);
  }
  scenes_.clear();
  host_.displays().Released(ended);
}

void RunRenderThread(RenderHost& host) {
  DisplayScenes scenes(host);
  scenes.Begin();
  while (!host.StopRequested()) scenes.Frame();
  scenes.End();
}

}  // namespace tk
