// The Wayland floor for bench/wayland_cpu.sh: the squares the saver draws (a
// star field flying towards the viewer and a turning ball of points at the
// centre, each point a square of the width / 320 rule, as bench_x11_floor
// draws them) written straight into wl_shm buffers of 32-bit XRGB on one
// overlay layer-shell surface covering the first output, at a fixed frame
// rate. It is the least a client can do for that picture: each buffer erases
// only the squares it itself last held and draws the new ones, and each
// commit damages the squares that differ from the frame shown before,
// merged into at most 32 rectangles by the saver's own merger. A frame whose
// predecessor the compositor has not shown yet is skipped, as is one with no
// free buffer (a third buffer is made only while the compositor holds both).
//
//   bench_wayland_floor [-stars N] [-points N] [-fps N]
//
// Ends on SIGTERM or SIGINT and prints "frames F squares S" to stderr.
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <wayland-client.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "bench/floor_squares.h"
#include "host/damage_merge.h"
// The layer shell names an argument "namespace", a C++ keyword.
#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

namespace {

volatile std::sig_atomic_t stop = 0;
void OnSignal(int) { stop = 1; }

struct Buffer {
  wl_buffer* buffer = nullptr;
  uint32_t* pixels = nullptr;
  bool busy = false;
  std::vector<tk::Rect> held;  // the squares drawn into it last
};

struct Client {
  wl_compositor* compositor = nullptr;
  wl_shm* shm = nullptr;
  zwlr_layer_shell_v1* layers = nullptr;
  wl_output* output = nullptr;
  int32_t width = 0, height = 0;
  bool configured = false;
  bool framePending = false;
};

void Global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
  auto* c = static_cast<Client*>(data);
  const std::string i = interface;
  if (i == wl_compositor_interface.name)
    c->compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
  else if (i == wl_shm_interface.name)
    c->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
  else if (i == zwlr_layer_shell_v1_interface.name)
    c->layers = static_cast<zwlr_layer_shell_v1*>(wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, 1));
  else if (i == wl_output_interface.name && !c->output)
    c->output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 2));
}
void GlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistry = {Global, GlobalRemove};

void Configure(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t w, uint32_t h) {
  auto* c = static_cast<Client*>(data);
  zwlr_layer_surface_v1_ack_configure(layer, serial);
  c->width = static_cast<int32_t>(w);
  c->height = static_cast<int32_t>(h);
  c->configured = true;
}
void Closed(void*, zwlr_layer_surface_v1*) { stop = 1; }
const zwlr_layer_surface_v1_listener kLayer = {Configure, Closed};

void Release(void* data, wl_buffer*) { static_cast<Buffer*>(data)->busy = false; }
const wl_buffer_listener kBuffer = {Release};

void FrameDone(void* data, wl_callback* cb, uint32_t) {
  static_cast<Client*>(data)->framePending = false;
  wl_callback_destroy(cb);
}
const wl_callback_listener kFrame = {FrameDone};

int Fail(const char* what) {
  std::fprintf(stderr, "bench_wayland_floor: %s\n", what);
  return 2;
}

