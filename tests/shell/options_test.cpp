// The Linux entry's own options: which lines are ours, and bad values.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "settings/file_io.h"
#include "shell/options.h"
#include "shell/settings_path.h"

namespace tk {
namespace {

OptionsResult Parse(std::vector<std::string> a) { return ParseOptions(a); }

TEST(Options, WindowsStyleLinesGoToTheDispatch) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"-s"}, {"/s"}, {"-q"}, {"/p", "12"}, {}, {"/c:5"}}) {
    const OptionsResult r = Parse(args);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.action, Options::Action::kDispatch);
  }
  EXPECT_EQ(Parse({"/p", "12"}).options.dispatchArguments, "/p 12");
}

// The window system chosen before the rest of the line, which then reads as
// it would alone: "--x11 /s" is still the full-screen dispatch.
TEST(Options, WindowSystemAndIdle) {
  OptionsResult r = Parse({"--x11", "/s"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.action, Options::Action::kDispatch);
  EXPECT_EQ(r.options.dispatchArguments, "/s");
  EXPECT_EQ(r.options.windowSystem, Options::WindowSystem::kX11);
  r = Parse({"--wayland", "--window", "400x300"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.action, Options::Action::kWindow);
  EXPECT_EQ(r.options.windowSystem, Options::WindowSystem::kWayland);
  EXPECT_EQ(Parse({"/s"}).options.windowSystem, Options::WindowSystem::kAuto);
  r = Parse({"--idle", "300"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.action, Options::Action::kIdle);
  EXPECT_EQ(r.options.idleSeconds, 300);
  for (const char* bad : {"0", "-5", "x", "86401"}) EXPECT_FALSE(Parse({"--idle", bad}).ok) << bad;
  EXPECT_FALSE(Parse({"--idle"}).ok);
}

TEST(Options, HeadlessRun) {
  const OptionsResult r = Parse({"--render", "a.png", "--size", "320x200", "--seconds", "2.5", "--seed", "9",
                                 "--format", "16", "--set", "StarNumber=500", "--gif", "a.gif"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.action, Options::Action::kRender);
  EXPECT_EQ(r.options.width, 320);
  EXPECT_EQ(r.options.height, 200);
  EXPECT_DOUBLE_EQ(r.options.seconds, 2.5);
  EXPECT_EQ(r.options.seed, 9u);
  EXPECT_EQ(r.options.format, 16);
  EXPECT_EQ(r.options.gifPath, "a.gif");
  ASSERT_EQ(r.options.settingOverrides.size(), 1u);
}

// Every value-taking option with a missing, empty, negative, huge or
// non-numeric value is refused with a line naming it, never accepted.
TEST(Options, BadValuesAreRefusedWithAReason) {
  const std::vector<std::vector<std::string>> bad = {
      {"--render"}, {"--render", ""}, {"--size", "0x10"}, {"--size", "10"}, {"--size", "99999x99999"},
      {"--size", "-5x5"}, {"--size", " 640x480"}, {"--size", "640x\n480"}, {"--seed", " 5"},
      {"--seconds", " 1"}, {"--set", "StarNumber=\v300"}, {"--seconds", "abc"}, {"--seconds", "-1"}, {"--seconds", "nan"},
      {"--seed", "-1"}, {"--seed", "99999999999"}, {"--format", "12"}, {"--format", ""},
      {"--every", "0"}, {"--window-id"}, {"--window-id", "zz"}, {"-window-id", "0"},
      {"--bogus"}, {"-star-number"}, {"-priority", "-15"}, {"-star-color", "blue"},
      {"--render", "a.png", "extra"},
      {"--seconds", "4294968"},  // beyond what the millisecond tick can time
  };
  for (const auto& args : bad) {
    const OptionsResult r = Parse(args);
    EXPECT_FALSE(r.ok) << args[0];
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(r.error.find('\n'), std::string::npos);
  }
}

// A refused settings option says what it takes, from the settings table.
TEST(Options, SettingsOptionErrorsNameWhatIsAccepted) {
  EXPECT_EQ(Parse({"-star-number", "40"}).error, "-star-number 40: StarNumber takes 50..500");
  EXPECT_EQ(Parse({"-frame-rate", "x"}).error, "-frame-rate x: not a number: x");
  EXPECT_EQ(Parse({"-priority", "low"}).error, "-priority needs normal, below-normal or idle");
  EXPECT_EQ(Parse({"--set", "ThreadPriority=-2"}).error, "--set ThreadPriority=-2: ThreadPriority takes 0, -1 or -15");
}

// Every error line is cleaned the same way: escape sequences (7-bit and the
// 8-bit CSI as UTF-8 encodes it), line breaks and broken UTF-8 become '?',
// while real letters of any script stay.
TEST(OneLine, KeepsTextAndDisarmsControls) {
  EXPECT_EQ(OneLine("cannot write a\nb/x.png"), "cannot write a?b/x.png");
  EXPECT_EQ(OneLine("\x1b]0;title\x07\x1b[2J"), "?]0;title??[2J");
  EXPECT_EQ(OneLine("\xC2\x9B" "31m"), "?31m");
  EXPECT_EQ(OneLine("\xD0\x96\xF0\x9F\x98\x80 ok"), "\xD0\x96\xF0\x9F\x98\x80 ok");
  EXPECT_EQ(OneLine("\xFF\xC0\x80\xED\xA0\x80x"), "??????x");
  EXPECT_EQ(OneLine("\xE2\x82"), "??");  // cut off
}

TEST(Options, SaveSettingsAndTheLongestRun) {
  const OptionsResult r = Parse({"--settings-file", "s.reg", "--set", "StarNumber=300", "--save-settings"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.action, Options::Action::kSaveSettings);
  EXPECT_EQ(r.options.settingOverrides, (std::vector<SettingChange>{{SettingId::kStarNumber, 300}}));
  EXPECT_TRUE(Parse({"--render", "a.png", "--seconds", "4294967"}).ok);
}

// Found by fuzzing: an argument holding a line break made the error two lines.
TEST(Options, ErrorsStayOneLineWhateverTheArgumentHolds) {
  const OptionsResult r = Parse({"--bogus\nforged line\r"});
  ASSERT_FALSE(r.ok);
  EXPECT_EQ(r.error.find('\n'), std::string::npos);
  EXPECT_EQ(r.error.find('\r'), std::string::npos);
}

TEST(Options, HackWordsAndSettingsOptions) {
  OptionsResult r = Parse({"-root", "-star-number", "300", "-no-relief", "-priority", "idle",
                           "-star-color", "#7090ff"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.action, Options::Action::kHack);
  EXPECT_TRUE(r.options.root);
  const std::vector<SettingChange> expected = {{SettingId::kStarNumber, 300},
                                               {ObjectSetting(9), 1},
                                               {SettingId::kThreadPriority, static_cast<uint32_t>(kPriorityIdle)},
                                               {SettingId::kStarColor, 0xff9070}};
  EXPECT_EQ(r.options.settingOverrides, expected);
  // -OBJECT switches back on what an earlier -no-OBJECT or the file turned off.
  r = Parse({"-window", "-no-atom", "-atom"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.settingOverrides, (std::vector<SettingChange>{{ObjectSetting(10), 1}, {ObjectSetting(10), 0}}));
  r = Parse({"--window-id", "0x1a00003"});
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.options.windowId, 0x1a00003u);
  r = Parse({"--window", "320x240"});
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.options.action, Options::Action::kWindow);
  EXPECT_EQ(r.options.width, 320);
}

TEST(SettingsPath, XdgConfigHomeThenHomeThenThePasswordDatabase) {
  EXPECT_EQ(SettingsPathFor("/x/y", "/home/u", "/pw"), "/x/y/telkarim/settings.reg");
  EXPECT_EQ(SettingsPathFor(nullptr, "/home/u", "/pw"), "/home/u/.config/telkarim/settings.reg");
  // Relative or empty values count as unset: never the current directory,
  // where a relative path would litter wherever we were started.
  EXPECT_EQ(SettingsPathFor("x/y", "", "/pw"), "/pw/.config/telkarim/settings.reg");
  EXPECT_EQ(SettingsPathFor(nullptr, "home", ""), "");
}

// Without HOME in the environment the password database names the home.
TEST(SettingsPath, WithoutHomeUsesThePasswordDatabase) {
  unsetenv("XDG_CONFIG_HOME");
  const std::string saved = getenv("HOME") ? getenv("HOME") : "";
  unsetenv("HOME");
  const std::string p = DefaultSettingsPath();
  setenv("HOME", saved.c_str(), 1);
  const std::string home = HomeFromPasswordDatabase();
  EXPECT_EQ(p, home.empty() ? std::string() : home + "/.config/telkarim/settings.reg");
}

}  // namespace
}  // namespace tk
