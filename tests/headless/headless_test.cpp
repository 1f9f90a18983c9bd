// The headless renderer end to end: the same arguments give the same bytes,
// and outputs that cannot be written fail cleanly.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/offscreen/headless.h"

namespace tk {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

std::string TempPath(const std::string& name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/tk_headless_" + std::to_string(::getpid()) + "_" + name;
}

TEST(Headless, SameArgumentsGiveByteIdenticalFiles) {
  Options o;
  o.width = 320;
  o.height = 240;
  o.seconds = 12;
  o.seed = 7;
  o.renderPath = TempPath("a.png");
  o.gifPath = TempPath("a.gif");
  o.every = 25;
  ASSERT_EQ(RunHeadless(o), 0);
  const std::string png1 = Slurp(o.renderPath), gif1 = Slurp(o.gifPath);
  ASSERT_GT(png1.size(), 100u);
  ASSERT_GT(gif1.size(), 100u);
  ASSERT_EQ(RunHeadless(o), 0);
  EXPECT_EQ(Slurp(o.renderPath), png1);
  EXPECT_EQ(Slurp(o.gifPath), gif1);
  // Another seed gives another picture.
  o.seed = 8;
  ASSERT_EQ(RunHeadless(o), 0);
  EXPECT_NE(Slurp(o.renderPath), png1);
  std::remove(o.renderPath.c_str());
  std::remove(o.gifPath.c_str());
}

TEST(Headless, EveryFormatRenders) {
  for (int format : {32, 24, 16, 15, 8}) {
    Options o;
    o.width = 200;
    o.height = 150;
    o.seconds = 1;
    o.format = format;
    o.renderPath = TempPath("f.png");
    EXPECT_EQ(RunHeadless(o), 0) << format;
    EXPECT_GT(Slurp(o.renderPath).size(), 50u);
    std::remove(o.renderPath.c_str());
  }
}

// An output in a directory that does not exist is a one-line error with
// status 2, and leaves no partial file behind.
TEST(Headless, UnwritableOutputFailsWithoutLeavingAFile) {
  Options o;
  o.width = 64;
  o.height = 64;
  o.seconds = 0.5;
  o.renderPath = "/nonexistent-dir/x.png";
  EXPECT_EQ(RunHeadless(o), 2);
  o.renderPath.clear();
  o.gifPath = "/nonexistent-dir/x.gif";
  EXPECT_EQ(RunHeadless(o), 2);
  o.gifPath.clear();
  o.recordDir = "/proc/no-such-place/frames";
  EXPECT_EQ(RunHeadless(o), 2);
}

}  // namespace
}  // namespace tk
