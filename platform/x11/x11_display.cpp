#include "platform/x11/x11_display.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/ipc.h>
#include <sys/shm.h>

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

const char* Name(bool shared) { return shared ? "shared image" : "XPutImage"; }

// TELKARIM_PRESENT=fill or put fixes the way of presenting, for measuring;
// anything else lets the display choose by its size (see Prepare).
int PresentChoice() {
  const char* v = std::getenv("TELKARIM_PRESENT");
  if (v && std::strcmp(v, "fill") == 0) return 1;
  if (v && std::strcmp(v, "put") == 0) return -1;
  return 0;
}

// Below this width a point is one or two pixels, so many of a frame's
// squares touch and a few shared images carry them for less than their
// rectangles one by one: at 640x480 (sphere only, saver + Xvfb) images cost
// 4.4-4.8 % against 4.8-5.5 % filled, in a 240x180 preview 2.3 % against
// 3.5-3.9 %; at 1920x1080 both cost the same, at 3840x2160 filling saves
// 10-20 %, and without shared memory filling always wins.
constexpr int32_t kFillFromWidth = 960;

// What one more put request costs the server, in pixels copied; a damage
// rectangle is widened by up to this much to save one. Measured on Xvfb with
// MIT-SHM at 1920x1080, 500 stars, two runs each: 0 -> 5.0 %, 100 -> 4.1 %,
// 400 -> 3.6 %, 1500 -> 3.8..5.4 % server CPU. Over the wire every byte
// counts instead, so plain XPutImage widens nothing.
// TELKARIM_FOLD_PIXELS (0..100000) overrides it, for measuring.
int32_t SharedRequestPixels() {
  if (const char* v = std::getenv("TELKARIM_FOLD_PIXELS")) {
    const long n = std::strtol(v, nullptr, 10);
    if (n >= 0 && n <= 100000) return static_cast<int32_t>(n);
  }
  return 400;
}

}  // namespace

X11Display::X11Display(const char* displayName, unsigned long window)
    : window_(window) {
  if (displayName) {
    displayName_ = displayName;
    haveName_ = true;
  }
}

X11Display::X11Display(const char* displayName, unsigned long window, const Rect& monitor)
    : X11Display(displayName, window) {
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
  visual_ = wa.visual;
  depth_ = wa.depth;
  width_ = wa.width;
  height_ = wa.height;
  size_.store(Pack(width_, height_));
  screenWidth_ = hasMonitor_ ? monitor_.Width() : WidthOfScreen(wa.screen);

  // Direct colour only, at 15 bits or more; 15-bit servers hand out 16-bit
  // pixels and report 16, as the host expects.
  format_ = PixelFormatInfo{};
  int bitsPerPixel = 0;
  int count = 0;
  if (XPixmapFormatValues* formats = XListPixmapFormats(dpy_, &count)) {
    for (int i = 0; i < count; ++i)
      if (formats[i].depth == depth_) bitsPerPixel = formats[i].bits_per_pixel;
    XFree(formats);
  }
  const Visual* v = wa.visual;
  const bool direct = v->c_class == TrueColor || v->c_class == DirectColor;
  format_.rgb = direct && depth_ >= 15 && (bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32);
  format_.bitCount = static_cast<uint32_t>(bitsPerPixel);
  if (format_.rgb) {
    format_.redMask = static_cast<uint32_t>(v->red_mask);
    format_.greenMask = static_cast<uint32_t>(v->green_mask);
    format_.blueMask = static_cast<uint32_t>(v->blue_mask);
  }

  int major = 0, minor = 0;
  Bool pixmaps = False;
  shmUsable_ = LocalDisplay(dpy_) && XShmQueryExtension(dpy_) && XShmQueryVersion(dpy_, &major, &minor, &pixmaps) &&
               std::getenv("TELKARIM_NO_SHM") == nullptr;
  gc_ = XCreateGC(dpy_, window_, 0, nullptr);
  present_ = PresentChoice();
  pixelMask_ = format_.redMask | format_.greenMask | format_.blueMask;
  shownWidth_ = shownHeight_ = 0;
  RequestRepaint();
  return DisplayOpen::kOk;
}

