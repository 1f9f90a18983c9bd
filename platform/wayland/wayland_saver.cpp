// The saver on a Wayland compositor: a surface with its own scene on every
// output (an overlay-layer surface where the compositor offers the layer
// shell, else a full-screen toplevel on that output), or one ordinary window
// for trying the saver out. The window thread's event loop lives here; the
// render host draws through one WaylandDisplay per surface.
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
#include "host/render_host.h"
#include "host/resources.h"
#include "platform/linux/event_loop.h"
#include "platform/linux/suspend_watch.h"
#include "platform/wayland/wayland_display.h"
#include "platform/wayland/wayland_front_end.h"
#include "platform/wayland/wayland_text.h"
#include "settings/file_store.h"
#include "shell/input_rules.h"
#include "xdg-shell-client-protocol.h"
// The layer shell names an argument "namespace", a C++ keyword.
#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

namespace tk::wayland {
namespace {

constexpr const char* kFullScreenTitle = "Screen Saver";
constexpr const char* kWindowTitle = "Telkarim's Screen Saver";
constexpr const char* kAppId = "telkarim";
// How long the first configure of every surface may take before the saver
// starts with the outputs that answered.
constexpr int kConfigureMs = 3000;
constexpr uint32_t kErrorTimerMs = 2500;

// One output and the saver's surface on it (or, for a window, no output).
struct Output {
  class Run* run = nullptr;
  uint32_t name = 0;  // the registry's
  wl_output* output = nullptr;
  int32_t scale = 1;
  int32_t x = 0, y = 0;                 // in the desktop's layout
  int32_t modeWidth = 0, modeHeight = 0;  // real pixels
  bool described = false;               // the first done arrived

  wl_surface* surface = nullptr;
  zwlr_layer_surface_v1* layer = nullptr;
  xdg_surface* xdgSurface = nullptr;
  xdg_toplevel* toplevel = nullptr;
  int32_t width = 0, height = 0;  // surface units, as configured
  bool configured = false;
  std::unique_ptr<WaylandDisplay> display;
};

class Run {
 public:
  Run(const SaverRequest& request, bool* signalled) : request_(request), signalled_(signalled) {}
  ~Run() { Teardown(); }
  int Start();

  // Listeners.
  static void Global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
  static void GlobalRemove(void* data, wl_registry* registry, uint32_t name);

  void OnInput(InputKind kind, CursorPoint p = {}) {
    if (watch_ && watch_->ShouldClose(kind, p)) quit_ = true;
  }
  void Quit() { quit_ = true; }
  void OnPointerAt(wl_surface* surface, wl_fixed_t sx, wl_fixed_t sy, bool enter);
  void OutputChanged(Output& o);
  void SurfaceConfigured(Output& o, int32_t width, int32_t height);
  void SurfaceClosed(Output& o);

  wl_compositor* compositor_ = nullptr;
  wl_shm* shm_ = nullptr;
  wl_seat* seat_ = nullptr;
  wl_keyboard* keyboard_ = nullptr;
  wl_pointer* pointer_ = nullptr;
  wl_touch* touch_ = nullptr;
  xdg_wm_base* wmBase_ = nullptr;
  zwlr_layer_shell_v1* layerShell_ = nullptr;
  std::vector<std::unique_ptr<Output>> outputs_;
  bool rebuild_ = false;  // an output came or went
  bool quit_ = false;
  const SaverRequest& request_;

 private:
  bool Connect();
  void MakeSurface(Output& o);
  void DropSurface(Output& o);
  bool WaitConfigured();
  Display* MakeDisplay(Output& o);
  void StartHost();
  void StopHost();
  int Loop();
  void Rebuild();
  void Lost();
  void Teardown();

