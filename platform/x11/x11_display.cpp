#include "platform/x11/x11_display.h"

#include <algorithm>
#include <cstring>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include "platform/x11/x11_errors.h"

namespace tk::x11 {
namespace {

// Shared memory only helps, and only works, when the server runs on this
// machine: a display name with a host part goes over the network.
bool LocalDisplay(::Display* dpy) {
  const char* name = DisplayString(dpy);
  if (!name) return false;
  return name[0] == ':' || std::strncmp(name, "unix:", 5) == 0;
}

bool SharedMemoryOffered(::Display* dpy) {
  int major = 0, minor = 0;
  Bool pixmaps = False;
  return LocalDisplay(dpy) && XShmQueryExtension(dpy) && XShmQueryVersion(dpy, &major, &minor, &pixmaps);
}

// Direct colour only, at 15 bits or more; 15-bit servers hand out 16-bit
// pixels and report 16, as the host expects.
PixelFormatInfo FormatOf(::Display* dpy, const Visual* v, int depth) {
  PixelFormatInfo format;
  int bitsPerPixel = 0;
  int count = 0;
  if (XPixmapFormatValues* formats = XListPixmapFormats(dpy, &count)) {
    for (int i = 0; i < count; ++i)
      if (formats[i].depth == depth) bitsPerPixel = formats[i].bits_per_pixel;
    XFree(formats);
  }
  const bool direct = v->c_class == TrueColor || v->c_class == DirectColor;
  format.rgb = direct && depth >= 15 && (bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32);
  format.bitCount = static_cast<uint32_t>(bitsPerPixel);
  if (format.rgb) {
    format.redMask = static_cast<uint32_t>(v->red_mask);
    format.greenMask = static_cast<uint32_t>(v->green_mask);
    format.blueMask = static_cast<uint32_t>(v->blue_mask);
  }
  return format;
}

}  // namespace

X11Display::X11Display(const char* displayName, unsigned long window, const X11PresentOptions& options)
    : window_(window), options_(options) {
  if (displayName) {
    displayName_ = displayName;
    haveName_ = true;
  }
}

X11Display::X11Display(const char* displayName, unsigned long window, const Rect& monitor,
                       const X11PresentOptions& options)
    : X11Display(displayName, window, options) {
  hasMonitor_ = true;
  monitor_ = monitor;
}

X11Display::~X11Display() { Close(); }

DisplayOpen X11Display::Open() {
  InstallErrorHandler();
  if (dpy_) return DisplayOpen::kOk;
  dpy_ = XOpenDisplay(haveName_ ? displayName_.c_str() : nullptr);
  if (!dpy_) return DisplayOpen::kInitFailed;
  XWindowAttributes wa;
  BeginTrap();
  const Status ok = XGetWindowAttributes(dpy_, window_, &wa);
  if (EndTrap(dpy_) != 0 || !ok) {
    XCloseDisplay(dpy_);
    dpy_ = nullptr;
    return DisplayOpen::kSurfaceFailed;
  }
  width_ = wa.width;
  height_ = wa.height;
  size_.store(Pack(width_, height_));
  screenWidth_ = hasMonitor_ ? monitor_.Width() : WidthOfScreen(wa.screen);
  format_ = FormatOf(dpy_, wa.visual, wa.depth);
  gc_ = XCreateGC(dpy_, window_, 0, nullptr);
  target_ = PresentTarget{dpy_, window_, gc_, wa.visual, wa.depth,
                          format_.redMask | format_.greenMask | format_.blueMask};
  presenter_ = ChoosePresenter(options_, SharedMemoryOffered(dpy_), Area().Width(), target_);
  repaint_.store(true);
  return DisplayOpen::kOk;
}

// The Windows texts name DirectDraw; here the connection and the window are
// what can fail.
const char* X11Display::FailureText(DisplayOpen step) const {
  switch (step) {
    case DisplayOpen::kInitFailed: return "ERROR: Could not open the X display!";
    case DisplayOpen::kSurfaceFailed: return "ERROR: Could not reach the X window to draw into!";
    default: return nullptr;
  }
}

void X11Display::Close() {
  if (!dpy_) return;
  presenter_.reset();
  if (gc_) XFreeGC(dpy_, gc_);
  gc_ = nullptr;
  XCloseDisplay(dpy_);
  dpy_ = nullptr;
}

void X11Display::ClientSize(int32_t& width, int32_t& height) {
  const uint64_t packed = size_.load(std::memory_order_relaxed);
  width_ = static_cast<int32_t>(packed >> 32);
  height_ = static_cast<int32_t>(packed & 0xFFFFFFFFu);
  const Rect area = Area();
  width = area.Width();
  height = area.Height();
}

bool X11Display::MakeImage(int32_t width, int32_t height) {
  bool made = presenter_->Make(width, height);
  if (!made && presenter_->kind() == Presenter::Kind::kSharedImages) {
    // Once shared memory failed, it is not tried again at every resize.
    presenter_ = WithoutSharedMemory(options_, target_);
    made = presenter_->Make(width, height);
  }
  if (!made) return false;
  presenter_->Prepare(damage_);
  repaint_.store(true);
  return true;
}

bool X11Display::Lock(PixelView& view, std::vector<Rect>& visible) {
  if (!dpy_ || !format_.rgb) return false;
  const Rect area = Area();
  if (!presenter_->image() || presenter_->width() != area.Width() || presenter_->height() != area.Height()) {
    if (!MakeImage(area.Width(), area.Height())) return false;
  }
  const XImage* image = presenter_->image();
  view.bits = reinterpret_cast<uint8_t*>(image->data);
  view.pitch = image->bytes_per_line;
  view.format = format_;
  view.format.bitCount = static_cast<uint32_t>(image->bits_per_pixel);
  // The part of the window over this display, in its own coordinates; a
  // monitor the window does not reach gets nothing drawn.
  const Rect seen{std::max(area.left, 0) - area.left, std::max(area.top, 0) - area.top,
                  std::min(area.right, width_) - area.left, std::min(area.bottom, height_) - area.top};
  if (seen.Width() > 0 && seen.Height() > 0) visible.push_back(seen);
  return true;
}

void X11Display::Unlock() {
  if (!presenter_ || !presenter_->image()) return;
  const Rect area = Area();
  BeginTrap();
  if (repaint_.exchange(false, std::memory_order_relaxed))
    presenter_->Repaint(area.left, area.top, figures_);
  else
    presenter_->Present(damage_, area.left, area.top, figures_);
  figures_.squares += damage_.Squares();
  damage_.Clear();
  ++figures_.frames;
  figures_.sharedMemory = presenter_->kind() == Presenter::Kind::kSharedImages;
  figures_.filled = presenter_->kind() == Presenter::Kind::kFill;
  // Waiting for the server here does two things: the next frame does not
  // write into shared pixels the server is still reading, and a slow server
  // holds the frame rate back instead of queueing requests without end.
  const int error = EndTrap(dpy_);
  (void)error;  // a target window that went away; the window thread ends the run
}

}  // namespace tk::x11
