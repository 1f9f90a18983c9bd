#include "platform/gtk/gtk_dialog_view.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "platform/gtk/colour_chooser.h"
#include "settings/about_box.h"

namespace tk::gtk {
namespace {

enum ObjectColumn { kNameColumn, kKindColumn };

// telkarim.ui's names for the sliders and their labels.
struct SliderIds {
  SettingId slider;
  const char* scale;
  const char* label;
};
constexpr SliderIds kSliderIds[] = {
    {SettingId::kStarVelocity, "star-speed", "star-speed-now"},
    {SettingId::kStarNumber, "star-number", "star-number-now"},
    {SettingId::kObjectVelocity, "object-speed", "object-speed-now"},
    {SettingId::kFps, "frame-rate", "frame-rate-now"},
};
static_assert(std::size(kSliderIds) == kDialogSliders.size());

GtkWidget* Widget(GtkBuilder* builder, const char* id) {
  GObject* object = gtk_builder_get_object(builder, id);
  if (!object) g_error("telkarim.ui has no widget \"%s\"", id);
  return GTK_WIDGET(object);
}

// The list orders its entries by name, case-insensitively and the same in
// every locale, so the user sees one order whatever LANG says.
gint CompareNames(GtkTreeModel* model, GtkTreeIter* a, GtkTreeIter* b, gpointer) {
  gchar *nameA = nullptr, *nameB = nullptr;
  gtk_tree_model_get(model, a, kNameColumn, &nameA, -1);
  gtk_tree_model_get(model, b, kNameColumn, &nameB, -1);
  gchar* foldA = g_utf8_casefold(nameA ? nameA : "", -1);
  gchar* foldB = g_utf8_casefold(nameB ? nameB : "", -1);
  const gint order = std::strcmp(foldA, foldB);
  g_free(foldA);
  g_free(foldB);
  g_free(nameA);
  g_free(nameB);
  return order;
}

void Clicked(GtkBuilder* builder, const char* id, void (*handler)(GtkButton*, gpointer), gpointer data) {
  g_signal_connect(Widget(builder, id), "clicked", G_CALLBACK(handler), data);
}

}  // namespace

GtkDialogView::GtkDialogView(GtkBuilder* builder)
    : builder_(builder),
      dialog_(Widget(builder, "settings-dialog")),
      starSwatch_(Widget(builder, "star-swatch")),
      objectSwatch_(Widget(builder, "object-swatch")),
      priority_(GTK_COMBO_BOX_TEXT(Widget(builder, "priority"))),
      objects_(GTK_LIST_STORE(gtk_builder_get_object(builder, "object-store"))),
      objectList_(GTK_TREE_VIEW(Widget(builder, "object-list"))),
      selection_(gtk_tree_view_get_selection(objectList_)) {
  for (const SliderIds& ids : kSliderIds) {
    SliderWidgets& s = Slider(ids.slider);
    s.scale = GTK_RANGE(Widget(builder, ids.scale));
    s.label = GTK_LABEL(Widget(builder, ids.label));
    // Whole numbers only, as the settings hold them.
    gtk_range_set_round_digits(s.scale, 0);
    gtk_scale_set_digits(GTK_SCALE(s.scale), 0);
  }
  gtk_tree_sortable_set_sort_func(GTK_TREE_SORTABLE(objects_), kNameColumn, CompareNames, nullptr, nullptr);
  gtk_tree_sortable_set_sort_column_id(GTK_TREE_SORTABLE(objects_), kNameColumn, GTK_SORT_ASCENDING);
  gtk_tree_selection_set_mode(selection_, GTK_SELECTION_MULTIPLE);
}

void GtkDialogView::Attach(SettingsDialogModel& model) {
  model_ = &model;
  g_signal_connect(starSwatch_, "draw", G_CALLBACK(OnDrawSwatch), this);
  g_signal_connect(objectSwatch_, "draw", G_CALLBACK(OnDrawSwatch), this);
  for (SliderWidgets& s : sliders_) g_signal_connect(s.scale, "value-changed", G_CALLBACK(OnSliderMoved), this);

  // A click or Space toggles one entry and leaves the others as they are,
  // the way a list of things to switch off should behave; the arrow keys
  // only move the cursor. Every other change of the selection is refused.
  gtk_tree_selection_set_select_function(selection_, MaySelect, this, nullptr);
  g_signal_connect(objectList_, "button-press-event", G_CALLBACK(OnListButton), this);
  g_signal_connect(objectList_, "key-press-event", G_CALLBACK(OnListKey), this);

  Clicked(builder_, "star-colour", [](GtkButton*, gpointer m) {
    static_cast<SettingsDialogModel*>(m)->ChangeColour(ColourTarget::kStars); }, model_);
  Clicked(builder_, "object-colour", [](GtkButton*, gpointer m) {
    static_cast<SettingsDialogModel*>(m)->ChangeColour(ColourTarget::kObjects); }, model_);
  Clicked(builder_, "clear-selection", [](GtkButton*, gpointer m) {
    static_cast<SettingsDialogModel*>(m)->ClearSelection(); }, model_);
  Clicked(builder_, "reset-settings", [](GtkButton*, gpointer m) {
    static_cast<SettingsDialogModel*>(m)->ResetSettings(); }, model_);
  Clicked(builder_, "about", [](GtkButton*, gpointer m) {
    static_cast<SettingsDialogModel*>(m)->About(); }, model_);
  Clicked(builder_, "ok", [](GtkButton*, gpointer d) {
    gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_OK); }, dialog_);
  Clicked(builder_, "cancel", [](GtkButton*, gpointer d) {
    gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_CANCEL); }, dialog_);
  Clicked(builder_, "about-ok", [](GtkButton*, gpointer b) {
    gtk_dialog_response(GTK_DIALOG(b), GTK_RESPONSE_OK); }, Widget(builder_, "about-box"));
}

