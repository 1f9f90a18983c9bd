#include "registry_store.h"

#include <string>

namespace tk::win32 {

RegistryStore::~RegistryStore() { CloseKey(); }

void RegistryStore::CloseKey() {
  if (key_) {
    RegCloseKey(key_);
    key_ = nullptr;
  }
}

bool RegistryStore::Open() {
  CloseKey();
  // Create-or-open both for loading and saving: a first load leaves an
  // empty key behind.
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                      nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  key_ = key;
  return true;
}

SettingsStore::Value RegistryStore::Query(std::string_view name) {
  Value v;
  if (!key_ && !Open()) return v;
  const std::string n(name);
  DWORD type = 0;
  DWORD data = 0;
  DWORD size = sizeof data;
  const LONG status = RegQueryValueExA(key_, n.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  // A value longer than four bytes reports "more data" with its real size:
  // that is found, but malformed, and the loader refuses it by size.
  if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return v;
  v.found = status == ERROR_SUCCESS;
  v.type = type;
  v.size = size;
  if (v.found && type == REG_DWORD && size == 4) v.dword = data;
  return v;
}

bool RegistryStore::Save(std::span<const NamedValue> values) {
  if (!key_ && !Open()) return false;
  bool ok = true;
  for (const NamedValue& nv : values) {
    const DWORD data = nv.value;
    ok &= RegSetValueExA(key_, nv.name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data) ==
          ERROR_SUCCESS;
  }
  return ok;
}

}  // namespace tk::win32
