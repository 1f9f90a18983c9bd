// The Linux saver on X11: one run of the saver on the target its mode asked
// for (x11_target.h), served by the window thread's event loop; drawing is
// the render host's, through one X11Display per window and monitor.
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/clock.h"
#include "host/render_host.h"
#include "host/resources.h"
#include "platform/linux/event_loop.h"
#include "platform/linux/render_priority.h"
#include "platform/linux/suspend_watch.h"
#include "platform/x11/x11_display.h"
#include "platform/x11/x11_errors.h"
#include "platform/x11/x11_follow_screen.h"
#include "platform/x11/x11_target.h"
#include "platform/x11/x11_text.h"
#include "settings/file_store.h"
#include "shell/input_rules.h"
#include "shell/linux/front_ends.h"

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>

namespace tk {
namespace {

constexpr uint32_t kErrorTimerMs = 2500;
constexpr uint32_t kPowerPollMs = 1000;

CursorPoint QueryCursor(::Display* dpy) {
  Window root, child;
  int rx = 0, ry = 0, wx, wy;
  unsigned mask;
  XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rx, &ry, &wx, &wy, &mask);
  return CursorPoint{rx, ry};
}

// One run of the saver on one target.
class SaverRun {
 public:
  SaverRun(::Display* dpy, const SaverRequest& request, std::unique_ptr<x11::SaverTarget> target)
      : dpy_(dpy),
        request_(request),
        target_(std::move(target)),
        watch_(target_->WatchesInput(), target_->FullScreen()),
        screens_(dpy, request.environment.present) {}
  ~SaverRun() { Teardown(); }

  // Returns the exit code.
  int Run();

 private:
  void Start();
  void Listen();
  void TakeEvents();
  void HandleEvent(const XEvent& e);
  void Watch(InputKind kind, CursorPoint cursor = {});
  void PollPower();
  void Teardown();

