// The Linux entry's own options: which lines are ours, and bad values.
#include <gtest/gtest.h>

#include "shell/options.h"

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
      {"--size", "-5x5"}, {"--seconds", "abc"}, {"--seconds", "-1"}, {"--seconds", "nan"},
      {"--seed", "-1"}, {"--seed", "99999999999"}, {"--format", "12"}, {"--format", ""},
      {"--every", "0"}, {"--window-id"}, {"--window-id", "zz"}, {"-window-id", "0"},
      {"--bogus"}, {"-star-number"}, {"-priority", "-15"}, {"-star-color", "blue"},
      {"--render", "a.png", "extra"},
  };
  for (const auto& args : bad) {
    const OptionsResult r = Parse(args);
    EXPECT_FALSE(r.ok) << args[0];
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(r.error.find('\n'), std::string::npos);
  }
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
  const std::vector<std::string> expected = {"StarNumber=300", "Object9=1", "ThreadPriority=-15",
                                             "StarColor=16748656"};
  EXPECT_EQ(r.options.settingOverrides, expected);
  r = Parse({"--window-id", "0x1a00003"});
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.options.windowId, 0x1a00003u);
  r = Parse({"--window", "320x240"});
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.options.action, Options::Action::kWindow);
  EXPECT_EQ(r.options.width, 320);
}

}  // namespace
}  // namespace tk
