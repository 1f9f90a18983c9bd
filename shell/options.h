#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings.h"

namespace tk {

// The Linux entry's own command line: words beginning with "--", the
// XScreenSaver hack words (-root, -window, -window-id) and the settings
// options the XScreenSaver configuration passes (-star-number 300,
// -no-relief, ...). When the first argument is one of these words the whole
// line is read as options; otherwise the Windows-style dispatch decides.
struct Options {
  enum class Action {
    kDispatch,      // not ours: hand the joined arguments to the Windows-style dispatch
    kRender,        // --render/--record/--gif: headless run
    kSheet,         // --sheet: contact sheet of every object
    kShowSettings,  // --show-settings: print the values in force, writing nothing
    kSaveSettings,  // --save-settings: store the --set values in the settings file
    kWindow,        // --window [WxH]: an ordinary window for trying the saver out
    kHack,          // -root / -window-id / -window: XScreenSaver hack
    kSettingsDialog,// --settings: the settings dialog
    kHelp,          // --help
    kVersion,       // --version
    kIdle,          // --idle SECONDS: resident, shows the saver when the desktop has been idle
  };
  Action action = Action::kDispatch;

  // Headless.
  std::string renderPath;     // --render OUT.png
  std::string recordDir;      // --record DIR
  int32_t every = 1;          // --every K
  std::string gifPath;        // --gif OUT.gif
  std::string sheetPath;      // --sheet OUT.png
  int32_t width = 640, height = 480;  // --size WxH
  bool sizeGiven = false;
  double seconds = 10.0;      // --seconds S (simulated), at most kMaxSeconds
  uint32_t seed = 1;          // --seed N
  int32_t format = 32;        // --format 32|24|16|15|8
  uint32_t startTick = 0;     // --start-tick T (simulated tick count at start)
  bool startTickGiven = false;

  // Settings.
  std::optional<std::string> settingsFile;   // --settings-file PATH
  std::vector<SettingChange> settingOverrides;  // checked when read, applied in order over the loaded record

  // Hack and window.
  bool root = false;           // -root / --root
  uint64_t windowId = 0;       // -window-id / --window-id (decimal or 0x hex)
  bool windowIdGiven = false;
  bool fps = false;            // -fps (XScreenSaver's frame-rate overlay; accepted, ignored)

  // Which window system shows the saver: --wayland or --x11 before the rest
  // of the line (which may then be a dispatch, /s); by default Wayland where
  // WAYLAND_DISPLAY names a compositor that answers.
  enum class WindowSystem { kAuto, kWayland, kX11 };
  WindowSystem windowSystem = WindowSystem::kAuto;
  int32_t idleSeconds = 0;  // --idle

  // The Windows-style argument string (argv[1..] joined by single spaces).
  std::string dispatchArguments;
};

// The longest simulated run: the millisecond tick count measures no longer
// (2^32 - 1 ms), and a run that asks for more could never be timed.
inline constexpr double kMaxSeconds = 4294967.0;

struct OptionsResult {
  Options options;
  bool ok = true;
  std::string error;  // one line naming the bad argument
};

OptionsResult ParseOptions(const std::vector<std::string>& args);

// True for a word that makes the whole line read as options.
bool IsOptionWord(const std::string& word);

// Text made safe to print as one line of a terminal or a log: control
// characters (line breaks, escape sequences, also the 8-bit ones as UTF-8
// encodes them) and bytes that are not UTF-8 become '?'. Every error line
// goes through it, since paths and arguments come from anyone.
std::string OneLine(std::string_view text);

// The usage text printed for --help and after an unknown option.
const char* UsageText();

}  // namespace tk
