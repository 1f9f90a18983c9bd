#pragma once
// The Windows shell of the saver: process state, the saver window and the
// password gate. Everything here runs on the main (window) thread.
#include <windows.h>

namespace tk::win32 {

using VerifyPasswordFn = BOOL(WINAPI*)(HWND);
using ImmAssociateFn = HANDLE(WINAPI*)(HWND, HANDLE);

// The shell's process-wide record; all zero at start except where noted.
struct SaverState {
  HINSTANCE instance = nullptr;
  bool onWindows9x = false;
  bool previewMode = false;
  bool closing = false;
  bool inPasswordDialog = false;
  POINT cursorAnchor{};
  UINT autoPlayMessage = 0;
  HMODULE imeLibrary = nullptr;
  ImmAssociateFn imeAssociate = nullptr;
  HANDLE savedImeContext = nullptr;
  HWND saverWindow = nullptr;
  HMODULE passwordLibrary = nullptr;
  VerifyPasswordFn verifyPassword = nullptr;
  DWORD lastPasswordTick = 0xFFFFFFFFu;  // never
};

SaverState& State();

// The private request through which VerifyPassword reaches SaverDefaultProc.
inline constexpr UINT kVerifyRequest = 0x8000;

// The exit code when the saver's window could not be made.
inline constexpr int kNoSaverWindow = 1;
// Saver window (full screen when parent is null, else a preview child).
int RunSaver(HWND parent);
// Where the full-screen window goes: the clip box of the whole screen's
// device context, read afresh each time the desktop changes.
RECT ScreenBox();
LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SaverDefaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The program's own procedure with the render host (host_window.cpp).
LRESULT HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Password gate (95/98 family only).
void SetSaverRunning(bool on);
void LoadPasswordVerifier();
void UnloadPasswordVerifier();
bool VerifyPassword(HWND window);
void ChangePassword(HWND owner);

// Settings dialog and About box.
bool PrepareSettingsDialog(HINSTANCE instance);
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void ShowAbout(HWND owner);

}  // namespace tk::win32
