#pragma once
// The settings dialog's behaviour without a toolkit: the working copy, how
// the controls are filled from it, what each button does and what OK stores.
// The Win32 dialog and the GTK dialog each implement DialogView over their
// own controls; the tests implement it over plain data.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace tk {

// The dialog's controls, their ids, ranges and texts are the settings
// table's (settings/setting_table.h): sliders are its kRange settings,
// kPriorityChoices fill the priority list and the switches' entry texts the
// object list.

// "сейчас: 200 ".
std::string SliderLabelText(int position);

enum class ColourTarget { kStars, kObjects };

// What a toolkit's dialog offers the model. List entries are addressed by
// the index the list returned when the entry went in, and carry a number of
// the model's choosing (the priority value, the object kind), because both
// lists may order their entries themselves.
class DialogView {
 public:
  virtual ~DialogView() = default;

  // A slider is a kRange setting: controlId, partnerId (its label), min, max, tickEvery.
  virtual void SetSlider(const SettingDef& def, int position) = 0;  // range, ticks and position
  virtual int SliderPosition(const SettingDef& def) = 0;
  virtual void SetSliderLabel(const SettingDef& def, const std::string& text) = 0;

  // Empties the priority list, adds the entries in order and selects one.
  virtual void SetPriorities(std::span<const PriorityChoice> choices, int selectedIndex) = 0;
  // The number carried by the selected priority entry; false when none is selected.
  virtual bool SelectedPriority(int32_t& value) = 0;

  virtual void ClearObjects() = 0;
  virtual int AddObject(const std::string& name, int kind) = 0;  // returns the entry's index
  virtual void SelectObject(int index) = 0;
  virtual void DeselectAllObjects() = 0;
  virtual std::vector<int> SelectedObjectKinds() = 0;  // the numbers carried by selected entries

  // Shows the swatches from the model's working copy, at once.
  virtual void RepaintSwatches() = 0;
  // One colour changed: repaint what shows it.
  virtual void ColourChanged(ColourTarget target) = 0;
  // The toolkit's colour chooser, starting at current; returns current when cancelled.
  virtual uint32_t PickColour(uint32_t current, std::array<uint32_t, 16>& customColours) = 0;
  virtual void ShowAbout() = 0;
};

class SettingsDialogModel {
 public:
  SettingsDialogModel(SettingsStore& store, DialogView& view) : store_(store), view_(view) {}

  // On opening: the working copy comes from the store, then the controls.
  void Open();
  // Fills every control from the working copy.
  void Fill();
  // A slider moved: only its own label follows; nothing is stored.
  void SliderMoved(SettingId slider);
  // "&Изменить..." / "И&зменить...": stores the chosen colour in the working
  // copy; repaints only when it changed.
  void ChangeColour(ColourTarget target);
  // "&Сброс выбора": clears the list's selection; the working copy keeps its
  // flags until OK reads the list.
  void ClearSelection();
  // "&Сброс настроек": the defaults into the working copy and the controls;
  // nothing is stored until OK.
  void ResetSettings();
  void About() { view_.ShowAbout(); }
  // OK: reads the controls into the working copy and stores it. A value the
  // user touched (it differs from the opening's, or "&Сброс настроек" was
  // pressed) is written; an untouched one that the file changed meanwhile
  // keeps the file's. Returns whether the store took it (the dialog closes
  // either way).
  bool Ok();
  // Cancel drops the working copy; it is reloaded at the next opening.
  void Cancel() {}

  const Settings& working() const { return working_; }

  // The colour chooser's custom colours, shared by both colour buttons and
  // every opening while the process lives; not stored.
  static std::array<uint32_t, 16>& CustomColours();

 private:
  SettingsStore& store_;
  DialogView& view_;
  Settings working_;
  Settings opened_;        // as loaded at the opening
  bool resetAll_ = false;  // the defaults were asked for: every value counts as touched
};

}  // namespace tk
