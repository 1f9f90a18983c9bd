// The saver on a Wayland compositor: a surface with its own scene on every
// output (an overlay-layer surface where the compositor offers the layer
// shell, else a full-screen toplevel on that output), or one ordinary window
// for trying the saver out. The window thread's event loop lives here; the
// render host draws through one WaylandDisplay per surface. The outputs and
// their surfaces are in wayland_outputs.cpp, the seat's input in
// wayland_seat.cpp.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <wayland-client.h>

#include "core/clock.h"
#include "host/resources.h"
#include "platform/wayland/wayland_run.h"
#include "xdg-shell-client-protocol.h"
// The layer shell names an argument "namespace", a C++ keyword.
#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

namespace tk::wayland {
namespace {

constexpr uint32_t kErrorTimerMs = 2500;

void WmPing(void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }
const xdg_wm_base_listener kWmListener = {WmPing};

const wl_registry_listener kRegistryListener = {Run::Global, Run::GlobalRemove};

uint32_t Version(uint32_t offered, uint32_t wanted) { return offered < wanted ? offered : wanted; }

}  // namespace

void Run::Global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
  auto* run = static_cast<Run*>(data);
  const std::string i = interface;
  if (i == wl_compositor_interface.name && version >= 4) {
    run->compositor_ = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
  } else if (i == wl_shm_interface.name) {
    run->shm_ = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
  } else if (i == wl_seat_interface.name && !run->seat_) {
    run->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, Version(version, 5)));
    wl_seat_add_listener(run->seat_, &kSeatListener, run);
  } else if (i == xdg_wm_base_interface.name) {
    run->wmBase_ = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    xdg_wm_base_add_listener(run->wmBase_, &kWmListener, run);
  } else if (i == zwlr_layer_shell_v1_interface.name && !run->request_.environment.waylandToplevel) {
    run->layerShell_ = static_cast<zwlr_layer_shell_v1*>(
        wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, Version(version, 3)));
  } else if (i == wl_output_interface.name && version >= 2) {
    auto o = std::make_unique<Output>();
    o->run = run;
    o->name = name;
    o->output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, Version(version, 4)));
    wl_output_add_listener(o->output, &kOutputListener, o.get());
    run->outputs_.push_back(std::move(o));
  }
}

void Run::GlobalRemove(void* data, wl_registry*, uint32_t name) {
  auto* run = static_cast<Run*>(data);
  for (auto& o : run->outputs_)
    if (o->name == name) {
      o->name = 0;  // gone; dropped at the next rebuild
      run->rebuild_ = true;
    }
}

// --- the run ---------------------------------------------------------------

bool Run::Connect() {
  connection_ = wl_display_connect(nullptr);
  if (!connection_) return false;
  registry_ = wl_display_get_registry(connection_);
  wl_registry_add_listener(registry_, &kRegistryListener, this);
  // The globals, then what each output and the seat say about themselves.
  return wl_display_roundtrip(connection_) >= 0 && wl_display_roundtrip(connection_) >= 0;
}

void Run::StartHost() {
  std::vector<Display*> displays;
  if (window_)
    if (Display* d = MakeDisplay(*window_)) displays.push_back(d);
  for (auto& o : outputs_)
    if (Display* d = MakeDisplay(*o)) displays.push_back(d);
  if (displays.empty()) return;
  threads_ = std::make_unique<StdThreadStarter>();
  platform_ = std::unique_ptr<HostPlatform>(
      new HostPlatform{displays, *store_, EmbeddedResources(), *threads_, request_.adjustSettings});
  host_ = std::make_unique<RenderHost>(*platform_, TickCount());
  if (!host_->errorText()) return;
  std::vector<Output*> shown;
  if (window_) shown.push_back(window_.get());
  for (auto& o : outputs_) shown.push_back(o.get());
  for (Output* o : shown) {
    if (!o->surface || !o->configured) continue;
    const int32_t scale = o == window_.get() ? 1 : o->scale;
    painters_.push_back(
        std::make_unique<CairoTextPainter>(shm_, o->surface, o->width * scale, o->height * scale, scale));
  }
  if (!painters_.empty())
    loop_.AddTimer(kErrorTimerMs, [this] {
      if (host_) host_->OnErrorTimer(*painters_.front());
    });
}

void Run::StopHost() {
  painters_.clear();
  pointerOver_ = nullptr;
  host_.reset();  // stops and joins the render thread, closes the displays
  platform_.reset();
  threads_.reset();
  if (window_) window_->display.reset();
  for (auto& o : outputs_) o->display.reset();
}

