// The saver program on a headless sway of the test's own with two outputs,
// HEADLESS-1 (1920x1080 at 0,0) and HEADLESS-2 (1280x720 at 1920,0): a scene
// centred on each output and covering it, the ways a run ends, outputs that
// change under it, and --idle. Looks are grim screenshots; an output with
// nothing on it shows sway's #3F3F3F.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/child_process.h"
#include "tests/support/star_centre.h"

namespace {

using Clock = std::chrono::steady_clock;
using tk::test::CentreEstimate;
using tk::test::Reap;
using tk::test::Star;
using tk::test::kStarsRed;
using tk::test::SleepMs;
using tk::test::Spawn;
using tk::test::WaitExit;

#if defined(TK_SANITIZED)
constexpr int kSlack = 4;
#else
constexpr int kSlack = 1;
#endif

const char* Program() {
  const char* p = std::getenv("TELKARIM_PROGRAM");
  return p ? p : TK_PROGRAM;
}

struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  uint32_t At(int x, int y) const {
    const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
  }
};

// Binary PPM as grim writes it.
bool ReadPpm(const std::string& path, Image& img) {
  std::ifstream f(path, std::ios::binary);
  std::string magic;
  int maxval = 0;
  if (!(f >> magic >> img.width >> img.height >> maxval) || magic != "P6" || maxval != 255) return false;
  f.get();
  img.rgb.resize(static_cast<size_t>(img.width) * img.height * 3);
  f.read(reinterpret_cast<char*>(img.rgb.data()), static_cast<std::streamsize>(img.rgb.size()));
  return static_cast<size_t>(f.gcount()) == img.rgb.size();
}

// Red stars (see kStarsRed): each run of touching pure red pixels is a star.
std::vector<Star> Stars(const Image& img, long* redPixels = nullptr) {
  std::vector<uint8_t> red(static_cast<size_t>(img.width) * img.height);
  long count = 0;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const uint32_t p = img.At(x, y);
      red[static_cast<size_t>(y) * img.width + x] = (p & 0xFF0000) != 0 && (p & 0xFFFF) == 0;
      count += red[static_cast<size_t>(y) * img.width + x];
    }
  if (redPixels) *redPixels = count;
  std::vector<Star> stars;
  std::vector<std::pair<int, int>> todo;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      if (!red[static_cast<size_t>(y) * img.width + x]) continue;
      double n = 0, sx = 0, sy = 0;
      todo.assign(1, {x, y});
      red[static_cast<size_t>(y) * img.width + x] = 0;
      while (!todo.empty()) {
        const auto [px, py] = todo.back();
        todo.pop_back();
        n += 1;
        sx += px;
        sy += py;
        for (const auto& [qx, qy] : {std::pair{px + 1, py}, {px - 1, py}, {px, py + 1}, {px, py - 1}}) {
          if (qx < 0 || qx >= img.width || qy < 0 || qy >= img.height) continue;
          uint8_t& q = red[static_cast<size_t>(qy) * img.width + qx];
          if (q) {
            q = 0;
            todo.push_back({qx, qy});
          }
        }
      }
      stars.push_back(Star{sx / n + 0.5, sy / n + 0.5});
    }
  return stars;
}


constexpr uint32_t kEmpty = 0x3F3F3F;  // sway's background

