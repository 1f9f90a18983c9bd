// The settings file that stands in for the registry: its format, damage of
// every kind, and saves that never leave a broken file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "settings/file_store.h"

namespace tk {
namespace {

struct FileStoreTest : ::testing::Test {
  void SetUp() override {
    char tmpl[] = "/tmp/tk_settings_XXXXXX";
    dir = mkdtemp(tmpl);
    path = dir + "/sub/settings.reg";
  }
  void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
  void Write(const std::string& text) {
    mkdir((dir + "/sub").c_str(), 0755);
    std::ofstream(path, std::ios::binary) << text;
  }
  std::string Read() {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
  std::string dir, path;
};

const char* kKey = "[HKEY_CURRENT_USER\\Software\\Telkarim\\Telkarim's Screen Saver]";

TEST_F(FileStoreTest, MissingFileIsCreatedWithTheEmptyKey) {
  FileSettingsStore store(path);
  EXPECT_EQ(LoadSettings(store), Settings{});
  const std::string text = Read();
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00", 0), 0u);
  EXPECT_NE(text.find(kKey), std::string::npos);
}

TEST_F(FileStoreTest, ReadsDwordsAndRefusesOtherTypes) {
  Write(std::string("\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n") + kKey +
        "\r\n\"StarNumber\"=dword:0000012c\r\n\"FPS\"=\"50\"\r\n\"ObjectVelocity\"=hex:07,00,00,00\r\n"
        "\"StarVelocity\"=dword:7\r\n\"Object3\"=dword:00000007\r\n"
        "\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n\"StarColor\"=dword:00000000\r\n");
  FileSettingsStore store(path);
  const Settings s = LoadSettings(store);
  EXPECT_EQ(s.starNumber, 300);
  EXPECT_EQ(s.fps, 50);
  EXPECT_EQ(s.objectVelocity, 5);
  EXPECT_EQ(s.starVelocity, 5);  // not eight hex digits
  EXPECT_TRUE(s.disabled[3]);
  EXPECT_EQ(s.starColor, 0xff9070u);  // another key's value is not ours
}

TEST_F(FileStoreTest, SaveKeepsEverythingElseAndRoundTrips) {
  const std::string other = "[HKEY_CURRENT_USER\\Software\\Other]\n\"Keep\"=\"me\"\n";
  Write(std::string("Windows Registry Editor Version 5.00\n\n; a comment\n") + kKey +
        "\n\"StarNumber\"=dword:0000012c\n\"Extra\"=\"stays\"\n\n" + other);
  FileSettingsStore store(path);
  Settings s = LoadSettings(store);
  s.fps = 99;
  s.disabled[11] = true;
  ASSERT_TRUE(SaveSettings(store, s));
  const std::string text = Read();
  EXPECT_NE(text.find("; a comment"), std::string::npos);
  EXPECT_NE(text.find("\"Extra\"=\"stays\""), std::string::npos);
  EXPECT_NE(text.find(other), std::string::npos);
  EXPECT_NE(text.find("\"FPS\"=dword:00000063"), std::string::npos);
  EXPECT_EQ(text.find("0000012c"), text.rfind("0000012c"));  // replaced in place, not doubled
  FileSettingsStore again(path);
  EXPECT_EQ(LoadSettings(again), s);
}

TEST_F(FileStoreTest, DamagedFilesLoadAsDefaultsAndAreNeverOverwrittenByALoad) {
  const std::string good = std::string("Windows Registry Editor Version 5.00\n\n") + kKey +
                           "\n\"StarNumber\"=dword:0000012c\n";
  const std::string damaged[] = {
      good.substr(0, good.size() - 3),                          // cut off mid-line
      good + std::string("\0\x01\x02\n", 4),                    // binary
      good + std::string(FileSettingsStore::kMaxFileSize, ';') + "\n",  // too large
  };
  for (const std::string& text : damaged) {
    Write(text);
    FileSettingsStore store(path);
    EXPECT_EQ(LoadSettings(store), Settings{});
    EXPECT_EQ(Read(), text);
  }
}

TEST_F(FileStoreTest, SaveOverADamagedFileKeepsItAside) {
  Write("garbage without a line break");
  FileSettingsStore store(path);
  Settings s;
  s.starNumber = 444;
  ASSERT_TRUE(SaveSettings(store, s));
  FileSettingsStore again(path);
  EXPECT_EQ(LoadSettings(again).starNumber, 444);
  std::ifstream aside(path + ".bad");
  EXPECT_TRUE(aside.good());
}

// A disk that fills up half-way through the save leaves the old file whole.
TEST_F(FileStoreTest, FailedSaveLeavesTheOldFileIntact) {
  FileSettingsStore store(path);
  Settings s;
  s.starNumber = 300;
  ASSERT_TRUE(SaveSettings(store, s));
  const std::string before = Read();
  FileSettingsStore failing(path);
  failing.writeLimitForTesting = 40;
  s.starNumber = 400;
  EXPECT_FALSE(SaveSettings(failing, s));
  EXPECT_EQ(Read(), before);
  FileSettingsStore again(path);
  EXPECT_EQ(LoadSettings(again).starNumber, 300);
  // No temporary file is left behind.
  int entries = 0;
  for (const char* suffix : {".tmp"}) entries += access((path + suffix + std::to_string(getpid())).c_str(), F_OK) == 0;
  EXPECT_EQ(entries, 0);
}

TEST_F(FileStoreTest, UnreadablePathLoadsDefaults) {
  mkdir((dir + "/sub").c_str(), 0755);
  mkdir(path.c_str(), 0755);  // a directory where the file should be
  FileSettingsStore store(path);
  EXPECT_EQ(LoadSettings(store), Settings{});
}

TEST_F(FileStoreTest, SaveClearsTempFilesOfDeadSavesOnly) {
  Write("");
  // 999999999 is beyond any pid the kernel hands out; pid 1 always runs.
  std::ofstream(path + ".tmp999999999") << "half a save";
  std::ofstream(path + ".tmp1") << "a save in progress";
  std::ofstream(path + ".tmpnotes") << "not ours";
  FileSettingsStore store(path);
  ASSERT_TRUE(SaveSettings(store, Settings{}));
  EXPECT_NE(access((path + ".tmp999999999").c_str(), F_OK), 0);
  EXPECT_EQ(access((path + ".tmp1").c_str(), F_OK), 0);
  EXPECT_EQ(access((path + ".tmpnotes").c_str(), F_OK), 0);
}

TEST(DefaultSettingsPath, FollowsXdgConfigHome) {
  setenv("XDG_CONFIG_HOME", "/x/y", 1);
  EXPECT_EQ(DefaultSettingsPath(), "/x/y/telkarim/settings.reg");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "/home/u", 1);
  EXPECT_EQ(DefaultSettingsPath(), "/home/u/.config/telkarim/settings.reg");
}

}  // namespace
}  // namespace tk
