// The 95/98 family's screen-saver password: the system's verifier decides
// whether the saver may close, and the system is told a saver is running so
// that it keeps the task-switch keys away while the password is up.
#include <windows.h>

#include "win32_shell.h"

namespace tk::win32 {
namespace {

using ChangePasswordFn = DWORD(WINAPI*)(LPCSTR, HWND, DWORD, LPVOID);

// After a refused password, close requests this soon are refused silently,
// so the mouse move that follows a wrong entry does not ask again at once.
constexpr DWORD kReaskDelayMs = 200;

template <typename Fn>
Fn LookUp(HMODULE library, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace

void SetSaverRunning(bool on) {
  if (!State().onWindows9x) return;
  UINT scratch = 0;
  SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, on ? 1 : 0, &scratch, 0);
}

void LoadPasswordVerifier() {
  SaverState& s = State();
  if (!s.onWindows9x) return;
  if (s.passwordLibrary) UnloadPasswordVerifier();
  HKEY key;
  if (RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &key) != ERROR_SUCCESS) return;
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExA(key, "ScreenSaveUsePassword", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) ==
          ERROR_SUCCESS &&
      value != 0) {
    s.passwordLibrary = LoadLibraryA("PASSWORD.CPL");
    if (s.passwordLibrary) {
      s.verifyPassword = LookUp<VerifyPasswordFn>(s.passwordLibrary, "VerifyScreenSavePwd");
      if (s.verifyPassword)
        SetSaverRunning(true);
      else
        UnloadPasswordVerifier();
    }
  }
  RegCloseKey(key);
}

void UnloadPasswordVerifier() {
  SaverState& s = State();
  if (!s.onWindows9x || !s.passwordLibrary) return;
  FreeLibrary(s.passwordLibrary);
  s.passwordLibrary = nullptr;
  if (s.verifyPassword) {
    s.verifyPassword = nullptr;
    SetSaverRunning(false);
  }
}

bool VerifyPassword(HWND window) {
  SaverState& s = State();
  if (s.inPasswordDialog || s.closing) return false;
  if (!s.verifyPassword) {
    s.closing = true;
    return true;
  }
  const DWORD now = GetTickCount();
  if (s.lastPasswordTick != 0xFFFFFFFFu && now - s.lastPasswordTick < kReaskDelayMs) return false;
  s.inPasswordDialog = true;
  // Timer ticks queued before the dialog would only repaint behind it.
  MSG msg;
  PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
  PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
  s.closing = SendMessageA(window, kVerifyRequest, 0, 0) != 0;
  s.inPasswordDialog = false;
  if (!s.closing) SetCursor(nullptr);
  s.lastPasswordTick = GetTickCount();
  return s.closing;
}

void ChangePassword(HWND owner) {
  HMODULE library = LoadLibraryA("MPR.DLL");
  if (!library) return;
  if (auto change = LookUp<ChangePasswordFn>(library, "PwdChangePasswordA")) change("SCRSAVE", owner, 0, nullptr);
  FreeLibrary(library);
}

}  // namespace tk::win32
