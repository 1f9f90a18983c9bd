#include "shell/command_line.h"

namespace tk {

WindowId ParseHandle(std::string_view text) {
  WindowId value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10u + static_cast<WindowId>(c - '0');
  }
  return value;
}

bool HandleFits(std::string_view text) {
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10u + static_cast<uint64_t>(c - '0');
    if (value > 0xFFFFFFFFu) return false;
  }
  return true;
}

std::string_view IsolateArguments(std::string_view line, NextChar next) {
  const char* p = line.data();
  const char* end = p + line.size();
  auto step = [&](const char* q) {
    const char* n = next ? next(q) : q + 1;
    return n > end ? end : (n == q ? q + 1 : n);
  };
  if (p < end && *p == '"') {
    p = step(p);
    while (p < end && *p != '"') p = step(p);
    if (p < end && *p == '"') ++p;
  } else {
    while (p < end && static_cast<unsigned char>(*p) > 32) ++p;
  }
  // Character codes 1..32 are separators; 0 ends the string.
  while (p < end && static_cast<unsigned char>(*p) >= 1 && static_cast<unsigned char>(*p) <= 32) ++p;
  return std::string_view(p, static_cast<size_t>(end - p));
}

namespace {
std::string_view SkipSpaces(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  return s.substr(i);
}
}  // namespace

int SaverMain(std::string_view args, bool onWindows9x, ShellServices& services) {
  const auto handle = [&](std::string_view text) -> WindowId {
    return services.HandlesWrap() || HandleFits(text) ? ParseHandle(text) : 0;
  };
  size_t i = 0;
  while (true) {
    if (i >= args.size() || args[i] == '\0') return services.ShowSettings(0);
    const char c = args[i];
    if (c == ' ' || c == '-' || c == '/') {
      ++i;
      continue;
    }
    std::string_view rest = args.substr(i + 1);
    switch (c) {
      case 'S':
      case 's':
        return services.RunSaver(0);
      case 'P':
      case 'p':
      case 'L':
      case 'l': {
        const WindowId parent = handle(SkipSpaces(rest));
        if (parent == 0 || !services.WindowExists(parent)) return -1;
        return services.RunSaver(parent);
      }
      case 'C':
      case 'c': {
        WindowId owner = 0;
        if (!rest.empty() && rest[0] == ':') owner = handle(rest.substr(1));
        if (owner == 0 || !services.WindowExists(owner)) owner = services.ForegroundWindow();
        return services.ShowSettings(owner);
      }
      case 'A':
      case 'a': {
        if (!onWindows9x) return -1;
        WindowId owner = handle(SkipSpaces(rest));
        if (owner == 0 || !services.WindowExists(owner)) owner = services.ForegroundWindow();
        services.ChangePassword(owner);
        return 0;
      }
      default:
        return -1;
    }
  }
}

}  // namespace tk
