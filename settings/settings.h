#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/setting_table.h"

namespace tk {

// The user's settings. A plain value, copied whole: the render host keeps one
// process-wide copy, read-only once the render thread runs; the settings
// dialog keeps its own working copy. Defaults and accepted values are the
// settings table's.
struct Settings {
  uint32_t starColor = DefaultOf(SettingId::kStarColor);  // 0x00BBGGRR
  // Stars come 2 * starVelocity depth units nearer per ms.
  int32_t starVelocity = SettingOf(SettingId::kStarVelocity).defaultValue;
  int32_t starNumber = SettingOf(SettingId::kStarNumber).defaultValue;
  uint32_t objectColor = DefaultOf(SettingId::kObjectColor);
  int32_t objectVelocity = SettingOf(SettingId::kObjectVelocity).defaultValue;  // spin speed of the objects
  int32_t fps = SettingOf(SettingId::kFps).defaultValue;  // the frame rate the render loop aims at
  int32_t threadPriority = SettingOf(SettingId::kThreadPriority).defaultValue;  // one of kPriorityChoices
  std::array<bool, kObjectKinds + 1> disabled{};  // entry k switches kind k off; entry 12 always false

  bool operator==(const Settings&) const = default;
};

// One setting's value as the registry holds it (a switch: non-zero is off).
uint32_t GetSetting(const Settings& s, SettingId id);
void SetSetting(Settings& s, SettingId id, uint32_t value);

// The setting with this registry value name (exact, case-sensitive as the
// registry export writes it); null for names not in the table.
const SettingDef* FindSetting(std::string_view name);

// Whether a well-formed REG_DWORD is taken when loading; otherwise the
// setting keeps its default.
bool AcceptedWhenLoading(const SettingDef& def, uint32_t value);

// A value for one setting, as the command line gives it: typed once, when
// the line is read, and applied in order over the loaded record.
struct SettingChange {
  SettingId id;
  uint32_t value;
  bool operator==(const SettingChange&) const = default;
};

// Checks a value for a setting given by hand: stricter than loading, which
// falls back to the default silently; the priority must be one of the
// three. False with a one-line reason naming the accepted values.
bool CheckSettingValue(const SettingDef& def, uint32_t value, std::string& error);

// Decimal (with an optional minus) or 0x hex, the whole text, into 32 bits.
bool ParseSettingNumber(std::string_view text, uint32_t& value);

// "Name=Value" with a registry value name, checked as above. False with a
// one-line reason when the name is unknown or the value malformed or refused.
bool ParseSettingAssignment(std::string_view assignment, SettingChange& change, std::string& error);

void ApplySettingChanges(Settings& settings, std::span<const SettingChange> changes);

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
// Writes every value, in the table's order.
bool SaveSettings(SettingsStore& store, const Settings& settings);
// Writes only the named values (registry names), in the same order: what
// --set ... --save-settings changed, and nothing a concurrent save wrote.
bool SaveSettings(SettingsStore& store, const Settings& settings, std::span<const std::string> names);
// The dialog's OK: writes the whole edited record, except that a value the
// user left as it was when the dialog opened, and that the store now holds
// differently (another program or save changed it meanwhile), keeps the
// store's value.
bool SaveEditedSettings(SettingsStore& store, const Settings& edited, const Settings& opened);

// The values SaveSettings writes, in order.
std::array<SettingsStore::NamedValue, kSettingCount> SettingsValues(const Settings& settings);

// The values in force as --show-settings prints them, one "Name=Value" line
// each: colours as 0x00BBGGRR, the others as signed decimals.
std::string SettingsText(const Settings& settings);

// The render host's process-wide copy.
Settings& ProcessSettings();

}  // namespace tk
