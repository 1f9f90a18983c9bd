#pragma once
// The saver's run on a Wayland compositor, shared by the files that make it
// up: the run itself (wayland_saver.cpp), the outputs and their surfaces
// (wayland_outputs.cpp), and the seat's input (wayland_seat.cpp).
#include <cstdint>
#include <memory>
#include <vector>

#include <wayland-client.h>

#include "host/render_host.h"
#include "platform/linux/event_loop.h"
#include "platform/linux/suspend_watch.h"
#include "platform/wayland/wayland_display.h"
#include "platform/wayland/wayland_front_end.h"
#include "platform/wayland/wayland_text.h"
#include "settings/file_store.h"
#include "shell/input_rules.h"

struct xdg_wm_base;
struct xdg_surface;
struct xdg_toplevel;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;

namespace tk::wayland {

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
  void OnKeyboardFocus(wl_surface* surface, bool entered);
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
  bool keyboardFocus_ = false;     // one of our surfaces has the keyboard
  bool focusCheck_ = false;        // a loss of focus is being confirmed
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

// What each output says about itself, and what the seat can do; bound in
// the registry's listener.
extern const wl_output_listener kOutputListener;
extern const wl_seat_listener kSeatListener;

}  // namespace tk::wayland
