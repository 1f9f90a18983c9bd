#pragma once
// Every fact of every setting, written once: its registry value name, its
// default, what is accepted, its command-line option, its control on
// XScreenSaver's settings page and its control in the settings dialog. The
// stores, the dialogs, the command line and the XScreenSaver page all read
// this table; the page's file is checked against it by the settings tests.
// Needs nothing but the standard library, so any part may include it.
#include <array>
#include <cstddef>
#include <cstdint>

namespace tk {

inline constexpr int kObjectKinds = 12;  // user-selectable kinds 0..11; 12 is the maker's picture

// The registry values, in the order they are read, written and shown:
// the seven numbers, then Object0..Object11 (kObject0 + kind).
enum class SettingId : uint8_t {
  kStarColor, kStarVelocity, kStarNumber, kObjectColor, kObjectVelocity, kFps, kThreadPriority, kObject0,
};
inline constexpr int kSettingCount = static_cast<int>(SettingId::kObject0) + kObjectKinds;

constexpr SettingId ObjectSetting(int kind) {
  return static_cast<SettingId>(static_cast<int>(SettingId::kObject0) + kind);
}
// The object kind a switch stands for; -1 for the numbers.
constexpr int ObjectKindOf(SettingId id) {
  return id >= SettingId::kObject0 ? static_cast<int>(id) - static_cast<int>(SettingId::kObject0) : -1;
}

// The render thread's priorities: the system's own thread priorities,
// passed on unchanged.
inline constexpr int32_t kPriorityNormal = 0;
inline constexpr int32_t kPriorityBelowNormal = -1;
inline constexpr int32_t kPriorityIdle = -15;

struct PriorityChoice {
  int32_t value;
  const char* word;      // -priority WORD, and the option's id on the XScreenSaver page
  const char* text;      // the dialog's list entry (UTF-8, trailing spaces as it shows them)
  const char* pageLabel; // the XScreenSaver page's entry
};
// In the dialog's order; the first is the default.
inline constexpr std::array<PriorityChoice, 3> kPriorityChoices{{
    {kPriorityNormal, "normal", "норма ", "Приоритет: норма"},
    {kPriorityBelowNormal, "below-normal", "пониженный  ", "Приоритет: пониженный"},
    {kPriorityIdle, "idle", "ноль", "Приоритет: ноль"},
}};

constexpr bool IsPriority(int32_t value) {
  for (const PriorityChoice& c : kPriorityChoices)
    if (c.value == value) return true;
  return false;
}

// What a value is, which decides how it is checked, how the command line
// writes it and which control shows it.
enum class SettingType : uint8_t {
  kColour,  // any 32-bit 0x00BBGGRR; "#RRGGBB" on the command line; a text field on the page,
            // a button beside a swatch in the dialog
  kRange,   // a whole number in min..max; a slider on the page and in the dialog
  kChoice,  // one of kPriorityChoices; a drop-down list on the page and in the dialog
  kSwitch,  // an object switched off, any non-zero value meaning off; -no-OPTION / -OPTION,
            // a check box on the page, an entry of the object list in the dialog
};

// The settings dialog's (resource 2003) object list, which the twelve
// switches share.
inline constexpr int kObjectListId = 1019;

struct SettingDef {
  SettingId id;
  const char* name;  // the registry value name, also the name --set takes
  SettingType type;
  int32_t defaultValue;
  int32_t min, max;  // kRange only
  const char* option;     // the XScreenSaver-style option without its dash, and the control's id on the page
  const char* pageLabel;  // the control's label on the XScreenSaver page (none for the choice)
  // The dialog: a slider and its "сейчас: N " label; a colour button and
  // the hidden marker its swatch is painted over; the priority list; for a
  // switch the object list, with the entry's text.
  int controlId;
  int partnerId;          // the slider's label or the swatch marker; 0 otherwise
  int tickEvery;          // slider ticks; 0 for one per step
  const char* entryText;  // kSwitch: the object's name in the dialog's list (UTF-8, trailing spaces kept)
};

// The table's rows, one maker per kind of setting.
constexpr SettingDef ColourSetting(SettingId id, const char* name, uint32_t colour, const char* option,
                                   const char* label, int button, int swatch) {
  return {id, name, SettingType::kColour, static_cast<int32_t>(colour), 0, 0, option, label,
          button, swatch, 0, nullptr};
}
constexpr SettingDef RangeSetting(SettingId id, const char* name, int32_t value, int32_t min, int32_t max,
                                  const char* option, const char* label, int slider, int sliderLabel,
                                  int tickEvery = 0) {
  return {id, name, SettingType::kRange, value, min, max, option, label, slider, sliderLabel, tickEvery, nullptr};
}
constexpr SettingDef ChoiceSetting(SettingId id, const char* name, const char* option, int list) {
  return {id, name, SettingType::kChoice, kPriorityChoices[0].value, 0, 0, option, nullptr, list, 0, 0, nullptr};
}
// A switch's label on the page is its dialog name without the trailing
// spaces; the dialog's list sorts by the dialog names, spaces included, so
// those decide the order the user sees there.
constexpr SettingDef SwitchSetting(int kind, const char* name, const char* option, const char* label,
                                   const char* entry) {
  return {ObjectSetting(kind), name, SettingType::kSwitch, 0, 0, 0, option, label, kObjectListId, 0, 0, entry};
}

// Light blue stars and white objects; the numbers' ranges are what loading
// accepts, and the sliders' ends.
inline constexpr std::array<SettingDef, kSettingCount> kSettings{{
    ColourSetting(SettingId::kStarColor, "StarColor", 0xff9070, "star-color", "Цвет звезд (#RRGGBB)", 1009, 1021),
    RangeSetting(SettingId::kStarVelocity, "StarVelocity", 5, 1, 10, "star-velocity", "Скорость звезд", 1016, 1026),
    RangeSetting(SettingId::kStarNumber, "StarNumber", 200, 50, 500, "star-number", "Число звезд", 1015, 1025, 25),
    ColourSetting(SettingId::kObjectColor, "ObjectColor", 0xffffff, "object-color", "Цвет объектов (#RRGGBB)", 1010,
                  1022),
    RangeSetting(SettingId::kObjectVelocity, "ObjectVelocity", 5, 1, 10, "object-velocity", "Скорость объектов", 1018,
                 1024),
    RangeSetting(SettingId::kFps, "FPS", 50, 20, 100, "frame-rate", "Кадров в секунду", 1017, 1023, 5),
    ChoiceSetting(SettingId::kThreadPriority, "ThreadPriority", "priority", 1020),
    SwitchSetting(0, "Object0", "sphere", "Шар", "Шар "),
    SwitchSetting(1, "Object1", "saturn", "Сатурн", "Сатурн"),
    SwitchSetting(2, "Object2", "disk", "Диск", "Диск"),
    SwitchSetting(3, "Object3", "spiral", "Спираль", "Спираль"),
    SwitchSetting(4, "Object4", "torus", "Тор", "Тор  "),
    SwitchSetting(5, "Object5", "wine-glass", "Бокал вина", "Бокал вина"),
    SwitchSetting(6, "Object6", "cube", "Куб", "Куб "),
    SwitchSetting(7, "Object7", "yin-yang", "Инь-Ян", "Инь-Ян  "),
    SwitchSetting(8, "Object8", "cube-4d", "Куб 4D", "Куб 4D "),
    SwitchSetting(9, "Object9", "relief", "Рельеф", "Рельеф   "),
    SwitchSetting(10, "Object10", "atom", "Атом", "Атом"),
    SwitchSetting(11, "Object11", "molecule", "Молекула", "Молекула"),
}};

// The table is indexed by SettingId.
static_assert([] {
  for (int i = 0; i < kSettingCount; ++i)
    if (static_cast<int>(kSettings[i].id) != i) return false;
  return true;
}());

constexpr const SettingDef& SettingOf(SettingId id) { return kSettings[static_cast<size_t>(id)]; }
constexpr uint32_t DefaultOf(SettingId id) { return static_cast<uint32_t>(SettingOf(id).defaultValue); }

// The dialog's sliders, in the table's order, which is also the order their
// labels are refreshed in.
inline constexpr auto kDialogSliders = [] {
  constexpr auto count = [] {
    size_t n = 0;
    for (const SettingDef& d : kSettings) n += d.type == SettingType::kRange;
    return n;
  }();
  std::array<SettingId, count> sliders{};
  size_t i = 0;
  for (const SettingDef& d : kSettings)
    if (d.type == SettingType::kRange) sliders[i++] = d.id;
  return sliders;
}();

}  // namespace tk
