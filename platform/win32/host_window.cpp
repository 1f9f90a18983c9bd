// HostWindowProc: the program's own window procedure, which builds the render
// host when the saver window is created and tears it down with the window.
#include <windows.h>

#include <memory>
#include <new>
#include <vector>

#include "ddraw_display.h"
#include "gdi_text.h"
#include "monitor_display.h"
#include "monitors.h"
#include "host/render_host.h"
#include "registry_store.h"
#include "win32_shell.h"
#include "win32_threads.h"

namespace tk::win32 {
namespace {

constexpr UINT_PTR kErrorTimer = 1;
constexpr UINT kErrorPeriodMs = 2500;

// The screens the render host draws on: one for the whole window, exactly as
// always, on a single monitor or in a preview; one per monitor, the primary
// first, when the full-screen window spans several.
struct Screens {
  Screens() = default;
  explicit Screens(HWND window) {
    const std::vector<MonitorDevice> monitors = State().previewMode ? std::vector<MonitorDevice>{} : FindMonitors();
    if (monitors.empty()) {
      Keep(std::make_unique<DirectDrawDisplay>(window));
      return;
    }
    const Rect desktop = DesktopOf(monitors);
    for (const MonitorDevice& monitor : monitors) Keep(std::make_unique<MonitorScreen>(window, monitor, desktop));
  }
  void Keep(std::unique_ptr<Display> display) {
    all.push_back(display.get());
    owned.push_back(std::move(display));
  }
  std::vector<std::unique_ptr<Display>> owned;
  std::vector<Display*> all;  // the render host's list, the first screen at index 0
};

// Everything the render host needs for one saver window, owned together
// through the window's user-data slot.
struct HostWindow {
  explicit HostWindow(HWND window)
      : screens(window),
        painter(window),
        platform{screens.all, store, EmbeddedResources(), threads, nullptr},
        host(platform, GetTickCount()) {}
  Screens screens;
  GdiTextPainter painter;
  RegistryStore store;
  Win32ThreadStarter threads;
  HostPlatform platform;
  RenderHost host;  // last: torn down first, while the rest still exists

  // The desktop changed (a mode change, a monitor plugged in or taken away):
  // the window is moved over the new desktop, and every screen is given back
  // and built again from the monitors as they are now. A surface opened for
  // the old desktop may be lost or of the old size, so none is kept; the
  // render thread lets go of each between two frames before it is closed.
  // Mouse travel is measured from where the change left the cursor: the
  // system moving it into a smaller desktop is not the user's input.
  void FollowDesktop(HWND window) {
    const RECT box = ScreenBox();
    SetWindowPos(window, HWND_TOPMOST, box.left, box.top, box.right - box.left, box.bottom - box.top,
                 SWP_NOACTIVATE);
    GetCursorPos(&State().cursorAnchor);
    if (!host.threadStarted()) return;  // error mode, or the monitor powered down: nothing draws
    for (Display* d : screens.all) host.RemoveDisplay(*d);
    screens = Screens(window);
    for (Display* d : screens.all) host.AddDisplay(*d);
  }
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
    case WM_DISPLAYCHANGE:
      if (!State().previewMode) hw->FollowDesktop(window);
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
