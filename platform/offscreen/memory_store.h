#pragma once
#include <map>
#include <string>

#include "settings/settings.h"

namespace tk {

// Settings kept in memory with REG_DWORD semantics: the headless renderer's
// store when no settings file is named (so a render depends only on its
// arguments), and the tests' store. Values of other types can be planted.
class MemorySettingsStore final : public SettingsStore {
 public:
  bool Open() override {
    opened = true;
    return true;
  }
  Value Query(std::string_view name) override {
    auto it = values.find(std::string(name));
    if (it == values.end()) return {};
    return it->second;
  }
  bool Save(std::span<const NamedValue> list) override {
    for (const NamedValue& v : list) values[v.name] = Value{true, kRegDword, 4, v.value};
    ++saves;
    return true;
  }
  void SetDword(const std::string& name, uint32_t v) { values[name] = Value{true, kRegDword, 4, v}; }
  void SetOther(const std::string& name, uint32_t type, uint32_t size) { values[name] = Value{true, type, size, 0}; }

  std::map<std::string, Value> values;
  bool opened = false;
  int saves = 0;
};

}  // namespace tk
