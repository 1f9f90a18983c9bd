// What every target does with its windows: making and naming them, the
// blank cursor, the window manager's close, and giving the screen back.
#include <cstring>
#include <string>

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include "platform/x11/x11_errors.h"
#include "platform/x11/x11_monitors.h"
#include "platform/x11/x11_target.h"

namespace tk::x11 {
namespace {

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

// A window's rectangle in the coordinates of its screen's root.
Rect RootRect(::Display* dpy, Window w, const XWindowAttributes& wa) {
  int x = 0, y = 0;
  Window child = 0;
  BeginTrap();
  XTranslateCoordinates(dpy, w, wa.root, 0, 0, &x, &y, &child);
  if (EndTrap(dpy) != 0) return Rect{};
  return Rect{x, y, x + wa.width, y + wa.height};
}

}  // namespace

std::vector<Rect> SaverTarget::MonitorsIn(Window) const { return {}; }

std::vector<Rect> SaverTarget::ArrangedMonitorsIn(Window w) const {
  XWindowAttributes wa;
  if (!Attributes(dpy_, w, wa)) return {};
  const int screen = XScreenNumberOfScreen(wa.screen);
  return MonitorsInWindow(
      ArrangeMonitors(QueryMonitors(dpy_, screen), DisplayWidth(dpy_, screen), DisplayHeight(dpy_, screen)),
      RootRect(dpy_, w, wa));
}

void SaverTarget::Own(Window w, bool closable) {
  owned_.push_back(w);
  if (!closable) return;
  if (!deleteAtom_) deleteAtom_ = XInternAtom(dpy_, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(dpy_, w, &deleteAtom_, 1);
}

bool SaverTarget::Handle(const XEvent& e) {
  if (e.type == ClientMessage) return deleteAtom_ && static_cast<Atom>(e.xclient.data.l[0]) == deleteAtom_;
  if (e.type != DestroyNotify) return false;
  bool ends = false;
  for (Window& w : owned_)
    if (w == e.xdestroywindow.window) {
      w = 0;  // nothing left to destroy
      ends = true;
    }
  for (Window w : windows_) ends = ends || w == e.xdestroywindow.window;
  return ends;
}

void SaverTarget::Hide() {
  if (owned_.empty()) return;
  BeginTrap();
  for (Window w : owned_)
    if (w) XDestroyWindow(dpy_, w);
  EndTrap(dpy_);
  owned_.clear();
}

bool Attributes(::Display* dpy, Window w, XWindowAttributes& wa) {
  BeginTrap();
  const Status ok = XGetWindowAttributes(dpy, w, &wa);
  return EndTrap(dpy) == 0 && ok;
}

Window FindRunningSaver(::Display* dpy) {
  Window root = DefaultRootWindow(dpy), parent = 0, *children = nullptr;
  unsigned count = 0;
  Window found = 0;
  BeginTrap();
  if (XQueryTree(dpy, root, &root, &parent, &children, &count)) {
    for (unsigned i = count; i-- > 0 && !found;)  // top of the stacking order first
      if (HasClassAndTitle(dpy, children[i], kClassName, kFullScreenTitle)) found = children[i];
    if (children) XFree(children);
  }
  EndTrap(dpy);
  return found;
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
                         long events, int screen) {
  XSetWindowAttributes a{};
  a.background_pixel = BlackPixel(dpy, screen < 0 ? DefaultScreen(dpy) : screen);
  a.border_pixel = a.background_pixel;
  a.override_redirect = overrideRedirect ? True : False;
  a.event_mask = events;
  return XCreateWindow(dpy, parent, x, y, static_cast<unsigned>(w < 1 ? 1 : w), static_cast<unsigned>(h < 1 ? 1 : h),
                       0, CopyFromParent, InputOutput, CopyFromParent,
                       CWBackPixel | CWOverrideRedirect | CWBorderPixel | CWEventMask, &a);
}

}  // namespace tk::x11
