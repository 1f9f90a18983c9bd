// The Linux options on arbitrary argument lists: no crash, and an accepted
// line's overrides are accepted by the settings rules too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "shell/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) args.emplace_back();
    else args.back() += static_cast<char>(data[i]);
  }
  const tk::OptionsResult r = tk::ParseOptions(args);
  if (r.ok) {
    std::string why;
    for (const tk::SettingChange& c : r.options.settingOverrides)
      if (!tk::CheckSettingValue(tk::SettingOf(c.id), c.value, why)) std::abort();
  } else if (r.error.empty() || r.error.find('\n') != std::string::npos) {
    std::abort();
  }
  return 0;
}
