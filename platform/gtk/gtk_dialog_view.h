#pragma once
// The settings dialog's controls on GTK 3: the widgets of telkarim.ui seen
// through DialogView, and their signals passed on to the shared behaviour.
#include <gtk/gtk.h>

#include "settings/dialog_model.h"

namespace tk::gtk {

// telkarim.ui, compiled in.
extern const char kSettingsDialogUi[];

class GtkDialogView final : public DialogView {
 public:
  // The builder holds the dialog and the About box; it must outlive the view.
  explicit GtkDialogView(GtkBuilder* builder);
  GtkDialogView(const GtkDialogView&) = delete;
  GtkDialogView& operator=(const GtkDialogView&) = delete;

  // Connects the controls to `model`; call once, before the model opens.
  void Attach(SettingsDialogModel& model);
  GtkWindow* window() const { return GTK_WINDOW(dialog_); }

  void SetSlider(const SettingDef& def, int position) override;
  int SliderPosition(const SettingDef& def) override;
  void SetSliderLabel(const SettingDef& def, const std::string& text) override;
  void SetPriorities(std::span<const PriorityChoice> choices, int selectedIndex) override;
  bool SelectedPriority(int32_t& value) override;
  void ClearObjects() override;
  int AddObject(const std::string& name, int kind) override;
  void SelectObject(int index) override;
  void DeselectAllObjects() override;
  std::vector<int> SelectedObjectKinds() override;
  void RepaintSwatches() override;
  void ColourChanged(ColourTarget target) override;
  uint32_t PickColour(uint32_t current, std::array<uint32_t, 16>& customColours) override;
  void ShowAbout() override;

 private:
  struct SliderWidgets {
    GtkRange* scale;
    GtkLabel* label;
  };
  // Kept in the order of kDialogSliders.
  SliderWidgets& Slider(SettingId slider) {
    size_t i = 0;
    while (i + 1 < kDialogSliders.size() && kDialogSliders[i] != slider) ++i;
    return sliders_[i];
  }

  static gboolean OnDrawSwatch(GtkWidget* widget, cairo_t* cr, gpointer self);
  static void OnSliderMoved(GtkRange* range, gpointer self);
  static gboolean MaySelect(GtkTreeSelection*, GtkTreeModel*, GtkTreePath*, gboolean, gpointer self);
  static gboolean OnListButton(GtkWidget* widget, GdkEventButton* event, gpointer self);
  static gboolean OnListKey(GtkWidget* widget, GdkEventKey* event, gpointer self);
  void ToggleObject(GtkTreePath* path);

  GtkBuilder* builder_;
  GtkWidget* dialog_;
  GtkWidget* starSwatch_;
  GtkWidget* objectSwatch_;
  GtkComboBoxText* priority_;
  GtkListStore* objects_;
  GtkTreeView* objectList_;
  GtkTreeSelection* selection_;
  std::array<SliderWidgets, kDialogSliders.size()> sliders_{};
  SettingsDialogModel* model_ = nullptr;
  bool filling_ = false;      // a slider is being set by the model, not moved by the user
  bool selecting_ = false;    // the list's selection is being changed by us
};

}  // namespace tk::gtk
