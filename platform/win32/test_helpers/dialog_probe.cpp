// Test helper: reads and drives the open settings dialog from outside, for
// the Wine run. Console program; prints one answer and exits 0, or exits 1
// when the window it needs is not there.
//   dialog_probe rect ID        screen rectangle of control ID: "L T R B"
//                               (ID 0: the dialog itself)
//   dialog_probe text ID        the control's text as UTF-8, between bars
//   dialog_probe pos ID         a trackbar's position
//   dialog_probe combo ID       the drop-down's selected text, between bars
//   dialog_probe selected ID    the list box's selected texts, one per line
//   dialog_probe chooser        the colour chooser owned by the dialog:
//                               "full|compact R G B" from its edit fields
//   dialog_probe choose R G B   types R G B into the chooser and confirms it
//   dialog_probe about          "X Y" of the About box and the dialog's
//                               "L T R B", client "W H"
#include <windows.h>
#include <colordlg.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

HWND SettingsDialog() { return FindWindowW(L"#32770", L"Настройка заставки Telkarim"); }
HWND AboutBox() { return FindWindowW(L"#32770", L"О заставке Telkarim"); }

struct OwnedSearch {
  HWND owner;
  HWND found;
};

BOOL CALLBACK MatchChooser(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<OwnedSearch*>(p);
  wchar_t cls[16] = {};
  GetClassNameW(w, cls, 16);
  if (std::wcscmp(cls, L"#32770") == 0 && GetWindow(w, GW_OWNER) == s->owner && IsWindowVisible(w) && w != AboutBox()) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

// The visible dialog owned by the settings dialog that is not the About box:
// the colour chooser, whatever its caption in the system's language.
HWND Chooser(HWND owner) {
  OwnedSearch search{owner, nullptr};
  EnumWindows(MatchChooser, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string Utf8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring WindowText(HWND w) {
  wchar_t text[256] = {};
  SendMessageW(w, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
  return text;
}

std::wstring ListText(HWND list, UINT lenMessage, UINT textMessage, LRESULT index) {
  const LRESULT n = SendMessageW(list, lenMessage, index, 0);
  if (n < 0 || n > 255) return L"?";
  wchar_t text[256] = {};
  SendMessageW(list, textMessage, index, reinterpret_cast<LPARAM>(text));
  return text;
}

void PrintBarred(const std::wstring& text) { std::printf("|%s|\n", Utf8(text).c_str()); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string command = argv[1];
  HWND dialog = SettingsDialog();
  if (!dialog) return 1;
  const int id = argc > 2 ? std::atoi(argv[2]) : -1;
  HWND item = id == 0 ? dialog : id > 0 ? GetDlgItem(dialog, id) : nullptr;

  if (command == "rect" && item) {
    RECT r;
    GetWindowRect(item, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
  } else if (command == "text" && item) {
    PrintBarred(WindowText(item));
  } else if (command == "pos" && item) {
    std::printf("%ld\n", static_cast<long>(SendMessageW(item, TBM_GETPOS, 0, 0)));
  } else if (command == "combo" && item) {
    const LRESULT selected = SendMessageW(item, CB_GETCURSEL, 0, 0);
    PrintBarred(selected < 0 ? L"" : ListText(item, CB_GETLBTEXTLEN, CB_GETLBTEXT, selected));
  } else if (command == "selected" && item) {
    int indices[64] = {};
    const LRESULT count = SendMessageW(item, LB_GETSELITEMS, 64, reinterpret_cast<LPARAM>(indices));
    for (LRESULT i = 0; i < count; ++i) PrintBarred(ListText(item, LB_GETTEXTLEN, LB_GETTEXT, indices[i]));
  } else if (command == "chooser") {
    HWND chooser = Chooser(dialog);
    if (!chooser) return 1;
    // Fully open, the red field lies inside the chooser's window; compact,
    // the window is cut off before it.
    RECT frame, red;
    GetWindowRect(chooser, &frame);
    GetWindowRect(GetDlgItem(chooser, COLOR_RED), &red);
    const bool full = red.right <= frame.right && red.left >= frame.left;
    std::printf("%s %s %s %s\n", full ? "full" : "compact", Utf8(WindowText(GetDlgItem(chooser, COLOR_RED))).c_str(),
                Utf8(WindowText(GetDlgItem(chooser, COLOR_GREEN))).c_str(),
                Utf8(WindowText(GetDlgItem(chooser, COLOR_BLUE))).c_str());
  } else if (command == "choose" && argc > 4) {
    HWND chooser = Chooser(dialog);
    if (!chooser) return 1;
    const int ids[3] = {COLOR_RED, COLOR_GREEN, COLOR_BLUE};
    for (int i = 0; i < 3; ++i) {
      std::wstring value(argv[2 + i], argv[2 + i] + std::strlen(argv[2 + i]));
      SendMessageW(GetDlgItem(chooser, ids[i]), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value.c_str()));
    }
    // Posted: the chooser's OK ends its modal loop, which a sent message
    // would wait on.
    PostMessageW(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(chooser, IDOK)));
  } else if (command == "about") {
    HWND about = AboutBox();
    // Visible only after its initialisation has moved it.
    if (!about || GetWindow(about, GW_OWNER) != dialog || !IsWindowVisible(about)) return 1;
    RECT box, frame, client;
    GetWindowRect(about, &box);
    GetWindowRect(dialog, &frame);
    GetClientRect(about, &client);
    std::printf("%ld %ld %ld %ld %ld %ld %ld %ld\n", box.left, box.top, frame.left, frame.top, frame.right,
                frame.bottom, client.right, client.bottom);
  } else {
    return 2;
  }
  std::fflush(stdout);
  return 0;
}
