// The command line: argument isolation, the mode dispatch and handles.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/command_line.h"

namespace tk {
namespace {

class FakeShell : public ShellServices {
 public:
  bool WindowExists(WindowId w) override { return w == 1234 || w == 77; }
  WindowId ForegroundWindow() override { return 555; }
  int RunSaver(WindowId parent) override {
    calls.push_back("saver " + std::to_string(parent));
    return 0;
  }
  int ShowSettings(WindowId owner) override {
    calls.push_back("settings " + std::to_string(owner));
    return 1;
  }
  void ChangePassword(WindowId owner) override { calls.push_back("password " + std::to_string(owner)); }
  std::vector<std::string> calls;
};

struct Case {
  const char* args;
  bool win9x;
  int result;
  const char* call;  // nullptr: nothing may be called
};

TEST(SaverMain, DispatchTable) {
  const Case cases[] = {
      {"", false, 1, "settings 0"},
      {"   ", false, 1, "settings 0"},
      {"/", false, 1, "settings 0"},
      {"-/ -", false, 1, "settings 0"},
      {"-s", false, 0, "saver 0"},
      {"/S", false, 0, "saver 0"},
      {"s", false, 0, "saver 0"},
      {" //s", false, 0, "saver 0"},
      {"/s extra words", false, 0, "saver 0"},
      {"/p 1234", false, 0, "saver 1234"},
      {"/p1234", false, 0, "saver 1234"},
      {"/l 1234", false, 0, "saver 1234"},
      {"/p:1234", false, -1, nullptr},  // the colon stops the number at once
      {"/p 99", false, -1, nullptr},    // no such window
      {"/p", false, -1, nullptr},
      {"/c:1234", false, 1, "settings 1234"},
      {"/c 1234", false, 1, "settings 555"},
      {"/c", false, 1, "settings 555"},
      {"/c:99", false, 1, "settings 555"},
      {"/a 1234", false, -1, nullptr},  // NT family: no password change
      {"/a 1234", true, 0, "password 1234"},
      {"/a", true, 0, "password 555"},
      {"/x", false, -1, nullptr},
      {"/\xC0s", false, -1, nullptr},  // codes of 128 and more are not letters
      {"1", false, -1, nullptr},
  };
  for (const Case& c : cases) {
    FakeShell shell;
    EXPECT_EQ(SaverMain(c.args, c.win9x, shell), c.result) << '"' << c.args << '"';
    if (c.call) {
      ASSERT_EQ(shell.calls.size(), 1u) << c.args;
      EXPECT_EQ(shell.calls[0], c.call) << c.args;
    } else {
      EXPECT_TRUE(shell.calls.empty()) << c.args;
    }
  }
}

// 4294968530 is 2^32 + 1234: Windows' rule wraps it onto window 1234; an X11
// window id never has more than 32 bits, so off Windows it names no window.
TEST(SaverMain, HandlesBeyond32BitsWrapOnlyWhereTheShellSaysSo) {
  struct NoWrap final : FakeShell {
    bool HandlesWrap() const override { return false; }
  };
  FakeShell wraps;
  EXPECT_EQ(SaverMain("/p 4294968530", false, wraps), 0);
  EXPECT_EQ(wraps.calls, std::vector<std::string>{"saver 1234"});
  NoWrap strict;
  EXPECT_EQ(SaverMain("/p 4294968530", false, strict), -1);
  EXPECT_EQ(SaverMain("/c:4294968530", false, strict), 1);
  EXPECT_EQ(SaverMain("/p 00000000001234", false, strict), 0);  // leading zeros are no overflow
  EXPECT_EQ(strict.calls, (std::vector<std::string>{"settings 555", "saver 1234"}));
}

// A handle with the top bit set must reach the platform widened by sign, the
// way 64-bit Windows hands such handles out; widened by zero it names no
// window, and a preview in it would fail with -1.
TEST(ParseHandle, HighHandlesWidenBySign) {
  EXPECT_EQ(WindowHandleBits(ParseHandle("1234")), uintptr_t{1234});
  EXPECT_EQ(WindowHandleBits(ParseHandle("2147483647")), uintptr_t{0x7FFFFFFF});
  const uintptr_t high = WindowHandleBits(ParseHandle("2147483648"));
  const uintptr_t top = WindowHandleBits(ParseHandle("4294967295"));
  if constexpr (sizeof(uintptr_t) == 8) {
    EXPECT_EQ(static_cast<uint64_t>(high), 0xFFFFFFFF80000000ull);
    EXPECT_EQ(static_cast<uint64_t>(top), 0xFFFFFFFFFFFFFFFFull);
  } else {
    EXPECT_EQ(high, uintptr_t{0x80000000u});
    EXPECT_EQ(top, uintptr_t{0xFFFFFFFFu});
  }
  // Back to a command-line handle without loss, as the foreground window is.
  EXPECT_EQ(static_cast<WindowId>(high), 0x80000000u);
}

TEST(ParseHandle, DigitsOnlyAndWrapsAt32Bits) {
  EXPECT_EQ(ParseHandle("1234"), 1234u);
  EXPECT_EQ(ParseHandle("12ab"), 12u);
  EXPECT_EQ(ParseHandle(""), 0u);
  EXPECT_EQ(ParseHandle(" 12"), 0u);
  EXPECT_EQ(ParseHandle("-12"), 0u);
  EXPECT_EQ(ParseHandle("0x10"), 0u);
  EXPECT_EQ(ParseHandle("4294967295"), 4294967295u);
  EXPECT_EQ(ParseHandle("4294967296"), 0u);
  EXPECT_EQ(ParseHandle("42949672961"), 1u);  // eleven digits wrap modulo 2^32
}

TEST(IsolateArguments, SkipsTheProgramNameQuotedOrNot) {
  EXPECT_EQ(IsolateArguments("saver.scr /s"), "/s");
  EXPECT_EQ(IsolateArguments("\"C:\\Program Files\\saver.scr\"   /p 12"), "/p 12");
  EXPECT_EQ(IsolateArguments("\"unterminated /s"), "");
  EXPECT_EQ(IsolateArguments("saver.scr\t\x01 /c"), "/c");
  EXPECT_EQ(IsolateArguments("saver.scr"), "");
  EXPECT_EQ(IsolateArguments(""), "");
  EXPECT_EQ(IsolateArguments("\"\" /s"), "/s");
  // A program path with bytes above 127 is still one name, not cut at the
  // first such byte.
  EXPECT_EQ(IsolateArguments("C:\\\xCF\xF0\xEE\\saver.scr /s"), "/s");
}

// The multi-byte step: a double-byte character whose second byte is a quote
// must not end the quoted name.
TEST(IsolateArguments, StepsByWholeCharacters) {
  auto dbcs = [](const char* p) -> const char* {
    return (static_cast<unsigned char>(*p) >= 0x81 && static_cast<unsigned char>(*p) <= 0x9F && p[1]) ? p + 2 : p + 1;
  };
  EXPECT_EQ(IsolateArguments("\"a\x81\"b\" /s", dbcs), "/s");
  EXPECT_EQ(IsolateArguments("\"a\x81", dbcs), "");
}

}  // namespace
}  // namespace tk
