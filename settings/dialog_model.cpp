#include "settings/dialog_model.h"

#include <cstdio>

namespace tk {

std::string SliderLabelText(int position) {
  char text[32];
  std::snprintf(text, sizeof text, "сейчас: %d ", position);
  return text;
}

std::array<uint32_t, 16>& SettingsDialogModel::CustomColours() {
  static std::array<uint32_t, 16> colours{};  // all black at start
  return colours;
}

void SettingsDialogModel::Open() {
  working_ = opened_ = LoadSettings(store_);
  resetAll_ = false;
  Fill();
}

void SettingsDialogModel::Fill() {
  for (SettingId id : kDialogSliders)
    view_.SetSlider(SettingOf(id), static_cast<int32_t>(GetSetting(working_, id)));
  // The labels show what the sliders took, which may differ from the record
  // when a toolkit clamps.
  for (SettingId id : kDialogSliders) SliderMoved(id);

  int chosen = 0;
  for (size_t i = 0; i < kPriorityChoices.size(); ++i) {
    if (kPriorityChoices[i].value == working_.threadPriority) {
      chosen = static_cast<int>(i);
      break;
    }
  }
  view_.SetPriorities(kPriorityChoices, chosen);

  view_.ClearObjects();
  for (int kind = 0; kind < kObjectKinds; ++kind) {
    const int index = view_.AddObject(SettingOf(ObjectSetting(kind)).entryText, kind);
    if (working_.disabled[kind]) view_.SelectObject(index);
  }
}

void SettingsDialogModel::SliderMoved(SettingId slider) {
  const SettingDef& def = SettingOf(slider);
  if (def.type == SettingType::kRange) view_.SetSliderLabel(def, SliderLabelText(view_.SliderPosition(def)));
}

void SettingsDialogModel::ChangeColour(ColourTarget target) {
  uint32_t& colour = target == ColourTarget::kStars ? working_.starColor : working_.objectColor;
  const uint32_t chosen = view_.PickColour(colour, CustomColours());
  if (chosen == colour) return;
  colour = chosen;
  view_.ColourChanged(target);
}

void SettingsDialogModel::ClearSelection() { view_.DeselectAllObjects(); }

void SettingsDialogModel::ResetSettings() {
  working_ = Settings{};
  resetAll_ = true;
  Fill();
  view_.RepaintSwatches();
}

bool SettingsDialogModel::Ok() {
  for (SettingId id : kDialogSliders)
    SetSetting(working_, id, static_cast<uint32_t>(view_.SliderPosition(SettingOf(id))));
  int32_t priority = 0;
  if (view_.SelectedPriority(priority)) working_.threadPriority = priority;
  working_.disabled.fill(false);
  for (int kind : view_.SelectedObjectKinds())
    if (kind >= 0 && kind < kObjectKinds) working_.disabled[kind] = true;
  // After a reset the user chose every value; otherwise the values they left
  // as they were give way to changes made to the file while it was open.
  return resetAll_ ? SaveSettings(store_, working_) : SaveEditedSettings(store_, working_, opened_);
}

}  // namespace tk
