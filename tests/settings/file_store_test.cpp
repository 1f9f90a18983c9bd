// The settings file that stands in for the registry: its format, damage of
// every kind, and saves that never leave a broken file.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <vector>

#include "settings/file_io.h"
#include "settings/file_store.h"
#include "settings/registry_text.h"
#include "settings/store_test_hooks.h"

namespace tk {
namespace {

struct FileStoreTest : ::testing::Test {
  void SetUp() override {
    char tmpl[] = "/tmp/tk_settings_XXXXXX";
    dir = mkdtemp(tmpl);
    path = dir + "/sub/settings.reg";
  }
  void TearDown() override {
    TestHooks() = {};
    std::system(("rm -rf " + dir).c_str());
  }
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

std::string Utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

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
      good.substr(0, good.size() - 3),                          // cut off mid-value: not eight digits
      good + std::string("\0\x01\x02\n", 4),                    // binary
      good + std::string(kMaxSettingsFileSize, ';') + "\n",  // too large
      Utf16("Windows Registry Editor Version 5.00\r\n") + "x",  // UTF-16 of an odd length
  };
  for (const std::string& text : damaged) {
    Write(text);
    FileSettingsStore store(path);
    EXPECT_EQ(LoadSettings(store), Settings{});
    EXPECT_EQ(Read(), text);
  }
}

TEST_F(FileStoreTest, SaveOverADamagedFileKeepsItAside) {
  Write(std::string("binary\0garbage\n", 15));
  chmod(path.c_str(), 0640);
  FileSettingsStore store(path);
  Settings s;
  s.starNumber = 444;
  ASSERT_TRUE(SaveSettings(store, s));
  FileSettingsStore again(path);
  EXPECT_EQ(LoadSettings(again).starNumber, 444);
  std::ifstream aside(path + ".bad");
  EXPECT_TRUE(aside.good());
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u) << "the replacement keeps the damaged file's mode";
}

