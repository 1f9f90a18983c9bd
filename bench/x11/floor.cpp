// The Xlib floor for bench/x11_cpu.sh: the squares the saver draws (a star
// field flying towards the viewer and a turning ball of points at the
// centre, each point a square of the width / 320 rule), erased and redrawn
// at a fixed frame rate. In its first form ("fill") the server draws them
// with two batched XFillRectangles a frame, the cheapest a client can ask
// for; the other forms draw the same squares into a client-side image and
// present the changed squares in one of the ways a display could, so the
// ways can be measured side by side on identical damage. "view-fill" is the
// floor of a program that must draw every square into a pixel view of the
// screen first, as the saver does, and then fills: it writes the squares
// into a private image and presents them as "fill" does. -colours N spreads
// the drawn squares over N colours, one XSetForeground and XFillRectangles
// each, as a picture of N colours costs the server (fill forms only).
//
//   bench_x11_floor (-root | -window-id ID) [-stars N] [-points N] [-fps N]
//                   [-present fill|view-fill|put|shm-put|clip-put|clip-copy]
//                   [-colours N]
//
// Ends on SIGTERM or SIGINT and prints "frames F squares S" to stderr.
#include "bench/floor_squares.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

volatile std::sig_atomic_t stop = 0;
void OnSignal(int) { stop = 1; }

enum class Present { kFill, kViewFill, kPut, kShmPut, kClipPut, kClipCopy };