void GtkDialogView::SetSlider(const SettingDef& def, int position) {
  GtkRange* scale = Slider(def.id).scale;
  filling_ = true;
  gtk_range_set_range(scale, def.min, def.max);
  // Arrow keys step by one; Page Up and Down by a fifth of the range, as
  // a Windows trackbar does.
  gtk_range_set_increments(scale, 1, std::max(1, (def.max - def.min) / 5));
  gtk_scale_clear_marks(GTK_SCALE(scale));
  const int every = def.tickEvery > 0 ? def.tickEvery : 1;
  for (int v = def.min; v < def.max; v += every) gtk_scale_add_mark(GTK_SCALE(scale), v, GTK_POS_BOTTOM, nullptr);
  gtk_scale_add_mark(GTK_SCALE(scale), def.max, GTK_POS_BOTTOM, nullptr);
  gtk_range_set_value(scale, position);
  filling_ = false;
}

int GtkDialogView::SliderPosition(const SettingDef& def) {
  return static_cast<int>(std::lround(gtk_range_get_value(Slider(def.id).scale)));
}

void GtkDialogView::SetSliderLabel(const SettingDef& def, const std::string& text) {
  gtk_label_set_text(Slider(def.id).label, text.c_str());
}

void GtkDialogView::SetPriorities(std::span<const PriorityChoice> choices, int selectedIndex) {
  gtk_combo_box_text_remove_all(priority_);
  for (const PriorityChoice& c : choices)
    gtk_combo_box_text_append(priority_, std::to_string(c.value).c_str(), c.text);
  gtk_combo_box_set_active(GTK_COMBO_BOX(priority_), selectedIndex);
}

bool GtkDialogView::SelectedPriority(int32_t& value) {
  const gchar* id = gtk_combo_box_get_active_id(GTK_COMBO_BOX(priority_));
  if (!id) return false;
  value = static_cast<int32_t>(std::strtol(id, nullptr, 10));
  return true;
}

void GtkDialogView::ClearObjects() { gtk_list_store_clear(objects_); }

int GtkDialogView::AddObject(const std::string& name, int kind) {
  GtkTreeIter iter;
  gtk_list_store_insert_with_values(objects_, &iter, -1, kNameColumn, name.c_str(), kKindColumn, kind, -1);
  // The store sorted the entry in; its index is where it landed.
  GtkTreePath* path = gtk_tree_model_get_path(GTK_TREE_MODEL(objects_), &iter);
  const int index = gtk_tree_path_get_indices(path)[0];
  gtk_tree_path_free(path);
  return index;
}

void GtkDialogView::SelectObject(int index) {
  GtkTreePath* path = gtk_tree_path_new_from_indices(index, -1);
  selecting_ = true;
  gtk_tree_selection_select_path(selection_, path);
  selecting_ = false;
  gtk_tree_path_free(path);
}

void GtkDialogView::DeselectAllObjects() {
  selecting_ = true;
  gtk_tree_selection_unselect_all(selection_);
  selecting_ = false;
}

std::vector<int> GtkDialogView::SelectedObjectKinds() {
  std::vector<int> kinds;
  GtkTreeModel* model = nullptr;
  GList* rows = gtk_tree_selection_get_selected_rows(selection_, &model);
  for (GList* row = rows; row; row = row->next) {
    GtkTreeIter iter;
    if (!gtk_tree_model_get_iter(model, &iter, static_cast<GtkTreePath*>(row->data))) continue;
    gint kind = -1;
    gtk_tree_model_get(model, &iter, kKindColumn, &kind, -1);
    kinds.push_back(kind);
  }
  g_list_free_full(rows, reinterpret_cast<GDestroyNotify>(gtk_tree_path_free));
  return kinds;
}