// A headless sway of the test's own, and the clients run on it.
class Sway {
 public:
  bool Start(bool xwayland = false) {
    char tmpl[] = "/tmp/telkarim-wayland-test-XXXXXX";
    const char* d = mkdtemp(tmpl);
    if (!d) return false;
    dir_ = d;
    const std::string command =
        std::string(TK_SWAY_SCRIPT) + " " + dir_ + (xwayland ? " xwayland" : "") + " 2>" + dir_ + "/start.log";
    FILE* p = popen(command.c_str(), "r");
    if (!p) return false;
    char line[64] = {};
    const bool got = std::fgets(line, sizeof line, p) != nullptr;
    const int status = pclose(p);
    if (!got || status != 0) {
      skip_ = WIFEXITED(status) && WEXITSTATUS(status) == 77;
      return false;
    }
    pid_ = std::atoi(line);
    std::ifstream env(dir_ + "/env");
    for (std::string kv; std::getline(env, kv);)
      if (!kv.empty()) env_.push_back(kv);
    env_.push_back("XDG_CONFIG_HOME=" + dir_ + "/settings");
    env_.push_back("ASAN_OPTIONS=detect_leaks=0");
    if (!xwayland) env_.push_back("DISPLAY=");
    return true;
  }
  bool skip() const { return skip_; }
  ~Sway() {
    Kill();
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }
  // Ends sway (SIGKILL) and waits up to 5 s for it to be gone.
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    const auto end = Clock::now() + std::chrono::seconds(5);
    while (kill(pid_, 0) == 0 && Clock::now() < end) {
      std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
      std::string pid, name, state;
      if (stat >> pid >> name >> state && state == "Z") break;
      SleepMs(20);
    }
    pid_ = 0;
  }

  void WriteSettings(const char* text) {
    const std::string dir = dir_ + "/settings/telkarim";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/settings.reg") << text;
  }
  pid_t Run(std::vector<std::string> args, const std::vector<std::string>& extraEnv = {}) const {
    args.insert(args.begin(), Program());
    std::vector<std::string> env = env_;
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    return Spawn(args, env);
  }
  // A tool waited for up to 20 s; its exit code.
  // A client of the compositor left running; the caller reaps it.
  pid_t Background(const std::vector<std::string>& args) const { return Spawn(args, env_, true); }
  int Tool(const std::vector<std::string>& args) const {
    const pid_t pid = Spawn(args, env_, true);
    const int code = WaitExit(pid, 20000 * kSlack);
    Reap(pid);
    return code;
  }
  int Client(std::vector<std::string> args) const {
    args.insert(args.begin(), TK_CLIENT);
    return Tool(args);
  }
  pid_t StartClient(std::vector<std::string> args) const {
    args.insert(args.begin(), TK_CLIENT);
    return Spawn(args, env_, true);
  }
  bool Look(const std::string& output, Image& img) const {
    const std::string path = dir_ + "/look.ppm";
    return Tool({"grim", "-t", "ppm", "-o", output, path}) == 0 && ReadPpm(path, img);
  }

 private:
  std::string dir_;
  pid_t pid_ = 0;
  bool skip_ = false;
  std::vector<std::string> env_;
};

#define START_SWAY(sway, ...)                                                        \
  do {                                                                               \
    if (!(sway).Start(__VA_ARGS__)) {                                                \
      if ((sway).skip()) GTEST_SKIP() << "sway cannot run here";                     \
      FAIL() << "sway did not start";                                                \
    }                                                                                \
  } while (0)

// Pixels of sway's empty background: the saver's surface does not cover them.
long Uncovered(const Image& img) {
  long n = 0;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) n += img.At(x, y) == kEmpty;
  return n;
}

long Lit(const Image& img) {
  long n = 0;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) n += img.At(x, y) != 0 && img.At(x, y) != kEmpty;
  return n;
}

// Waits up to 20 s for `output` to be wholly covered, with stars on it;
// false when it never was.
bool WaitScene(const Sway& sway, const std::string& output, pid_t pid, Image& img) {
  const auto end = Clock::now() + std::chrono::seconds(20 * kSlack);
  while (Clock::now() < end && (pid <= 0 || WaitExit(pid, 0) == -1)) {
    if (sway.Look(output, img) && Uncovered(img) == 0 && Lit(img) >= 200) return true;
    SleepMs(100);
  }
  return false;
}

// Waits up to 20 s for `output` to show nothing of ours again.
bool WaitEmpty(const Sway& sway, const std::string& output) {
  const auto end = Clock::now() + std::chrono::seconds(20 * kSlack);
  Image img;
  while (Clock::now() < end) {
    if (sway.Look(output, img) && Uncovered(img) == static_cast<long>(img.width) * img.height) return true;
    SleepMs(100);
  }
  return false;
}

