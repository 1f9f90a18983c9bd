#pragma once
// X errors are asynchronous and Xlib's default handler ends the process, which
// a saver drawing into a window someone else owns cannot afford: that window
// may vanish at any moment. One process-wide handler records the error for
// the thread whose connection reported it instead.
struct _XDisplay;

namespace tk::x11 {

// Installs the handler once; safe to call from any thread before use.
void InstallErrorHandler();

// Around a call whose failure must be seen: Begin clears this thread's
// record; End syncs the connection and returns the error code (0 = none).
void BeginTrap();
int EndTrap(_XDisplay* display);

}  // namespace tk::x11