  bool* signalled_;  // set when SIGTERM or SIGINT ended the run
  EventLoop loop_;
  int code_ = 0;
  wl_display* connection_ = nullptr;
  wl_registry* registry_ = nullptr;
  bool fullScreen_ = true;
  bool anchored_ = false;
  Output* pointerOver_ = nullptr;  // the output whose surface the pointer is on
  std::unique_ptr<InputWatch> watch_;
  std::unique_ptr<SuspendWatch> suspend_;
  std::unique_ptr<FileSettingsStore> store_;
  std::unique_ptr<StdThreadStarter> threads_;
  std::unique_ptr<HostPlatform> platform_;
  std::unique_ptr<RenderHost> host_;
  std::unique_ptr<Output> window_;  // --window: the one surface, on no output
  // Error mode: the message on the first surface, black on the others.
  std::vector<std::unique_ptr<CairoTextPainter>> painters_;
};

// --- outputs ---------------------------------------------------------------

void OutputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*, const char*,
                    int32_t) {
  auto* o = static_cast<Output*>(data);
  o->x = x;
  o->y = y;
}
void OutputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
  auto* o = static_cast<Output*>(data);
  if (flags & WL_OUTPUT_MODE_CURRENT) {
    o->modeWidth = width;
    o->modeHeight = height;
  }
}
void OutputDone(void* data, wl_output*) {
  auto* o = static_cast<Output*>(data);
  o->described = true;
  o->run->OutputChanged(*o);
}
void OutputScale(void* data, wl_output*, int32_t factor) { static_cast<Output*>(data)->scale = factor < 1 ? 1 : factor; }
void OutputName(void*, wl_output*, const char*) {}
void OutputDescription(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {OutputGeometry, OutputMode, OutputDone, OutputScale, OutputName,
                                            OutputDescription};

// --- surfaces --------------------------------------------------------------

void LayerConfigure(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width, uint32_t height) {
  auto* o = static_cast<Output*>(data);
  zwlr_layer_surface_v1_ack_configure(layer, serial);
  o->run->SurfaceConfigured(*o, static_cast<int32_t>(width), static_cast<int32_t>(height));
}
void LayerClosed(void* data, zwlr_layer_surface_v1*) {
  auto* o = static_cast<Output*>(data);
  o->run->SurfaceClosed(*o);
}
const zwlr_layer_surface_v1_listener kLayerListener = {LayerConfigure, LayerClosed};

void XdgSurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
  auto* o = static_cast<Output*>(data);
  xdg_surface_ack_configure(surface, serial);
  o->run->SurfaceConfigured(*o, o->width, o->height);
}
const xdg_surface_listener kXdgSurfaceListener = {XdgSurfaceConfigure};

void ToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
  auto* o = static_cast<Output*>(data);
  // 0 leaves the size to us: the output's, or the window's own.
  if (width > 0 && height > 0) {
    o->width = width;
    o->height = height;
  }
}
void ToplevelClose(void* data, xdg_toplevel*) { static_cast<Output*>(data)->run->Quit(); }
void ToplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}
void ToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}
const xdg_toplevel_listener kToplevelListener = {ToplevelConfigure, ToplevelClose, ToplevelBounds,
                                                 ToplevelCapabilities};

void WmPing(void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }
const xdg_wm_base_listener kWmListener = {WmPing};

// --- input -----------------------------------------------------------------

void KeyboardKeymap(void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) { close(fd); }
void KeyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
void KeyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
void KeyboardKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t state) {
  if (state == WL_KEYBOARD_KEY_STATE_PRESSED) static_cast<Run*>(data)->OnInput(InputKind::kKeyPress);
}
void KeyboardModifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void KeyboardRepeat(void*, wl_keyboard*, int32_t, int32_t) {}
const wl_keyboard_listener kKeyboardListener = {KeyboardKeymap, KeyboardEnter, KeyboardLeave,
                                                KeyboardKey,    KeyboardModifiers, KeyboardRepeat};

void PointerEnter(void* data, wl_pointer* pointer, uint32_t serial, wl_surface* surface, wl_fixed_t sx,
                  wl_fixed_t sy) {
  // No cursor over the saver.
  wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
  static_cast<Run*>(data)->OnPointerAt(surface, sx, sy, true);
}
void PointerLeave(void*, wl_pointer*, uint32_t, wl_surface*) {}
void PointerMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t sx, wl_fixed_t sy) {
  static_cast<Run*>(data)->OnPointerAt(nullptr, sx, sy, false);
}
void PointerButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
  if (state == WL_POINTER_BUTTON_STATE_PRESSED) static_cast<Run*>(data)->OnInput(InputKind::kButtonPress);
}
// The wheel is a button, as it is on X.
void PointerAxis(void* data, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {
  static_cast<Run*>(data)->OnInput(InputKind::kButtonPress);
}
void PointerFrame(void*, wl_pointer*) {}
void PointerAxisSource(void*, wl_pointer*, uint32_t) {}
void PointerAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
void PointerAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}
void PointerAxisValue120(void*, wl_pointer*, uint32_t, int32_t) {}
const wl_pointer_listener kPointerListener = {PointerEnter,      PointerLeave,    PointerMotion,
                                              PointerButton,     PointerAxis,     PointerFrame,
                                              PointerAxisSource, PointerAxisStop, PointerAxisDiscrete,
                                              PointerAxisValue120};