// The scene on `output` is centred on it, from star motion over twenty looks.
void ExpectCentred(const Sway& sway, const std::string& output, int width, int height) {
  Image img;
  ASSERT_TRUE(sway.Look(output, img));
  EXPECT_EQ(img.width, width) << output;
  EXPECT_EQ(img.height, height) << output;
#if defined(TK_SANITIZED)
  // A look takes long enough under the sanitizers on a loaded machine for
  // stars to move farther than they lie apart, which no pairing survives;
  // the centring is the optimised build's to check.
  return;
#endif
  std::vector<Star> last = Stars(img);
  CentreEstimate centre;
  for (int look = 0; look < 20; ++look) {
    ASSERT_TRUE(sway.Look(output, img));
    const std::vector<Star> now = Stars(img);
    centre.AddPair(last, now);
    last = now;
  }
  EXPECT_NEAR(centre.X() / width, 0.5, 0.1) << output << ": stars not centred across";
  EXPECT_NEAR(centre.Y() / height, 0.5, 0.1) << output << ": stars not centred down";
}

// Both outputs, of different sizes, are covered by a scene centred on each;
// a second start leaves the first; a key ends the run with 0 and gives both
// outputs back.
TEST(WaylandSaver, SceneCentredOnEveryOutputAndKeyEnds) {
  Sway sway;
  START_SWAY(sway);
  sway.WriteSettings(kStarsRed);
  const pid_t pid = sway.Run({"/s"});
  Image img;
  ASSERT_TRUE(WaitScene(sway, "HEADLESS-1", pid, img)) << "HEADLESS-1 not covered with stars";
  ASSERT_TRUE(WaitScene(sway, "HEADLESS-2", pid, img)) << "HEADLESS-2 not covered with stars";
  ExpectCentred(sway, "HEADLESS-1", 1920, 1080);
  ExpectCentred(sway, "HEADLESS-2", 1280, 720);
  ASSERT_EQ(WaitExit(pid, 0), -1) << "ended on its own";
  // A second start while it shows leaves it and ends with 0.
  const pid_t second = sway.Run({"/s"});
  EXPECT_EQ(WaitExit(second, 10000 * kSlack), 0) << "a second saver stayed";
  Reap(second);
  sway.Tool({"wtype", "-s", "300", "-k", "Escape"});
  EXPECT_EQ(WaitExit(pid, 10000 * kSlack), 0) << "a key did not end the saver with 0";
  Reap(pid);
  EXPECT_TRUE(WaitEmpty(sway, "HEADLESS-1"));
}

// Without the layer shell (as on GNOME or weston) each output gets a
// full-screen window instead, which covers it and takes the keyboard. Taking
// the keyboard from it (here: an empty workspace shown) ends it, as losing
// the focus does on X.
TEST(WaylandSaver, FullScreenWindowsWithoutTheLayerShell) {
  Sway sway;
  START_SWAY(sway);
  pid_t pid = sway.Run({"/s"}, {"TELKARIM_WAYLAND_TOPLEVEL=1"});
  Image img;
  ASSERT_TRUE(WaitScene(sway, "HEADLESS-1", pid, img)) << "HEADLESS-1 not covered with stars";
  ASSERT_TRUE(WaitScene(sway, "HEADLESS-2", pid, img)) << "HEADLESS-2 not covered with stars";
  sway.Tool({"wtype", "-s", "300", "-k", "Escape"});
  EXPECT_EQ(WaitExit(pid, 10000 * kSlack), 0) << "a key did not end the saver with 0";
  Reap(pid);

  // A keyboard that stays (the headless seat has none of its own), so the
  // saver's window is given the focus when it shows.
  const pid_t keyboard = sway.Background({"wtype", "-s", "120000"});
  pid = sway.Run({"/s"}, {"TELKARIM_WAYLAND_TOPLEVEL=1"});
  ASSERT_TRUE(WaitScene(sway, "HEADLESS-1", pid, img));
  ASSERT_TRUE(WaitScene(sway, "HEADLESS-2", pid, img));
  EXPECT_EQ(WaitExit(pid, 0), -1) << "ended before the keyboard was taken";
  ASSERT_EQ(sway.Tool({"swaymsg", "workspace", "9"}), 0);
  EXPECT_EQ(WaitExit(pid, 10000 * kSlack), 0) << "the keyboard taken away did not end the saver with 0";
  Reap(pid);
  Reap(keyboard);
}

