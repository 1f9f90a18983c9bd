// The settings dialog's behaviour over a view made of plain data. The fake
// object list sorts its entries as the real lists do, so any code that
// assumes an entry's position from its kind fails here.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "platform/offscreen/memory_store.h"
#include "settings/dialog_model.h"
#include "settings/file_store.h"
#include "settings/registry_text.h"

namespace tk {
namespace {

class FakeView final : public DialogView {
 public:
  struct Entry {
    std::string name;
    int data;
    bool selected = false;
  };

  void SetSlider(const SettingDef& def, int position) override {
    ranges[def.controlId] = {def.min, def.max};
    sliders[def.controlId] = std::clamp(position, def.min, def.max);
  }
  int SliderPosition(const SettingDef& def) override { return sliders[def.controlId]; }
  void SetSliderLabel(const SettingDef& def, const std::string& text) override {
    labels[def.partnerId] = text;
    ++labelWrites;
  }
  void SetPriorities(std::span<const PriorityChoice> choices, int selectedIndex) override {
    priorities.clear();
    for (const PriorityChoice& c : choices) priorities.push_back({c.text, c.value});
    prioritySelection = selectedIndex;
  }
  bool SelectedPriority(int32_t& value) override {
    if (prioritySelection < 0) return false;
    value = priorities[prioritySelection].data;
    return true;
  }
  void ClearObjects() override { objects.clear(); }
  int AddObject(const std::string& name, int kind) override {
    auto at = std::upper_bound(objects.begin(), objects.end(), name,
                               [](const std::string& n, const Entry& e) { return n < e.name; });
    const auto placed = objects.insert(at, Entry{name, kind});
    return static_cast<int>(placed - objects.begin());
  }
  void SelectObject(int index) override { objects.at(index).selected = true; }
  void DeselectAllObjects() override {
    for (Entry& e : objects) e.selected = false;
  }
  std::vector<int> SelectedObjectKinds() override {
    std::vector<int> kinds;
    for (const Entry& e : objects)
      if (e.selected) kinds.push_back(e.data);
    return kinds;
  }
  void RepaintSwatches() override { ++swatchRepaints; }
  void ColourChanged(ColourTarget target) override { changed.push_back(target); }
  uint32_t PickColour(uint32_t current, std::array<uint32_t, 16>& custom) override {
    offered.push_back(current);
    customSeen = &custom;
    if (pickerDefinesCustom) custom[0] = 0x123456;
    return pickerAnswer ? *pickerAnswer : current;
  }
  void ShowAbout() override { ++aboutShown; }

  void Choose(const std::string& name) {
    for (Entry& e : objects)
      if (e.name == name) e.selected = true;
  }
  bool IsSelected(int kind) const {
    for (const Entry& e : objects)
      if (e.data == kind) return e.selected;
    return false;
  }
  int Slider(int id) const { return sliders.at(id); }

