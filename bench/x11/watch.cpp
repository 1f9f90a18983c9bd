// The server's side of a frame rate, for bench/x11_cpu.sh: watches drawing
// into a window with the DAMAGE extension and reports how many frames
// reached the server and their mean period, from the server's own
// timestamps. A frame is a burst of drawing; drawing that comes within half
// the target period of the last counts as the same frame.
//
// It can also make the window to watch: a plain black one at the top left,
// and optionally some windows over it, so that the watched window is seen
// through several visible rectangles.
//
//   bench_x11_watch [-window WxH [-cover N]] [-fps N]
//
// Prints "window ID" (decimal) when it made one. Counting starts on SIGUSR1
// and ends on SIGTERM or SIGINT, which print "presents N period MS".
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

volatile std::sig_atomic_t counting = 0, stop = 0;
void OnStart(int) { counting = 1; }
void OnStop(int) { stop = 1; }

int Fail(const char* what) {
  std::fprintf(stderr, "bench_x11_watch: %s\n", what);
  return 2;
}

Window MakeWindow(Display* dpy, int x, int y, int w, int h, unsigned long pixel) {
  XSetWindowAttributes a{};
  a.background_pixel = pixel;
  a.override_redirect = True;
  const Window win = XCreateWindow(dpy, DefaultRootWindow(dpy), x, y, static_cast<unsigned>(w),
                                   static_cast<unsigned>(h), 0, CopyFromParent, InputOutput, CopyFromParent,
                                   CWBackPixel | CWOverrideRedirect, &a);
  XMapRaised(dpy, win);
  return win;
}

}  // namespace

int main(int argc, char** argv) {
  int width = 0, height = 0, cover = 0, fps = 50;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-window" && i + 1 < argc && std::sscanf(argv[i + 1], "%dx%d", &width, &height) == 2) {
      ++i;
    } else if (a == "-cover" && i + 1 < argc) {
      cover = std::atoi(argv[++i]);
    } else if (a == "-fps" && i + 1 < argc) {
      fps = std::atoi(argv[++i]);
    } else {
      return Fail("usage: [-window WxH [-cover N]] [-fps N]");
    }
  }
  if (fps < 1) return Fail("bad -fps");
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) return Fail("cannot open display");
  int eventBase = 0, errorBase = 0;
  if (!XDamageQueryExtension(dpy, &eventBase, &errorBase)) return Fail("no DAMAGE extension");
  Window target = DefaultRootWindow(dpy);
  if (width > 0 && height > 0) {
    target = MakeWindow(dpy, 0, 0, width, height, BlackPixel(dpy, DefaultScreen(dpy)));
    // Grey windows over a quarter of the target each, overlapping its edges
    // and each other, so it shows as many rectangles.
    for (int k = 0; k < cover; ++k) {
      const int x = (k * 37 % 100) * width / 100, y = (k * 61 % 100) * height / 100;
      MakeWindow(dpy, x - width / 8, y - height / 8, width / 4, height / 4, 0x404040);
    }
    XSync(dpy, False);
    std::printf("window %lu\n", target);
    std::fflush(stdout);
  }
  // The server keeps a damage region of every drawing request while the
  // watch lasts, which costs it as much as the drawing: made only once
  // counting starts, so the window alone costs nothing.
  Damage damage = 0;
  std::signal(SIGUSR1, OnStart);
  std::signal(SIGTERM, OnStop);
  std::signal(SIGINT, OnStop);
  const unsigned long gap = static_cast<unsigned long>(1000 / fps / 2);
  unsigned long presents = 0, first = 0, last = 0;
  while (!stop) {
    if (counting && !damage) damage = XDamageCreate(dpy, target, XDamageReportNonEmpty);
    pollfd p{ConnectionNumber(dpy), POLLIN, 0};
    if (XPending(dpy) == 0) poll(&p, 1, 100);
    while (XPending(dpy) > 0) {
      XEvent e;
      XNextEvent(dpy, &e);
      if (e.type != eventBase + XDamageNotify) continue;
      const auto* d = reinterpret_cast<XDamageNotifyEvent*>(&e);
      // Re-arm: the next drawing sends the next event.
      XDamageSubtract(dpy, damage, None, None);
      if (!counting) continue;
      const unsigned long t = d->timestamp;
      if (presents == 0) {
        first = last = t;
        presents = 1;
      } else if (t - last >= gap) {
        last = t;
        ++presents;
      }
    }
  }
  const double period = presents > 1 ? static_cast<double>(last - first) / static_cast<double>(presents - 1) : 0.0;
  std::fprintf(stderr, "presents %lu period %.3f\n", presents, period);
  if (damage) XDamageDestroy(dpy, damage);
  XCloseDisplay(dpy);
  return 0;
}
