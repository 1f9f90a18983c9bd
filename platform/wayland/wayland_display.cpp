#include "platform/wayland/wayland_display.h"

#include <algorithm>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

#include <wayland-client.h>

namespace tk::wayland {

namespace {

constexpr int32_t kBytesPerPixel = 4;
// Two buffers are the steady state; a third is made only while the
// compositor still holds both. More means the compositor holds on to every
// one; the frame is then skipped rather than memory grown without end.
constexpr size_t kMostBuffers = 3;
// A buffer beyond two that has not been shown for this many commits is let
// go: the compositor has been releasing in time since, and at 3840x2160 it
// is 32 MiB kept for nothing.
constexpr uint64_t kSpareCommits = 250;
// Damage piled up while frames wait for the compositor (a hidden surface):
// past this many rectangles the next commit damages the whole buffer.
constexpr size_t kMostPendingRects = 8192;
// A buffer that fell behind by rectangles covering more than half its area,
// or by this many, is copied whole instead: one long copy is then cheaper.
constexpr size_t kMostStaleRects = 65536;

int64_t Area(const Rect& r) { return int64_t{r.right - r.left} * (r.bottom - r.top); }

uint64_t Pack(int32_t w, int32_t h, int32_t scale) {
  return (uint64_t{static_cast<uint32_t>(w) & 0xFFFFFFu} << 40) | (uint64_t{static_cast<uint32_t>(h) & 0xFFFFFFu} << 16) |
         (static_cast<uint32_t>(scale) & 0xFFFFu);
}

}  // namespace

struct WaylandDisplay::Buffer {
  WaylandDisplay* owner = nullptr;
  wl_buffer* buffer = nullptr;
  uint8_t* data = nullptr;
  size_t bytes = 0;
  int32_t width = 0, height = 0, stride = 0;
  bool busy = false;       // the compositor has it
  bool wholeStale = true;  // nothing in it can be trusted
  std::vector<Rect> stale;  // changed since it was last shown
  int64_t staleArea = 0;    // their pixels, overlaps counted twice
  uint64_t shownAt = 0;     // the commit that last showed it
};

WaylandDisplay::WaylandDisplay(wl_display* connection, wl_shm* shm, wl_surface* surface)
    : connection_(connection), shm_(shm), surface_(surface) {}

WaylandDisplay::~WaylandDisplay() { Close(); }

DisplayOpen WaylandDisplay::Open() {
  queue_ = wl_display_create_queue(connection_);
  if (!queue_) return DisplayOpen::kSurfaceFailed;
  shmWrapper_ = static_cast<wl_shm*>(wl_proxy_create_wrapper(shm_));
  surfaceWrapper_ = static_cast<wl_surface*>(wl_proxy_create_wrapper(surface_));
  if (!shmWrapper_ || !surfaceWrapper_) {
    Close();
    return DisplayOpen::kSurfaceFailed;
  }
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(shmWrapper_), queue_);
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(surfaceWrapper_), queue_);
  int32_t w = 0, h = 0;
  ClientSize(w, h);
  screenWidth_ = w;
  return DisplayOpen::kOk;
}

PixelFormatInfo WaylandDisplay::PixelFormat() {
  // WL_SHM_FORMAT_XRGB8888, which every compositor offers.
  PixelFormatInfo f;
  f.rgb = true;
  f.bitCount = 32;
  f.redMask = 0x00FF0000;
  f.greenMask = 0x0000FF00;
  f.blueMask = 0x000000FF;
  return f;
}

void WaylandDisplay::Close() {
  DropBuffers();
  if (frame_) wl_callback_destroy(frame_);
  frame_ = nullptr;
  if (shmWrapper_) wl_proxy_wrapper_destroy(shmWrapper_);
  if (surfaceWrapper_) wl_proxy_wrapper_destroy(surfaceWrapper_);
  shmWrapper_ = nullptr;
  surfaceWrapper_ = nullptr;
  if (queue_) wl_event_queue_destroy(queue_);
  queue_ = nullptr;
}

void WaylandDisplay::SetSize(int32_t width, int32_t height, int32_t scale) {
  size_.store(Pack(width, height, scale < 1 ? 1 : scale), std::memory_order_release);
}

