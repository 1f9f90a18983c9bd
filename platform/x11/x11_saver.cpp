// The Linux saver window on X11: full screen, preview, an ordinary window for
// trying the saver out, and the XScreenSaver hack mode. The window thread's
// event loop lives here; drawing is the render host's, through X11Display.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "core/clock.h"
#include "host/render_host.h"
#include "host/resources.h"
#include "platform/linux/event_loop.h"
#include "platform/linux/suspend_watch.h"
#include "platform/x11/x11_display.h"
#include "platform/x11/x11_errors.h"
#include "platform/x11/x11_monitors.h"
#include "platform/x11/x11_text.h"
#include "settings/file_store.h"
#include "shell/input_rules.h"
#include "shell/linux/front_ends.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/dpms.h>

namespace tk {
namespace {

constexpr const char* kClassName = "WindowsScreenSaverClass";
constexpr const char* kFullScreenTitle = "Screen Saver";
constexpr const char* kPreviewTitle = "Preview";
constexpr const char* kWindowTitle = "Telkarim's Screen Saver";
constexpr uint32_t kErrorTimerMs = 2500;
constexpr uint32_t kPowerPollMs = 1000;

// The settings priority on the render thread, which applies it to itself
// before its first frame. 0 leaves the thread as it is; -1 ("below normal")
// makes it 5 steps nicer than the process, on the thread's own id, so only
// the render thread yields; -15 ("idle") puts it in SCHED_IDLE, where it runs
// only when nothing else wants the processor. Failures leave it as it was:
// a saver that runs at the wrong priority still beats one that does not run.
void ApplyRenderPriority(int32_t priority) {
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  if (priority == -1) {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, tid);
    if (errno == 0) setpriority(PRIO_PROCESS, tid, nice + 5 > 19 ? 19 : nice + 5);
  } else if (priority == -15) {
    sched_param param{};
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
  }
}

bool WindowAlive(::Display* dpy, Window w) {
  XWindowAttributes wa;
  x11::BeginTrap();
  const Status ok = XGetWindowAttributes(dpy, w, &wa);
  return x11::EndTrap(dpy) == 0 && ok;
}

bool HasClassAndTitle(::Display* dpy, Window w, const char* cls, const char* title) {
  XClassHint hint{};
  bool classMatches = false;
  if (XGetClassHint(dpy, w, &hint)) {
    classMatches = hint.res_class && std::strcmp(hint.res_class, cls) == 0;
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
  }
  if (!classMatches) return false;
  char* name = nullptr;
  bool titleMatches = false;
  if (XFetchName(dpy, w, &name) && name) {
    titleMatches = std::strcmp(name, title) == 0;
    XFree(name);
  }
  return titleMatches;
}

// A full-screen saver already running: a top-level window of our class with
// the full-screen title.
Window FindRunningSaver(::Display* dpy) {
  Window root = DefaultRootWindow(dpy), parent = 0, *children = nullptr;
  unsigned count = 0;
  Window found = 0;
  x11::BeginTrap();
  if (XQueryTree(dpy, root, &root, &parent, &children, &count)) {
    for (unsigned i = count; i-- > 0 && !found;)  // top of the stacking order first
      if (HasClassAndTitle(dpy, children[i], kClassName, kFullScreenTitle)) found = children[i];
    if (children) XFree(children);
  }
  x11::EndTrap(dpy);
  return found;
}

CursorPoint QueryCursor(::Display* dpy) {
  Window root, child;
  int rx = 0, ry = 0, wx, wy;
  unsigned mask;
  XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rx, &ry, &wx, &wy, &mask);
  return CursorPoint{rx, ry};
}

Cursor BlankCursor(::Display* dpy, Window w) {
  static const char none[8] = {};
  Pixmap p = XCreateBitmapFromData(dpy, w, none, 8, 8);
  XColor black{};
  Cursor c = XCreatePixmapCursor(dpy, p, p, &black, &black, 0, 0);
  XFreePixmap(dpy, p);
  return c;
}

