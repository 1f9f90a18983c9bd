// Process entry of the Windows screen saver: isolates the arguments, finds
// the platform family, reads the environment's test hook and hands the mode
// dispatch to the shared shell.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <exception>

#include "ddraw_display.h"
#include "shell/command_line.h"
#include "win32_shell.h"
#include "win32_text.h"

namespace tk::win32 {
namespace {

const char* NextCharA(const char* p) { return CharNextA(p); }

HWND ToWindow(WindowId id) { return reinterpret_cast<HWND>(WindowHandleBits(id)); }

bool QueryWindows9x() {
  OSVERSIONINFOA version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;  // 148 bytes
  static_assert(sizeof(OSVERSIONINFOA) == 148);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const BOOL ok = GetVersionExA(&version);
#pragma GCC diagnostic pop
  return ok && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

class Win32Services final : public ShellServices {
 public:
  bool WindowExists(WindowId window) override { return window != 0 && IsWindow(ToWindow(window)); }
  WindowId ForegroundWindow() override {
    return static_cast<WindowId>(reinterpret_cast<uintptr_t>(GetForegroundWindow()));
  }
  int RunSaver(WindowId parent) override { return win32::RunSaver(ToWindow(parent)); }
  int ShowSettings(WindowId owner) override {
    if (!PrepareSettingsDialog(State().instance)) return 0;
    return static_cast<int>(ShowDialog(State().instance, 2003, ToWindow(owner), SettingsDialogProc));
  }
  void ChangePassword(WindowId owner) override { win32::ChangePassword(ToWindow(owner)); }
};

// An exception that escapes a mode must not leave the system keys disabled
// on the 95/98 family.
LONG WINAPI LastChanceFilter(EXCEPTION_POINTERS*) {
  SetSaverRunning(false);
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

SaverState& State() {
  static SaverState state;
  return state;
}

}  // namespace tk::win32

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace tk::win32;
  const char* line = GetCommandLineA();
  const std::string_view arguments = tk::IsolateArguments(line, NextCharA);
  State().instance = instance;
  State().onWindows9x = QueryWindows9x();
  // The test hook is read here, once, like every other input of the process.
  SetDisplayLog(std::getenv("TELKARIM_DISPLAY_LOG"));
  SetUnhandledExceptionFilter(LastChanceFilter);
  Win32Services services;
  int result = -1;
  try {
    result = tk::SaverMain(arguments, State().onWindows9x, services);
  } catch (...) {
    SetSaverRunning(false);
  }
  return result;
}
