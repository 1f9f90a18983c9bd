// The settings dialog (resource 2003) and the About box (resource 104). What
// the dialog does lives in the shared SettingsDialogModel; this file only
// reaches the Win32 controls for it and routes the dialog's messages.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <string>

#include "registry_store.h"
#include "settings/dialog_model.h"
#include "win32_shell.h"
#include "win32_text.h"

namespace tk::win32 {
namespace {

// The buttons that belong to no one setting; the settings' own controls
// are the settings table's.
enum : int {
  kClearSelection = 1011,
  kResetSettings = 1012,
  kAboutButton = 1013,
};
constexpr int kStarColourButton = SettingOf(SettingId::kStarColor).controlId;
constexpr int kObjectColourButton = SettingOf(SettingId::kObjectColor).controlId;
constexpr int kStarSwatch = SettingOf(SettingId::kStarColor).partnerId;
constexpr int kObjectSwatch = SettingOf(SettingId::kObjectColor).partnerId;
constexpr int kPriorityList = SettingOf(SettingId::kThreadPriority).controlId;
constexpr int kObjectList = kObjectListId;

// COLORREF and the model's colours are both 0x00BBGGRR in 32 bits.
static_assert(sizeof(COLORREF) == sizeof(uint32_t));

HINSTANCE gInstance = nullptr;  // kept by PrepareSettingsDialog for the About box

// Messages without text go through the ANSI call, which every Windows has;
// texts go through win32_text.h, which picks the call the system can show.
class Win32DialogView final : public DialogView {
 public:
  explicit Win32DialogView(HWND dialog) : dialog_(dialog) {}

  // Set once the model exists: the swatches show its working copy.
  void Attach(const SettingsDialogModel* model) { model_ = model; }

  void SetSlider(const SettingDef& def, int position) override {
    HWND slider = Item(def.controlId);
    SendMessageA(slider, TBM_SETRANGE, TRUE, MAKELPARAM(def.min, def.max));
    SendMessageA(slider, TBM_SETPOS, TRUE, position);
    if (def.tickEvery > 0) SendMessageA(slider, TBM_SETTICFREQ, def.tickEvery, 0);
  }
  int SliderPosition(const SettingDef& def) override {
    return static_cast<int>(SendMessageA(Item(def.controlId), TBM_GETPOS, 0, 0));
  }
  void SetSliderLabel(const SettingDef& def, const std::string& text) override {
    SetItemText(dialog_, def.partnerId, text);
  }

  void SetPriorities(std::span<const PriorityChoice> choices, int selectedIndex) override {
    HWND list = Item(kPriorityList);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
    LRESULT chosen = 0;
    for (size_t i = 0; i < choices.size(); ++i) {
      const LRESULT index = SendText(list, CB_ADDSTRING, 0, choices[i].text);
      SendMessageA(list, CB_SETITEMDATA, index, static_cast<LPARAM>(choices[i].value));
      if (static_cast<int>(i) == selectedIndex) chosen = index;
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    SendMessageA(list, CB_SETCURSEL, chosen, 0);
  }
  bool SelectedPriority(int32_t& value) override {
    const LRESULT selected = SendMessageA(Item(kPriorityList), CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR) return false;
    // Item data -1 ("below normal") looks like CB_ERR, so only a valid
    // selection is asked for its data.
    value = static_cast<int32_t>(SendMessageA(Item(kPriorityList), CB_GETITEMDATA, selected, 0));
    return true;
  }

  // Redrawing stays off from the emptying until EndObjectFill, so the
  // sorted list does not flicker through twelve insertions.
  void ClearObjects() override {
    HWND list = Item(kObjectList);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    filling_ = true;
  }
  int AddObject(const std::string& name, int kind) override {
    HWND list = Item(kObjectList);
    const LRESULT index = SendText(list, LB_ADDSTRING, 0, name);
    SendMessageA(list, LB_SETITEMDATA, index, kind);
    return static_cast<int>(index);
  }
  void SelectObject(int index) override { SendMessageA(Item(kObjectList), LB_SETSEL, TRUE, index); }
  void DeselectAllObjects() override {
    SendMessageA(Item(kObjectList), LB_SELITEMRANGE, FALSE, MAKELPARAM(0, 0xFFFF));
  }
  std::vector<int> SelectedObjectKinds() override {
    HWND list = Item(kObjectList);
    int indices[kObjectKinds] = {};
    const LRESULT count = SendMessageA(list, LB_GETSELITEMS, kObjectKinds, reinterpret_cast<LPARAM>(indices));
    std::vector<int> kinds;
    for (LRESULT i = 0; i < count && i < kObjectKinds; ++i)
      kinds.push_back(static_cast<int>(SendMessageA(list, LB_GETITEMDATA, indices[i], 0)));
    return kinds;
  }
  // Called after every fill of the model: redrawing back on, and the list
  // shown again, since turning redrawing on does not repaint by itself.
  void EndObjectFill() {
    if (!filling_) return;
    filling_ = false;
    HWND list = Item(kObjectList);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
  }

  void RepaintSwatches() override {
    if (!model_) return;
    HDC dc = GetDC(dialog_);
    PaintSwatch(dc, kStarSwatch, model_->working().starColor);
    PaintSwatch(dc, kObjectSwatch, model_->working().objectColor);
    ReleaseDC(dialog_, dc);
  }
  // The pressed button's area is invalidated without erasing and painted at
  // once; the paint handler then draws both swatches.
  void ColourChanged(ColourTarget target) override {
    HWND button = Item(target == ColourTarget::kStars ? kStarColourButton : kObjectColourButton);
    RECT r;
    GetWindowRect(button, &r);
    MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&r), 2);
    InvalidateRect(dialog_, &r, FALSE);
    UpdateWindow(dialog_);
  }
  uint32_t PickColour(uint32_t current, std::array<uint32_t, 16>& customColours) override {
    COLORREF custom[16];
    std::copy(customColours.begin(), customColours.end(), custom);
    CHOOSECOLORA cc{};
    cc.lStructSize = sizeof cc;
    cc.hwndOwner = dialog_;
    cc.rgbResult = current;
    cc.lpCustColors = custom;
    cc.Flags = CC_RGBINIT | CC_FULLOPEN;
    const BOOL confirmed = ChooseColorA(&cc);
    // The chooser edits the custom colours in place, whether or not the
    // user confirms; keep what it left for the next opening.
    std::copy(std::begin(custom), std::end(custom), customColours.begin());
    return confirmed ? static_cast<uint32_t>(cc.rgbResult) : current;
  }
  void ShowAbout() override { win32::ShowAbout(dialog_); }

