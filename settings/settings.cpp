#include "settings/settings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace tk {

Settings& ProcessSettings() {
  static Settings settings;
  return settings;
}

std::string ObjectValueName(int kind) { return "Object" + std::to_string(kind); }

uint32_t GetField(const Settings& s, SettingField f) {
  switch (f) {
    case SettingField::kStarColor: return s.starColor;
    case SettingField::kStarVelocity: return static_cast<uint32_t>(s.starVelocity);
    case SettingField::kStarNumber: return static_cast<uint32_t>(s.starNumber);
    case SettingField::kObjectColor: return s.objectColor;
    case SettingField::kObjectVelocity: return static_cast<uint32_t>(s.objectVelocity);
    case SettingField::kFps: return static_cast<uint32_t>(s.fps);
    case SettingField::kThreadPriority: return static_cast<uint32_t>(s.threadPriority);
  }
  return 0;
}

void SetField(Settings& s, SettingField f, uint32_t v) {
  const int32_t i = static_cast<int32_t>(v);
  switch (f) {
    case SettingField::kStarColor: s.starColor = v; break;
    case SettingField::kStarVelocity: s.starVelocity = i; break;
    case SettingField::kStarNumber: s.starNumber = i; break;
    case SettingField::kObjectColor: s.objectColor = v; break;
    case SettingField::kObjectVelocity: s.objectVelocity = i; break;
    case SettingField::kFps: s.fps = i; break;
    case SettingField::kThreadPriority: s.threadPriority = i; break;
  }
}

bool AcceptValue(const SettingDef& def, uint32_t value, uint32_t& stored) {
  if (def.anyValue) {
    stored = value;
    return true;
  }
  const int32_t v = static_cast<int32_t>(value);
  if (v < def.min || v > def.max) return false;
  if (def.field == SettingField::kThreadPriority && v != 0 && v != -1 && v != -15) {
    stored = 0;
    return true;
  }
  stored = value;
  return true;
}

std::optional<SettingDef> FindSettingDef(std::string_view name) {
  for (const SettingDef& d : kSettingDefs)
    if (name == d.name) return d;
  return std::nullopt;
}

namespace {
bool IsDword(const SettingsStore::Value& v) {
  return v.found && v.type == SettingsStore::kRegDword && v.size == 4;
}
}  // namespace

Settings LoadSettings(SettingsStore& store) {
  Settings s;
  store.Open();
  for (const SettingDef& d : kSettingDefs) {
    const SettingsStore::Value v = store.Query(d.name);
    uint32_t stored = 0;
    if (IsDword(v) && AcceptValue(d, v.dword, stored)) SetField(s, d.field, stored);
  }
  // A well-formed priority outside the three the system knows loads as
  // normal, whatever its size.
  if (s.threadPriority != 0 && s.threadPriority != -1 && s.threadPriority != -15) s.threadPriority = 0;
  for (int k = 0; k < kObjectKinds; ++k) {
    const SettingsStore::Value v = store.Query(ObjectValueName(k));
    s.disabled[k] = IsDword(v) && v.dword != 0;
  }
  s.disabled[kObjectKinds] = false;
  return s;
}

std::array<SettingsStore::NamedValue, 7 + kObjectKinds> SettingsValues(const Settings& s) {
  std::array<SettingsStore::NamedValue, 7 + kObjectKinds> out;
  size_t i = 0;
  for (const SettingDef& d : kSettingDefs) out[i++] = {d.name, GetField(s, d.field)};
  for (int k = 0; k < kObjectKinds; ++k) out[i++] = {ObjectValueName(k), s.disabled[k] ? 1u : 0u};
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
// The value a load would take from the store for one name, when it is usable.
std::optional<uint32_t> UsableValue(SettingsStore& store, const std::string& name) {
  const SettingsStore::Value v = store.Query(name);
  if (!IsDword(v)) return std::nullopt;
  const auto def = FindSettingDef(name);
  if (!def) return v.dword != 0 ? 1u : 0u;  // an object's flag
  uint32_t stored = 0;
  if (!AcceptValue(*def, v.dword, stored)) return std::nullopt;
  return stored;
}
}  // namespace

bool SaveEditedSettings(SettingsStore& store, const Settings& edited, const Settings& opened) {
  store.Open();
  const auto mine = SettingsValues(edited), before = SettingsValues(opened);
  return store.SaveFrom([&](SettingsStore& now) {
    std::vector<SettingsStore::NamedValue> out;
    for (size_t i = 0; i < mine.size(); ++i) {
      const bool touched = mine[i].value != before[i].value;
      const std::optional<uint32_t> stored = UsableValue(now, mine[i].name);
      if (!touched && stored && *stored != before[i].value) continue;
      out.push_back(mine[i]);
    }
    return out;
  });
}

namespace {
// Decimal (with an optional minus) or 0x hex, the whole text, into 32 bits.
bool ParseNumber(std::string_view text, uint32_t& out) {
  const std::string t(text);
  // The C library's readers skip leading white space of every kind.
  if (t.empty() || !(std::isdigit(static_cast<unsigned char>(t[0])) || t[0] == '-')) return false;
  errno = 0;
  char* end = nullptr;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    const unsigned long long v = std::strtoull(t.c_str() + 2, &end, 16);
    if (errno || *end || !std::isxdigit(static_cast<unsigned char>(t[2])) || v > 0xFFFFFFFFull) return false;
    out = static_cast<uint32_t>(v);
    return true;
  }
  const long long v = std::strtoll(t.c_str(), &end, 10);
  if (errno || *end || v < INT32_MIN || v > 0xFFFFFFFFll) return false;
  out = static_cast<uint32_t>(v);
  return true;
}
}  // namespace

bool ApplySettingOverride(Settings& s, std::string_view assignment, std::string& error) {
  const size_t eq = assignment.find('=');
  if (eq == std::string_view::npos) {
    error = "expected Name=Value";
    return false;
  }
  const std::string_view name = assignment.substr(0, eq), text = assignment.substr(eq + 1);
  uint32_t value = 0;
  if (!ParseNumber(text, value)) {
    error = "not a number: " + std::string(text);
    return false;
  }
  for (int k = 0; k < kObjectKinds; ++k) {
    if (name == ObjectValueName(k)) {
      s.disabled[k] = value != 0;
      return true;
    }
  }
  const auto def = FindSettingDef(name);
  if (!def) {
    error = "unknown setting: " + std::string(name);
    return false;
  }
  const int32_t v = static_cast<int32_t>(value);
  if (def->field == SettingField::kThreadPriority) {
    if (v != 0 && v != -1 && v != -15) {
      error = "ThreadPriority takes 0, -1 or -15";
      return false;
    }
  } else if (!def->anyValue && (v < def->min || v > def->max)) {
    error = std::string(def->name) + " takes " + std::to_string(def->min) + ".." + std::to_string(def->max);
    return false;
  }
  SetField(s, def->field, value);
  return true;
}

}  // namespace tk
