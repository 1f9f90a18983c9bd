#include "settings/settings.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace tk {

Settings& ProcessSettings() {
  static Settings settings;
  return settings;
}

uint32_t GetSetting(const Settings& s, SettingId id) {
  switch (id) {
    case SettingId::kStarColor: return s.starColor;
    case SettingId::kStarVelocity: return static_cast<uint32_t>(s.starVelocity);
    case SettingId::kStarNumber: return static_cast<uint32_t>(s.starNumber);
    case SettingId::kObjectColor: return s.objectColor;
    case SettingId::kObjectVelocity: return static_cast<uint32_t>(s.objectVelocity);
    case SettingId::kFps: return static_cast<uint32_t>(s.fps);
    case SettingId::kThreadPriority: return static_cast<uint32_t>(s.threadPriority);
    default: break;
  }
  const int kind = ObjectKindOf(id);
  return kind >= 0 && kind < kObjectKinds && s.disabled[kind] ? 1u : 0u;
}

void SetSetting(Settings& s, SettingId id, uint32_t v) {
  const int32_t i = static_cast<int32_t>(v);
  switch (id) {
    case SettingId::kStarColor: s.starColor = v; return;
    case SettingId::kStarVelocity: s.starVelocity = i; return;
    case SettingId::kStarNumber: s.starNumber = i; return;
    case SettingId::kObjectColor: s.objectColor = v; return;
    case SettingId::kObjectVelocity: s.objectVelocity = i; return;
    case SettingId::kFps: s.fps = i; return;
    case SettingId::kThreadPriority: s.threadPriority = i; return;
    default: break;
  }
  const int kind = ObjectKindOf(id);
  if (kind >= 0 && kind < kObjectKinds) s.disabled[kind] = v != 0;
}

bool AcceptedWhenLoading(const SettingDef& def, uint32_t value) {
  const int32_t v = static_cast<int32_t>(value);
  switch (def.type) {
    case SettingType::kColour:
    case SettingType::kSwitch: return true;
    case SettingType::kRange: return v >= def.min && v <= def.max;
    // A well-formed priority the system does not know loads as normal,
    // which is the default.
    case SettingType::kChoice: return IsPriority(v);
  }
  return false;
}

namespace {
bool IsDword(const SettingsStore::Value& v) {
  return v.found && v.type == SettingsStore::kRegDword && v.size == 4;
}
}  // namespace

const SettingDef* FindSetting(std::string_view name) {
  for (const SettingDef& d : kSettings)
    if (name == d.name) return &d;
  return nullptr;
}

Settings LoadSettings(SettingsStore& store) {
  Settings s;
  store.Open();
  for (const SettingDef& d : kSettings) {
    const SettingsStore::Value v = store.Query(d.name);
    if (IsDword(v) && AcceptedWhenLoading(d, v.dword)) SetSetting(s, d.id, v.dword);
  }
  s.disabled[kObjectKinds] = false;
  return s;
}

std::array<SettingsStore::NamedValue, kSettingCount> SettingsValues(const Settings& s) {
  std::array<SettingsStore::NamedValue, kSettingCount> out;
  for (size_t i = 0; i < out.size(); ++i) out[i] = {kSettings[i].name, GetSetting(s, kSettings[i].id)};
  return out;
}

bool SaveSettings(SettingsStore& store, const Settings& s) {
  store.Open();
  const auto values = SettingsValues(s);
  return store.Save(values);
}

bool SaveSettings(SettingsStore& store, const Settings& s, std::span<const std::string> names) {
  store.Open();
  std::vector<SettingsStore::NamedValue> chosen;
  for (const SettingsStore::NamedValue& v : SettingsValues(s))
    if (std::find(names.begin(), names.end(), v.name) != names.end()) chosen.push_back(v);
  return store.Save(chosen);
}

