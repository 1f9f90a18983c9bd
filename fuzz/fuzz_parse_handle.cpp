// ParseHandle against a 64-bit reference taken modulo 2^32.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "shell/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  uint64_t reference = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    reference = (reference * 10 + static_cast<uint64_t>(c - '0')) & 0xFFFFFFFFu;
  }
  if (tk::ParseHandle(text) != reference) std::abort();
  return 0;
}
