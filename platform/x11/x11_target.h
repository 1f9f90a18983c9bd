#pragma once
// Where the saver draws on X, one kind per mode: full screen on every screen
// and monitor, an ordinary window to try the saver in, a preview inside the
// caller's window, and a hack drawing into XScreenSaver's window. MakeTarget
// is the only place that looks at the mode; the run then works with the
// target alone.
#include <memory>
#include <vector>

#include <X11/Xlib.h>

#include "host/display.h"
#include "shell/linux/front_ends.h"

namespace tk::x11 {

class SaverTarget {
 public:
  virtual ~SaverTarget() = default;  // frees cursors; the windows went in Hide
  SaverTarget(const SaverTarget&) = delete;
  SaverTarget& operator=(const SaverTarget&) = delete;

  // The windows drawn into; the first one shows a failure message.
  const std::vector<Window>& windows() const { return windows_; }
  // The parts of window `w` that get a scene each, in window coordinates:
  // empty for one scene on the whole window.
  virtual std::vector<Rect> MonitorsIn(Window w) const;
  // Whether input and a suspend end the run; full screen also ends when
  // the focus goes.
  virtual bool WatchesInput() const { return false; }
  virtual bool FullScreen() const { return false; }
  // The keyboard is ours by a grab: keys come to us wherever the focus is.
  virtual bool KeyboardGrabbed() const { return false; }

  // Maps what the target made.
  virtual void Show() {}
  // The screens changed size: windows the target made to cover a screen
  // are made to cover it again.
  virtual void FollowScreens() {}
  // The target's own events (its windows going, its parent's resizes, the
  // window manager's close); true when the run ends.
  virtual bool Handle(const XEvent& e);
  // Gives the screen back at once: releases grabs and destroys the windows
  // it made, before the render thread is stopped.
  virtual void Hide();

 protected:
  explicit SaverTarget(::Display* dpy) : dpy_(dpy) {}
  // A window of ours, destroyed in Hide; closing it from the window manager
  // ends the run.
  void Own(Window w, bool closable);
  // Every monitor the window covers, as XScreenSaver gives each its hack.
  std::vector<Rect> ArrangedMonitorsIn(Window w) const;

  ::Display* dpy_;
  std::vector<Window> windows_;
  std::vector<Window> owned_;     // destroyed in Hide; 0 once the server destroyed it
  std::vector<Cursor> cursors_;   // freed with the target
  Atom deleteAtom_ = 0;
};

// The target for a run; null when the window the request or
// XSCREENSAVER_WINDOW named does not exist, whose id is then in `missing`.
std::unique_ptr<SaverTarget> MakeTarget(::Display* dpy, const SaverRequest& request, unsigned long& missing);

// Window helpers for the targets (x11_windows.cpp).
inline constexpr const char* kClassName = "WindowsScreenSaverClass";
inline constexpr const char* kFullScreenTitle = "Screen Saver";
inline constexpr const char* kPreviewTitle = "Preview";
inline constexpr const char* kWindowTitle = "Telkarim's Screen Saver";

Window CreateSaverWindow(::Display* dpy, Window parent, int x, int y, int w, int h, bool overrideRedirect,
                         long events, int screen = -1);
void SetNames(::Display* dpy, Window w, const char* title);
Cursor BlankCursor(::Display* dpy, Window w);
// Whether the window exists, and its attributes when it does.
bool Attributes(::Display* dpy, Window w, XWindowAttributes& wa);
// A full-screen saver already running: a top-level window of our class with
// the full-screen title; 0 when there is none.
Window FindRunningSaver(::Display* dpy);

inline constexpr long kInputEvents = KeyPressMask | ButtonPressMask | PointerMotionMask | FocusChangeMask;
inline constexpr long kBasicEvents = ExposureMask | StructureNotifyMask;

// The target kinds, made by MakeTarget.
std::unique_ptr<SaverTarget> MakeFullScreen(::Display* dpy);
std::unique_ptr<SaverTarget> MakePreview(::Display* dpy, Window parent);
// An ordinary window of ours: --window, where input ends the run, or a hack
// with no window to draw into, which its daemon ends and which gets a scene
// on every monitor it covers.
std::unique_ptr<SaverTarget> MakeOwnWindow(::Display* dpy, int width, int height, bool asHack);
// A hack into a window someone else made (XScreenSaver's, or the root).
std::unique_ptr<SaverTarget> MakeForeignWindow(::Display* dpy, Window target);

}  // namespace tk::x11