void X11Display::Close() {
  if (!dpy_) return;
  if (std::getenv("TELKARIM_X11_FIGURES")) {
    std::fprintf(stderr,
                 "x11: %llu frames, %llu squares, %llu rectangles, %llu pixels, %llu colours, %llu repaints, "
                 "%llu image bytes, %s, %s\n",
                 static_cast<unsigned long long>(figures_.frames), static_cast<unsigned long long>(figures_.squares),
                 static_cast<unsigned long long>(figures_.rectangles),
                 static_cast<unsigned long long>(figures_.pixels), static_cast<unsigned long long>(figures_.colours),
                 static_cast<unsigned long long>(figures_.repaints),
                 static_cast<unsigned long long>(figures_.imageBytes), fill_ ? "filled" : "put",
                 fill_ ? "no image" : Name(figures_.sharedMemory));
  }
  DropImage();
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

bool X11Display::MakeSharedImage(int32_t width, int32_t height) {
  auto* segment = new XShmSegmentInfo{};
  XShmSegmentInfo& info = *segment;
  XImage* img = XShmCreateImage(dpy_, static_cast<Visual*>(visual_), static_cast<unsigned>(depth_), ZPixmap,
                                nullptr, &info, static_cast<unsigned>(width), static_cast<unsigned>(height));
  if (!img) {
    delete segment;
    return false;
  }
  const size_t bytes = static_cast<size_t>(img->bytes_per_line) * static_cast<size_t>(height);
  info.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (info.shmid < 0) {
    XDestroyImage(img);
    delete segment;
    return false;
  }
  info.shmaddr = static_cast<char*>(shmat(info.shmid, nullptr, 0));
  if (info.shmaddr == reinterpret_cast<char*>(-1)) {
    shmctl(info.shmid, IPC_RMID, nullptr);
    XDestroyImage(img);
    delete segment;
    return false;
  }
  info.readOnly = False;
  BeginTrap();
  const Bool attached = XShmAttach(dpy_, &info);
  const int error = EndTrap(dpy_);
  // Marked for removal at once: being killed is how a saver usually ends,
  // and the segment then goes with the last detach instead of leaking.
  shmctl(info.shmid, IPC_RMID, nullptr);
  if (!attached || error != 0) {
    shmdt(info.shmaddr);
    XDestroyImage(img);
    delete segment;
    return false;
  }
  // A new segment is zero-filled (black) by the kernel; clearing it here
  // would only make every page of a screen-sized image resident at once.
  img->data = info.shmaddr;
  image_ = img;
  imageShared_ = true;
  shmInfo_ = segment;
  return true;
}

// How the frames go, chosen again whenever the area changes size: filled
// rectangles with no picture on this side, or shared images for small points
// on a local server (see kFillFromWidth), or plain images when put requests
// are asked for and shared memory is not to be had.
bool X11Display::Prepare(int32_t width, int32_t height) {
  DropImage();
  shownWidth_ = shownHeight_ = 0;  // until this succeeds
  if (width <= 0 || height <= 0) return false;
  fill_ = present_ > 0 || (present_ == 0 && !(shmUsable_ && width < kFillFromWidth));
  if (!fill_ && shmUsable_ && !MakeSharedImage(width, height)) {
    shmUsable_ = false;     // once it failed, do not try every resize
    fill_ = present_ == 0;  // images only paid through shared memory
  }
  if (!fill_ && !image_) {
    XImage* img = XCreateImage(dpy_, static_cast<Visual*>(visual_), static_cast<unsigned>(depth_), ZPixmap, 0,
                               nullptr, static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (!img) return false;
    img->data = static_cast<char*>(std::calloc(static_cast<size_t>(img->bytes_per_line), static_cast<size_t>(height)));
    if (!img->data) {
      XDestroyImage(img);
      return false;
    }
    image_ = img;
    imageShared_ = false;
  }
  figures_.imageBytes = image_ ? uint64_t{static_cast<uint32_t>(image_->bytes_per_line)} * static_cast<uint32_t>(height) : 0;
  shownWidth_ = width;
  shownHeight_ = height;
  damage_.KeepSquares(fill_);
  damage_.SetFoldAllowance(imageShared_ ? SharedRequestPixels() : 0);
  RequestRepaint();
  return true;
}

void X11Display::DropImage() {
  if (!image_) return;
  if (imageShared_) {
    auto* segment = static_cast<XShmSegmentInfo*>(shmInfo_);
    BeginTrap();
    XShmDetach(dpy_, segment);
    EndTrap(dpy_);
    image_->data = nullptr;
    XDestroyImage(image_);
    shmdt(segment->shmaddr);
    delete segment;
    shmInfo_ = nullptr;
  } else {
    XDestroyImage(image_);  // frees the calloc'd pixels too
  }
  image_ = nullptr;
  imageShared_ = false;
}

bool X11Display::Lock(PixelView& view, std::vector<Rect>& visible) {
  if (!dpy_ || !format_.rgb) return false;
  const Rect area = Area();
  if (shownWidth_ != area.Width() || shownHeight_ != area.Height()) {
    if (!Prepare(area.Width(), area.Height())) return false;
  }
  view.format = format_;
  if (image_) {
    view.bits = reinterpret_cast<uint8_t*>(image_->data);
    view.pitch = image_->bytes_per_line;
    view.format.bitCount = static_cast<uint32_t>(image_->bits_per_pixel);
  } else {
    view.bits = nullptr;  // the squares alone, through the damage list
    view.pitch = 0;
  }
  // The part of the window over this display, in its own coordinates; a
  // monitor the window does not reach gets nothing drawn.
  const Rect seen{std::max(area.left, 0) - area.left, std::max(area.top, 0) - area.top,
                  std::min(area.right, width_) - area.left, std::min(area.bottom, height_) - area.top};
  if (seen.Width() > 0 && seen.Height() > 0) visible.push_back(seen);
  return true;
}

void X11Display::Put(const Rect& r) {
  const unsigned w = static_cast<unsigned>(r.Width()), h = static_cast<unsigned>(r.Height());
  const Rect area = Area();
  const int x = area.left + r.left, y = area.top + r.top;
  if (imageShared_)
    XShmPutImage(dpy_, window_, gc_, image_, r.left, r.top, x, y, w, h, False);
  else
    XPutImage(dpy_, window_, gc_, image_, r.left, r.top, x, y, w, h);
  ++figures_.rectangles;
  figures_.pixels += uint64_t{w} * h;
}

static_assert(sizeof(XRectangle) == 8 && offsetof(XRectangle, x) == 0 && offsetof(XRectangle, y) == 2 &&
              offsetof(XRectangle, width) == 4 && offsetof(XRectangle, height) == 6);

void X11Display::Fill(const std::vector<FillPlan::Group>& groups, const std::vector<Rect>& rects) {
  fillRects_.resize(rects.size());
  const Rect area = Area();
  for (size_t i = 0; i < rects.size(); ++i) {
    const Rect& r = rects[i];
    fillRects_[i] = FillRect{static_cast<int16_t>(area.left + r.left), static_cast<int16_t>(area.top + r.top),
                             static_cast<uint16_t>(r.Width()), static_cast<uint16_t>(r.Height())};
    figures_.pixels += uint64_t(static_cast<uint32_t>(r.Width())) * static_cast<uint32_t>(r.Height());
  }
  auto* xrects = reinterpret_cast<XRectangle*>(fillRects_.data());
  for (const FillPlan::Group& g : groups) {
    XSetForeground(dpy_, gc_, g.pixel);
    XFillRectangles(dpy_, window_, gc_, xrects + g.first, static_cast<int>(g.count));
  }
  figures_.rectangles += rects.size();
  figures_.colours += groups.size();
}

void X11Display::PresentFills() {
  // Erasing fills with colour 0, pixel 0 in every format; its group comes
  // first and is drawn first (see FillPlan).
  plan_.Build(damage_.Written(), damage_.WrittenPixels(), pixelMask_, 0);
  Fill(plan_.Groups(), plan_.Rects());
}

namespace {
constexpr uint64_t PackRect(const Rect& r) {
  auto c = [](int32_t v) { return static_cast<uint64_t>(static_cast<uint16_t>(std::clamp(v, -32768, 32767))); };
  return c(r.left) | c(r.top) << 16 | c(r.right) << 32 | c(r.bottom) << 48;
}
Rect UnpackRect(uint64_t v) {
  auto c = [v](int shift) { return int32_t{static_cast<int16_t>(static_cast<uint16_t>(v >> shift))}; };
  return Rect{c(0), c(16), c(32), c(48)};
}
bool Empty(const Rect& r) { return r.left >= r.right || r.top >= r.bottom; }
}  // namespace

void X11Display::RequestRepaint(const Rect& lost) {
  if (Empty(lost)) return;
  uint64_t seen = repaint_.load(std::memory_order_relaxed);
  for (;;) {
    // One rectangle holding everything lost so far: a few pixels repainted
    // twice cost less than a list the two threads would have to share.
    const Rect had = UnpackRect(seen);
    const Rect both = Empty(had) ? lost
                                 : Rect{std::min(had.left, lost.left), std::min(had.top, lost.top),
                                        std::max(had.right, lost.right), std::max(had.bottom, lost.bottom)};
    if (repaint_.compare_exchange_weak(seen, PackRect(both), std::memory_order_relaxed)) return;
  }
}

// What to repaint, in this display's coordinates and inside its area.
Rect X11Display::TakeRepaint() {
  const Rect lost = UnpackRect(repaint_.exchange(0, std::memory_order_relaxed));
  const Rect area = Area();
  const Rect cut{std::max(lost.left, area.left) - area.left, std::max(lost.top, area.top) - area.top,
                 std::min(lost.right, area.right) - area.left, std::min(lost.bottom, area.bottom) - area.top};
  return Empty(cut) ? Rect{} : cut;
}

void X11Display::Unlock() {
  if (shownWidth_ <= 0) return;
  BeginTrap();
  const Rect lost = TakeRepaint();
  // Filled rectangles or images (see the class). Of the ways to send
  // images, one put request for each damage rectangle cost the server less
  // than one clip list of the damage and a single copy (from a shared pixmap,
  // or a shared image put through the clip): building a region of a
  // thousand small rectangles and copying it band by band costs more than
  // the requests (bench/x11/floor.cpp's -present forms).
  if (fill_) {
    PresentFills();
    if (!Empty(lost)) {
      // After the frame: the lost part cleared and filled with what the
      // frame left lit there, over whatever the server showed.
      plan_.Within(lost, repaintGroups_, repaintRects_);
      Fill(repaintGroups_, repaintRects_);
    }
  } else {
    for (const Rect& r : damage_.Rects()) Put(r);
    if (!Empty(lost)) Put(lost);
  }
  if (!Empty(lost)) ++figures_.repaints;
  figures_.squares += damage_.Squares();
  damage_.Clear();
  ++figures_.frames;
  figures_.sharedMemory = imageShared_;
  figures_.filled = fill_;
  // Waiting for the server here does two things: the next frame does not
  // write into shared pixels the server is still reading, and a slow server
  // holds the frame rate back instead of queueing requests without end.
  const int error = EndTrap(dpy_);
  (void)error;  // a target window that went away; the window thread ends the run
}

}  // namespace tk::x11
