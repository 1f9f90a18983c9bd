// HostWindowProc: the program's own window procedure, which builds the render
// host when the saver window is created and tears it down with the window.
#include <windows.h>

#include <new>

#include "ddraw_display.h"
#include "gdi_text.h"
#include "host/render_host.h"
#include "registry_store.h"
#include "win32_shell.h"
#include "win32_threads.h"

namespace tk::win32 {
namespace {

constexpr UINT_PTR kErrorTimer = 1;
constexpr UINT kErrorPeriodMs = 2500;

// Everything the render host needs for one saver window, owned together
// through the window's user-data slot.
struct HostWindow {
  explicit HostWindow(HWND window)
      : display(window),
        painter(window),
        platform{display, store, EmbeddedResources(), threads, nullptr},
        host(platform, GetTickCount()) {}
  DirectDrawDisplay display;
  GdiTextPainter painter;
  RegistryStore store;
  Win32ThreadStarter threads;
  HostPlatform platform;
  RenderHost host;  // last: torn down first, while the rest still exists
};

HostWindow* Attached(HWND window) {
  return reinterpret_cast<HostWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

}  // namespace

LRESULT HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      auto* hw = new (std::nothrow) HostWindow(window);
      if (hw) {
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(hw));
        if (hw->host.errorText()) SetTimer(window, kErrorTimer, kErrorPeriodMs, nullptr);
      }
      return SaverDefaultProc(window, message, wParam, lParam);
    }
    case WM_DESTROY:
      if (HostWindow* hw = Attached(window)) {
        if (hw->host.errorText()) KillTimer(window, kErrorTimer);
        delete hw;
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      }
      return SaverDefaultProc(window, message, wParam, lParam);
    default:
      break;
  }
  HostWindow* hw = Attached(window);
  if (!hw) return SaverDefaultProc(window, message, wParam, lParam);
  switch (message) {
    case WM_ERASEBKGND: {
      HDC dc = GetDC(window);
      RECT r;
      GetClientRect(window, &r);
      FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      ReleaseDC(window, dc);
      return 1;
    }
    case WM_SYSCOMMAND:
      // Stop rendering for good; the default processing then powers the
      // monitor down.
      if ((wParam & 0xFFF0) == SC_MONITORPOWER) hw->host.OnMonitorPowerDown();
      break;
    case WM_TIMER:
      if (wParam == kErrorTimer && hw->host.OnErrorTimer(hw->painter)) return 1;
      break;
    default:
      break;
  }
  return SaverDefaultProc(window, message, wParam, lParam);
}

}  // namespace tk::win32
