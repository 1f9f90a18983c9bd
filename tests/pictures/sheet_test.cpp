#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/offscreen/sheet.h"

namespace tk {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// TK_SHEET_OUT names where to keep the sheet (docs/sheet.png is made so).
TEST(ContactSheet, WritesTheSameSheetForTheSameSeed) {
  const char* keep = std::getenv("TK_SHEET_OUT");
  const auto dir = std::filesystem::temp_directory_path();
  Options options;
  options.seed = 4;
  options.sheetPath = keep ? std::string(keep) : (dir / "tk_sheet_a.png").string();
  ASSERT_EQ(RunSheetImpl(options), 0);
  const std::string first = ReadAll(options.sheetPath);
  ASSERT_GT(first.size(), 1000u);
  EXPECT_EQ(first.substr(1, 3), "PNG");
  options.sheetPath = (dir / "tk_sheet_b.png").string();
  ASSERT_EQ(RunSheetImpl(options), 0);
  EXPECT_EQ(ReadAll(options.sheetPath), first);
  std::filesystem::remove(options.sheetPath);
  if (!keep) std::filesystem::remove(dir / "tk_sheet_a.png");

  options.sheetPath = "/nonexistent-dir/x/sheet.png";
  EXPECT_EQ(RunSheetImpl(options), 2);
}

}  // namespace
}  // namespace tk
