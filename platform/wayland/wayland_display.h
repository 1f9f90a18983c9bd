#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/damage_list.h"
#include "host/damage_merge.h"
#include "host/display.h"

struct wl_buffer;
struct wl_callback;
struct wl_display;
struct wl_event_queue;
struct wl_shm;
struct wl_surface;

namespace tk::wayland {

// The screen of one output (or one window) on a Wayland compositor, for the
// render host: the surface's pixels are wl_shm buffers of 32-bit XRGB in real
// pixels, so a scaled output is filled exactly and the point size comes from
// the real width.
//
// The window thread owns the connection and reads every event; what the
// render thread needs to hear (a buffer released, a frame shown) goes to an
// event queue of this display's own, which the render thread empties at each
// Lock, so no flag crosses threads. Requests go out from whichever thread
// makes them; libwayland serialises them.
//
// There are two buffers, and a third while the compositor holds both; a
// third left unused for a while is let go. A buffer drawn into again first
// gets from the one last shown only the rectangles changed since it was
// itself last shown (or all of it, where those cover more than half). Each commit damages the frame's squares merged into at most
// kMaxDamageRects rectangles: a compositor pays per rectangle far more than
// per pixel. The saver's own pacer times the frames; while the last commit
// has not been shown (a hidden surface is never shown), frames keep drawing
// into the same buffer and nothing is committed, so the picture is complete
// whenever the surface shows again.
class WaylandDisplay final : public Display {
 public:
  static constexpr size_t kMaxDamageRects = 32;

  WaylandDisplay(wl_display* connection, wl_shm* shm, wl_surface* surface);
  ~WaylandDisplay() override;

  DisplayOpen Open() override;
  PixelFormatInfo PixelFormat() override;
  void Close() override;
  void ClientSize(int32_t& width, int32_t& height) override;
  int32_t ScreenWidth() override;
  bool Lock(PixelView& view, std::vector<Rect>& visible) override;
  void Unlock() override;
  DamageList* Damage() override { return &damage_; }

  // Window thread: the surface's size in surface units, as the compositor
  // configured it, and the buffer scale (the output's integer scale). The
  // render thread picks it up at its next ClientSize and lays out again.
  void SetSize(int32_t width, int32_t height, int32_t scale);

  // For the measurements and the tests: frames committed and damage
  // rectangles sent.
  uint64_t commits() const { return commits_.load(std::memory_order_relaxed); }

 private:
  struct Buffer;
  Buffer* MakeBuffer(int32_t width, int32_t height);
  void DropBuffers();
  void DropSpare();
  void BringUpToDate(Buffer& b);
  void Commit();
  static void OnRelease(void* data, wl_buffer* buffer);
  static void OnFrameDone(void* data, wl_callback* callback, uint32_t time);

  wl_display* connection_;
  wl_shm* shm_;
  wl_surface* surface_;
  // The render thread's queue and the proxies that send on it.
  wl_event_queue* queue_ = nullptr;
  wl_shm* shmWrapper_ = nullptr;
  wl_surface* surfaceWrapper_ = nullptr;

  std::atomic<uint64_t> size_{0};  // width, height (16 bits each) and scale, packed
  int32_t width_ = 0, height_ = 0, scale_ = 1;  // real pixels, render thread
  int32_t committedScale_ = 0;
  int32_t screenWidth_ = 0;

  std::vector<std::unique_ptr<Buffer>> buffers_;
  Buffer* front_ = nullptr;    // last committed
  Buffer* drawing_ = nullptr;  // locked, or drawn but not committed yet
  wl_callback* frame_ = nullptr;  // the last commit's, until it is shown
  std::vector<Rect> pending_;  // what drawing_ holds that front_ does not
  bool wholePending_ = false;
  DamageList damage_;
  DamageMerger merger_;
  std::vector<Rect> merged_;
  std::atomic<uint64_t> commits_{0};
};

}  // namespace tk::wayland
