#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tk {

inline constexpr int kObjectKinds = 12;  // user-selectable kinds 0..11; 12 is the maker's picture

// The user's settings. A plain value, copied whole: the render host keeps one
// process-wide copy, read-only once the render thread runs; the settings
// dialog keeps its own working copy.
struct Settings {
  uint32_t starColor = 0xff9070;   // 0x00BBGGRR, light blue
  int32_t starVelocity = 5;        // 1..10; stars come 2 * this depth units nearer per ms
  int32_t starNumber = 200;        // 50..500
  uint32_t objectColor = 0xffffff; // white
  int32_t objectVelocity = 5;      // 1..10; spin speed of the objects
  int32_t fps = 50;                // 20..100; the frame rate the render loop aims at
  int32_t threadPriority = 0;      // 0 normal, -1 below normal, -15 idle
  std::array<bool, kObjectKinds + 1> disabled{};  // entry k switches kind k off; entry 12 always false

  bool operator==(const Settings&) const = default;
};

// The one table of names, defaults and accepted ranges that the stores, the
// dialogs, the command line and the XScreenSaver configuration all follow.
enum class SettingField { kStarColor, kStarVelocity, kStarNumber, kObjectColor, kObjectVelocity, kFps, kThreadPriority };

struct SettingDef {
  const char* name;       // the registry value name
  SettingField field;
  int32_t defaultValue;
  int32_t min, max;       // accepted when loading; unused when anyValue
  bool anyValue;          // colours take any 32-bit value
};

// In the order values are read, written and shown.
inline constexpr std::array<SettingDef, 7> kSettingDefs{{
    {"StarColor", SettingField::kStarColor, 0xff9070, 0, 0, true},
    {"StarVelocity", SettingField::kStarVelocity, 5, 1, 10, false},
    {"StarNumber", SettingField::kStarNumber, 200, 50, 500, false},
    {"ObjectColor", SettingField::kObjectColor, 0xffffff, 0, 0, true},
    {"ObjectVelocity", SettingField::kObjectVelocity, 5, 1, 10, false},
    {"FPS", SettingField::kFps, 50, 20, 100, false},
    {"ThreadPriority", SettingField::kThreadPriority, 0, -15, 0, false},
}};

// "Object0" .. "Object11".
std::string ObjectValueName(int kind);

// Reads or writes one numeric field of a record.
uint32_t GetField(const Settings& s, SettingField f);
void SetField(Settings& s, SettingField f, uint32_t v);

// Whether a REG_DWORD value is accepted for a field when loading, and what is
// stored then. Out-of-range values are refused (the caller keeps the default);
// a thread priority in range but outside {0, -1, -15} is accepted as 0.
bool AcceptValue(const SettingDef& def, uint32_t value, uint32_t& stored);

// Looks a value name up in the table (exact, case-sensitive as the registry
// export writes it); nullopt for names not in it. "Object%d" names are handled
// by the callers.
std::optional<SettingDef> FindSettingDef(std::string_view name);

// Storage with REG_DWORD semantics: the registry on Windows, a registry-export
// text file elsewhere.
class SettingsStore {
 public:
  static constexpr uint32_t kRegDword = 4;  // the registry's REG_DWORD type number

  struct Value {
    bool found = false;  // the query succeeded
    uint32_t type = 0;   // the stored type (kRegDword for a number)
    uint32_t size = 0;   // the stored size in bytes
    uint32_t dword = 0;  // the value, when type is kRegDword and size 4
  };
  struct NamedValue {
    std::string name;
    uint32_t value;
  };

  virtual ~SettingsStore() = default;
  // Create-or-open the key; loading creates an empty key when there is none.
  virtual bool Open() = 0;
  virtual Value Query(std::string_view name) = 0;
  // Writes every value, each as a REG_DWORD, in the order given. Failures are
  // not reported to the user; the file store never leaves a damaged file.
  virtual bool Save(std::span<const NamedValue> values) = 0;
  // Saves the values `decide` picks from what the store holds at the moment
  // of saving (the file store reads the file again for it, under its lock),
  // so a save can leave alone what changed since its caller loaded.
  using Decide = std::function<std::vector<NamedValue>(SettingsStore& now)>;
  virtual bool SaveFrom(const Decide& decide) { return Save(decide(*this)); }
};

// Never fails: every value that cannot be used takes its default.
Settings LoadSettings(SettingsStore& store);
// Writes every field, in the table's order and then Object0..Object11.
bool SaveSettings(SettingsStore& store, const Settings& settings);
// Writes only the named values (registry names), in the same order: what
// --set ... --save-settings changed, and nothing a concurrent save wrote.
bool SaveSettings(SettingsStore& store, const Settings& settings, std::span<const std::string> names);
// The dialog's OK: writes the whole edited record, except that a value the
// user left as it was when the dialog opened, and that the store now holds
// differently (another program or save changed it meanwhile), keeps the
// store's value.
bool SaveEditedSettings(SettingsStore& store, const Settings& edited, const Settings& opened);

// The values SaveSettings writes, in order (also the lines --show-settings prints).
std::array<SettingsStore::NamedValue, 7 + kObjectKinds> SettingsValues(const Settings& settings);

// Applies one "Name=Value" override (registry value names) with the load-time
// range rules. Returns false with a one-line reason when the name is unknown
// or the value is malformed or out of range.
bool ApplySettingOverride(Settings& settings, std::string_view assignment, std::string& error);

// The render host's process-wide copy.
Settings& ProcessSettings();

}  // namespace tk
