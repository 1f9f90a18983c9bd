// The settings dialog (resource 2003) and the About box (resource 104).
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <cwchar>

#include "registry_store.h"
#include "settings/settings.h"
#include "win32_shell.h"

namespace tk::win32 {
namespace {

enum : int {
  kStarColourButton = 1009,
  kObjectColourButton = 1010,
  kClearSelection = 1011,
  kResetSettings = 1012,
  kAboutButton = 1013,
  kObjectList = 1019,
  kPriorityList = 1020,
  kStarSwatch = 1021,
  kObjectSwatch = 1022,
};

struct SliderLabel {
  int slider;
  int label;
};
// Star speed, star number, object speed, frame rate.
constexpr SliderLabel kSliders[] = {{1016, 1026}, {1015, 1025}, {1018, 1024}, {1017, 1023}};

struct PriorityChoice {
  const wchar_t* text;
  int32_t value;
};
constexpr PriorityChoice kPriorities[] = {{L"норма ", 0}, {L"пониженный  ", -1}, {L"ноль", -15}};

// In kind order 0..11; the list sorts them, so entries are found by their
// item data, never by position.
constexpr const wchar_t* kObjectNames[kObjectKinds] = {
    L"Шар ", L"Сатурн", L"Диск", L"Спираль", L"Тор  ", L"Бокал вина",
    L"Куб ", L"Инь-Ян  ", L"Куб 4D ", L"Рельеф   ", L"Атом", L"Молекула"};

HINSTANCE gInstance = nullptr;
Settings gWorking;
// Custom colours of the colour picker, kept while the process lives so both
// colour buttons share them.
COLORREF gCustomColours[16] = {};

LRESULT Send(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendDlgItemMessageW(dialog, id, message, wParam, lParam);
}

void ShowSliderPosition(HWND dialog, const SliderLabel& s) {
  const int position = static_cast<int>(Send(dialog, s.slider, TBM_GETPOS, 0, 0));
  wchar_t text[32];
  std::swprintf(text, 32, L"сейчас: %d ", position);
  SetDlgItemTextW(dialog, s.label, text);
}

void FillControls(HWND dialog) {
  Send(dialog, 1016, TBM_SETRANGE, TRUE, MAKELPARAM(1, 10));
  Send(dialog, 1016, TBM_SETPOS, TRUE, gWorking.starVelocity);
  Send(dialog, 1015, TBM_SETRANGE, TRUE, MAKELPARAM(50, 500));
  Send(dialog, 1015, TBM_SETPOS, TRUE, gWorking.starNumber);
  Send(dialog, 1015, TBM_SETTICFREQ, 25, 0);
  Send(dialog, 1018, TBM_SETRANGE, TRUE, MAKELPARAM(1, 10));
  Send(dialog, 1018, TBM_SETPOS, TRUE, gWorking.objectVelocity);
  Send(dialog, 1017, TBM_SETRANGE, TRUE, MAKELPARAM(20, 100));
  Send(dialog, 1017, TBM_SETPOS, TRUE, gWorking.fps);
  Send(dialog, 1017, TBM_SETTICFREQ, 5, 0);
  for (const SliderLabel& s : kSliders) ShowSliderPosition(dialog, s);

  HWND priorities = GetDlgItem(dialog, kPriorityList);
  SendMessageW(priorities, WM_SETREDRAW, FALSE, 0);
  SendMessageW(priorities, CB_RESETCONTENT, 0, 0);
  LRESULT chosen = -1;
  for (const PriorityChoice& p : kPriorities) {
    const LRESULT index = SendMessageW(priorities, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(p.text));
    SendMessageW(priorities, CB_SETITEMDATA, index, static_cast<LPARAM>(p.value));
    if (chosen < 0 && p.value == gWorking.threadPriority) chosen = index;
  }
  if (chosen < 0) chosen = 0;
  SendMessageW(priorities, WM_SETREDRAW, TRUE, 0);
  SendMessageW(priorities, CB_SETCURSEL, chosen, 0);

  HWND objects = GetDlgItem(dialog, kObjectList);
  SendMessageW(objects, WM_SETREDRAW, FALSE, 0);
  SendMessageW(objects, LB_RESETCONTENT, 0, 0);
  for (int kind = 0; kind < kObjectKinds; ++kind) {
    const LRESULT index = SendMessageW(objects, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kObjectNames[kind]));
    SendMessageW(objects, LB_SETITEMDATA, index, kind);
    if (gWorking.disabled[kind]) SendMessageW(objects, LB_SETSEL, TRUE, index);
  }
  SendMessageW(objects, WM_SETREDRAW, TRUE, 0);
  // Redrawing was off while the entries went in; show them now.
  InvalidateRect(objects, nullptr, TRUE);
}

void PaintSwatch(HWND dialog, HDC dc, int marker, COLORREF colour) {
  HWND control = GetDlgItem(dialog, marker);
  RECT r;
  GetClientRect(control, &r);
  MapWindowPoints(control, dialog, reinterpret_cast<POINT*>(&r), 2);
  HBRUSH fill = CreateSolidBrush(colour);
  FillRect(dc, &r, fill);
  DeleteObject(fill);
  HBRUSH frame = CreateSolidBrush(RGB(0, 0, 0));
  FrameRect(dc, &r, frame);
  DeleteObject(frame);
}

void PaintSwatches(HWND dialog) {
  HDC dc = GetDC(dialog);
  PaintSwatch(dialog, dc, kStarSwatch, gWorking.starColor);
  PaintSwatch(dialog, dc, kObjectSwatch, gWorking.objectColor);
  ReleaseDC(dialog, dc);
}

COLORREF PickColour(HWND dialog, COLORREF current) {
  CHOOSECOLORW cc{};
  cc.lStructSize = sizeof cc;
  cc.hwndOwner = dialog;
  cc.rgbResult = current;
  cc.lpCustColors = gCustomColours;
  cc.Flags = CC_RGBINIT | CC_FULLOPEN;
  return ChooseColorW(&cc) ? cc.rgbResult : current;
}

void ChangeColour(HWND dialog, int button, uint32_t& colour) {
  const COLORREF chosen = PickColour(dialog, colour);
  if (chosen == colour) return;
  colour = chosen;
  HWND control = GetDlgItem(dialog, button);
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  InvalidateRect(dialog, &r, FALSE);
  UpdateWindow(dialog);
}

void SaveFromControls(HWND dialog) {
  gWorking.starVelocity = static_cast<int32_t>(Send(dialog, 1016, TBM_GETPOS, 0, 0));
  gWorking.starNumber = static_cast<int32_t>(Send(dialog, 1015, TBM_GETPOS, 0, 0));
  gWorking.objectVelocity = static_cast<int32_t>(Send(dialog, 1018, TBM_GETPOS, 0, 0));
  gWorking.fps = static_cast<int32_t>(Send(dialog, 1017, TBM_GETPOS, 0, 0));
  const LRESULT selected = Send(dialog, kPriorityList, CB_GETCURSEL, 0, 0);
  if (selected >= 0)
    gWorking.threadPriority = static_cast<int32_t>(Send(dialog, kPriorityList, CB_GETITEMDATA, selected, 0));
  gWorking.disabled.fill(false);
  int indices[kObjectKinds] = {};
  const LRESULT count =
      Send(dialog, kObjectList, LB_GETSELITEMS, kObjectKinds, reinterpret_cast<LPARAM>(indices));
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT kind = Send(dialog, kObjectList, LB_GETITEMDATA, indices[i], 0);
    if (kind >= 0 && kind < kObjectKinds) gWorking.disabled[kind] = true;
  }
  RegistryStore store;
  SaveSettings(store, gWorking);
}

