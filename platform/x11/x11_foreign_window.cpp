// A hack drawing into a window it did not make: XScreenSaver's window for
// it, its virtual root, or the root itself. The window stays as it was at
// the end; the daemon ends the hack.
#include "platform/x11/x11_errors.h"
#include "platform/x11/x11_target.h"

namespace tk::x11 {
namespace {

class ForeignWindow final : public SaverTarget {
 public:
  ForeignWindow(::Display* dpy, Window target) : SaverTarget(dpy) { windows_.push_back(target); }

  // False when the window does not exist (or went while we looked).
  bool Create() {
    XWindowAttributes ta;
    if (!Attributes(dpy_, windows_.front(), ta)) return false;
    // Its exposures, size and end, beside whatever its maker hears.
    BeginTrap();
    XSelectInput(dpy_, windows_.front(), ta.your_event_mask | kBasicEvents);
    return EndTrap(dpy_) == 0;
  }

  std::vector<Rect> MonitorsIn(Window w) const override { return ArrangedMonitorsIn(w); }
};

}  // namespace

std::unique_ptr<SaverTarget> MakeForeignWindow(::Display* dpy, Window target) {
  auto foreign = std::make_unique<ForeignWindow>(dpy, target);
  if (!foreign->Create()) return nullptr;
  return foreign;
}

}  // namespace tk::x11