// The pointer may travel 4 pixels from where it first showed itself; the
// fifth ends the run. The second client is a new pointing device, as a mouse
// plugged in again: its travel adds to the first's.
TEST(WaylandSaver, PointerTravelOfFourKeepsFiveEnds) {
  Sway sway;
  START_SWAY(sway);
  const pid_t pid = sway.Run({"/s"});
  Image img;
  ASSERT_TRUE(WaitScene(sway, "HEADLESS-1", pid, img));
  ASSERT_EQ(sway.Client({"pointer", "0,0", "pause", "2,0", "1,1"}), 0) << "no virtual pointer";
  EXPECT_EQ(WaitExit(pid, 500 * kSlack), -1) << "4 pixels of travel ended the saver";
  ASSERT_EQ(sway.Client({"pointer", "0,1"}), 0);
  EXPECT_EQ(WaitExit(pid, 10000 * kSlack), 0) << "5 pixels of travel did not end the saver";
  Reap(pid);
}

// The compositor gone: the program ends within 2 s, never spinning on.
TEST(WaylandSaver, EndsWhenTheCompositorDies) {
  Sway sway;
  START_SWAY(sway);
  const pid_t pid = sway.Run({"/s"});
  Image img;
  ASSERT_TRUE(WaitScene(sway, "HEADLESS-2", pid, img));
  sway.Kill();
  EXPECT_NE(WaitExit(pid, 2000 * kSlack), -1) << "still running 2 s after the compositor died";
  Reap(pid);
}

// After many frames each output holds what the headless renderer draws for
// its size: as many red star pixels, give or take the stars' own spread. A
// frame lost between the buffers, or damage not sent, leaves trails that
// only ever add red.
TEST(WaylandSaver, ManyFramesLeaveNoTrails) {
  Sway sway;
  START_SWAY(sway);
  sway.WriteSettings(kStarsRed);
  const pid_t pid = sway.Run({"/s"});
  Image img;
  ASSERT_TRUE(WaitScene(sway, "HEADLESS-1", pid, img));
  SleepMs(8000);  // some hundreds of frames on both outputs
  for (const auto& [output, size] : {std::pair{"HEADLESS-1", "1920x1080"}, {"HEADLESS-2", "1280x720"}}) {
    // The renderer's picture of the same size and settings, as PPM.
    const std::string png = std::string(::testing::TempDir()) + "/wayland-render";
    long expected = 0, seen = 0;
    ASSERT_EQ(sway.Tool({Program(), "--render", png + ".png", "--size", size, "--seconds", "5", "--seed", "7",
                         "--set", "StarColor=255", "--set", "StarNumber=500", "--set", "StarVelocity=2", "--set",
                         "ObjectColor=65280"}),
              0);
    ASSERT_EQ(sway.Tool({"convert", png + ".png", png + ".ppm"}), 0);
    Image reference;
    ASSERT_TRUE(ReadPpm(png + ".ppm", reference));
    Stars(reference, &expected);
    ASSERT_TRUE(sway.Look(output, img));
    Stars(img, &seen);
    EXPECT_GT(expected, 0);
    EXPECT_LT(seen, expected * 3 / 2) << output << ": trails (" << seen << " red pixels, the renderer " << expected
                                      << ")";
    EXPECT_GT(seen, expected / 2) << output << ": stars missing (" << seen << " red pixels, the renderer "
                                  << expected << ")";
  }
  kill(pid, SIGTERM);
  EXPECT_EQ(WaitExit(pid, 10000 * kSlack), 0) << "SIGTERM did not end the saver with 0";
  Reap(pid);
}