void TouchDown(void* data, wl_touch*, uint32_t, uint32_t, wl_surface*, int32_t, wl_fixed_t, wl_fixed_t) {
  static_cast<Run*>(data)->OnInput(InputKind::kButtonPress);
}
void TouchUp(void*, wl_touch*, uint32_t, uint32_t, int32_t) {}
void TouchMotion(void*, wl_touch*, uint32_t, int32_t, wl_fixed_t, wl_fixed_t) {}
void TouchFrame(void*, wl_touch*) {}
void TouchCancel(void*, wl_touch*) {}
void TouchShape(void*, wl_touch*, int32_t, wl_fixed_t, wl_fixed_t) {}
void TouchOrientation(void*, wl_touch*, int32_t, wl_fixed_t) {}
const wl_touch_listener kTouchListener = {TouchDown,   TouchUp,    TouchMotion,     TouchFrame,
                                          TouchCancel, TouchShape, TouchOrientation};

void SeatCapabilities(void* data, wl_seat* seat, uint32_t caps) {
  auto* run = static_cast<Run*>(data);
  if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !run->keyboard_) {
    run->keyboard_ = wl_seat_get_keyboard(seat);
    wl_keyboard_add_listener(run->keyboard_, &kKeyboardListener, run);
  } else if (!(caps & WL_SEAT_CAPABILITY_KEYBOARD) && run->keyboard_) {
    wl_keyboard_destroy(run->keyboard_);
    run->keyboard_ = nullptr;
  }
  if ((caps & WL_SEAT_CAPABILITY_POINTER) && !run->pointer_) {
    run->pointer_ = wl_seat_get_pointer(seat);
    wl_pointer_add_listener(run->pointer_, &kPointerListener, run);
  } else if (!(caps & WL_SEAT_CAPABILITY_POINTER) && run->pointer_) {
    // The last pointing device went: the next one gets a pointer of its own,
    // since this one hears nothing any more.
    wl_pointer_destroy(run->pointer_);
    run->pointer_ = nullptr;
  }
  if ((caps & WL_SEAT_CAPABILITY_TOUCH) && !run->touch_) {
    run->touch_ = wl_seat_get_touch(seat);
    wl_touch_add_listener(run->touch_, &kTouchListener, run);
  }
}
void SeatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeatListener = {SeatCapabilities, SeatName};

const wl_registry_listener kRegistryListener = {Run::Global, Run::GlobalRemove};

uint32_t Version(uint32_t offered, uint32_t wanted) { return offered < wanted ? offered : wanted; }

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

void Run::OutputChanged(Output& o) {
  if (!o.surface) {
    if (fullScreen_) rebuild_ = true;  // an output that came
    return;
  }
  // A new scale of an output we cover: the surface's size in real pixels
  // follows. A scale that does not fit the surface's size yet comes with a
  // configure of the new size, which is waited for rather than drawing a
  // frame or two at twice or half the size.
  const bool fits = o.width * o.scale == o.modeWidth && o.height * o.scale == o.modeHeight;
  if (o.configured && o.display && fits) o.display->SetSize(o.width, o.height, o.scale);
}

void Run::SurfaceConfigured(Output& o, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) {
    // A toplevel left to choose: the output's size, or the window's.
    if (&o == window_.get()) {
      width = request_.width > 0 ? request_.width : 800;
      height = request_.height > 0 ? request_.height : 600;
    } else {
      width = o.modeWidth / o.scale;
      height = o.modeHeight / o.scale;
    }
  }
  o.width = width;
  o.height = height;
  o.configured = true;
  if (o.display)
    o.display->SetSize(o.width, o.height, &o == window_.get() ? 1 : o.scale);
  else if (host_)
    rebuild_ = true;  // configured late: its scene starts now
}

void Run::SurfaceClosed(Output& o) {
  // The compositor took the surface away (its output is going): the scenes
  // are laid out again without it.
  o.name = 0;
  rebuild_ = true;
}