void WaylandDisplay::ClientSize(int32_t& width, int32_t& height) {
  const uint64_t s = size_.load(std::memory_order_acquire);
  const int32_t scale = static_cast<int32_t>(s & 0xFFFF);
  width = static_cast<int32_t>((s >> 40) & 0xFFFFFF) * scale;
  height = static_cast<int32_t>((s >> 16) & 0xFFFFFF) * scale;
}

int32_t WaylandDisplay::ScreenWidth() { return screenWidth_; }

WaylandDisplay::Buffer* WaylandDisplay::MakeBuffer(int32_t width, int32_t height) {
  auto b = std::make_unique<Buffer>();
  b->owner = this;
  b->width = width;
  b->height = height;
  b->stride = width * kBytesPerPixel;
  b->bytes = static_cast<size_t>(b->stride) * static_cast<size_t>(height);
  const int fd = memfd_create("telkarim-buffer", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  if (ftruncate(fd, static_cast<off_t>(b->bytes)) != 0) {
    close(fd);
    return nullptr;
  }
  void* p = mmap(nullptr, b->bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) {
    close(fd);
    return nullptr;
  }
  b->data = static_cast<uint8_t*>(p);  // a new file reads as zeros: black
  wl_shm_pool* pool = wl_shm_create_pool(shmWrapper_, fd, static_cast<int32_t>(b->bytes));
  b->buffer = wl_shm_pool_create_buffer(pool, 0, width, height, b->stride, WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  static const wl_buffer_listener listener = {&WaylandDisplay::OnRelease};
  wl_buffer_add_listener(b->buffer, &listener, b.get());
  buffers_.push_back(std::move(b));
  return buffers_.back().get();
}

void WaylandDisplay::DropBuffers() {
  for (auto& b : buffers_) {
    if (b->buffer) wl_buffer_destroy(b->buffer);
    if (b->data) munmap(b->data, b->bytes);
  }
  buffers_.clear();
  front_ = drawing_ = nullptr;
  pending_.clear();
  wholePending_ = false;
}

void WaylandDisplay::DropSpare() {
  if (buffers_.size() <= 2) return;
  const uint64_t now = commits_.load(std::memory_order_relaxed);
  for (auto it = buffers_.begin(); it != buffers_.end(); ++it) {
    Buffer& b = **it;
    if (b.busy || &b == front_ || &b == drawing_ || now - b.shownAt < kSpareCommits) continue;
    wl_buffer_destroy(b.buffer);
    munmap(b.data, b.bytes);
    buffers_.erase(it);
    return;
  }
}

void WaylandDisplay::OnRelease(void* data, wl_buffer*) { static_cast<Buffer*>(data)->busy = false; }

void WaylandDisplay::OnFrameDone(void* data, wl_callback* callback, uint32_t) {
  auto* self = static_cast<WaylandDisplay*>(data);
  wl_callback_destroy(callback);
  if (self->frame_ == callback) self->frame_ = nullptr;
}

// Makes b what front_ shows: only the rectangles changed since b was shown.
void WaylandDisplay::BringUpToDate(Buffer& b) {
  if (!front_ || &b == front_) {
    b.stale.clear();
    b.staleArea = 0;
    b.wholeStale = false;
    return;
  }
  if (b.wholeStale) {
    std::memcpy(b.data, front_->data, b.bytes);
  } else {
    for (const Rect& r : b.stale) {
      const int32_t l = std::max(r.left, 0), t = std::max(r.top, 0);
      const int32_t rr = std::min(r.right, b.width), bb = std::min(r.bottom, b.height);
      if (l >= rr) continue;
      const size_t offset = static_cast<size_t>(l) * kBytesPerPixel;
      const size_t count = static_cast<size_t>(rr - l) * kBytesPerPixel;
      for (int32_t y = t; y < bb; ++y)
        std::memcpy(b.data + static_cast<size_t>(y) * b.stride + offset,
                    front_->data + static_cast<size_t>(y) * front_->stride + offset, count);
    }
  }
  b.stale.clear();
  b.staleArea = 0;
  b.wholeStale = false;
}

bool WaylandDisplay::Lock(PixelView& view, std::vector<Rect>& visible) {
  if (!queue_) return false;
  wl_display_dispatch_queue_pending(connection_, queue_);
  const uint64_t s = size_.load(std::memory_order_acquire);
  const int32_t scale = static_cast<int32_t>(s & 0xFFFF);
  const int32_t w = static_cast<int32_t>((s >> 40) & 0xFFFFFF) * scale;
  const int32_t h = static_cast<int32_t>((s >> 16) & 0xFFFFFF) * scale;
  if (w <= 0 || h <= 0) return false;
  if (w != width_ || h != height_) {
    // A new size starts from black buffers; the scene lays itself out again
    // from the same ClientSize.
    DropBuffers();
    width_ = w;
    height_ = h;
    wholePending_ = true;
  }
  scale_ = scale;
  if (!drawing_) {
    // Of the free buffers, the one that is cheapest to bring up to date.
    for (auto& b : buffers_) {
      if (b->busy || b.get() == front_) continue;
      if (!drawing_ || (drawing_->wholeStale && !b->wholeStale) ||
          (drawing_->wholeStale == b->wholeStale && b->staleArea < drawing_->staleArea))
        drawing_ = b.get();
    }
    if (!drawing_ && buffers_.size() < kMostBuffers) drawing_ = MakeBuffer(w, h);
    if (!drawing_) return false;
    BringUpToDate(*drawing_);
    DropSpare();
  }
  view.bits = drawing_->data;
  view.pitch = drawing_->stride;
  view.format = PixelFormat();
  visible.push_back(Rect{0, 0, w, h});
  damage_.Clear();
  return true;
}

void WaylandDisplay::Unlock() {
  if (!drawing_) return;
  const std::vector<Rect>& rects = damage_.Rects();
  if (!wholePending_) pending_.insert(pending_.end(), rects.begin(), rects.end());
  damage_.Clear();
  // Hidden for long: the whole buffer goes at the next commit instead of a
  // list that grows with every frame.
  if (pending_.size() > kMostPendingRects) {
    pending_.clear();
    wholePending_ = true;
  }
  // The last commit not shown yet: keep drawing into this buffer and send it
  // all once the compositor is ready for more. Nothing new: nothing to send.
  if (frame_ || (pending_.empty() && !wholePending_)) return;
  Commit();
}

void WaylandDisplay::Commit() {
  Buffer& b = *drawing_;
  if (wholePending_) {
    merged_.assign(1, Rect{0, 0, b.width, b.height});
  } else {
    merger_.Merge(pending_, b.width, b.height, kMaxDamageRects, merged_);
  }
  wl_surface_attach(surfaceWrapper_, b.buffer, 0, 0);
  if (scale_ != committedScale_) {
    wl_surface_set_buffer_scale(surfaceWrapper_, scale_);
    committedScale_ = scale_;
  }
  for (const Rect& r : merged_) wl_surface_damage_buffer(surfaceWrapper_, r.left, r.top, r.Width(), r.Height());
  frame_ = wl_surface_frame(surfaceWrapper_);
  static const wl_callback_listener listener = {&WaylandDisplay::OnFrameDone};
  wl_callback_add_listener(frame_, &listener, this);
  wl_surface_commit(surfaceWrapper_);
  wl_display_flush(connection_);
  commits_.fetch_add(1, std::memory_order_relaxed);
  b.busy = true;
  b.shownAt = commits_.load(std::memory_order_relaxed);
  // Every other buffer now lags by what this one added.
  int64_t area = 0;
  if (!wholePending_)
    for (const Rect& r : pending_) area += Area(r);
  const int64_t half = int64_t{b.width} * b.height / 2;
  for (auto& other : buffers_) {
    if (other.get() == &b || other->wholeStale) continue;
    if (wholePending_ || other->staleArea + area > half || other->stale.size() + pending_.size() > kMostStaleRects) {
      other->wholeStale = true;
      other->stale.clear();
      other->staleArea = 0;
    } else {
      other->stale.insert(other->stale.end(), pending_.begin(), pending_.end());
      other->staleArea += area;
    }
  }
  front_ = &b;
  drawing_ = nullptr;
  pending_.clear();
  wholePending_ = false;
}

}  // namespace tk::wayland
