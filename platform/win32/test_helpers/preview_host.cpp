// Test helper: a top-level window that plays the system's preview parent.
// Usage: preview_host <saver.scr> <handle-file> [seconds]
// Creates a 320x240 child area, writes its decimal handle to <handle-file>,
// starts "<saver> /p <handle>", and destroys the parent [seconds] (default
// 6) after the saver's window has shown. Once it shows, or after 60 s, it
// prints whether the saver's window is a child of the area, whether it is
// visible, and its client size. Exit code: 0 when the saver ended within 20 s
// of the parent's destruction, 2 when it did not, 3 when it could not be
// started. The limits are generous for emulated and sanitised runs.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
LRESULT CALLBACK ParentProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(w, m, wp, lp);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 3;
  const int seconds = argc > 3 ? std::atoi(argv[3]) : 6;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = ParentProc;
  wc.hInstance = instance;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = "PreviewParent";
  RegisterClassA(&wc);
  HWND frame = CreateWindowExA(0, "PreviewParent", "Preview host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 100, 100,
                               320, 240, nullptr, nullptr, instance, nullptr);
  // The preview area, like the system's: a plain child that clips the saver
  // window inside it.
  wc.lpszClassName = "PreviewArea";
  wc.lpfnWndProc = DefWindowProcA;
  RegisterClassA(&wc);
  HWND area = CreateWindowExA(0, "PreviewArea", "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 40, 30, 240, 180, frame,
                              nullptr, instance, nullptr);
  const unsigned long handle = static_cast<unsigned long>(reinterpret_cast<uintptr_t>(area));
  if (FILE* f = std::fopen(argv[2], "w")) {
    std::fprintf(f, "%lu\n", handle);
    std::fclose(f);
  }
  std::string command = std::string("\"") + argv[1] + "\" /p " + std::to_string(handle);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 3;
  SetTimer(frame, 2, 250, nullptr);
  int looks = 0;
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == frame && msg.wParam == 2) {
      // What the saver made of the area: its window, title and size, once
      // it is shown (the window turns visible only after its creation,
      // which opens the display, has finished) or after 60 s; the parent's
      // lifetime counts from then.
      HWND saver = FindWindowExA(area, nullptr, "WindowsScreenSaverClass", "Preview");
      const bool visible = saver && IsWindowVisible(saver);
      if (visible || ++looks == 240) {
        KillTimer(frame, 2);
        SetTimer(frame, 1, static_cast<UINT>(seconds * 1000), nullptr);
        RECT r{};
        if (saver) GetClientRect(saver, &r);
        std::printf("preview window %s%s %ldx%ld\n", saver ? "found" : "missing", visible ? " visible" : "", r.right,
                    r.bottom);
        std::fflush(stdout);
      }
      continue;
    }
    if (msg.message == WM_TIMER && msg.hwnd == frame) {
      KillTimer(frame, 1);
      DestroyWindow(frame);
      continue;
    }
    DispatchMessageA(&msg);
  }
  const DWORD waited = WaitForSingleObject(pi.hProcess, 20000);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  std::printf("saver %s, exit code %lu\n", waited == WAIT_OBJECT_0 ? "ended" : "still running",
              static_cast<unsigned long>(code));
  std::fflush(stdout);
  if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  return waited == WAIT_OBJECT_0 ? 0 : 2;
}
