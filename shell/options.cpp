#include "shell/options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tk {

const char* const kObjectOptionNames[kObjectKinds] = {
    "sphere", "saturn", "disk", "spiral", "torus", "wine-glass",
    "cube", "yin-yang", "cube-4d", "relief", "atom", "molecule",
};

namespace {

struct ValueOption {
  const char* word;  // without leading dashes
  const char* settingName;
};

// Settings options take a value and map onto a registry value name.
constexpr ValueOption kSettingOptions[] = {
    {"star-color", "StarColor"},     {"star-velocity", "StarVelocity"},
    {"star-number", "StarNumber"},   {"object-color", "ObjectColor"},
    {"object-velocity", "ObjectVelocity"}, {"frame-rate", "FPS"},
    {"priority", "ThreadPriority"},
};

// Strips one or two leading dashes; returns false for a word that has none.
bool Bare(const std::string& word, std::string& bare, bool& doubleDash) {
  if (word.size() < 2 || word[0] != '-') return false;
  doubleDash = word[1] == '-';
  bare = word.substr(doubleDash ? 2 : 1);
  return !bare.empty();
}

bool ParseInt(const std::string& text, long long lo, long long hi, long long& out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  out = v;
  return true;
}

bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t& out) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  errno = 0;
  char* end = nullptr;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const unsigned long long v = std::strtoull(text.c_str(), &end, hex ? 16 : 10);
  if (errno != 0 || *end != '\0' || v > max) return false;
  out = v;
  return true;
}

bool ParseSize(const std::string& text, int32_t& w, int32_t& h) {
  const size_t x = text.find('x');
  if (x == std::string::npos) return false;
  long long a = 0, b = 0;
  if (!ParseInt(text.substr(0, x), 1, 16384, a) || !ParseInt(text.substr(x + 1), 1, 16384, b)) return false;
  w = static_cast<int32_t>(a);
  h = static_cast<int32_t>(b);
  return true;
}

// "#rrggbb" (as colour choosers write it) or a registry-style number
// (0x00bbggrr or decimal) into a Name=Value override.
bool ColourValue(const std::string& text, std::string& value) {
  if (text.size() == 7 && text[0] == '#') {
    uint64_t rgb = 0;
    if (!ParseUnsigned("0x" + text.substr(1), 0xFFFFFF, rgb)) return false;
    const uint32_t r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    value = std::to_string(r | g << 8 | b << 16);
    return true;
  }
  uint64_t v = 0;
  if (!ParseUnsigned(text, 0xFFFFFFFFu, v)) return false;
  value = std::to_string(v);
  return true;
}

bool PriorityValue(const std::string& text, std::string& value) {
  struct Word {
    const char* word;
    int32_t priority;
  };
  static constexpr Word kWords[] = {{"normal", 0}, {"below-normal", -1}, {"idle", -15}};
  for (const Word& w : kWords) {
    if (text == w.word) {
      value = std::to_string(w.priority);
      return true;
    }
  }
  return false;
}

}  // namespace

std::string OneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      out += (b < 32 || b == 127) ? '?' : static_cast<char>(b);
      ++i;
      continue;
    }
    // The length of a well-formed UTF-8 sequence, 0 when it is not one.
    size_t len = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
    if (i + len > text.size()) len = 0;
    for (size_t k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) len = 0;
    if (len >= 3) {
      const unsigned char c = static_cast<unsigned char>(text[i + 1]);
      if ((b == 0xE0 && c < 0xA0) || (b == 0xED && c >= 0xA0) || (b == 0xF0 && c < 0x90) || (b == 0xF4 && c >= 0x90))
        len = 0;  // overlong, surrogate or beyond U+10FFFF
    }
    // U+0080..U+009F are the 8-bit control characters (0x9B starts an escape).
    if (len == 2 && b == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) len = 0;
    if (len == 0) {
      out += '?';
      // A control character encoded in two bytes is replaced whole.
      i += (b == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) ? 2 : 1;
      continue;
    }
    out.append(text.substr(i, len));
    i += len;
  }
  return out;
}

bool IsOptionWord(const std::string& word) {
  std::string bare;
  bool dd = false;
  if (!Bare(word, bare, dd)) return false;
  if (dd) return true;
  // Single-dash words that are ours; anything else (-s, -p, -c) belongs to
  // the Windows-style dispatch.
  static const char* const kSingle[] = {"root", "window", "window-id", "fps", "help"};
  for (const char* w : kSingle)
    if (bare == w) return true;
  for (const ValueOption& o : kSettingOptions)
    if (bare == o.word) return true;
  for (const char* name : kObjectOptionNames)
    if (bare == name || bare == std::string("no-") + name) return true;
  return false;
}