// A disk that fills up half-way through the save leaves the old file whole.
TEST_F(FileStoreTest, FailedSaveLeavesTheOldFileIntact) {
  FileSettingsStore store(path);
  Settings s;
  s.starNumber = 300;
  ASSERT_TRUE(SaveSettings(store, s));
  const std::string before = Read();
  FileSettingsStore failing(path);
  TestHooks().writeLimit = 40;
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

// The dialog reads the file when it opens; what another program adds while
// it is open must survive OK, also when the change lands between the save's
// read and its replace.
TEST_F(FileStoreTest, SaveMergesWhatAnotherProgramWroteMeanwhile) {
  Write(std::string("Windows Registry Editor Version 5.00\n\n") + kKey + "\n\"StarNumber\"=dword:0000012c\n");
  FileSettingsStore store(path);
  Settings s = LoadSettings(store);
  {
    std::ofstream(path, std::ios::app) << "\"Later\"=dword:00000001\n; added later\n";
  }
  s.fps = 77;
  int changes = 0;
  TestHooks().beforeReplace = [&] {
    if (changes++ == 0) std::ofstream(path, std::ios::app) << "; added during the save\n";
  };
  ASSERT_TRUE(SaveSettings(store, s));
  const std::string text = Read();
  for (const char* kept : {"\"Later\"=dword:00000001", "; added later", "; added during the save",
                           "\"FPS\"=dword:0000004d", "\"StarNumber\"=dword:0000012c"})
    EXPECT_NE(text.find(kept), std::string::npos) << kept;
  EXPECT_EQ(changes, 2);  // the change in between made it read and merge again
}

// A file exported by the Windows registry editor (UTF-16LE, mark, CRLF) loads,
// and a save keeps it in that form so it imports back.
TEST_F(FileStoreTest, WindowsExportLoadsAndKeepsItsEncoding) {
  std::string exported = Utf16(std::string("Windows Registry Editor Version 5.00\r\n\r\n") + kKey +
                               "\r\n\"StarNumber\"=dword:0000012c\r\n\r\n");
  // A Cyrillic letter and a character beyond the basic plane in another key.
  exported += Utf16("[HKEY_CURRENT_USER\\Software\\Other]\r\n\"Name\"=\"").substr(2) + std::string("\x16\x04", 2) +
              std::string("\x3D\xD8\x00\xDE", 4) + Utf16("\"\r\n").substr(2);
  Write(exported);
  FileSettingsStore store(path);
  Settings s = LoadSettings(store);
  EXPECT_EQ(s.starNumber, 300);
  s.fps = 99;
  ASSERT_TRUE(SaveSettings(store, s));
  const std::string saved = Read();
  EXPECT_EQ(saved.rfind("\xFF\xFEW\0i\0", 0), 0u);
  std::string text;
  TextEncoding enc;
  ASSERT_TRUE(DecodeSettingsText(saved, text, enc));
  EXPECT_TRUE(enc.utf16 && enc.crlf);
  EXPECT_NE(text.find("\"FPS\"=dword:00000063\r\n"), std::string::npos);
  EXPECT_NE(text.find("\"Name\"=\"\xD0\x96\xF0\x9F\x98\x80\"\r\n"), std::string::npos);
  EXPECT_EQ(text.find("\n\n"), std::string::npos);  // every line end is CR LF
  EXPECT_NE(access((path + ".bad").c_str(), F_OK), 0);
  FileSettingsStore again(path);
  EXPECT_EQ(LoadSettings(again), s);
}

// The text alone, with no file: a merge writes our values where a load and an
// import look (the last line of the name, in every copy of our section),
// appends the new ones to the last copy, and keeps every other line.
TEST(RegistryText, MergeChangesOnlyOurValuesAndRoundTripsEveryEncoding) {
  const std::string text = std::string("Windows Registry Editor Version 5.00\n\n") + kKey +
                           "\n\"starnumber\"=dword:00000064\n; note\n\n[HKEY_CURRENT_USER\\Software\\Other]\n"
                           "\"FPS\"=dword:00000001\n\n" + kKey + "\n\"StarNumber\"=dword:00000065\n\n";
  const SettingsStore::NamedValue values[] = {{"StarNumber", 300}, {"FPS", 30}};
  const std::string merged = MergeSettingsValues(text, values);
  EXPECT_EQ(FindSettingsValue(merged, "STARNUMBER").dword, 300u);
  EXPECT_EQ(FindSettingsValue(merged, "FPS").dword, 30u);
  EXPECT_FALSE(FindSettingsValue(merged, "ObjectColor").found);
  // The other key's FPS and the comment stay; the first copy is rewritten in place.
  EXPECT_NE(merged.find(std::string(kKey) + "\n\"StarNumber\"=dword:0000012c\n; note\n\n[HKEY_CURRENT_USER\\Software\\Other]\n"
                        "\"FPS\"=dword:00000001\n"), std::string::npos) << merged;
  EXPECT_NE(merged.find("\"StarNumber\"=dword:0000012c\n\"FPS\"=dword:0000001e\n\n"), std::string::npos) << merged;
  EXPECT_EQ(FindSettingsValue(MergeSettingsValues("", values), "FPS").dword, 30u);
  for (const TextEncoding enc : {TextEncoding{}, TextEncoding{true, false, true}, TextEncoding{false, true, true}}) {
    std::string back;
    TextEncoding found;
    ASSERT_TRUE(DecodeSettingsText(EncodeSettingsText(merged + "\"N\"=\"\xD0\x96\xF0\x9F\x98\x80\"\n", enc), back, found));
    EXPECT_EQ(found.utf16, enc.utf16);
    EXPECT_EQ(found.utf8Bom, enc.utf8Bom);
    EXPECT_EQ(found.crlf, enc.crlf);
    EXPECT_EQ(FindSettingsValue(back, "fps").dword, 30u);
    EXPECT_NE(back.find("\"N\"=\"\xD0\x96\xF0\x9F\x98\x80\""), std::string::npos);
  }
}

TEST(RegistryText, BadUtf16IsDamageNotText) {
  const std::string good = Utf16("Windows Registry Editor Version 5.00\r\n");
  std::string text;
  TextEncoding enc;
  EXPECT_TRUE(DecodeSettingsText(good, text, enc));
  EXPECT_FALSE(DecodeSettingsText(good + "x", text, enc));                         // odd length
  EXPECT_FALSE(DecodeSettingsText(good + std::string("\x00\xD8", 2), text, enc));  // lone high surrogate
  EXPECT_FALSE(DecodeSettingsText(good + std::string("\x00\xDC", 2), text, enc));  // lone low surrogate
  EXPECT_FALSE(DecodeSettingsText(good + std::string("\0\0", 2), text, enc));      // NUL
}

// printf '...\r\n"StarNumber"=dword:0000012c' leaves no final line break.
TEST_F(FileStoreTest, LastLineWithoutItsLineBreakIsRead) {
  Write(std::string("Windows Registry Editor Version 5.00\r\n\r\n") + kKey + "\r\n\"StarNumber\"=dword:0000012c");
  FileSettingsStore store(path);
  Settings s = LoadSettings(store);
  EXPECT_EQ(s.starNumber, 300);
  s.fps = 21;
  ASSERT_TRUE(SaveSettings(store, s));
  EXPECT_NE(access((path + ".bad").c_str(), F_OK), 0);
  const std::string text = Read();
  EXPECT_NE(text.find("\"StarNumber\"=dword:0000012c\r\n"), std::string::npos);
  EXPECT_NE(text.find("\"FPS\"=dword:00000015\r\n"), std::string::npos);
}

TEST_F(FileStoreTest, DamagedFilesSetAsideNeverReplaceAnEarlierCopy) {
  const std::string first("first\0damage\n", 13), second("second\0damage\n", 14);
  Write(first);
  FileSettingsStore a(path);
  ASSERT_TRUE(SaveSettings(a, Settings{}));
  Write(second);
  FileSettingsStore b(path);
  ASSERT_TRUE(SaveSettings(b, Settings{}));
  std::ifstream f1(path + ".bad", std::ios::binary), f2(path + ".bad.2", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(f1), {}), first);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(f2), {}), second);
}