void GtkDialogView::RepaintSwatches() {
  gtk_widget_queue_draw(starSwatch_);
  gtk_widget_queue_draw(objectSwatch_);
}

void GtkDialogView::ColourChanged(ColourTarget target) {
  gtk_widget_queue_draw(target == ColourTarget::kStars ? starSwatch_ : objectSwatch_);
}

uint32_t GtkDialogView::PickColour(uint32_t current, std::array<uint32_t, 16>& customColours) {
  return RunColourChooser(window(), current, customColours);
}

void GtkDialogView::ShowAbout() {
  // The builder made one box; it is hidden, not destroyed, after each showing.
  GtkWidget* box = Widget(builder_, "about-box");
  gtk_window_set_transient_for(GTK_WINDOW(box), window());
  gtk_widget_show_all(gtk_dialog_get_content_area(GTK_DIALOG(box)));

  // The box's client size is its requested size, as it cannot be resized;
  // the owner's rectangle includes whatever frame the window manager drew.
  GtkRequisition size;
  gtk_widget_get_preferred_size(box, nullptr, &size);
  GdkRectangle owner;
  gdk_window_get_frame_extents(gtk_widget_get_window(dialog_), &owner);
  const ScreenPoint at = AboutBoxOrigin({owner.x, owner.y, owner.x + owner.width, owner.y + owner.height},
                                        size.width, size.height);
  gtk_window_move(GTK_WINDOW(box), at.x, at.y);

  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_hide(box);
}

gboolean GtkDialogView::OnDrawSwatch(GtkWidget* widget, cairo_t* cr, gpointer self) {
  auto* view = static_cast<GtkDialogView*>(self);
  const Settings& s = view->model_->working();
  const uint32_t colour = widget == view->starSwatch_ ? s.starColor : s.objectColor;
  const GdkRGBA rgba = ToRgba(colour);
  const int w = gtk_widget_get_allocated_width(widget), h = gtk_widget_get_allocated_height(widget);
  gdk_cairo_set_source_rgba(cr, &rgba);
  cairo_rectangle(cr, 0, 0, w, h);
  cairo_fill(cr);
  // A one-pixel black frame, on the pixel centres so it stays sharp.
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, 0.5, 0.5, w - 1, h - 1);
  cairo_stroke(cr);
  return TRUE;
}

void GtkDialogView::OnSliderMoved(GtkRange* range, gpointer self) {
  auto* view = static_cast<GtkDialogView*>(self);
  if (view->filling_) return;
  for (const SliderIds& ids : kSliderIds)
    if (view->Slider(ids.slider).scale == range) view->model_->SliderMoved(ids.slider);
}

gboolean GtkDialogView::MaySelect(GtkTreeSelection*, GtkTreeModel*, GtkTreePath*, gboolean, gpointer self) {
  return static_cast<GtkDialogView*>(self)->selecting_;
}

void GtkDialogView::ToggleObject(GtkTreePath* path) {
  selecting_ = true;
  if (gtk_tree_selection_path_is_selected(selection_, path))
    gtk_tree_selection_unselect_path(selection_, path);
  else
    gtk_tree_selection_select_path(selection_, path);
  selecting_ = false;
  // Moves the cursor only: the selection function refuses the change of
  // selection that setting the cursor would otherwise make.
  gtk_tree_view_set_cursor(objectList_, path, nullptr, FALSE);
}

gboolean GtkDialogView::OnListButton(GtkWidget* widget, GdkEventButton* event, gpointer self) {
  auto* view = static_cast<GtkDialogView*>(self);
  if (event->button != GDK_BUTTON_PRIMARY) return FALSE;
  if (event->window != gtk_tree_view_get_bin_window(view->objectList_)) return FALSE;  // the scroll bar
  if (event->type != GDK_BUTTON_PRESS) return TRUE;  // a double click is two toggles, not an activation
  gtk_widget_grab_focus(widget);
  GtkTreePath* path = nullptr;
  if (gtk_tree_view_get_path_at_pos(view->objectList_, static_cast<gint>(event->x), static_cast<gint>(event->y),
                                    &path, nullptr, nullptr, nullptr)) {
    view->ToggleObject(path);
    gtk_tree_path_free(path);
  }
  return TRUE;
}

gboolean GtkDialogView::OnListKey(GtkWidget*, GdkEventKey* event, gpointer self) {
  auto* view = static_cast<GtkDialogView*>(self);
  if (event->keyval != GDK_KEY_space && event->keyval != GDK_KEY_KP_Space) return FALSE;
  if (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) return FALSE;
  GtkTreePath* cursor = nullptr;
  gtk_tree_view_get_cursor(view->objectList_, &cursor, nullptr);
  if (cursor) {
    view->ToggleObject(cursor);
    gtk_tree_path_free(cursor);
  }
  return TRUE;
}

}  // namespace tk::gtk
