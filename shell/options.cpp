#include "shell/options.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tk {

namespace {

// The settings option a bare word names: -star-number, -priority, ... and
// for the objects -relief (on) and -no-relief (off).
const SettingDef* SettingOption(const std::string& bare, bool& off) {
  const bool negated = bare.compare(0, 3, "no-") == 0;
  for (const SettingDef& d : kSettings) {
    off = negated && d.type == SettingType::kSwitch && bare.compare(3, std::string::npos, d.option) == 0;
    if (off || bare == d.option) return &d;
  }
  return nullptr;
}

// Strips one or two leading dashes; returns false for a word that has none.
bool Bare(const std::string& word, std::string& bare, bool& doubleDash) {
  if (word.size() < 2 || word[0] != '-') return false;
  doubleDash = word[1] == '-';
  bare = word.substr(doubleDash ? 2 : 1);
  return !bare.empty();
}

// The C library's number readers skip leading white space; a value with
// spaces around it is as malformed as any other.
bool StartsANumber(const std::string& text, bool sign) {
  return !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || (sign && text[0] == '-'));
}

bool ParseInt(const std::string& text, long long lo, long long hi, long long& out) {
  if (!StartsANumber(text, true)) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  out = v;
  return true;
}

bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t& out) {
  if (!StartsANumber(text, false)) return false;
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
// (0x00bbggrr or decimal).
bool ColourValue(const std::string& text, uint32_t& value) {
  uint64_t v = 0;
  if (text.size() == 7 && text[0] == '#') {
    if (!ParseUnsigned("0x" + text.substr(1), 0xFFFFFF, v)) return false;
    const uint32_t r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
    value = r | g << 8 | b << 16;
    return true;
  }
  if (!ParseUnsigned(text, 0xFFFFFFFFu, v)) return false;
  value = static_cast<uint32_t>(v);
  return true;
}

bool PriorityValue(const std::string& text, uint32_t& value) {
  for (const PriorityChoice& c : kPriorityChoices) {
    if (text == c.word) {
      value = static_cast<uint32_t>(c.value);
      return true;
    }
  }
  return false;
}

// "normal, below-normal or idle" with separators ", " and " or ", or
// "normal|below-normal|idle" with "|" for both.
std::string PriorityWords(const char* separator, const char* last) {
  std::string words;
  for (size_t i = 0; i < kPriorityChoices.size(); ++i) {
    words += i == 0 ? "" : i + 1 == kPriorityChoices.size() ? last : separator;
    words += kPriorityChoices[i].word;
  }
  return words;
}

// The value of a settings option, typed and checked as --set checks it;
// false with the rest of an error line after the option's word.
bool SettingOptionValue(const SettingDef& def, const std::string& text, uint32_t& value, std::string& error) {
  bool read = true;
  switch (def.type) {
    case SettingType::kColour:
      read = ColourValue(text, value);
      if (!read) error = "needs a colour #RRGGBB";
      break;
    case SettingType::kChoice:
      read = PriorityValue(text, value);
      if (!read) error = "needs " + PriorityWords(", ", " or ");
      break;
    case SettingType::kRange:
      read = ParseSettingNumber(text, value);
      if (!read) error = text + ": not a number: " + text;
      break;
    case SettingType::kSwitch: break;
  }
  if (!read) return false;
  if (CheckSettingValue(def, value, error)) return true;
  error = text + ": " + error;
  return false;
}

// The options' words and values as the usage text lists them.
std::string SettingOptionText(const SettingDef& d) {
  const std::string word = std::string("-") + d.option;
  switch (d.type) {
    case SettingType::kColour: return word + " #RRGGBB";
    case SettingType::kRange: return word + " " + std::to_string(d.min) + ".." + std::to_string(d.max);
    case SettingType::kChoice: return word + " " + PriorityWords("|", "|");
    case SettingType::kSwitch: break;
  }
  return {};
}

// Items joined by `separator` into lines of at most 96 characters, each
// line after the first indented to line up under the first.
void Wrap(std::string& out, const std::vector<std::string>& items, const char* separator) {
  constexpr size_t kWidth = 96, kIndent = 10;
  size_t column = out.size() - (out.rfind('\n') == std::string::npos ? 0 : out.rfind('\n') + 1);
  for (size_t i = 0; i < items.size(); ++i) {
    const std::string piece = items[i] + (i + 1 < items.size() ? separator : "");
    if (i > 0 && column + piece.size() > kWidth) {
      while (!out.empty() && out.back() == ' ') out.pop_back();
      out += '\n';
      out.append(kIndent, ' ');
      column = kIndent;
    }
    out += piece;
    column += piece.size();
  }
  out += '\n';
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
  bool dd = false, off = false;
  if (!Bare(word, bare, dd)) return false;
  if (dd) return true;
  // Single-dash words that are ours; anything else (-s, -p, -c) belongs to
  // the Windows-style dispatch.
  static const char* const kSingle[] = {"root", "window", "window-id", "fps", "help"};
  for (const char* w : kSingle)
    if (bare == w) return true;
  return SettingOption(bare, off) != nullptr;
}

const char* UsageText() {
  static const std::string text = [] {
    std::string t =
        "usage: telkarim [/s | /p ID | /c[:ID] | /a ID]\n"
        "       telkarim --window [WxH] | -root | -window-id ID   [settings options]\n"
        "       telkarim --render OUT.png [--record DIR [--every K]] [--gif OUT.gif]\n"
        "                [--size WxH] [--seconds S] [--seed N] [--format 32|24|16|15|8]\n"
        "       telkarim --sheet OUT.png [--size WxH]\n"
        "       telkarim [--wayland | --x11] /s | --window ...   (default: Wayland when it answers)\n"
        "       telkarim --idle SECONDS   (Wayland: the saver after SECONDS without input)\n"
        "       telkarim --show-settings | --settings | --help | --version\n"
        "       telkarim [--settings-file PATH] --set Name=Value ... --save-settings\n"
        "settings: ";
    std::vector<std::string> names = {"--settings-file PATH"}, options, objects;
    for (const SettingDef& d : kSettings) {
      if (d.type == SettingType::kSwitch) {
        objects.push_back(d.option);
      } else {
        names.push_back((names.size() == 1 ? "--set Name=Value (" : "") + std::string(d.name));
        options.push_back(SettingOptionText(d));
      }
    }
    names.push_back(std::string(SettingOf(ObjectSetting(0)).name) + ".." +
                    SettingOf(ObjectSetting(kObjectKinds - 1)).name + "),");
    options.push_back("-no-OBJECT / -OBJECT for the objects");
    Wrap(t, names, ", ");
    t += std::string(10, ' ');
    Wrap(t, options, ", ");
    t += std::string(10, ' ');
    Wrap(t, objects, " ");
    return t;
  }();
  return text.c_str();
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
      if (!value(v) || !(StartsANumber(v, false) || v[0] == '.')) return fail("--seconds needs a number of seconds");
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
      SettingChange change{};
      std::string why;
      if (!ParseSettingAssignment(v, change, why)) return fail("--set " + v + ": " + why);
      o.settingOverrides.push_back(change);
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
      bool off = false;
      const SettingDef* def = SettingOption(bare, off);
      if (!def) return fail("unknown option: " + w);
      uint32_t number = off ? 1 : 0;
      if (def->type != SettingType::kSwitch) {
        if (!value(v)) return fail(w + " needs a value");
        std::string why;
        if (!SettingOptionValue(*def, v, number, why)) return fail(w + " " + why);
      }
      o.settingOverrides.push_back({def->id, number});
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
