// The settings file parser on arbitrary bytes: loading never crashes and
// always yields values inside their accepted ranges; a load never writes;
// a save into a usable file gives back the saved record and keeps the file's
// encoding.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "settings/file_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // In memory where there is such a folder: every save flushes to the disk.
  static const std::string path = std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                  "/tk_fuzz_settings_" + std::to_string(::getpid()) + ".reg";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  tk::FileSettingsStore store(path);
  const tk::Settings s = tk::LoadSettings(store);
  // Whatever the file held, every value loaded is one the table accepts.
  for (const tk::SettingDef& d : tk::kSettings)
    if (!tk::AcceptedWhenLoading(d, tk::GetSetting(s, d.id))) std::abort();
  if (s.disabled[12]) std::abort();
  if (!store.usable()) return 0;
  tk::Settings changed = s;
  changed.starNumber = s.starNumber == 77 ? 78 : 77;
  changed.disabled[5] = !s.disabled[5];
  if (!tk::SaveSettings(store, changed)) std::abort();
  tk::FileSettingsStore again(path);
  if (!(tk::LoadSettings(again) == changed)) std::abort();
  std::ifstream in(path, std::ios::binary);
  const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const bool wasUtf16 = size >= 2 && data[0] == 0xFF && data[1] == 0xFE;
  if (wasUtf16 != (saved.size() >= 2 && saved.compare(0, 2, "\xFF\xFE") == 0)) std::abort();
  return 0;
}
