// Loading and saving the settings record over any store: ranges, types and
// the flags.
#include <gtest/gtest.h>

#include "platform/offscreen/memory_store.h"
#include "settings/settings.h"

namespace tk {
namespace {

TEST(LoadSettings, EmptyStoreGivesTheDefaultsAndOpensTheKey) {
  MemorySettingsStore store;
  const Settings s = LoadSettings(store);
  EXPECT_TRUE(store.opened);
  EXPECT_EQ(s, Settings{});
  EXPECT_EQ(s.starColor, 0xff9070u);
  EXPECT_EQ(s.starNumber, 200);
  EXPECT_EQ(s.fps, 50);
}

TEST(LoadSettings, RangesTypesAndSizes) {
  struct Case {
    const char* name;
    uint32_t stored;
    int32_t expected;
  } cases[] = {
      {"StarNumber", 40, 200}, {"StarNumber", 501, 200}, {"StarNumber", 50, 50}, {"StarNumber", 500, 500},
      {"FPS", 19, 50},         {"FPS", 100, 100},        {"ThreadPriority", static_cast<uint32_t>(-2), 0},
      {"ThreadPriority", 2, 0}, {"ThreadPriority", static_cast<uint32_t>(-15), -15},
      {"ThreadPriority", static_cast<uint32_t>(-1), -1}, {"StarVelocity", 0, 5}, {"StarVelocity", 10, 10},
      {"ObjectVelocity", 11, 5}, {"StarVelocity", 0x80000005u, 5},
  };
  for (const Case& c : cases) {
    MemorySettingsStore store;
    store.SetDword(c.name, c.stored);
    const Settings s = LoadSettings(store);
    const SettingDef* def = FindSetting(c.name);
    ASSERT_TRUE(def);
    EXPECT_EQ(static_cast<int32_t>(GetSetting(s, def->id)), c.expected) << c.name << "=" << c.stored;
  }
  // Another type or another size fails the number test and takes the default.
  MemorySettingsStore store;
  store.SetOther("FPS", 1, 4);
  store.values["StarNumber"] = SettingsStore::Value{true, SettingsStore::kRegDword, 8, 300};
  store.SetDword("StarColor", 0);  // black stars are a choice, not an error
  const Settings s = LoadSettings(store);
  EXPECT_EQ(s.fps, 50);
  EXPECT_EQ(s.starNumber, 200);
  EXPECT_EQ(s.starColor, 0u);
}

TEST(LoadSettings, ObjectFlags) {
  MemorySettingsStore store;
  store.SetDword("Object3", 7);
  store.SetDword("Object4", 0);
  store.SetOther("Object5", 1, 4);
  const Settings s = LoadSettings(store);
  EXPECT_TRUE(s.disabled[3]);
  EXPECT_FALSE(s.disabled[4]);
  EXPECT_FALSE(s.disabled[5]);
  EXPECT_FALSE(s.disabled[12]);
}

TEST(SaveSettings, WritesEveryValueInOrderAndRoundTrips) {
  Settings s;
  s.starColor = 0x123456;
  s.fps = 77;
  s.threadPriority = -1;
  s.disabled[9] = s.disabled[10] = true;
  MemorySettingsStore store;
  SaveSettings(store, s);
  const auto values = SettingsValues(s);
  EXPECT_EQ(values[0].name, "StarColor");
  EXPECT_EQ(values[6].name, "ThreadPriority");
  EXPECT_EQ(values[7].name, "Object0");
  EXPECT_EQ(values[18].name, "Object11");
  EXPECT_EQ(store.values.size(), 19u);
  EXPECT_EQ(store.values["Object9"].dword, 1u);
  EXPECT_EQ(store.values["Object0"].dword, 0u);
  EXPECT_EQ(LoadSettings(store), s);
}

// --set values are typed once, when read, with the loading ranges and the
// priority set; the reasons fit on one line.
TEST(ParseSettingAssignment, SameRulesAsLoadingAndOneLineReasons) {
  std::vector<SettingChange> changes;
  std::string why;
  for (const char* good : {"StarNumber=500", "StarColor=0x00ffffff", "ThreadPriority=-15", "Object9=7"}) {
    SettingChange c{};
    EXPECT_TRUE(ParseSettingAssignment(good, c, why)) << good << ": " << why;
    changes.push_back(c);
  }
  EXPECT_EQ(changes[2], (SettingChange{SettingId::kThreadPriority, static_cast<uint32_t>(-15)}));
  Settings s;
  ApplySettingChanges(s, changes);
  EXPECT_EQ(s.starNumber, 500);
  EXPECT_EQ(s.starColor, 0xffffffu);
  EXPECT_EQ(s.threadPriority, -15);
  EXPECT_TRUE(s.disabled[9]);
  EXPECT_EQ(GetSetting(s, ObjectSetting(9)), 1u) << "a switch reads back as 0 or 1";
  for (const char* bad : {"StarNumber=40", "StarNumber=", "StarNumber", "Nope=1", "FPS=abc", "FPS=0x",
                          "ThreadPriority=-2", "StarNumber=99999999999", "FPS= 50", "Object12=1"}) {
    SettingChange c{};
    why.clear();
    EXPECT_FALSE(ParseSettingAssignment(bad, c, why)) << bad;
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(why.find('\n'), std::string::npos);
  }
}

}  // namespace
}  // namespace tk