INT_PTR CALLBACK AboutDialogProc(HWND box, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      // Centred by the box's client size over its owner.
      RECT client, parent;
      GetClientRect(box, &client);
      GetWindowRect(GetParent(box), &parent);
      const int cw = client.right - client.left, ch = client.bottom - client.top;
      SetWindowPos(box, nullptr, parent.left + ((parent.right - parent.left) - cw) / 2,
                   parent.top + ((parent.bottom - parent.top) - ch) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(box, 1);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

bool PrepareSettingsDialog(HINSTANCE instance) {
  gInstance = instance;
  INITCOMMONCONTROLSEX init;
  init.dwSize = sizeof init;  // 8
  // The up-down group, and the bar group where the trackbar class lives:
  // without it the sliders cannot be created where the library registers
  // classes only on request.
  init.dwICC = ICC_UPDOWN_CLASS | ICC_BAR_CLASSES;
  InitCommonControlsEx(&init);
  return true;
}

void ShowAbout(HWND owner) { DialogBoxParamW(gInstance, MAKEINTRESOURCEW(104), owner, AboutDialogProc, 0); }

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      RegistryStore store;
      gWorking = LoadSettings(store);
      FillControls(dialog);
      return FALSE;
    }
    case WM_PAINT:
      PaintSwatches(dialog);
      return FALSE;
    case WM_HSCROLL:
      for (const SliderLabel& s : kSliders)
        if (GetDlgItem(dialog, s.slider) == reinterpret_cast<HWND>(lParam)) ShowSliderPosition(dialog, s);
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kStarColourButton:
          ChangeColour(dialog, kStarColourButton, gWorking.starColor);
          return FALSE;
        case kObjectColourButton:
          ChangeColour(dialog, kObjectColourButton, gWorking.objectColor);
          return FALSE;
        case kClearSelection:
          Send(dialog, kObjectList, LB_SELITEMRANGE, FALSE, MAKELPARAM(0, 0xFFFF));
          return FALSE;
        case kResetSettings:
          gWorking = Settings{};
          FillControls(dialog);
          PaintSwatches(dialog);
          return FALSE;
        case kAboutButton:
          ShowAbout(dialog);
          return FALSE;
        case IDOK:
          SaveFromControls(dialog);
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 1);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

}  // namespace tk::win32
