// Argument isolation and the mode dispatch on arbitrary command lines: no
// crash, no read past the text, and every mode's result in its set.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "shell/command_line.h"

namespace {
class Shell final : public tk::ShellServices {
 public:
  bool WindowExists(tk::WindowId w) override { return w % 3 == 0; }
  tk::WindowId ForegroundWindow() override { return 9; }
  int RunSaver(tk::WindowId) override { return 0; }
  int ShowSettings(tk::WindowId) override { return 1; }
  void ChangePassword(tk::WindowId) override {}
};
// A double-byte step like the Windows one, to exercise the quoted path.
const char* Step(const char* p) {
  const auto c = static_cast<unsigned char>(*p);
  return (c >= 0x81 && c <= 0x9F && p[1]) ? p + 2 : p + 1;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool win9x = data[0] & 1;
  // The platform hands over a NUL-terminated command line; its
  // next-character step may look at the byte after a lead byte.
  const std::string owned(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string_view line(owned);
  for (tk::NextChar next : {static_cast<tk::NextChar>(nullptr), &Step}) {
    const std::string_view args = tk::IsolateArguments(line, next);
    if (args.data() < line.data() || args.data() + args.size() > line.data() + line.size()) std::abort();
    Shell shell;
    const int r = tk::SaverMain(args, win9x, shell);
    if (r != 0 && r != 1 && r != -1) std::abort();
  }
  return 0;
}