int Run::Start() {
  if (!Connect()) {
    std::fprintf(stderr, "telkarim: cannot connect to the Wayland compositor\n");
    return 1;
  }
  fullScreen_ = request_.mode == SaverRequest::Mode::kFullScreen;
  if (!compositor_ || !shm_ || !(wmBase_ || (fullScreen_ && layerShell_))) {
    std::fprintf(stderr, "telkarim: the Wayland compositor offers no way to show a surface\n");
    return 1;
  }
  watch_ = std::make_unique<InputWatch>(true, fullScreen_);
  suspend_ = std::make_unique<SuspendWatch>(loop_, [this] { OnInput(InputKind::kPowerEvent); });
  store_ = std::make_unique<FileSettingsStore>(request_.settingsFile.value_or(std::string()));
  if (fullScreen_) {
    for (auto& o : outputs_) MakeSurface(*o);
  } else {
    window_ = std::make_unique<Output>();
    window_->run = this;
    MakeSurface(*window_);
  }
  if (!WaitConfigured()) return Teardown(), 1;
  StartHost();
  return Loop();
}

void Run::Lost() {
  std::fprintf(stderr, "telkarim: the Wayland compositor went away\n");
  code_ = 1;
  quit_ = true;
  loop_.Stop();
}

int Run::Loop() {
  auto stop = [this] {
    if (signalled_) *signalled_ = true;
    loop_.Stop();
  };
  loop_.OnSignal(SIGTERM, stop);
  loop_.OnSignal(SIGINT, stop);
  loop_.AddFd(wl_display_get_fd(connection_), [this] {
    // Readable, or hung up: a compositor that went away reads as an error.
    if (wl_display_dispatch(connection_) < 0) Lost();
  });
  loop_.BeforeWait([this] {
    if (!quit_ && wl_display_dispatch_pending(connection_) < 0) Lost();
    if (!quit_ && rebuild_) Rebuild();
    if (!quit_ && wl_display_flush(connection_) < 0 && errno != EAGAIN) Lost();
    if (quit_) loop_.Stop();
  });
  if (!quit_) loop_.Run();
  Teardown();
  return code_;
}

void Run::Teardown() {
  StopHost();
  if (window_) DropSurface(*window_);
  window_.reset();
  for (auto& o : outputs_) {
    DropSurface(*o);
    if (o->output) wl_output_destroy(o->output);
  }
  outputs_.clear();
  if (keyboard_) wl_keyboard_destroy(keyboard_);
  if (pointer_) wl_pointer_destroy(pointer_);
  if (touch_) wl_touch_destroy(touch_);
  if (seat_) wl_seat_destroy(seat_);
  if (layerShell_) zwlr_layer_shell_v1_destroy(layerShell_);
  if (wmBase_) xdg_wm_base_destroy(wmBase_);
  if (shm_) wl_shm_destroy(shm_);
  if (compositor_) wl_compositor_destroy(compositor_);
  if (registry_) wl_registry_destroy(registry_);
  keyboard_ = nullptr;
  pointer_ = nullptr;
  touch_ = nullptr;
  seat_ = nullptr;
  layerShell_ = nullptr;
  wmBase_ = nullptr;
  shm_ = nullptr;
  compositor_ = nullptr;
  registry_ = nullptr;
  suspend_.reset();
  store_.reset();
  if (connection_) {
    wl_display_flush(connection_);
    wl_display_disconnect(connection_);
  }
  connection_ = nullptr;
}

bool CompositorAnswers(const FrontEndEnvironment& environment) {
  if (environment.waylandDisplay.empty()) return false;
  wl_display* d = wl_display_connect(nullptr);
  if (!d) return false;
  const bool ok = wl_display_roundtrip(d) >= 0;
  wl_display_disconnect(d);
  return ok;
}

namespace {

// One full-screen saver per compositor, as on X11 where a second start finds
// the first and leaves it: an idle daemon that starts the saver again while
// it shows would otherwise stack a second one under the first, which the
// key that ends the top one would not reach. The lock is a file in the
// session's runtime folder, held for the run and let go by the system
// however the run ends. -1: another saver holds it.
int LockFullScreen(const FrontEndEnvironment& environment) {
  if (environment.runtimeDir.empty()) return -2;
  std::string name = environment.waylandDisplay.empty() ? "wayland-0" : environment.waylandDisplay;
  for (char& c : name)
    if (c == '/') c = '_';
  const std::string path = environment.runtimeDir + "/telkarim-" + name + ".lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return -2;  // no lock to be had: run anyway
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

int RunSaver(const SaverRequest& request, bool* signalled) {
  int lock = -2;
  if (request.mode == SaverRequest::Mode::kFullScreen) {
    lock = LockFullScreen(request.environment);
    if (lock == -1) return 0;
  }
  int code = 0;
  {
    Run run(request, signalled);
    code = run.Start();
  }
  if (lock >= 0) close(lock);
  return code;
}

}  // namespace tk::wayland