int Fail(const char* what) {
  std::fprintf(stderr, "bench_x11_floor: %s\n", what);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Window target = 0;
  bool root = false;
  int stars = 500, points = 1000, fps = 50, colours = 1;
  Present present = Present::kFill;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "-root") {
      root = true;
    } else if (a == "-window-id" && more) {
      target = std::strtoul(argv[++i], nullptr, 0);
    } else if (a == "-stars" && more) {
      stars = std::atoi(argv[++i]);
    } else if (a == "-points" && more) {
      points = std::atoi(argv[++i]);
    } else if (a == "-fps" && more) {
      fps = std::atoi(argv[++i]);
    } else if (a == "-colours" && more) {
      colours = std::atoi(argv[++i]);
    } else if (a == "-present" && more) {
      const std::string p = argv[++i];
      if (p == "fill") present = Present::kFill;
      else if (p == "view-fill") present = Present::kViewFill;
      else if (p == "put") present = Present::kPut;
      else if (p == "shm-put") present = Present::kShmPut;
      else if (p == "clip-put") present = Present::kClipPut;
      else if (p == "clip-copy") present = Present::kClipCopy;
      else return Fail("unknown -present");
    } else {
      return Fail("usage: (-root | -window-id ID) [-stars N] [-points N] [-fps N] [-present MODE] [-colours N]");
    }
  }
  if (fps < 1 || stars < 0 || points < 0 || colours < 1) return Fail("bad number");
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) return Fail("cannot open display");
  if (root || !target) target = DefaultRootWindow(dpy);
  XWindowAttributes wa;
  if (!XGetWindowAttributes(dpy, target, &wa)) return Fail("no such window");
  const int width = wa.width, height = wa.height;
  tk::bench::FloorSquares scene(width, height, stars, points);
  const int side = scene.side();
  const size_t total = scene.capacity();
  std::vector<XRectangle> old(total), now(total), rects, group;
  size_t oldCount = 0;
  rects.reserve(2 * total);
  group.reserve(total);

  GC gc = XCreateGC(dpy, target, 0, nullptr);
  const unsigned long white = WhitePixel(dpy, DefaultScreen(dpy)), black = BlackPixel(dpy, DefaultScreen(dpy));
  XImage* image = nullptr;
  XShmSegmentInfo shm{};
  Pixmap pixmap = 0;
  const bool shared = present == Present::kShmPut || present == Present::kClipPut || present == Present::kClipCopy;
  const bool fills = present == Present::kFill || present == Present::kViewFill;
  if (present != Present::kFill) {
    if (shared) {
      image = XShmCreateImage(dpy, wa.visual, static_cast<unsigned>(wa.depth), ZPixmap, nullptr, &shm,
                              static_cast<unsigned>(width), static_cast<unsigned>(height));
      if (!image) return Fail("no MIT-SHM");
      shm.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * height, IPC_CREAT | 0600);
      shm.shmaddr = image->data = static_cast<char*>(shmat(shm.shmid, nullptr, 0));
      shm.readOnly = False;
      if (!XShmAttach(dpy, &shm)) return Fail("XShmAttach failed");
      XSync(dpy, False);
      shmctl(shm.shmid, IPC_RMID, nullptr);
      if (present == Present::kClipCopy) {
        if (XShmPixmapFormat(dpy) != ZPixmap) return Fail("no shared pixmaps");
        pixmap = XShmCreatePixmap(dpy, target, shm.shmaddr, &shm, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), static_cast<unsigned>(wa.depth));
      }
    } else {
      image = XCreateImage(dpy, wa.visual, static_cast<unsigned>(wa.depth), ZPixmap, 0, nullptr,
                           static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
      // On 2 MiB pages where the kernel gives them, as the saver's own
      // private image is.
      const size_t huge = size_t{2} << 20;
      const size_t bytes = (static_cast<size_t>(image->bytes_per_line) * height + huge - 1) / huge * huge;
      image->data = static_cast<char*>(std::aligned_alloc(huge, bytes));
      if (!image->data) return Fail("out of memory");
      madvise(image->data, bytes, MADV_HUGEPAGE);
    }
    std::memset(image->data, 0, static_cast<size_t>(image->bytes_per_line) * height);
    if (image->bits_per_pixel != 32) return Fail("the image forms need a 32-bit visual");
  }
  XSetForeground(dpy, gc, black);
  XFillRectangle(dpy, target, gc, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height));

  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);
  tk::bench::FrameClock pace(fps);
  uint64_t frames = 0, squares = 0;
  auto fillImage = [&](const XRectangle& r, uint32_t pixel) {
    for (int j = 0; j < r.height; ++j) {
      auto* row = reinterpret_cast<uint32_t*>(image->data + (r.y + j) * image->bytes_per_line) + r.x;
      for (int i = 0; i < r.width; ++i) row[i] = pixel;
    }
  };
  while (!stop) {
    // Move everything by one frame at the target rate.
    size_t n = 0;
    scene.Step(fps, [&](int sx, int sy) {
      now[n++] = XRectangle{static_cast<short>(sx), static_cast<short>(sy), static_cast<unsigned short>(side),
                            static_cast<unsigned short>(side)};
    });
    squares += oldCount + n;
    if (fills) {
      if (present == Present::kViewFill) {
        for (size_t i = 0; i < oldCount; ++i) fillImage(old[i], 0);
        for (size_t i = 0; i < n; ++i) fillImage(now[i], 0xFFFFFFu - static_cast<uint32_t>(i % colours));
      }
      XSetForeground(dpy, gc, black);
      XFillRectangles(dpy, target, gc, old.data(), static_cast<int>(oldCount));
      for (int k = 0; k < colours; ++k) {
        group.clear();
        for (size_t i = static_cast<size_t>(k); i < n; i += static_cast<size_t>(colours)) group.push_back(now[i]);
        if (group.empty()) break;
        XSetForeground(dpy, gc, white - static_cast<unsigned long>(k));
        XFillRectangles(dpy, target, gc, group.data(), static_cast<int>(group.size()));
      }
    } else {
      rects.clear();
      for (size_t i = 0; i < oldCount; ++i) {
        fillImage(old[i], 0);
        rects.push_back(old[i]);
      }
      for (size_t i = 0; i < n; ++i) {
        fillImage(now[i], 0xFFFFFFu);
        rects.push_back(now[i]);
      }
      if (present == Present::kPut || present == Present::kShmPut) {
        for (const XRectangle& r : rects) {
          if (present == Present::kPut)
            XPutImage(dpy, target, gc, image, r.x, r.y, r.x, r.y, r.width, r.height);
          else
            XShmPutImage(dpy, target, gc, image, r.x, r.y, r.x, r.y, r.width, r.height, False);
        }
      } else if (!rects.empty()) {
        XSetClipRectangles(dpy, gc, 0, 0, rects.data(), static_cast<int>(rects.size()), Unsorted);
        if (present == Present::kClipPut)
          XShmPutImage(dpy, target, gc, image, 0, 0, 0, 0, static_cast<unsigned>(width),
                       static_cast<unsigned>(height), False);
        else
          XCopyArea(dpy, pixmap, target, gc, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), 0, 0);
      }
    }
    XSync(dpy, False);
    std::swap(old, now);
    oldCount = n;
    ++frames;
    pace.Wait(stop);
  }
  std::fprintf(stderr, "frames %llu squares %llu\n", static_cast<unsigned long long>(frames),
               static_cast<unsigned long long>(squares));
  if (pixmap) XFreePixmap(dpy, pixmap);
  if (shared) XShmDetach(dpy, &shm);
  XCloseDisplay(dpy);
  return 0;
}
