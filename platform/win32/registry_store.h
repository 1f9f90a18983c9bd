#pragma once
#include <windows.h>

#include "settings/settings.h"

namespace tk::win32 {

// The settings under the current user's
// "Software\Telkarim\Telkarim's Screen Saver", every value a REG_DWORD.
class RegistryStore final : public SettingsStore {
 public:
  static constexpr const char* kKeyPath = "Software\\Telkarim\\Telkarim's Screen Saver";
  ~RegistryStore() override;
  bool Open() override;
  Value Query(std::string_view name) override;
  bool Save(std::span<const NamedValue> values) override;

 private:
  void CloseKey();
  HKEY key_ = nullptr;
};

}  // namespace tk::win32