const char* UsageText() {
  return "usage: telkarim [/s | /p ID | /c[:ID] | /a ID]\n"
         "       telkarim --window [WxH] | -root | -window-id ID   [settings options]\n"
         "       telkarim --render OUT.png [--record DIR [--every K]] [--gif OUT.gif]\n"
         "                [--size WxH] [--seconds S] [--seed N] [--format 32|24|16|15|8]\n"
         "       telkarim --sheet OUT.png [--size WxH]\n"
         "       telkarim [--wayland | --x11] /s | --window ...   (default: Wayland when it answers)\n"
         "       telkarim --idle SECONDS   (Wayland: the saver after SECONDS without input)\n"
         "       telkarim --show-settings | --settings | --help | --version\n"
         "       telkarim [--settings-file PATH] --set Name=Value ... --save-settings\n"
         "settings: --settings-file PATH, --set Name=Value (StarColor, StarVelocity, StarNumber,\n"
         "          ObjectColor, ObjectVelocity, FPS, ThreadPriority, Object0..Object11),\n"
         "          -star-color #RRGGBB, -star-velocity 1..10, -star-number 50..500,\n"
         "          -object-color #RRGGBB, -object-velocity 1..10, -frame-rate 20..100,\n"
         "          -priority normal|below-normal|idle, -no-OBJECT / -OBJECT for the objects\n"
         "          sphere saturn disk spiral torus wine-glass cube yin-yang cube-4d relief atom molecule\n";
}