// Load takes the later copy of our section; the save must change what the
// load reads, or OK has no effect.
TEST_F(FileStoreTest, RepeatedSectionLoadsAndSavesAlike) {
  Write(std::string("Windows Registry Editor Version 5.00\n\n") + kKey + "\n\"StarNumber\"=dword:0000012c\n"
        "\"FPS\"=dword:00000020\n\n" + kKey + "\n\"StarNumber\"=dword:00000190\n");
  FileSettingsStore store(path);
  Settings s = LoadSettings(store);
  EXPECT_EQ(s.starNumber, 400);
  EXPECT_EQ(s.fps, 32);
  s.starNumber = 100;
  s.fps = 60;
  s.objectVelocity = 2;
  ASSERT_TRUE(SaveSettings(store, s));
  FileSettingsStore again(path);
  EXPECT_EQ(LoadSettings(again), s);
}

TEST_F(FileStoreTest, SaveWritesThroughALinkAndKeepsModeAndLink) {
  mkdir((dir + "/sub").c_str(), 0755);
  mkdir((dir + "/dotfiles").c_str(), 0755);
  const std::string real = dir + "/dotfiles/settings.reg";
  std::ofstream(real) << "Windows Registry Editor Version 5.00\n\n; mine\n";
  chmod(real.c_str(), 0600);
  ASSERT_EQ(symlink("../dotfiles/settings.reg", path.c_str()), 0);
  FileSettingsStore store(path);
  Settings s;
  s.starNumber = 123;
  ASSERT_TRUE(SaveSettings(store, s));
  struct stat st {};
  ASSERT_EQ(lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  FileSettingsStore again(real);
  EXPECT_EQ(LoadSettings(again).starNumber, 123);
  EXPECT_NE(Read().find("; mine"), std::string::npos);
}

// A device, a pipe or a directory named as the settings file: never opened
// for long, never renamed, never written, and the save says why.
TEST_F(FileStoreTest, NonRegularFilesAreNeitherReadNorReplaced) {
  mkdir((dir + "/sub").c_str(), 0755);
  std::vector<std::string> nodes = {dir + "/sub/fifo", dir + "/sub/folder"};
  ASSERT_EQ(mkfifo(nodes[0].c_str(), 0600), 0);
  ASSERT_EQ(mkdir(nodes[1].c_str(), 0755), 0);
  if (geteuid() == 0 && mknod((dir + "/sub/null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
    nodes.push_back(dir + "/sub/null");
  alarm(20);  // a blocking open fails the test instead of hanging it
  for (const std::string& node : nodes) {
    struct stat before {};
    ASSERT_EQ(lstat(node.c_str(), &before), 0);
    FileSettingsStore store(node);
    EXPECT_EQ(LoadSettings(store), Settings{}) << node;
    Settings s;
    s.starNumber = 77;
    EXPECT_FALSE(SaveSettings(store, s)) << node;
    EXPECT_NE(store.error().find("not a regular file"), std::string::npos) << store.error();
    struct stat after {};
    ASSERT_EQ(lstat(node.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << node;
    EXPECT_EQ(after.st_mode, before.st_mode) << node;
    EXPECT_NE(access((node + ".bad").c_str(), F_OK), 0) << node;
  }
  alarm(0);
}

// A mount that never answers holds only the reading thread: the load gives
// up with the defaults, and no save then writes them over the real values.
TEST_F(FileStoreTest, HungFileLoadsDefaultsAndIsNotSavedOver) {
  Write(std::string("Windows Registry Editor Version 5.00\n\n") + kKey + "\n\"StarNumber\"=dword:0000012c\n");
  auto release = std::make_shared<std::promise<void>>();
  std::shared_future<void> released = release->get_future().share();
  FileSettingsStore store(path);
  TestHooks().loadTimeoutMs = 50;
  TestHooks().beforeLoad = [released] { released.wait(); };
  alarm(20);  // a load that waits for the file fails the test instead of hanging it
  EXPECT_EQ(LoadSettings(store), Settings{});
  alarm(0);
  EXPECT_FALSE(store.usable());
  EXPECT_FALSE(SaveSettings(store, Settings{}));
  EXPECT_NE(store.error().find("did not answer"), std::string::npos) << store.error();
  release->set_value();
  TestHooks() = {};
  FileSettingsStore again(path);
  EXPECT_EQ(LoadSettings(again).starNumber, 300);
}

// Someone who can write to the folder plants our temp file's name as a link
// to a file of the victim's; the save must not write through it.
TEST_F(FileStoreTest, PlantedTempLinkIsNeverWrittenThrough) {
  Write(std::string("Windows Registry Editor Version 5.00\n\n") + kKey + "\n");
  const std::string victim = dir + "/notes.txt";
  std::ofstream(victim) << "precious\n";
  ASSERT_EQ(symlink(victim.c_str(), (path + ".tmp" + std::to_string(getpid())).c_str()), 0);
  FileSettingsStore store(path);
  Settings s;
  s.starNumber = 111;
  ASSERT_TRUE(SaveSettings(store, s));
  std::ifstream f(victim);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(f), {}), "precious\n");
  FileSettingsStore again(path);
  EXPECT_EQ(LoadSettings(again).starNumber, 111);
}

TEST_F(FileStoreTest, ReadOnlyStoreAndNoHomeNeverWrite) {
  FileSettingsStore readOnly(path, true);
  EXPECT_EQ(LoadSettings(readOnly), Settings{});
  EXPECT_NE(access((dir + "/sub").c_str(), F_OK), 0);  // not even the folder
  EXPECT_FALSE(SaveSettings(readOnly, Settings{}));
  FileSettingsStore none("");
  EXPECT_EQ(LoadSettings(none), Settings{});
  EXPECT_FALSE(SaveSettings(none, Settings{}));
  EXPECT_FALSE(none.error().empty());
}

}  // namespace
}  // namespace tk