void SetNames(::Display* dpy, Window w, const char* title) {
  XStoreName(dpy, w, title);
  const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
  XChangeProperty(dpy, w, XInternAtom(dpy, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(title), static_cast<int>(std::strlen(title)));
  XClassHint hint;
  std::string name = "telkarim", cls = kClassName;
  hint.res_name = name.data();
  hint.res_class = cls.data();
  XSetClassHint(dpy, w, &hint);
}

Window CreateSaverWindow(::Display* dpy, Window parent, int x, int y, int w, int h, bool overrideRedirect,
                         long events, int screen = -1) {
  XSetWindowAttributes a{};
  a.background_pixel = BlackPixel(dpy, screen < 0 ? DefaultScreen(dpy) : screen);
  a.border_pixel = a.background_pixel;
  a.override_redirect = overrideRedirect ? True : False;
  a.event_mask = events;
  return XCreateWindow(dpy, parent, x, y, static_cast<unsigned>(w < 1 ? 1 : w), static_cast<unsigned>(h < 1 ? 1 : h),
                       0, CopyFromParent, InputOutput, CopyFromParent,
                       CWBackPixel | CWBorderPixel | CWOverrideRedirect | CWEventMask, &a);
}

Window ParseWindowEnv(const char* v) {
  if (!v || !*v) return 0;
  char* end = nullptr;
  errno = 0;
  const unsigned long long n = std::strtoull(v, &end, 0);
  while (end && (*end == ' ' || *end == '\t')) ++end;
  if (errno != 0 || !end || *end != '\0' || n == 0 || n > 0xFFFFFFFFull) return 0;
  return static_cast<Window>(n);
}

// A window's rectangle in the coordinates of its screen's root.
Rect RootRect(::Display* dpy, Window w) {
  XWindowAttributes wa;
  int x = 0, y = 0;
  Window child = 0;
  x11::BeginTrap();
  const Status ok = XGetWindowAttributes(dpy, w, &wa);
  if (ok) XTranslateCoordinates(dpy, w, wa.root, 0, 0, &x, &y, &child);
  if (x11::EndTrap(dpy) != 0 || !ok) return Rect{};
  return Rect{x, y, x + wa.width, y + wa.height};
}

int ScreenOf(::Display* dpy, Window w) {
  XWindowAttributes wa;
  x11::BeginTrap();
  const Status ok = XGetWindowAttributes(dpy, w, &wa);
  if (x11::EndTrap(dpy) != 0 || !ok) return DefaultScreen(dpy);
  return XScreenNumberOfScreen(wa.screen);
}

// One run of the saver: one window, or in full screen one per X screen.
class SaverRun {
 public:
  SaverRun(::Display* dpy, const SaverRequest& request) : dpy_(dpy), request_(request) {}
  ~SaverRun() { Teardown(); }

  // Returns the exit code.
  int Run();

 private:
  bool CreateTarget();
  void CreateDisplays();
  void AddDisplays(Window w);
  void HandleEvent(XEvent& e);
  void Watch(InputKind kind, CursorPoint cursor = {});
  void PollPower();
  void Teardown();

  ::Display* dpy_;
  const SaverRequest& request_;
  Window window_ = 0;       // the window drawn into
  bool ownWindow_ = false;  // we created it and destroy it at the end
  Window named_ = 0;        // the window the command line or XSCREENSAVER_WINDOW named, for the error line
  Window parent_ = 0;       // preview: the caller's window
  bool fullScreen_ = false;
  bool watching_ = false;
  Atom deleteAtom_ = 0;
  Cursor blank_ = 0;
  EventLoop loop_;
  bool grabbed_ = false;
  bool powerDown_ = false;
  std::unique_ptr<InputWatch> watch_;
  std::unique_ptr<SuspendWatch> suspend_;  // only where input is watched: a hack's daemon decides for itself
  // Full screen on a display of several X screens: a window on every other
  // screen, each with its own blank cursor.
  std::vector<Window> screenWindows_;
  std::vector<Cursor> screenCursors_;
  // The display of every monitor, the primary's first, and the window each
  // draws into.
  struct Screen {
    Window window;
    std::unique_ptr<x11::X11Display> display;
  };
  std::vector<Screen> displays_;
  std::unique_ptr<FileSettingsStore> store_;
  std::unique_ptr<StdThreadStarter> threads_;
  std::unique_ptr<HostPlatform> platform_;
  std::unique_ptr<RenderHost> host_;
  std::unique_ptr<x11::XftTextPainter> painter_;
};

bool SaverRun::CreateTarget() {
  const int screen = DefaultScreen(dpy_);
  const Window root = RootWindow(dpy_, screen);
  const long input = KeyPressMask | ButtonPressMask | PointerMotionMask | FocusChangeMask;
  const long basic = ExposureMask | StructureNotifyMask;
  switch (request_.mode) {
    case SaverRequest::Mode::kFullScreen: {
      fullScreen_ = watching_ = true;
      window_ = CreateSaverWindow(dpy_, root, 0, 0, DisplayWidth(dpy_, screen), DisplayHeight(dpy_, screen), true,
                                  basic | input);
      ownWindow_ = true;
      SetNames(dpy_, window_, kFullScreenTitle);
      // Every other X screen is covered too, and input there ends the run
      // like input on the first.
      for (int s = 0; s < ScreenCount(dpy_); ++s) {
        if (s == screen) continue;
        const Window w = CreateSaverWindow(dpy_, RootWindow(dpy_, s), 0, 0, DisplayWidth(dpy_, s),
                                           DisplayHeight(dpy_, s), true, basic | input, s);
        SetNames(dpy_, w, kFullScreenTitle);
        screenCursors_.push_back(BlankCursor(dpy_, w));
        XDefineCursor(dpy_, w, screenCursors_.back());
        screenWindows_.push_back(w);
      }
      break;
    }
    case SaverRequest::Mode::kPreview: {
      parent_ = static_cast<Window>(request_.window);
      XWindowAttributes pa;
      x11::BeginTrap();
      const Status ok = XGetWindowAttributes(dpy_, parent_, &pa);
      if (x11::EndTrap(dpy_) != 0 || !ok) return false;
      // Hearing of the parent's resizes and its end; a window of another
      // client can vanish between the check and this call.
      x11::BeginTrap();
      XSelectInput(dpy_, parent_, StructureNotifyMask);
      window_ = CreateSaverWindow(dpy_, parent_, 0, 0, pa.width, pa.height, false, basic);
      if (x11::EndTrap(dpy_) != 0) return false;
      ownWindow_ = true;
      SetNames(dpy_, window_, kPreviewTitle);
      break;
    }
    case SaverRequest::Mode::kWindow: {
      watching_ = true;
      const int w = request_.width > 0 ? request_.width : 800, h = request_.height > 0 ? request_.height : 600;
      window_ = CreateSaverWindow(dpy_, root, 0, 0, w, h, false, basic | input);
      ownWindow_ = true;
      SetNames(dpy_, window_, kWindowTitle);
      break;
    }
    case SaverRequest::Mode::kHack: {
      Window target = 0;
      if (request_.root) {
        // XScreenSaver's virtual root, where it has one.
        target = ParseWindowEnv(std::getenv("XSCREENSAVER_WINDOW"));
        if (!target) target = root;
      } else if (request_.window) {
        target = static_cast<Window>(request_.window);
      } else {
        target = ParseWindowEnv(std::getenv("XSCREENSAVER_WINDOW"));
      }
      named_ = target;
      if (target) {
        x11::BeginTrap();
        XWindowAttributes ta;
        const Status ok = XGetWindowAttributes(dpy_, target, &ta);
        if (ok) XSelectInput(dpy_, target, ta.your_event_mask | basic);
        if (x11::EndTrap(dpy_) != 0 || !ok) return false;
        window_ = target;
      } else {
        const int w = request_.width > 0 ? request_.width : 800, h = request_.height > 0 ? request_.height : 600;
        window_ = CreateSaverWindow(dpy_, root, 0, 0, w, h, false, basic);
        ownWindow_ = true;
        SetNames(dpy_, window_, kWindowTitle);
      }
      break;
    }
  }
  if (ownWindow_ && parent_ == 0) {
    deleteAtom_ = XInternAtom(dpy_, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(dpy_, window_, &deleteAtom_, 1);
  }
  if (ownWindow_ && request_.mode != SaverRequest::Mode::kPreview) {
    blank_ = BlankCursor(dpy_, window_);
    XDefineCursor(dpy_, window_, blank_);
  }
  return true;
}

int SaverRun::Run() {
  if (!CreateTarget()) {
    const Window named = named_ ? named_ : static_cast<Window>(request_.window);
    std::fprintf(stderr, "telkarim: window 0x%lx does not exist\n", static_cast<unsigned long>(named));
    return 1;
  }
  watch_ = std::make_unique<InputWatch>(watching_, fullScreen_);
  watch_->SetAnchor(QueryCursor(dpy_));
  if (watching_) suspend_ = std::make_unique<SuspendWatch>(loop_, [this] { Watch(InputKind::kPowerEvent); });
  if (ownWindow_) XMapRaised(dpy_, window_);
  for (Window w : screenWindows_) XMapRaised(dpy_, w);
  XSync(dpy_, False);

  store_ = std::make_unique<FileSettingsStore>(request_.settingsFile ? *request_.settingsFile : DefaultSettingsPath());
  CreateDisplays();
  threads_ = std::make_unique<StdThreadStarter>(&ApplyRenderPriority);
  std::vector<Display*> displays;
  for (Screen& d : displays_) displays.push_back(d.display.get());
  platform_ = std::unique_ptr<HostPlatform>(
      new HostPlatform{displays, *store_, EmbeddedResources(), *threads_, request_.adjustSettings});
  host_ = std::make_unique<RenderHost>(*platform_, TickCount());
  if (host_->errorText()) painter_ = std::make_unique<x11::XftTextPainter>(dpy_, window_);

  // SIGTERM and SIGINT end the run cleanly.
  loop_.OnSignal(SIGTERM, [this] { loop_.Stop(); });
  loop_.OnSignal(SIGINT, [this] { loop_.Stop(); });
  // Xlib reads events into its own queue: empty it before every wait.
  loop_.BeforeWait([this] {
    while (XPending(dpy_)) {
      XEvent e;
      XNextEvent(dpy_, &e);
      HandleEvent(e);
    }
  });
  loop_.AddFd(ConnectionNumber(dpy_), [] {});  // read by XPending before the next wait
  if (painter_)
    loop_.AddTimer(kErrorTimerMs, [this] {
      host_->OnErrorTimer(*painter_);
      XFlush(dpy_);
    });
  int dpmsEvent = 0, dpmsError = 0;
  if (DPMSQueryExtension(dpy_, &dpmsEvent, &dpmsError) && DPMSCapable(dpy_))
    loop_.AddTimer(kPowerPollMs, [this] { PollPower(); });
  loop_.Run();
  Teardown();
  return 0;
}

// A display for every monitor the windows cover, the primary's first. A
// window on a single monitor, a preview and a trial window get the one
// display for the whole window they always had.
void SaverRun::CreateDisplays() {
  AddDisplays(window_);
  for (Window w : screenWindows_) AddDisplays(w);
}

void SaverRun::AddDisplays(Window w) {
  std::vector<Rect> monitors;
  if (request_.mode == SaverRequest::Mode::kFullScreen || request_.mode == SaverRequest::Mode::kHack) {
    const int screen = ScreenOf(dpy_, w);
    monitors = x11::MonitorsInWindow(
        x11::ArrangeMonitors(x11::QueryMonitors(dpy_, screen), DisplayWidth(dpy_, screen), DisplayHeight(dpy_, screen)),
        RootRect(dpy_, w));
  }
  const char* name = DisplayString(dpy_);
  auto add = [&](std::unique_ptr<x11::X11Display> d) { displays_.push_back(Screen{w, std::move(d)}); };
  if (monitors.empty()) add(std::make_unique<x11::X11Display>(name, w));
  for (const Rect& m : monitors) add(std::make_unique<x11::X11Display>(name, w, m));
}

void SaverRun::Watch(InputKind kind, CursorPoint cursor) {
  if (watch_->ShouldClose(kind, cursor)) loop_.Stop();
}

void SaverRun::HandleEvent(XEvent& e) {
  switch (e.type) {
    case KeyPress: Watch(InputKind::kKeyPress); break;
    case ButtonPress: Watch(InputKind::kButtonPress); break;
    case MotionNotify:
      // Where the cursor is now, not where the event says it was: a queue of
      // motion events then measures one travel, not many.
      Watch(InputKind::kPointerMotion, QueryCursor(dpy_));
      break;
    case FocusOut:
      // Grabs and focus moving inside our own window are not a loss, nor is
      // the focus moved elsewhere while our keyboard grab holds (a window
      // manager or XWayland following the compositor's focus): every key
      // still comes to us.
      if (e.xfocus.mode == NotifyWhileGrabbed && grabbed_) break;
      if ((e.xfocus.mode == NotifyNormal || e.xfocus.mode == NotifyWhileGrabbed) &&
          e.xfocus.detail != NotifyInferior && e.xfocus.detail != NotifyPointer)
        Watch(InputKind::kFocusLost);
      break;
    case MapNotify:
      if (fullScreen_ && e.xmap.window == window_ && !grabbed_) {
        // An override-redirect window gets no focus from a window manager.
        x11::BeginTrap();
        XSetInputFocus(dpy_, window_, RevertToParent, CurrentTime);
        grabbed_ = XGrabKeyboard(dpy_, window_, True, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
        x11::EndTrap(dpy_);
      }
      break;
    case Expose:
      if (e.xexpose.count == 0)
        for (Screen& d : displays_)
          if (d.window == e.xexpose.window) d.display->RequestRepaint();
      break;
    case ConfigureNotify:
      // The render thread sees the new client size at its next frame and
      // remakes its image; a preview follows its parent's size.
      for (Screen& d : displays_)
        if (d.window == e.xconfigure.window) d.display->SetClientSize(e.xconfigure.width, e.xconfigure.height);
      if (parent_ && e.xconfigure.window == parent_)
        XResizeWindow(dpy_, window_, static_cast<unsigned>(e.xconfigure.width < 1 ? 1 : e.xconfigure.width),
                      static_cast<unsigned>(e.xconfigure.height < 1 ? 1 : e.xconfigure.height));
      break;
    case DestroyNotify:
      if (e.xdestroywindow.window == window_ || (parent_ && e.xdestroywindow.window == parent_)) {
        if (e.xdestroywindow.window == window_) ownWindow_ = false;  // nothing left to destroy
        loop_.Stop();
      }
      for (Window& w : screenWindows_)
        if (e.xdestroywindow.window == w) {
          w = 0;
          loop_.Stop();
        }
      break;
    case ClientMessage:
      if (deleteAtom_ && static_cast<Atom>(e.xclient.data.l[0]) == deleteAtom_) loop_.Stop();
      break;
    default: break;
  }
}

// The monitor powered down: stop drawing for good, as the host does when the
// system announces it.
void SaverRun::PollPower() {
  if (powerDown_ || !host_) return;
  CARD16 level = 0;
  BOOL enabled = False;
  if (!DPMSInfo(dpy_, &level, &enabled)) return;
  if (enabled && level != DPMSModeOn) {
    powerDown_ = true;
    host_->OnMonitorPowerDown();
  }
}

void SaverRun::Teardown() {
  // The window goes first so the screen comes back at once; the render
  // thread's last requests to it fail quietly into the error handler.
  if (grabbed_) XUngrabKeyboard(dpy_, CurrentTime);
  grabbed_ = false;
  if (ownWindow_ && window_) {
    x11::BeginTrap();
    XDestroyWindow(dpy_, window_);
    x11::EndTrap(dpy_);
  }
  ownWindow_ = false;
  if (!screenWindows_.empty()) {
    x11::BeginTrap();
    for (Window w : screenWindows_)
      if (w) XDestroyWindow(dpy_, w);
    x11::EndTrap(dpy_);
    screenWindows_.clear();
  }
  painter_.reset();
  host_.reset();  // stops and joins the render thread, closes the display
  platform_.reset();
  threads_.reset();
  displays_.clear();
  store_.reset();
  if (blank_) XFreeCursor(dpy_, blank_);
  blank_ = 0;
  for (Cursor c : screenCursors_) XFreeCursor(dpy_, c);
  screenCursors_.clear();
}

::Display* OpenDisplay() {
  x11::InstallErrorHandler();
  return XOpenDisplay(nullptr);
}

}  // namespace

int RunX11Saver(const SaverRequest& request) {
  XInitThreads();  // belt and braces: the render thread has its own connection anyway
  ::Display* dpy = OpenDisplay();
  if (!dpy) {
    std::fprintf(stderr, "telkarim: cannot open the X display\n");
    return 1;
  }
  if (request.mode == SaverRequest::Mode::kFullScreen) {
    if (Window running = FindRunningSaver(dpy)) {
      x11::BeginTrap();
      XRaiseWindow(dpy, running);
      x11::EndTrap(dpy);
      XCloseDisplay(dpy);
      return 0;
    }
  }
  int code = 0;
  {
    SaverRun run(dpy, request);
    code = run.Run();
  }
  XCloseDisplay(dpy);
  return code;
}

bool X11WindowExists(uint32_t window) {
  if (window == 0) return false;
  ::Display* dpy = OpenDisplay();
  if (!dpy) return false;
  const bool alive = WindowAlive(dpy, window);
  XCloseDisplay(dpy);
  return alive;
}

uint32_t X11ForegroundWindow() {
  ::Display* dpy = OpenDisplay();
  if (!dpy) return 0;
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(dpy, &focus, &revert);
  XCloseDisplay(dpy);
  if (focus == None || focus == PointerRoot) return 0;
  return static_cast<uint32_t>(focus);
}

}  // namespace tk
