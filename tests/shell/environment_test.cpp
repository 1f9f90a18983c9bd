// What the Linux entry takes from the environment for the front ends.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "shell/linux/environment.h"

namespace tk {
namespace {

FrontEndEnvironment Read(const std::map<std::string, std::string>& vars) {
  return ReadEnvironment([&](const char* name) -> const char* {
    const auto it = vars.find(name);
    return it == vars.end() ? nullptr : it->second.c_str();
  });
}

// A window id from XScreenSaver is taken only when it is one: garbage, a
// negative number wrapping to a huge one, or an id past 32 bits would send
// the hack to draw into some other client's window.
TEST(Environment, WindowIdsAreTakenOnlyWhenWellFormed) {
  EXPECT_EQ(ParseWindowId("0x2a00007"), 0x2a00007u);
  EXPECT_EQ(ParseWindowId("44040199 "), 44040199u);
  for (const char* bad : {"", "0", "-1", "12abc", "0x100000000", "window", " "})
    EXPECT_EQ(ParseWindowId(bad), 0u) << bad;
  EXPECT_EQ(ParseWindowId(nullptr), 0u);
}

// The measuring overrides keep their names and meanings; an override out of
// range or misspelt leaves the saver's own choice.
TEST(Environment, PresentOverrides) {
  const FrontEndEnvironment none = Read({});
  EXPECT_EQ(none.xscreensaverWindow, 0u);
  EXPECT_EQ(none.present.way, X11PresentOptions::Way::kChoose);
  EXPECT_TRUE(none.present.sharedMemory);
  EXPECT_EQ(none.present.foldPixels, -1);
  EXPECT_FALSE(none.present.printFigures);

  const FrontEndEnvironment all = Read({{"XSCREENSAVER_WINDOW", "0x400001"},
                                        {"TELKARIM_PRESENT", "put"},
                                        {"TELKARIM_NO_SHM", ""},
                                        {"TELKARIM_FOLD_PIXELS", "1500"},
                                        {"TELKARIM_X11_FIGURES", "1"}});
  EXPECT_EQ(all.xscreensaverWindow, 0x400001u);
  EXPECT_EQ(all.present.way, X11PresentOptions::Way::kImages);
  EXPECT_FALSE(all.present.sharedMemory);
  EXPECT_EQ(all.present.foldPixels, 1500);
  EXPECT_TRUE(all.present.printFigures);

  EXPECT_EQ(Read({{"TELKARIM_PRESENT", "fill"}}).present.way, X11PresentOptions::Way::kFill);
  EXPECT_EQ(Read({{"TELKARIM_PRESENT", "Fill"}}).present.way, X11PresentOptions::Way::kChoose);
  EXPECT_EQ(Read({{"TELKARIM_FOLD_PIXELS", "100001"}}).present.foldPixels, -1);
  EXPECT_EQ(Read({{"TELKARIM_FOLD_PIXELS", "-3"}}).present.foldPixels, -1);
}

// The compositor and the runtime folder of the lock come from here too.
TEST(Environment, WaylandSession) {
  EXPECT_TRUE(Read({}).waylandDisplay.empty());
  EXPECT_TRUE(Read({}).runtimeDir.empty());
  const FrontEndEnvironment w = Read({{"WAYLAND_DISPLAY", "wayland-1"}, {"XDG_RUNTIME_DIR", "/run/user/1000"}});
  EXPECT_EQ(w.waylandDisplay, "wayland-1");
  EXPECT_EQ(w.runtimeDir, "/run/user/1000");
}

}  // namespace
}  // namespace tk