  std::map<int, int> sliders;
  std::map<int, std::pair<int, int>> ranges;
  std::map<int, std::string> labels;
  int labelWrites = 0;
  std::vector<Entry> priorities;
  int prioritySelection = -1;
  std::vector<Entry> objects;
  int swatchRepaints = 0;
  std::vector<ColourTarget> changed;
  std::vector<uint32_t> offered;
  std::array<uint32_t, 16>* customSeen = nullptr;
  std::optional<uint32_t> pickerAnswer;
  bool pickerDefinesCustom = false;
  int aboutShown = 0;
};

uint32_t Stored(const MemorySettingsStore& store, const std::string& name) {
  auto it = store.values.find(name);
  return it == store.values.end() ? 0xDEADBEEF : it->second.dword;
}

TEST(SettingsDialog, OpeningOnAnEmptyStoreShowsTheDefaults) {
  MemorySettingsStore store;
  FakeView view;
  SettingsDialogModel dialog(store, view);
  dialog.Open();

  EXPECT_EQ(view.Slider(1016), 5);
  EXPECT_EQ(view.Slider(1015), 200);
  EXPECT_EQ(view.Slider(1018), 5);
  EXPECT_EQ(view.Slider(1017), 50);
  EXPECT_EQ(view.ranges[1015], std::make_pair(50, 500));
  EXPECT_EQ(view.ranges[1017], std::make_pair(20, 100));
  EXPECT_EQ(view.labels[1026], "сейчас: 5 ");
  EXPECT_EQ(view.labels[1025], "сейчас: 200 ");
  EXPECT_EQ(view.labels[1024], "сейчас: 5 ");
  EXPECT_EQ(view.labels[1023], "сейчас: 50 ");
  ASSERT_EQ(view.priorities.size(), 3u);
  EXPECT_EQ(view.priorities[view.prioritySelection].name, "норма ");
  EXPECT_EQ(view.objects.size(), 12u);
  EXPECT_TRUE(view.SelectedObjectKinds().empty());
  EXPECT_EQ(dialog.working().starColor, 0xff9070u);
  EXPECT_EQ(dialog.working().objectColor, 0xffffffu);
  EXPECT_EQ(store.saves, 0) << "opening stores nothing";
}

TEST(SettingsDialog, OpeningShowsTheStoredRecord) {
  MemorySettingsStore store;
  store.SetDword("ThreadPriority", static_cast<uint32_t>(-1));
  store.SetDword("StarNumber", 325);
  store.SetDword("Object4", 1);
  FakeView view;
  SettingsDialogModel dialog(store, view);
  dialog.Open();
  EXPECT_EQ(view.priorities[view.prioritySelection].name, "пониженный  ");
  EXPECT_EQ(view.Slider(1015), 325);
  EXPECT_EQ(view.labels[1025], "сейчас: 325 ");
  EXPECT_EQ(view.SelectedObjectKinds(), std::vector<int>{4});
  EXPECT_TRUE(view.IsSelected(4)) << "the torus, wherever the sorted list put it";

  store.SetDword("ThreadPriority", static_cast<uint32_t>(-15));
  dialog.Open();
  EXPECT_EQ(view.priorities[view.prioritySelection].name, "ноль");
  EXPECT_EQ(view.objects.size(), 12u) << "reopening refills the list instead of adding to it";
}

TEST(SettingsDialog, MovingASliderChangesOnlyItsLabelAndStoresNothing) {
  MemorySettingsStore store;
  FakeView view;
  SettingsDialogModel dialog(store, view);
  dialog.Open();
  const auto before = view.labels;
  view.sliders[1015] = 450;
  dialog.SliderMoved(SettingId::kStarNumber);
  for (const auto& [id, text] : view.labels) {
    if (id == 1025)
      EXPECT_EQ(text, "сейчас: 450 ");
    else
      EXPECT_EQ(text, before.at(id)) << "label " << id;
  }
  EXPECT_EQ(dialog.working().starNumber, 200) << "the working copy follows the sliders only at OK";
  EXPECT_EQ(store.saves, 0);
}

TEST(SettingsDialog, SelectingObjectsThenOkStoresTheirFlagsWhateverTheirPositions) {
  MemorySettingsStore store;
  FakeView view;
  SettingsDialogModel dialog(store, view);
  dialog.Open();
  view.Choose("Рельеф   ");
  view.Choose("Атом");
  view.sliders[1017] = 85;
  view.prioritySelection = 2;
  ASSERT_TRUE(dialog.Ok());
  for (int kind = 0; kind < kObjectKinds; ++kind)
    EXPECT_EQ(Stored(store, SettingOf(ObjectSetting(kind)).name), kind == 9 || kind == 10 ? 1u : 0u) << kind;
  EXPECT_EQ(Stored(store, "FPS"), 85u);
  EXPECT_EQ(static_cast<int32_t>(Stored(store, "ThreadPriority")), -15);
  EXPECT_EQ(Stored(store, "StarNumber"), 200u);
}

TEST(SettingsDialog, ClearSelectionThenCancelKeepsTheStoredFlags) {
  MemorySettingsStore store;
  store.SetDword("Object2", 1);
  store.SetDword("Object7", 1);
  FakeView view;
  SettingsDialogModel dialog(store, view);
  dialog.Open();
  dialog.ClearSelection();
  EXPECT_TRUE(view.SelectedObjectKinds().empty());
  EXPECT_TRUE(dialog.working().disabled[2] && dialog.working().disabled[7])
      << "clearing the list leaves the working copy until OK";
  dialog.Cancel();
  EXPECT_EQ(store.saves, 0);
  EXPECT_EQ(Stored(store, "Object2"), 1u);

  // The same clearing followed by OK switches both back on.
  dialog.Open();
  dialog.ClearSelection();
  dialog.Ok();
  EXPECT_EQ(Stored(store, "Object2"), 0u);
  EXPECT_EQ(Stored(store, "Object7"), 0u);
}

TEST(SettingsDialog, ResetPutsTheDefaultsInTheControlsAndOkStoresThem) {
  MemorySettingsStore store;
  store.SetDword("StarColor", 0x0000ff);
  store.SetDword("StarNumber", 500);
  store.SetDword("FPS", 100);
  store.SetDword("ThreadPriority", static_cast<uint32_t>(-1));
  store.SetDword("Object11", 1);
  FakeView view;
  SettingsDialogModel dialog(store, view);
  dialog.Open();

  dialog.ResetSettings();
  EXPECT_EQ(view.Slider(1015), 200);
  EXPECT_EQ(view.labels[1023], "сейчас: 50 ");
  EXPECT_EQ(view.priorities[view.prioritySelection].name, "норма ");
  EXPECT_TRUE(view.SelectedObjectKinds().empty());
  EXPECT_EQ(view.swatchRepaints, 1) << "the swatches show the default colours at once";
  EXPECT_EQ(store.saves, 0) << "reset stores nothing by itself";
  dialog.Cancel();
  EXPECT_EQ(Stored(store, "StarNumber"), 500u);

  dialog.Open();
  dialog.ResetSettings();
  dialog.Ok();
  MemorySettingsStore fresh;
  for (const auto& v : SettingsValues(LoadSettings(fresh)))
    EXPECT_EQ(Stored(store, v.name), v.value) << v.name;
}

TEST(SettingsDialog, ColourPickerRepaintsOnlyOnAChangeAndSharesCustomColours) {
  MemorySettingsStore store;
  FakeView view;
  SettingsDialogModel dialog(store, view);
  dialog.Open();

  dialog.ChangeColour(ColourTarget::kStars);  // cancelled: the current colour comes back
  EXPECT_EQ(view.offered, std::vector<uint32_t>{0xff9070});
  EXPECT_TRUE(view.changed.empty());

  view.pickerAnswer = 0xff9070;  // the same colour chosen again
  dialog.ChangeColour(ColourTarget::kStars);
  EXPECT_TRUE(view.changed.empty());

  view.pickerAnswer = 0x00ff00;
  view.pickerDefinesCustom = true;
  dialog.ChangeColour(ColourTarget::kObjects);
  EXPECT_EQ(view.offered.back(), 0xffffffu) << "the object button starts at the object colour";
  ASSERT_EQ(view.changed.size(), 1u);
  EXPECT_EQ(view.changed[0], ColourTarget::kObjects);
  EXPECT_EQ(dialog.working().objectColor, 0x00ff00u);
  EXPECT_EQ(dialog.working().starColor, 0xff9070u);
  EXPECT_EQ(store.saves, 0);

  // A second dialog in the same process sees the custom colour defined above.
  FakeView other;
  SettingsDialogModel again(store, other);
  again.Open();
  again.ChangeColour(ColourTarget::kStars);
  ASSERT_NE(other.customSeen, nullptr);
  EXPECT_EQ((*other.customSeen)[0], 0x123456u);

  dialog.Ok();
  EXPECT_EQ(Stored(store, "ObjectColor"), 0x00ff00u);
}

TEST(SettingsDialog, AboutOpensTheBox) {
  MemorySettingsStore store;
  FakeView view;
  SettingsDialogModel dialog(store, view);
  dialog.About();
  EXPECT_EQ(view.aboutShown, 1);
}

// Another save lands while the dialog is open. OK writes what the user
// touched and fills in the rest of the record, but a value the user left as
// it was keeps what the file holds now.
TEST(SettingsDialog, OkKeepsWhatTheFileChangedInValuesTheUserLeftAlone) {
  char tmpl[] = "/tmp/tk_dialog_XXXXXX";
  const std::string dir = mkdtemp(tmpl), path = dir + "/settings.reg";
  std::ofstream(path) << "Windows Registry Editor Version 5.00\n\n"
                         "[HKEY_CURRENT_USER\\Software\\Telkarim\\Telkarim's Screen Saver]\n"
                         "\"StarNumber\"=dword:0000012c\n\"FPS\"=dword:0000001e\n";
  FileSettingsStore store(path);
  FakeView view;
  SettingsDialogModel dialog(store, view);
  dialog.Open();
  FileSettingsStore other(path);
  Settings meanwhile = LoadSettings(other);
  meanwhile.starNumber = 450;
  meanwhile.fps = 90;
  const std::string names[] = {"StarNumber", "FPS"};
  ASSERT_TRUE(SaveSettings(other, meanwhile, names));
  view.sliders[1017] = 60;  // the user moves the frame rate only
  ASSERT_TRUE(dialog.Ok());
  std::ifstream f(path);
  const std::string text(std::istreambuf_iterator<char>(f), {});
  EXPECT_EQ(FindSettingsValue(text, "StarNumber").dword, 450u);
  EXPECT_EQ(FindSettingsValue(text, "FPS").dword, 60u);
  for (const auto& v : SettingsValues(Settings{})) EXPECT_TRUE(FindSettingsValue(text, v.name).found) << v.name;
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tk