// Outputs that change under the saver: a resized one is covered at its new
// size, an added one gets a scene, and a scale-2 one is filled in real
// pixels, its scene centred on it.
TEST(WaylandSaver, FollowsOutputsThatChange) {
  Sway sway;
  START_SWAY(sway);
  sway.WriteSettings(kStarsRed);
  const pid_t pid = sway.Run({"/s"});
  Image img;
  ASSERT_TRUE(WaitScene(sway, "HEADLESS-2", pid, img));
  ASSERT_EQ(sway.Tool({"swaymsg", "output", "HEADLESS-2", "resolution", "1024x768"}), 0);
  ASSERT_TRUE(WaitScene(sway, "HEADLESS-2", pid, img) && img.width == 1024 && img.height == 768)
      << "the resized output is not covered";
  ExpectCentred(sway, "HEADLESS-2", 1024, 768);
  ASSERT_EQ(sway.Tool({"swaymsg", "create_output"}), 0);
  EXPECT_TRUE(WaitScene(sway, "HEADLESS-3", pid, img)) << "the added output got no scene";
  ASSERT_EQ(sway.Tool({"swaymsg", "output", "HEADLESS-1", "scale", "2"}), 0);
  ASSERT_TRUE(WaitScene(sway, "HEADLESS-1", pid, img)) << "the scale-2 output is not covered";
  ExpectCentred(sway, "HEADLESS-1", 1920, 1080);
  EXPECT_EQ(WaitExit(pid, 0), -1) << "ended on its own";
  kill(pid, SIGTERM);
  EXPECT_EQ(WaitExit(pid, 10000 * kSlack), 0);
  Reap(pid);
}

// --idle 2: the saver shows after about 2 s without input, a key ends it, and
// it shows again; a visible window holding an idle inhibitor keeps it off.
TEST(WaylandIdle, ShowsWhenIdleEndsOnInputAndRespectsInhibitors) {
  Sway sway;
  START_SWAY(sway);
  const pid_t pid = sway.Run({"--idle", "2"});
  Image img;
  ASSERT_TRUE(WaitScene(sway, "HEADLESS-1", pid, img)) << "the saver did not show when idle";
  sway.Tool({"wtype", "-s", "300", "-k", "Escape"});
  ASSERT_TRUE(WaitEmpty(sway, "HEADLESS-1")) << "a key did not end the saver";
  ASSERT_TRUE(WaitScene(sway, "HEADLESS-1", pid, img)) << "the saver did not show again";
  sway.Tool({"wtype", "-s", "300", "-k", "Escape"});
  ASSERT_TRUE(WaitEmpty(sway, "HEADLESS-1"));
  const pid_t inhibitor = sway.StartClient({"inhibit"});
  SleepMs(500);
  sway.Tool({"wtype", "-s", "300", "-k", "Escape"});
  SleepMs(5000 * kSlack);
  ASSERT_TRUE(sway.Look("HEADLESS-2", img));
  EXPECT_GT(Uncovered(img), 0) << "the saver showed over an idle inhibitor";
  EXPECT_EQ(WaitExit(pid, 0), -1) << "--idle ended";
  kill(pid, SIGTERM);
  EXPECT_EQ(WaitExit(pid, 10000 * kSlack), 0) << "SIGTERM did not end --idle with 0";
  Reap(pid);
  Reap(inhibitor);
}

// Under XWayland the X11 saver keeps running until a key: the focus moving
// to no X window while its keyboard grab holds is not a loss of input.
TEST(WaylandXWayland, X11SaverRunsUntilAKey) {
  Sway sway;
  START_SWAY(sway, true);
  const pid_t pid = sway.Run({"--x11", "/s"});
  Image img;
  ASSERT_TRUE(WaitScene(sway, "HEADLESS-1", pid, img)) << "the X11 saver showed nothing under XWayland";
  SleepMs(500);
  ASSERT_EQ(WaitExit(pid, 0), -1) << "ended on its own";
  sway.Tool({"wtype", "-s", "300", "-k", "Escape"});
  EXPECT_EQ(WaitExit(pid, 10000 * kSlack), 0) << "a key did not end the saver with 0";
  Reap(pid);
}

}  // namespace