void Run::OnPointerAt(wl_surface* surface, wl_fixed_t sx, wl_fixed_t sy, bool enter) {
  if (enter) {
    pointerOver_ = nullptr;
    for (auto& o : outputs_)
      if (o->surface == surface) pointerOver_ = o.get();
  }
  Output* over = pointerOver_;
  // The desktop's coordinates, so travel across outputs adds up.
  CursorPoint p{wl_fixed_to_int(sx), wl_fixed_to_int(sy)};
  if (over) {
    p.x += over->x;
    p.y += over->y;
  }
  if (!anchored_) {
    // Where the pointer first shows itself is where travel is measured from.
    anchored_ = true;
    watch_->SetAnchor(p);
    return;
  }
  OnInput(InputKind::kPointerMotion, p);
}

void Run::MakeSurface(Output& o) {
  o.surface = wl_compositor_create_surface(compositor_);
  // No input region is set: the whole surface takes input.
  if (&o != window_.get() && layerShell_) {
    o.layer = zwlr_layer_shell_v1_get_layer_surface(layerShell_, o.surface, o.output,
                                                    ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, kAppId);
    zwlr_layer_surface_v1_set_anchor(o.layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                  ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                  ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(o.layer, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(o.layer, 1);  // exclusive
    zwlr_layer_surface_v1_add_listener(o.layer, &kLayerListener, &o);
  } else {
    o.xdgSurface = xdg_wm_base_get_xdg_surface(wmBase_, o.surface);
    xdg_surface_add_listener(o.xdgSurface, &kXdgSurfaceListener, &o);
    o.toplevel = xdg_surface_get_toplevel(o.xdgSurface);
    xdg_toplevel_add_listener(o.toplevel, &kToplevelListener, &o);
    xdg_toplevel_set_app_id(o.toplevel, kAppId);
    if (&o == window_.get()) {
      xdg_toplevel_set_title(o.toplevel, kWindowTitle);
    } else {
      xdg_toplevel_set_title(o.toplevel, kFullScreenTitle);
      xdg_toplevel_set_fullscreen(o.toplevel, o.output);
    }
  }
  wl_surface_commit(o.surface);
}

void Run::DropSurface(Output& o) {
  o.display.reset();
  if (o.layer) zwlr_layer_surface_v1_destroy(o.layer);
  if (o.toplevel) xdg_toplevel_destroy(o.toplevel);
  if (o.xdgSurface) xdg_surface_destroy(o.xdgSurface);
  if (o.surface) wl_surface_destroy(o.surface);
  o.layer = nullptr;
  o.toplevel = nullptr;
  o.xdgSurface = nullptr;
  o.surface = nullptr;
  o.configured = false;
}

// Waits for the first configure of every surface; an output that does not
// answer in time is left black rather than holding the others up.
bool Run::WaitConfigured() {
  const uint32_t end = TickCount() + kConfigureMs;
  while (true) {
    bool all = true;
    if (window_) all = window_->configured;
    for (auto& o : outputs_)
      if (o->surface && !o->configured) all = false;
    if (all || quit_) return true;
    if (TickReached(TickCount(), end)) return true;
    if (wl_display_roundtrip(connection_) < 0) return false;
  }
}

// The display of a configured surface, in real pixels.
Display* Run::MakeDisplay(Output& o) {
  if (!o.surface || !o.configured) return nullptr;
  o.display = std::make_unique<WaylandDisplay>(connection_, shm_, o.surface);
  o.display->SetSize(o.width, o.height, &o == window_.get() ? 1 : o.scale);
  return o.display.get();
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

void Run::Rebuild() {
  // Outputs came or went: a scene ends on each output that went and starts
  // on each that came, while the others draw on.
  rebuild_ = false;
  for (auto it = outputs_.begin(); it != outputs_.end();) {
    Output& o = **it;
    if (o.name != 0) {
      if (!o.surface && o.described) MakeSurface(o);
      ++it;
      continue;
    }
    if (pointerOver_ == &o) pointerOver_ = nullptr;
    if (host_ && o.display) host_->RemoveDisplay(*o.display);
    DropSurface(o);
    if (o.output) wl_output_release(o.output);
    it = outputs_.erase(it);
  }
  if (!WaitConfigured()) return Lost();
  if (!host_) return StartHost();
  for (auto& o : outputs_)
    if (!o->display)
      if (Display* d = MakeDisplay(*o)) host_->AddDisplay(*d);
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

}  // namespace

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