OptionsResult ParseOptions(const std::vector<std::string>& allArgs) {
  OptionsResult res;
  Options& o = res.options;
  // The window system chosen first, so the rest of the line reads as it
  // would alone (a dispatch such as /s included).
  size_t first = 0;
  for (; first < allArgs.size(); ++first) {
    if (allArgs[first] == "--wayland")
      o.windowSystem = Options::WindowSystem::kWayland;
    else if (allArgs[first] == "--x11")
      o.windowSystem = Options::WindowSystem::kX11;
    else
      break;
  }
  const std::vector<std::string> args(allArgs.begin() + static_cast<std::ptrdiff_t>(first), allArgs.end());
  if (args.empty() || !IsOptionWord(args[0])) {
    for (size_t i = 0; i < args.size(); ++i) {
      if (i) o.dispatchArguments += ' ';
      o.dispatchArguments += args[i];
    }
    return res;
  }
  auto fail = [&](const std::string& why) {
    res.ok = false;
    // One line, whatever the argument held: control characters would let a
    // crafted argument forge further lines of output.
    res.error = OneLine(why);
    return res;
  };
  auto setAction = [&](Options::Action a) {
    // Headless outputs combine; the first named action wins otherwise.
    if (o.action == Options::Action::kDispatch) o.action = a;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& w = args[i];
    std::string bare;
    bool dd = false;
    if (!Bare(w, bare, dd) || !IsOptionWord(w)) return fail("unknown option: " + w);
    auto value = [&](std::string& out) -> bool {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    if (bare == "render") {
      if (!value(v) || v.empty()) return fail("--render needs an output file");
      o.renderPath = v;
      setAction(Options::Action::kRender);
    } else if (bare == "record") {
      if (!value(v) || v.empty()) return fail("--record needs a directory");
      o.recordDir = v;
      setAction(Options::Action::kRender);
    } else if (bare == "gif") {
      if (!value(v) || v.empty()) return fail("--gif needs an output file");
      o.gifPath = v;
      setAction(Options::Action::kRender);
    } else if (bare == "sheet") {
      if (!value(v) || v.empty()) return fail("--sheet needs an output file");
      o.sheetPath = v;
      setAction(Options::Action::kSheet);
    } else if (bare == "every") {
      long long k = 0;
      if (!value(v) || !ParseInt(v, 1, 1000000, k)) return fail("--every needs a whole number from 1");
      o.every = static_cast<int32_t>(k);
    } else if (bare == "size") {
      if (!value(v) || !ParseSize(v, o.width, o.height)) return fail("--size needs WxH, each 1..16384");
      o.sizeGiven = true;
    } else if (bare == "seconds") {
      if (!value(v) || v.empty()) return fail("--seconds needs a number of seconds");
      char* end = nullptr;
      errno = 0;
      const double s = std::strtod(v.c_str(), &end);
      if (errno != 0 || *end != '\0' || !(s >= 0.0) || s > kMaxSeconds) return fail("--seconds needs 0..4294967");
      o.seconds = s;
    } else if (bare == "seed") {
      uint64_t s = 0;
      if (!value(v) || !ParseUnsigned(v, 0xFFFFFFFFu, s)) return fail("--seed needs 0..4294967295");
      o.seed = static_cast<uint32_t>(s);
    } else if (bare == "start-tick") {
      uint64_t s = 0;
      if (!value(v) || !ParseUnsigned(v, 0xFFFFFFFFu, s)) return fail("--start-tick needs 0..4294967295");
      o.startTick = static_cast<uint32_t>(s);
      o.startTickGiven = true;
    } else if (bare == "format") {
      long long f = 0;
      if (!value(v) || !ParseInt(v, 0, 64, f) || (f != 32 && f != 24 && f != 16 && f != 15 && f != 8))
        return fail("--format needs 32, 24, 16, 15 or 8");
      o.format = static_cast<int32_t>(f);
    } else if (bare == "set") {
      if (!value(v)) return fail("--set needs Name=Value");
      Settings probe;
      std::string why;
      if (!ApplySettingOverride(probe, v, why)) return fail("--set " + v + ": " + why);
      o.settingOverrides.push_back(v);
    } else if (bare == "settings-file") {
      if (!value(v) || v.empty()) return fail("--settings-file needs a path");
      o.settingsFile = v;
    } else if (bare == "show-settings") {
      setAction(Options::Action::kShowSettings);
    } else if (bare == "save-settings") {
      setAction(Options::Action::kSaveSettings);
    } else if (bare == "settings") {
      setAction(Options::Action::kSettingsDialog);
    } else if (bare == "help") {
      setAction(Options::Action::kHelp);
    } else if (bare == "idle" && dd) {
      long long sec = 0;
      if (!value(v) || !ParseInt(v, 1, 86400, sec)) return fail("--idle needs a number of seconds, 1..86400");
      o.idleSeconds = static_cast<int32_t>(sec);
      setAction(Options::Action::kIdle);
    } else if (bare == "version") {
      setAction(Options::Action::kVersion);
    } else if (bare == "window" && dd) {
      setAction(Options::Action::kWindow);
      if (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-') {
        if (!ParseSize(args[i + 1], o.width, o.height)) return fail("--window takes WxH, each 1..16384");
        o.sizeGiven = true;
        ++i;
      }
    } else if (bare == "window") {
      // XScreenSaver's -window: draw in a window of our own.
      setAction(Options::Action::kHack);
    } else if (bare == "root") {
      o.root = true;
      setAction(Options::Action::kHack);
    } else if (bare == "window-id") {
      uint64_t id = 0;
      if (!value(v) || !ParseUnsigned(v, 0xFFFFFFFFu, id) || id == 0)
        return fail("--window-id needs a window number (decimal or 0x hex)");
      o.windowId = id;
      o.windowIdGiven = true;
      setAction(Options::Action::kHack);
    } else if (bare == "fps") {
      o.fps = true;
    } else {
      bool handled = false;
      for (const ValueOption& opt : kSettingOptions) {
        if (bare != opt.word) continue;
        handled = true;
        std::string setting;
        if (!value(v)) return fail(w + " needs a value");
        std::string number = v;
        if (bare == "star-color" || bare == "object-color") {
          if (!ColourValue(v, number)) return fail(w + " needs a colour #RRGGBB");
        } else if (bare == "priority") {
          if (!PriorityValue(v, number)) return fail(w + " needs normal, below-normal or idle");
        }
        const std::string assignment = std::string(opt.settingName) + "=" + number;
        Settings probe;
        std::string why;
        if (!ApplySettingOverride(probe, assignment, why)) return fail(w + " " + v + ": " + why);
        o.settingOverrides.push_back(assignment);
      }
      for (int k = 0; k < kObjectKinds && !handled; ++k) {
        const std::string name = kObjectOptionNames[k];
        if (bare == name || bare == "no-" + name) {
          handled = true;
          o.settingOverrides.push_back(ObjectValueName(k) + (bare == name ? "=0" : "=1"));
        }
      }
      if (!handled) return fail("unknown option: " + w);
    }
  }
  if (o.action == Options::Action::kDispatch) {
    // Only settings given: with XScreenSaver words absent, a bare settings
    // line starts the saver in a window of its own, as a hack would.
    o.action = Options::Action::kHack;
  }
  return res;
}

}  // namespace tk