 private:
  HWND Item(int id) const { return GetDlgItem(dialog_, id); }

  // Filled over the hidden marker's rectangle, with a one-pixel black frame.
  void PaintSwatch(HDC dc, int marker, uint32_t colour) {
    HWND control = Item(marker);
    RECT r;
    GetClientRect(control, &r);
    MapWindowPoints(control, dialog_, reinterpret_cast<POINT*>(&r), 2);
    HBRUSH fill = CreateSolidBrush(colour);
    FillRect(dc, &r, fill);
    DeleteObject(fill);
    HBRUSH frame = CreateSolidBrush(RGB(0, 0, 0));
    FrameRect(dc, &r, frame);
    DeleteObject(frame);
  }

  HWND dialog_;
  const SettingsDialogModel* model_ = nullptr;
  bool filling_ = false;
};

// One opening of the dialog: its controls, the registry and the model's
// working copy. Lives in the dialog's user slot from WM_INITDIALOG to
// WM_DESTROY.
struct DialogSession {
  explicit DialogSession(HWND dialog) : view(dialog), model(store, view) { view.Attach(&model); }
  Win32DialogView view;
  RegistryStore store;
  SettingsDialogModel model;
};

DialogSession* SessionOf(HWND dialog) {
  return reinterpret_cast<DialogSession*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

INT_PTR CALLBACK AboutDialogProc(HWND box, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      // Centred over the owner by the box's client size, not its outer size.
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
  // The up-down group, and the bar group where the trackbar class lives:
  // without it the sliders cannot be created where the library registers
  // classes only on request. A library older than that call (NT 4.0 and 95
  // without a later Internet Explorer) registers every class on the plain
  // initialisation instead.
  using InitExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  HMODULE library = GetModuleHandleA("COMCTL32.DLL");
  const auto initEx = library ? reinterpret_cast<InitExFn>(reinterpret_cast<void*>(
                                    GetProcAddress(library, "InitCommonControlsEx")))
                              : nullptr;
  if (initEx) {
    INITCOMMONCONTROLSEX init;
    init.dwSize = sizeof init;  // 8
    init.dwICC = ICC_UPDOWN_CLASS | ICC_BAR_CLASSES;
    initEx(&init);
  } else {
    InitCommonControls();
  }
  return true;
}

void ShowAbout(HWND owner) { ShowDialog(gInstance, 104, owner, AboutDialogProc); }

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* session = new DialogSession(dialog);
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(session));
    session->model.Open();
    session->view.EndObjectFill();
    return FALSE;  // no default focus
  }
  DialogSession* session = SessionOf(dialog);
  if (!session) return FALSE;  // messages before WM_INITDIALOG
  switch (message) {
    case WM_PAINT:
      session->view.RepaintSwatches();
      return FALSE;  // the default painting runs too
    case WM_HSCROLL:
      for (SettingId id : kDialogSliders)
        if (GetDlgItem(dialog, SettingOf(id).controlId) == reinterpret_cast<HWND>(lParam))
          session->model.SliderMoved(id);
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kStarColourButton:
          session->model.ChangeColour(ColourTarget::kStars);
          return FALSE;
        case kObjectColourButton:
          session->model.ChangeColour(ColourTarget::kObjects);
          return FALSE;
        case kClearSelection:
          session->model.ClearSelection();
          return FALSE;
        case kResetSettings:
          session->model.ResetSettings();
          session->view.EndObjectFill();
          return FALSE;
        case kAboutButton:
          session->model.About();
          return FALSE;
        case IDOK:
          // The dialog closes whether or not the registry took the values.
          session->model.Ok();
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          session->model.Cancel();
          EndDialog(dialog, 1);
          return TRUE;
        default:
          return FALSE;
      }
    case WM_DESTROY:
      SetWindowLongPtrA(dialog, DWLP_USER, 0);
      delete session;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace tk::win32