namespace {
// The value a load would take from the store for one setting, when it is usable.
std::optional<uint32_t> UsableValue(SettingsStore& store, const SettingDef& def) {
  const SettingsStore::Value v = store.Query(def.name);
  if (!IsDword(v) || !AcceptedWhenLoading(def, v.dword)) return std::nullopt;
  if (def.type == SettingType::kSwitch) return v.dword != 0 ? 1u : 0u;
  return v.dword;
}
}  // namespace

bool SaveEditedSettings(SettingsStore& store, const Settings& edited, const Settings& opened) {
  store.Open();
  const auto mine = SettingsValues(edited), before = SettingsValues(opened);
  return store.SaveFrom([&](SettingsStore& now) {
    std::vector<SettingsStore::NamedValue> out;
    for (size_t i = 0; i < mine.size(); ++i) {
      const bool touched = mine[i].value != before[i].value;
      const std::optional<uint32_t> stored = UsableValue(now, kSettings[i]);
      if (!touched && stored && *stored != before[i].value) continue;
      out.push_back(mine[i]);
    }
    return out;
  });
}

std::string SettingsText(const Settings& s) {
  std::string text;
  for (const SettingDef& d : kSettings) {
    const uint32_t v = GetSetting(s, d.id);
    char line[64];
    if (d.type == SettingType::kColour)
      std::snprintf(line, sizeof line, "%s=0x%08x\n", d.name, v);
    else
      std::snprintf(line, sizeof line, "%s=%d\n", d.name, static_cast<int32_t>(v));
    text += line;
  }
  return text;
}

namespace {
// By hand rather than the C library's: the same in every locale, and no
// import the oldest Windows saver could lack.
bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDecimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
}  // namespace

bool ParseSettingNumber(std::string_view text, uint32_t& out) {
  const std::string t(text);
  // The C library's readers skip leading white space of every kind.
  if (t.empty() || !(IsDecimalDigit(t[0]) || t[0] == '-')) return false;
  errno = 0;
  char* end = nullptr;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    const unsigned long long v = std::strtoull(t.c_str() + 2, &end, 16);
    if (errno || *end || !IsHexDigit(t[2]) || v > 0xFFFFFFFFull) return false;
    out = static_cast<uint32_t>(v);
    return true;
  }
  const long long v = std::strtoll(t.c_str(), &end, 10);
  if (errno || *end || v < INT32_MIN || v > 0xFFFFFFFFll) return false;
  out = static_cast<uint32_t>(v);
  return true;
}

bool CheckSettingValue(const SettingDef& def, uint32_t value, std::string& error) {
  const int32_t v = static_cast<int32_t>(value);
  if (def.type == SettingType::kChoice && !IsPriority(v)) {
    error = std::string(def.name) + " takes ";
    for (size_t i = 0; i < kPriorityChoices.size(); ++i) {
      error += i == 0 ? "" : i + 1 == kPriorityChoices.size() ? " or " : ", ";
      error += std::to_string(kPriorityChoices[i].value);
    }
    return false;
  }
  if (def.type == SettingType::kRange && (v < def.min || v > def.max)) {
    error = std::string(def.name) + " takes " + std::to_string(def.min) + ".." + std::to_string(def.max);
    return false;
  }
  return true;
}

bool ParseSettingAssignment(std::string_view assignment, SettingChange& change, std::string& error) {
  const size_t eq = assignment.find('=');
  if (eq == std::string_view::npos) {
    error = "expected Name=Value";
    return false;
  }
  const std::string_view name = assignment.substr(0, eq), text = assignment.substr(eq + 1);
  uint32_t value = 0;
  if (!ParseSettingNumber(text, value)) {
    error = "not a number: " + std::string(text);
    return false;
  }
  const SettingDef* def = FindSetting(name);
  if (!def) {
    error = "unknown setting: " + std::string(name);
    return false;
  }
  if (!CheckSettingValue(*def, value, error)) return false;
  change = {def->id, value};
  return true;
}

void ApplySettingChanges(Settings& s, std::span<const SettingChange> changes) {
  for (const SettingChange& c : changes) SetSetting(s, c.id, c.value);
}

}  // namespace tk
