// A saving process killed at any moment must leave the settings file as the
// old record or the new one, with everything another program added: never a
// part of either, never the defaults.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <random>
#include <thread>

#include "settings/file_store.h"

namespace tk {
namespace {

namespace fs = std::filesystem;

Settings RecordA() {
  Settings s;
  s.starColor = 0x00a0b0c0;
  s.starNumber = 333;
  s.fps = 77;
  s.threadPriority = -1;
  s.disabled[3] = true;
  return s;
}

Settings RecordB() {
  Settings s;
  s.starColor = 0x00010203;
  s.starNumber = 444;
  s.objectVelocity = 9;
  s.threadPriority = -15;
  s.disabled[10] = true;
  s.disabled[11] = true;
  return s;
}

// The victim: an open settings dialog that read the file once, waits while
// another program adds to the file, then saves B and A in turn through the
// same store until it is killed. Each save must merge, not write back the
// text it read at first.
[[noreturn]] void SaveForever(const std::string& path, int ready, int go) {
  FileSettingsStore store(path);
  LoadSettings(store);
  char byte = 0;
  if (::write(ready, &byte, 1) != 1 || ::read(go, &byte, 1) != 1) std::_Exit(1);
  for (unsigned i = 0;; ++i) SaveSettings(store, i % 2 == 0 ? RecordB() : RecordA());
}

TEST(CrashSafeSettings, KilledSavesLeaveTheOldOrTheNewRecord) {
  const fs::path dir = fs::temp_directory_path() / ("telkarim-kill-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "settings.reg").string();
  {
    FileSettingsStore store(path);
    ASSERT_TRUE(SaveSettings(store, RecordA()));
  }
  // A comment and another program's key, which every save must carry along;
  // the other program adds one more of each in every round below.
  {
    std::ofstream extra(path, std::ios::app);
    extra << "; kept by hand\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\"Keep\"=dword:00000007\n";
  }
  int added = 0;
  auto keepsTheRest = [&] {
    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (int k = 0; k < added; ++k) {
      char line[64];
      std::snprintf(line, sizeof line, "; note %d\n\"Other%d\"=dword:%08x\n", k, k, k);
      if (text.find(line) == std::string::npos) return false;
    }
    return text.find("; kept by hand") != std::string::npos && text.find("\"Keep\"=dword:00000007") != std::string::npos;
  };
  ASSERT_TRUE(keepsTheRest());

  // Kills are spread over about five saves, timed here with the start of
  // the process included, so they land before, inside and between writes
  // however fast or loaded the machine is.
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 5; ++i) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      FileSettingsStore store(path);
      SaveSettings(store, RecordA());
      std::_Exit(0);
    }
    ::waitpid(child, nullptr, 0);
  }
  const auto saveUs =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count() / 5;
  std::mt19937 random(20261207);
  std::uniform_int_distribution<long> delayUs(0, std::max<long>(5 * saveUs, 100));
  int sawA = 0, sawB = 0, midWrite = 0;
  auto tempFiles = [&] {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir))
      if (e.path().filename().string().rfind("settings.reg.tmp", 0) == 0) ++n;
    return n;
  };
  const int kKills = 300;
  for (int round = 0; round < kKills; ++round) {
    int ready[2], go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(go), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) SaveForever(path, ready[1], go[0]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    {
      // The other program, while the dialog is open: its key is the last
      // one, so appending adds to it.
      std::ofstream note(path, std::ios::app);
      note << "; note " << added << "\n\"Other" << added << "\"=dword:" << std::hex << std::setw(8)
           << std::setfill('0') << added << "\n";
    }
    ++added;
    ASSERT_EQ(::write(go[1], &byte, 1), 1);
    for (int fd : {ready[0], ready[1], go[0], go[1]}) ::close(fd);
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "round " << round;

    FileSettingsStore store(path);
    ASSERT_TRUE(store.usable()) << "round " << round << ": the file is damaged";
    const Settings loaded = LoadSettings(store);
    if (loaded == RecordA()) {
      ++sawA;
    } else if (loaded == RecordB()) {
      ++sawB;
    } else {
      FAIL() << "round " << round << ": neither record (star number " << loaded.starNumber << ")";
    }
    ASSERT_TRUE(keepsTheRest()) << "round " << round;
    // A temp file left behind shows this kill landed inside a write; the
    // next save clears it, so there is never more than the last one.
    const int left = tempFiles();
    ASSERT_LE(left, 1) << "round " << round;
    midWrite += left;
  }
  // Both records turning up shows the kills landed while saves were running.
  EXPECT_GT(sawA, 0);
  EXPECT_GT(sawB, 0);
  EXPECT_GT(midWrite, 0) << "no kill landed inside a write";
  std::printf("%d kills over 0..%ld us (one save %ld us): record A %d, record B %d, inside a write %d\n", kKills,
              5 * static_cast<long>(saveUs), static_cast<long>(saveUs), sawA, sawB, midWrite);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tk
