// What the Wayland tests need of a client that is not the saver:
//   wayland_test_client pointer DX,DY|pause ...   a virtual pointer moved by
//       each step in turn (a pause waits 300 ms), held 500 ms after the last
//   wayland_test_client inhibit                   a visible window holding an
//       idle inhibitor until killed
// Exits 0 when done, 1 when the compositor lacks what is asked.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <sys/mman.h>
#include <unistd.h>

#include <wayland-client.h>

#include "idle-inhibit-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace {

struct Globals {
  wl_seat* seat = nullptr;
  wl_compositor* compositor = nullptr;
  wl_shm* shm = nullptr;
  xdg_wm_base* wm = nullptr;
  zwlr_virtual_pointer_manager_v1* pointers = nullptr;
  zwp_idle_inhibit_manager_v1* inhibits = nullptr;
  bool configured = false;
};

void Global(void* data, wl_registry* r, uint32_t name, const char* interface, uint32_t) {
  auto* g = static_cast<Globals*>(data);
  const std::string i = interface;
  if (i == wl_seat_interface.name && !g->seat)
    g->seat = static_cast<wl_seat*>(wl_registry_bind(r, name, &wl_seat_interface, 1));
  else if (i == wl_compositor_interface.name)
    g->compositor = static_cast<wl_compositor*>(wl_registry_bind(r, name, &wl_compositor_interface, 4));
  else if (i == wl_shm_interface.name)
    g->shm = static_cast<wl_shm*>(wl_registry_bind(r, name, &wl_shm_interface, 1));
  else if (i == xdg_wm_base_interface.name)
    g->wm = static_cast<xdg_wm_base*>(wl_registry_bind(r, name, &xdg_wm_base_interface, 1));
  else if (i == zwlr_virtual_pointer_manager_v1_interface.name)
    g->pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
        wl_registry_bind(r, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
  else if (i == zwp_idle_inhibit_manager_v1_interface.name)
    g->inhibits = static_cast<zwp_idle_inhibit_manager_v1*>(
        wl_registry_bind(r, name, &zwp_idle_inhibit_manager_v1_interface, 1));
}
void GlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistry = {Global, GlobalRemove};

void Ping(void*, xdg_wm_base* wm, uint32_t serial) { xdg_wm_base_pong(wm, serial); }
const xdg_wm_base_listener kWm = {Ping};
void Configure(void* data, xdg_surface* s, uint32_t serial) {
  xdg_surface_ack_configure(s, serial);
  static_cast<Globals*>(data)->configured = true;
}
const xdg_surface_listener kXdgSurface = {Configure};

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

uint32_t Now() {
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

int Pointer(wl_display* d, Globals& g, int argc, char** argv) {
  if (!g.pointers) return 1;
  zwlr_virtual_pointer_v1* p = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g.pointers, g.seat);
  wl_display_roundtrip(d);
  Sleep(300);  // the clients hear of the new pointer and ask for theirs
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "pause") == 0) {
      Sleep(300);
      continue;
    }
    int dx = 0, dy = 0;
    if (std::sscanf(argv[i], "%d,%d", &dx, &dy) != 2) return 2;
    zwlr_virtual_pointer_v1_motion(p, Now(), wl_fixed_from_int(dx), wl_fixed_from_int(dy));
    zwlr_virtual_pointer_v1_frame(p);
    wl_display_roundtrip(d);
    Sleep(100);
  }
  Sleep(500);
  zwlr_virtual_pointer_v1_destroy(p);
  wl_display_roundtrip(d);
  return 0;
}

int Inhibit(wl_display* d, Globals& g) {
  if (!g.inhibits || !g.wm || !g.compositor || !g.shm) return 1;
  xdg_wm_base_add_listener(g.wm, &kWm, nullptr);
  wl_surface* surface = wl_compositor_create_surface(g.compositor);
  xdg_surface* xs = xdg_wm_base_get_xdg_surface(g.wm, surface);
  xdg_surface_add_listener(xs, &kXdgSurface, &g);
  xdg_toplevel* top = xdg_surface_get_toplevel(xs);
  xdg_toplevel_set_title(top, "inhibitor");
  wl_surface_commit(surface);
  while (!g.configured && wl_display_dispatch(d) >= 0) {
  }
  const int w = 200, h = 200, stride = w * 4;
  const int fd = memfd_create("inhibitor", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, stride * h) != 0) return 1;
  void* pixels = mmap(nullptr, static_cast<size_t>(stride * h), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (pixels == MAP_FAILED) return 1;
  std::memset(pixels, 0x80, static_cast<size_t>(stride * h));
  wl_shm_pool* pool = wl_shm_create_pool(g.shm, fd, stride * h);
  wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, w, h, stride, WL_SHM_FORMAT_XRGB8888);
  zwp_idle_inhibit_manager_v1_create_inhibitor(g.inhibits, surface);
  wl_surface_attach(surface, buffer, 0, 0);
  wl_surface_damage_buffer(surface, 0, 0, w, h);
  wl_surface_commit(surface);
  std::puts("inhibiting");
  std::fflush(stdout);
  while (wl_display_dispatch(d) >= 0) {
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  wl_display* d = wl_display_connect(nullptr);
  if (!d) return 1;
  Globals g;
  wl_registry* r = wl_display_get_registry(d);
  wl_registry_add_listener(r, &kRegistry, &g);
  wl_display_roundtrip(d);
  if (!g.seat) return 1;
  const std::string mode = argv[1];
  int code = 2;
  if (mode == "pointer") code = Pointer(d, g, argc, argv);
  if (mode == "inhibit") code = Inhibit(d, g);
  wl_display_disconnect(d);
  return code;
}