  ::Display* dpy_;
  const SaverRequest& request_;
  std::unique_ptr<x11::SaverTarget> target_;
  InputWatch watch_;
  EventLoop loop_;
  bool powerDown_ = false;
  std::unique_ptr<SuspendWatch> suspend_;  // only where input is watched: a hack's daemon decides for itself
  // The display of every monitor, the primary's first, following the
  // screens and their monitors.
  x11::ScreenFollower screens_;
  bool desktopChanged_ = false;  // a screen or its monitors changed in this batch of events
  bool pointerMoved_ = false;    // motion in this batch of events
  std::unique_ptr<FileSettingsStore> store_;
  std::unique_ptr<StdThreadStarter> threads_;
  std::unique_ptr<HostPlatform> platform_;
  std::unique_ptr<RenderHost> host_;
  std::unique_ptr<x11::XftTextPainter> painter_;
};

int SaverRun::Run() {
  // SIGTERM and SIGINT end the run cleanly, from the start on.
  loop_.OnSignal(SIGTERM, [this] { loop_.Stop(); });
  loop_.OnSignal(SIGINT, [this] { loop_.Stop(); });
  watch_.SetAnchor(QueryCursor(dpy_));
  if (target_->WatchesInput())
    suspend_ = std::make_unique<SuspendWatch>(loop_, [this] { Watch(InputKind::kPowerEvent); });
  target_->Show();
  XSync(dpy_, False);
  Start();
  Listen();
  loop_.Run();
  Teardown();
  return 0;
}

// The displays of the windows' monitors, and the render host that draws on
// them.
void SaverRun::Start() {
  store_ = std::make_unique<FileSettingsStore>(request_.settingsFile.value_or(std::string()));
  screens_.Open(*target_);
  std::vector<Display*> displays;
  for (auto& d : screens_.displays()) displays.push_back(d.display.get());
  threads_ = std::make_unique<StdThreadStarter>(&ApplyRenderPriority);
  platform_ = std::unique_ptr<HostPlatform>(
      new HostPlatform{displays, *store_, EmbeddedResources(), *threads_, request_.adjustSettings});
  host_ = std::make_unique<RenderHost>(*platform_, TickCount());
  if (host_->errorText()) painter_ = std::make_unique<x11::XftTextPainter>(dpy_, target_->windows().front());
}

// What the window thread waits on besides the signals: the X connection,
// the error message's timer and the monitor's power state.
void SaverRun::Listen() {
  // Screens that grow or shrink and monitors that come and go, on every
  // screen: the windows and the scenes follow them while the saver runs.
  if (screens_.Select())
    loop_.AddTimer(x11::kMonitorPollMs, [this] {
      if (screens_.MonitorsMoved()) screens_.Follow(*target_, host_.get());
    });
  // Xlib reads events into its own queue: empty it before every wait.
  loop_.BeforeWait([this] { TakeEvents(); });
  loop_.AddFd(ConnectionNumber(dpy_), [] {});  // read by XPending before the next wait
  if (painter_)
    loop_.AddTimer(kErrorTimerMs, [this] {
      host_->OnErrorTimer(*painter_);
      XFlush(dpy_);
    });
  int dpmsEvent = 0, dpmsError = 0;
  if (DPMSQueryExtension(dpy_, &dpmsEvent, &dpmsError) && DPMSCapable(dpy_))
    loop_.AddTimer(kPowerPollMs, [this] { PollPower(); });
}

// One batch of events. Motion is judged once the batch is in, and only
// after a round trip: when the server moves the pointer itself (clamped into
// a screen that shrank), the screen's change comes with that motion, and the
// pointer's move is then not the user's. The travel is measured afresh from
// where the change left the pointer.
void SaverRun::TakeEvents() {
  desktopChanged_ = pointerMoved_ = false;
  for (bool synced = false;; synced = true) {
    while (XPending(dpy_)) {
      XEvent e;
      XNextEvent(dpy_, &e);
      HandleEvent(e);
    }
    if (!pointerMoved_ || synced || !target_->WatchesInput()) break;
    XSync(dpy_, False);
  }
  // RandR speaks up for less than a change too (a client asking it about
  // the outputs can be enough); only a real change excuses motion.
  if (desktopChanged_ && screens_.Follow(*target_, host_.get())) {
    watch_.SetAnchor(QueryCursor(dpy_));
  } else if (pointerMoved_) {
    // Where the cursor is now, not where the events say it was: a queue of
    // motion events then measures one travel, not many.
    Watch(InputKind::kPointerMotion, QueryCursor(dpy_));
  }
}

void SaverRun::Watch(InputKind kind, CursorPoint cursor) {
  if (watch_.ShouldClose(kind, cursor)) loop_.Stop();
}

void SaverRun::HandleEvent(const XEvent& e) {
  if (target_->Handle(e)) loop_.Stop();
  switch (e.type) {
    case KeyPress: Watch(InputKind::kKeyPress); break;
    case ButtonPress: Watch(InputKind::kButtonPress); break;
    case MotionNotify: pointerMoved_ = true; break;
    case FocusOut:
      // Grabs and focus moving inside our own window are not a loss, nor is
      // the focus moved elsewhere while our keyboard grab holds (a window
      // manager or XWayland following the compositor's focus): every key
      // still comes to us.
      if (e.xfocus.mode == NotifyWhileGrabbed && target_->KeyboardGrabbed()) break;
      if ((e.xfocus.mode == NotifyNormal || e.xfocus.mode == NotifyWhileGrabbed) &&
          e.xfocus.detail != NotifyInferior && e.xfocus.detail != NotifyPointer)
        Watch(InputKind::kFocusLost);
      break;
    case Expose: {
      // Every rectangle the server lost; each display repaints its part.
      const Rect lost{e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width, e.xexpose.y + e.xexpose.height};
      for (auto& d : screens_.displays())
        if (d.window == e.xexpose.window) d.display->RequestRepaint(lost);
      break;
    }
    case ConfigureNotify:
      // The render thread sees the new client size at its next frame and
      // remakes its image.
      for (auto& d : screens_.displays())
        if (d.window == e.xconfigure.window) d.display->SetClientSize(e.xconfigure.width, e.xconfigure.height);
      break;
    default:
      if (screens_.Tells(e)) desktopChanged_ = true;
      break;
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
  // The windows go first so the screen comes back at once; the render
  // thread's last requests to them fail quietly into the error handler.
  if (target_) target_->Hide();
  painter_.reset();
  host_.reset();  // stops and joins the render thread, closes the displays
  platform_.reset();
  threads_.reset();
  if (request_.environment.present.printFigures)
    for (const auto& d : screens_.displays())
      std::fprintf(stderr, "%s\n", x11::FiguresLine(d.display->figures()).c_str());
  screens_.displays().clear();
  store_.reset();
  suspend_.reset();
  target_.reset();
}

::Display* OpenDisplay() {
  x11::InstallErrorHandler();
  return XOpenDisplay(nullptr);
}

// A second full-screen start brings the first one to the front instead.
bool RaiseRunningSaver(::Display* dpy) {
  const Window running = x11::FindRunningSaver(dpy);
  if (!running) return false;
  x11::BeginTrap();
  XRaiseWindow(dpy, running);
  x11::EndTrap(dpy);
  return true;
}

}  // namespace

int RunX11Saver(const SaverRequest& request) {
  XInitThreads();  // belt and braces: the render thread has its own connection anyway
  ::Display* dpy = OpenDisplay();
  if (!dpy) {
    std::fprintf(stderr, "telkarim: cannot open the X display\n");
    return 1;
  }
  if (request.mode == SaverRequest::Mode::kFullScreen && RaiseRunningSaver(dpy)) {
    XCloseDisplay(dpy);
    return 0;
  }
  int code = 1;
  unsigned long missing = 0;
  if (std::unique_ptr<x11::SaverTarget> target = x11::MakeTarget(dpy, request, missing)) {
    SaverRun run(dpy, request, std::move(target));
    code = run.Run();
  } else {
    std::fprintf(stderr, "telkarim: window 0x%lx does not exist\n", missing);
  }
  XCloseDisplay(dpy);
  return code;
}

bool X11WindowExists(uint32_t window) {
  if (window == 0) return false;
  ::Display* dpy = OpenDisplay();
  if (!dpy) return false;
  XWindowAttributes wa;
  const bool alive = x11::Attributes(dpy, window, wa);
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
