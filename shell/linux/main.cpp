// The Linux entry: our own options first, then the Windows-style dispatch.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/offscreen/headless.h"
#include "settings/file_store.h"
#include "shell/command_line.h"
#include "shell/linux/front_ends.h"
#include "shell/options.h"
#include "shell/settings_path.h"
#include "telkarim_version.h"
#if defined(TK_HAVE_WAYLAND)
#include "platform/wayland/wayland_front_end.h"
#endif

namespace tk {
namespace {

std::function<void(Settings&)> Overrides(const Options& o) {
  return [overrides = o.settingOverrides](Settings& s) { ApplySettingChanges(s, overrides); };
}

// The front ends are always handed a path; empty means no file at all.
std::string SettingsPath(const Options& o) { return o.settingsFile ? *o.settingsFile : DefaultSettingsPath(); }
// Full screen and the trial window go to the Wayland compositor when
// WAYLAND_DISPLAY names one that answers (or --wayland says so), to X11
// otherwise; previews and hacks draw into X windows and stay there.
int RunSaverOn(const Options& o, const SaverRequest& r) {
  const bool waylandMode = r.mode == SaverRequest::Mode::kFullScreen || r.mode == SaverRequest::Mode::kWindow;
#if defined(TK_HAVE_WAYLAND)
  if (waylandMode && o.windowSystem != Options::WindowSystem::kX11 &&
      (o.windowSystem == Options::WindowSystem::kWayland || wayland::CompositorAnswers(r.environment)))
    return wayland::RunSaver(r);
#else
  if (waylandMode && o.windowSystem == Options::WindowSystem::kWayland) {
    std::fprintf(stderr, "telkarim: this build has no Wayland front end\n");
    return 1;
  }
#endif
  return RunX11Saver(r);
}

class LinuxShell final : public ShellServices {
 public:
  explicit LinuxShell(const Options& o) : options_(o) {}
  bool WindowExists(WindowId w) override { return X11WindowExists(w); }
  WindowId ForegroundWindow() override { return X11ForegroundWindow(); }
  int RunSaver(WindowId parent) override {
    SaverRequest r;
    r.mode = parent ? SaverRequest::Mode::kPreview : SaverRequest::Mode::kFullScreen;
    r.window = parent;
    r.settingsFile = SettingsPath(options_);
    r.environment = ReadEnvironment();
    return RunSaverOn(options_, r);
  }
  int ShowSettings(WindowId owner) override {
    DialogRequest r;
    r.owner = owner;
    r.settingsFile = SettingsPath(options_);
    return RunSettingsDialog(r);
  }
  // The password change belongs to the 95/98 family; never reached here.
  void ChangePassword(WindowId) override {}
  bool HandlesWrap() const override { return false; }

 private:
  const Options& options_;
};

// Only reads: a missing file or folder is not created by looking.
int ShowSettingsValues(const Options& o) {
  FileSettingsStore store(SettingsPath(o), /*readOnly=*/true);
  Settings s = LoadSettings(store);
  Overrides(o)(s);
  std::fputs(SettingsText(s).c_str(), stdout);
  const std::string note = store.usable() ? std::string() : " (not used: " + (store.error().empty() ? std::string("damaged") : store.error()) + ")";
  std::fprintf(stderr, "settings file: %s\n", OneLine(store.path() + note).c_str());
  return 0;
}

// --set ... --save-settings: the dialog's OK for scripts. Silent on success.
int SaveSettingsValues(const Options& o) {
  FileSettingsStore store(SettingsPath(o));
  Settings s = LoadSettings(store);
  Overrides(o)(s);
  // Only the named values: a concurrent save of another name keeps its value.
  std::vector<std::string> names;
  for (const SettingChange& c : o.settingOverrides) names.push_back(SettingOf(c.id).name);
  if (SaveSettings(store, s, names)) return 0;
  const std::string why = store.error().empty() ? "cannot save the settings to " + store.path() : store.error();
  std::fprintf(stderr, "telkarim: %s\n", OneLine(why).c_str());
  return 2;
}

}  // namespace

int LinuxMain(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const OptionsResult parsed = ParseOptions(args);
  if (!parsed.ok) {
    // One line, so a daemon's log or a script sees exactly what was wrong.
    std::fprintf(stderr, "telkarim: %s (see telkarim --help)\n", parsed.error.c_str());
    return 2;
  }
  const Options& o = parsed.options;
  switch (o.action) {
    case Options::Action::kDispatch: {
      LinuxShell shell(o);
      // Exit code -1 becomes process status 255, as on Windows.
      return SaverMain(o.dispatchArguments, false, shell) & 0xFF;
    }
    case Options::Action::kRender: return RunHeadless(o);
    case Options::Action::kSheet: return RunSheet(o);
    case Options::Action::kShowSettings: return ShowSettingsValues(o);
    case Options::Action::kSaveSettings: return SaveSettingsValues(o);
    case Options::Action::kHelp: std::fputs(UsageText(), stdout); return 0;
    case Options::Action::kIdle:
#if defined(TK_HAVE_WAYLAND)
      return wayland::RunIdle(o.idleSeconds, SettingsPath(o), ReadEnvironment());
#else
      std::fprintf(stderr, "telkarim: this build has no Wayland front end\n");
      return 2;
#endif
    case Options::Action::kVersion:
      std::puts("telkarim " TK_PRODUCT_VERSION_TEXT "\n" TK_COPYRIGHT_TEXT ". MIT licence.");
      return 0;
    case Options::Action::kSettingsDialog: {
      DialogRequest r;
      r.settingsFile = SettingsPath(o);
      return RunSettingsDialog(r);
    }
    case Options::Action::kWindow:
    case Options::Action::kHack: {
      SaverRequest r;
      r.mode = o.action == Options::Action::kWindow ? SaverRequest::Mode::kWindow : SaverRequest::Mode::kHack;
      r.root = o.root;
      r.window = o.windowId;
      if (o.sizeGiven) {
        r.width = o.width;
        r.height = o.height;
      }
      r.settingsFile = SettingsPath(o);
      r.adjustSettings = Overrides(o);
      r.environment = ReadEnvironment();
      return RunSaverOn(o, r);
    }
  }
  return 2;
}

}  // namespace tk

int main(int argc, char** argv) { return tk::LinuxMain(argc, argv); }
