// The saver window: creation per mode, the message loop, and the input rules
// that end the saver.
#include <windows.h>

#include "shell/input_rules.h"
#include "win32_shell.h"

namespace tk::win32 {
namespace {

constexpr char kClassName[] = "WindowsScreenSaverClass";
constexpr char kFullScreenTitle[] = "Screen Saver";
constexpr char kPreviewTitle[] = "Preview";

void HideCursor() { SetCursor(nullptr); }

void PostClose(HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); }

}  // namespace

RECT ScreenBox() {
  HDC screen = GetDC(nullptr);
  RECT box{};
  GetClipBox(screen, &box);
  ReleaseDC(nullptr, screen);
  return box;
}

int RunSaver(HWND parent) {
  SaverState& s = State();
  WNDCLASSA wc{};
  wc.style = CS_OWNDC | CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;  // 0x2B
  wc.lpfnWndProc = SaverWindowProc;
  wc.hInstance = s.instance;
  // Icon 100 does not exist (the program's icon group is 101), so the class
  // has no icon: the saver window never shows one anyway.
  wc.hIcon = LoadIconA(s.instance, MAKEINTRESOURCEA(100));
  wc.hCursor = nullptr;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = kClassName;

  int x, y, width, height;
  DWORD style, exStyle;
  const char* title;
  if (parent) {
    RECT client;
    GetClientRect(parent, &client);
    s.previewMode = true;
    x = 0;
    y = 0;
    width = client.right;
    height = client.bottom;
    style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
    exStyle = 0;
    title = kPreviewTitle;
  } else {
    const RECT box = ScreenBox();
    x = box.left;
    y = box.top;
    width = box.right - box.left;
    height = box.bottom - box.top;
    style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    exStyle = WS_EX_TOPMOST;
    title = kFullScreenTitle;
    // A second start finds the running saver and brings it forward instead.
    HWND running = FindWindowA(kClassName, kFullScreenTitle);
    if (running && IsWindow(running)) {
      SetForegroundWindow(running);
      return 0;
    }
    LoadPasswordVerifier();
  }

  s.autoPlayMessage = s.onWindows9x ? RegisterWindowMessageA("QueryCancelAutoPlay") : 0;

  // A window that cannot be made (the system out of window resources, no
  // desktop to put it on) is a saver that never showed, not a saver the user
  // ended: 1, as the other front ends end when they cannot show one.
  int result = kNoSaverWindow;
  if (RegisterClassA(&wc)) {
    s.saverWindow = CreateWindowExA(exStyle, kClassName, title, style, x, y, width, height, parent, nullptr,
                                    s.instance, nullptr);
  }
  if (s.saverWindow) {
    result = 0;
    if (!s.previewMode) SetForegroundWindow(s.saverWindow);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (msg.message == WM_QUIT) result = static_cast<int>(msg.wParam);
  }
  UnloadPasswordVerifier();
  return result;
}

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  SaverState& s = State();
  switch (message) {
    case WM_CREATE: {
      // Look the input-method library up only if something already loaded
      // it; the saver never loads it itself.
      s.imeLibrary = GetModuleHandleA("IMM32.DLL");
      if (s.imeLibrary) {
        s.imeAssociate = reinterpret_cast<ImmAssociateFn>(
            reinterpret_cast<void*>(GetProcAddress(s.imeLibrary, "ImmAssociateContext")));
        if (s.imeAssociate) s.savedImeContext = s.imeAssociate(window, nullptr);
      }
      GetCursorPos(&s.cursorAnchor);
      if (!s.previewMode) HideCursor();
      return HostWindowProc(window, message, wParam, lParam);
    }
    case WM_DESTROY:
      if (s.imeLibrary && s.imeAssociate && s.savedImeContext) s.imeAssociate(window, s.savedImeContext);
      PostQuitMessage(0);
      return HostWindowProc(window, message, wParam, lParam);
    case WM_SETTEXT:
      return 0;
    case WM_PAINT:
      if (s.closing) return DefWindowProcA(window, message, wParam, lParam);
      if (!s.previewMode) HideCursor();
      return HostWindowProc(window, message, wParam, lParam);
    case WM_HELP:
    case WM_CONTEXTMENU:
      if (!s.previewMode) return HostWindowProc(window, message, wParam, lParam);
      {
        HWND parent = GetParent(window);
        if (parent && IsWindow(parent)) PostMessageA(parent, message, reinterpret_cast<WPARAM>(parent), lParam);
      }
      return 1;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (s.closing) return DefWindowProcA(window, message, wParam, lParam);
      return HostWindowProc(window, message, wParam, lParam);
    case WM_SYSCOMMAND:
      // Task switching and a nested saver start are swallowed in full screen.
      if (!s.previewMode && (wParam == SC_NEXTWINDOW || wParam == SC_PREVWINDOW || wParam == SC_SCREENSAVE))
        return 0;
      return HostWindowProc(window, message, wParam, lParam);
    case WM_TIMER:
      if (s.closing) return 0;
      Sleep(0);
      return HostWindowProc(window, message, wParam, lParam);
    default:
      return HostWindowProc(window, message, wParam, lParam);
  }
}

LRESULT SaverDefaultProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  SaverState& s = State();
  if (!s.previewMode && !s.closing) {
    if (s.onWindows9x) {
      if (message == WM_CLOSE) {
        if (!VerifyPassword(window)) {
          GetCursorPos(&s.cursorAnchor);
          return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
      }
      if (message == kVerifyRequest) return s.verifyPassword ? s.verifyPassword(window) : 1;
    }
    if (!s.inPasswordDialog) {
      switch (message) {
        case WM_SHOWWINDOW:
          if (wParam) HideCursor();
          break;
        case WM_ACTIVATEAPP:
          if (wParam == 0) PostClose(window);
          break;
        case WM_SETCURSOR:
          HideCursor();
          return 1;
        case WM_POWER:
          if (wParam == 3) PostClose(window);  // PWR_SUSPENDREQUEST
          break;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_POWERBROADCAST:
          PostClose(window);
          break;
        case WM_MOUSEMOVE: {
          // The message's own coordinates are not used: travel is measured
          // on the screen from the anchor, so slow drift adds up.
          POINT p;
          GetCursorPos(&p);
          const CursorPoint from{s.cursorAnchor.x, s.cursorAnchor.y}, to{p.x, p.y};
          if (PointerTravel(from, to) > kMouseThreshold) {
            PostClose(window);
            s.cursorAnchor = p;
          }
          break;
        }
        default:
          break;
      }
    }
  }
  if (s.autoPlayMessage != 0 && message == s.autoPlayMessage) {
    PostClose(window);
    return s.verifyPassword ? 1 : 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace tk::win32
