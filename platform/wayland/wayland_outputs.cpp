// The outputs' life under the saver: each one that comes gets a surface
// (an overlay-layer surface where the compositor offers the layer shell,
// else a full-screen toplevel on that output), a new size or scale follows
// it, and one that goes takes its scene with it while the others draw on.
#include <cstdint>
#include <memory>

#include <wayland-client.h>

#include "core/clock.h"
#include "platform/wayland/wayland_run.h"
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

}  // namespace

const wl_output_listener kOutputListener = {OutputGeometry, OutputMode, OutputDone, OutputScale, OutputName,
                                            OutputDescription};

namespace {

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

}  // namespace

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

}  // namespace tk::wayland
