#include "platform/x11/x11_errors.h"

#include <mutex>

#include <X11/Xlib.h>

namespace tk::x11 {
namespace {

// Xlib calls the handler on the thread that read the error from its own
// connection, so a per-thread record keeps the window thread's and the
// render thread's traps apart.
thread_local int lastError = 0;

int RecordError(::Display*, XErrorEvent* e) {
  lastError = e->error_code;
  return 0;
}

}  // namespace

void InstallErrorHandler() {
  static std::once_flag once;
  std::call_once(once, [] { XSetErrorHandler(RecordError); });
}

void BeginTrap() { lastError = 0; }

int EndTrap(_XDisplay* display) {
  XSync(display, False);
  const int e = lastError;
  lastError = 0;
  return e;
}

}  // namespace tk::x11
