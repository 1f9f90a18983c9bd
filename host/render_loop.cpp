#include "host/render_loop.h"

#include "core/clock.h"
#include "core/random.h"
#include "core/truncate.h"
#include "host/frame_buffer.h"
#include "host/object_scheduler.h"
#include "host/render_host.h"

namespace tk {

RenderLoop::~RenderLoop() { End(); }

void RenderLoop::MeasureViewport() {
  int32_t w = 0, h = 0;
  host_.display().ClientSize(w, h);
  viewport_ = MakeViewport(w, h);
}

void RenderLoop::PlanPause(uint32_t now) {
  // now + RandomFloat(6000) truncated: the same as adding the truncated pause
  // to a whole tick count, and it wraps with the tick count.
  nextObjectTick_ = now + static_cast<uint32_t>(TruncToInt(RandomFloat(6000.0f)));
}

void RenderLoop::Begin() {
  host_.display().AttachRenderThread();
  begun_ = true;
  MeasureViewport();
  stars_ = std::make_unique<StarField>(viewport_, host_.settings());
  PlanPause(TickCount());
  screenWidth_ = host_.display().ScreenWidth();
  pacer_.Reset(TickCount());
}

int32_t RenderLoop::Frame() {
  MeasureViewport();
  if (!current_) {
    if (TickReached(TickCount(), nextObjectTick_)) {
      current_ = CreateNextObject(host_.scheduler(), host_.settings());
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
    FrameBuffer fb(host_.display(), visible_);
    if (fb.locked()) {
      stars_->Draw(fb, viewport_);
      if (current_) current_->Draw(fb, viewport_);
    }
  }

  const bool small = viewport_.width < screenWidth_;
  int32_t ms = pacer_.NextSleep(TickCount(), host_.settings().fps, small);
  if (small && ms < 20) ms = 20;
  Ticks().Sleep(static_cast<uint32_t>(ms));
  return ms;
}

void RenderLoop::End() {
  if (!begun_) return;
  begun_ = false;
  host_.display().DetachRenderThread();
  current_.reset();
  stars_.reset();
}

void RenderLoop::Run() {
  Begin();
  while (!host_.StopRequested()) Frame();
  End();
}

void RunRenderThread(RenderHost& host) {
  RenderLoop loop(host);
  loop.Run();
}

}  // namespace tk
