// The one place that turns the parsed mode into a target.
#include "platform/x11/x11_target.h"

namespace tk::x11 {

std::unique_ptr<SaverTarget> MakeTarget(::Display* dpy, const SaverRequest& request, unsigned long& missing) {
  missing = 0;
  switch (request.mode) {
    case SaverRequest::Mode::kFullScreen: return MakeFullScreen(dpy);
    case SaverRequest::Mode::kWindow: return MakeOwnWindow(dpy, request.width, request.height, /*asHack=*/false);
    case SaverRequest::Mode::kPreview: {
      missing = static_cast<Window>(request.window);
      auto target = MakePreview(dpy, missing);
      if (target) missing = 0;
      return target;
    }
    case SaverRequest::Mode::kHack: {
      // -root: XScreenSaver's virtual root where it has one; -window-id: that
      // window; neither: XScreenSaver's window, else a window of our own.
      const Window xscreensaver = static_cast<Window>(request.environment.xscreensaverWindow);
      Window into = 0;
      if (request.root)
        into = xscreensaver ? xscreensaver : DefaultRootWindow(dpy);
      else
        into = request.window ? static_cast<Window>(request.window) : xscreensaver;
      if (!into) return MakeOwnWindow(dpy, request.width, request.height, /*asHack=*/true);
      auto target = MakeForeignWindow(dpy, into);
      if (!target) missing = into;
      return target;
    }
  }
  return nullptr;
}

}  // namespace tk::x11
