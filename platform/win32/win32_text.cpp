#include "win32_text.h"

#include <algorithm>

#include "win32_shell.h"

namespace tk::win32 {
namespace {

using DialogBoxParamWFn = INT_PTR(WINAPI*)(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM);
using SetDlgItemTextWFn = BOOL(WINAPI*)(HWND, int, LPCWSTR);
using SendMessageWFn = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);

// The Unicode entry points, looked up once: null on the 95/98 family, so
// nothing of them is in the import table a 95/98 loader checks.
struct UnicodeCalls {
  DialogBoxParamWFn dialogBoxParam = nullptr;
  SetDlgItemTextWFn setDlgItemText = nullptr;
  SendMessageWFn sendMessage = nullptr;
  bool complete() const { return dialogBoxParam && setDlgItemText && sendMessage; }
};

template <typename Fn>
Fn LookUp(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const UnicodeCalls& Unicode() {
  static const UnicodeCalls calls = [] {
    UnicodeCalls c;
    if (State().onWindows9x) return c;
    HMODULE user = GetModuleHandleA("USER32.DLL");
    if (!user) return c;
    c.dialogBoxParam = LookUp<DialogBoxParamWFn>(user, "DialogBoxParamW");
    c.setDlgItemText = LookUp<SetDlgItemTextWFn>(user, "SetDlgItemTextW");
    c.sendMessage = LookUp<SendMessageWFn>(user, "SendMessageW");
    return c.complete() ? c : UnicodeCalls{};
  }();
  return calls;
}

std::wstring Wide(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(std::max(n, 0)), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

// Characters the code page lacks become the system's default character.
std::string Ansi(const std::string& utf8) {
  const std::wstring wide = Wide(utf8);
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                    nullptr);
  std::string ansi(static_cast<size_t>(std::max(n, 0)), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(), n, nullptr, nullptr);
  return ansi;
}

}  // namespace

INT_PTR ShowDialog(HINSTANCE instance, int resource, HWND owner, DLGPROC procedure) {
  if (Unicode().complete())
    return Unicode().dialogBoxParam(instance, MAKEINTRESOURCEW(resource), owner, procedure, 0);
  return DialogBoxParamA(instance, MAKEINTRESOURCEA(resource), owner, procedure, 0);
}

void SetItemText(HWND dialog, int item, const std::string& utf8) {
  if (Unicode().complete())
    Unicode().setDlgItemText(dialog, item, Wide(utf8).c_str());
  else
    SetDlgItemTextA(dialog, item, Ansi(utf8).c_str());
}

LRESULT SendText(HWND control, UINT message, WPARAM wParam, const std::string& utf8) {
  if (Unicode().complete())
    return Unicode().sendMessage(control, message, wParam, reinterpret_cast<LPARAM>(Wide(utf8).c_str()));
  return SendMessageA(control, message, wParam, reinterpret_cast<LPARAM>(Ansi(utf8).c_str()));
}

}  // namespace tk::win32
