// The settings file parser on arbitrary bytes: loading never crashes and
// always yields values inside their accepted ranges; a load never writes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/file_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/tk_fuzz_settings_" + std::to_string(::getpid()) + ".reg";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  tk::FileSettingsStore store(path);
  const tk::Settings s = tk::LoadSettings(store);
  if (s.starVelocity < 1 || s.starVelocity > 10 || s.starNumber < 50 || s.starNumber > 500 ||
      s.objectVelocity < 1 || s.objectVelocity > 10 || s.fps < 20 || s.fps > 100 ||
      (s.threadPriority != 0 && s.threadPriority != -1 && s.threadPriority != -15) || s.disabled[12])
    std::abort();
  return 0;
}