std::unique_ptr<Buffer> MakeBuffer(wl_shm* shm, int32_t w, int32_t h) {
  const size_t bytes = static_cast<size_t>(w) * static_cast<size_t>(h) * 4;
  const int fd = memfd_create("floor-buffer", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, static_cast<off_t>(bytes)) != 0) return nullptr;
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) return nullptr;
  auto b = std::make_unique<Buffer>();
  b->pixels = static_cast<uint32_t*>(p);  // zeros: black
  wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(bytes));
  b->buffer = wl_shm_pool_create_buffer(pool, 0, w, h, w * 4, WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  wl_buffer_add_listener(b->buffer, &kBuffer, b.get());
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  int stars = 500, points = 300, fps = 50;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "-stars" && more) stars = std::atoi(argv[++i]);
    else if (a == "-points" && more) points = std::atoi(argv[++i]);
    else if (a == "-fps" && more) fps = std::atoi(argv[++i]);
    else return Fail("usage: [-stars N] [-points N] [-fps N]");
  }
  if (fps < 1 || stars < 0 || points < 0) return Fail("bad number");
  wl_display* dpy = wl_display_connect(nullptr);
  if (!dpy) return Fail("cannot connect to the compositor");
  Client c;
  wl_registry* registry = wl_display_get_registry(dpy);
  wl_registry_add_listener(registry, &kRegistry, &c);
  wl_display_roundtrip(dpy);
  if (!c.compositor || !c.shm || !c.layers || !c.output) return Fail("no compositor, shm, layer shell or output");
  wl_surface* surface = wl_compositor_create_surface(c.compositor);
  zwlr_layer_surface_v1* layer = zwlr_layer_shell_v1_get_layer_surface(c.layers, surface, c.output,
                                                                      ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "floor");
  zwlr_layer_surface_v1_set_anchor(layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                              ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_exclusive_zone(layer, -1);
  zwlr_layer_surface_v1_add_listener(layer, &kLayer, &c);
  wl_surface_commit(surface);
  while (!c.configured && wl_display_dispatch(dpy) >= 0) {
  }
  if (!c.configured || c.width <= 0 || c.height <= 0) return Fail("no configure");
  const int width = c.width, height = c.height;
  tk::bench::FloorSquares scene(width, height, stars, points);

  std::vector<std::unique_ptr<Buffer>> buffers;
  Buffer* front = nullptr;
  std::vector<tk::Rect> now, damage, merged;
  tk::DamageMerger merger;

  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);
  tk::bench::FrameClock pace(fps);
  uint64_t frames = 0, squares = 0;
  const int fd = wl_display_get_fd(dpy);
  auto fill = [&](Buffer& b, const tk::Rect& r, uint32_t pixel) {
    for (int32_t y = r.top; y < r.bottom; ++y) std::fill_n(b.pixels + size_t(y) * width + r.left, r.Width(), pixel);
  };
  while (!stop) {
    // Move everything by one frame at the target rate.
    now.clear();
    scene.Step(fps, [&](int sx, int sy) { now.push_back(tk::Rect{sx, sy, sx + scene.side(), sy + scene.side()}); });
    // Events (releases, frame callbacks) that arrived meanwhile.
    while (wl_display_prepare_read(dpy) != 0) wl_display_dispatch_pending(dpy);
    wl_display_flush(dpy);
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 0) > 0)
      wl_display_read_events(dpy);
    else
      wl_display_cancel_read(dpy);
    if (wl_display_dispatch_pending(dpy) < 0) break;
    Buffer* b = nullptr;
    if (!c.framePending) {
      for (auto& x : buffers)
        if (!x->busy && x.get() != front) b = x.get();
      if (!b && buffers.size() < 3) {
        buffers.push_back(MakeBuffer(c.shm, width, height));
        if (!buffers.back()) return Fail("no buffer");
        b = buffers.back().get();
      }
    }
    if (b) {
      // What changes on screen: the squares shown now and the new ones.
      damage.clear();
      if (front) damage = front->held;
      damage.insert(damage.end(), now.begin(), now.end());
      for (const tk::Rect& r : b->held) fill(*b, r, 0);
      for (const tk::Rect& r : now) fill(*b, r, 0xFFFFFFu);
      squares += b->held.size() + now.size();
      b->held = now;
      merger.Merge(damage, width, height, 32, merged);
      wl_surface_attach(surface, b->buffer, 0, 0);
      for (const tk::Rect& r : merged) wl_surface_damage_buffer(surface, r.left, r.top, r.Width(), r.Height());
      wl_callback_add_listener(wl_surface_frame(surface), &kFrame, &c);
      c.framePending = true;
      wl_surface_commit(surface);
      wl_display_flush(dpy);
      b->busy = true;
      front = b;
      ++frames;
    }
    pace.Wait(stop);
  }
  std::fprintf(stderr, "frames %llu squares %llu buffers %zu\n", static_cast<unsigned long long>(frames),
               static_cast<unsigned long long>(squares), buffers.size());
  wl_display_disconnect(dpy);
  return 0;
}
