#include "shell/input_rules.h"

#include <gtest/gtest.h>

namespace tk {
namespace {

// Travel: a wrong sign or a Euclidean measure would move the 4-pixel line.
// Across the whole coordinate range, differences taken in 32 bits wrap: a
// jump from one end to the other would count as 1 or 2 pixels and keep the
// saver (Windows and X11 both measure through this one function).
TEST(PointerTravel, SumsAbsoluteDistancesWithoutOverflow) {
  EXPECT_EQ(PointerTravel({10, 10}, {12, 12}), 4u);
  EXPECT_EQ(PointerTravel({10, 10}, {7, 12}), 5u);
  EXPECT_EQ(PointerTravel({0, 0}, {0, 0}), 0u);
  EXPECT_EQ(PointerTravel({INT32_MIN, 0}, {INT32_MAX, 0}), 0xFFFFFFFFu);
  EXPECT_EQ(PointerTravel({INT32_MAX, 0}, {INT32_MIN, 1}), 0xFFFFFFFFu);  // 2^32: saturated, not wrapped to 0
  EXPECT_EQ(PointerTravel({0, INT32_MAX}, {0, INT32_MIN}), 0xFFFFFFFFu);
  EXPECT_EQ(PointerTravel({INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX}), 0xFFFFFFFFu);
}

// Exactly 4 pixels keeps the saver, 5 closes it (an off-by-one here ends the
// saver on a nudged desk).
TEST(InputWatch, FourPixelsKeepFiveClose) {
  InputWatch w(true, true);
  w.SetAnchor({100, 100});
  EXPECT_FALSE(w.ShouldClose(InputKind::kPointerMotion, {102, 102}));
  EXPECT_FALSE(w.ShouldClose(InputKind::kPointerMotion, {96, 100}));
  EXPECT_TRUE(w.ShouldClose(InputKind::kPointerMotion, {105, 100}));
}

// Slow drift: small steps must add up against the first anchor, not move it.
TEST(InputWatch, SlowDriftAccumulatesAgainstTheAnchor) {
  InputWatch w(true, true);
  w.SetAnchor({0, 0});
  for (int x = 1; x <= 4; ++x) EXPECT_FALSE(w.ShouldClose(InputKind::kPointerMotion, {x, 0})) << x;
  EXPECT_EQ(w.anchor().x, 0);
  EXPECT_TRUE(w.ShouldClose(InputKind::kPointerMotion, {5, 0}));
  EXPECT_EQ(w.anchor().x, 5);  // the close moves the anchor to where the cursor is
}

TEST(InputWatch, KeysButtonsAndPowerCloseAtOnce) {
  for (InputKind k : {InputKind::kKeyPress, InputKind::kButtonPress, InputKind::kPowerEvent}) {
    InputWatch w(true, false);
    EXPECT_TRUE(w.ShouldClose(k)) << static_cast<int>(k);
  }
  InputWatch w(true, true);
  EXPECT_FALSE(w.ShouldClose(InputKind::kOther));
}

// Focus loss ends a full-screen saver only; an ordinary window loses focus
// when the user clicks elsewhere, which is not "input to the saver".
TEST(InputWatch, FocusLossClosesFullScreenOnly) {
  InputWatch full(true, true), windowed(true, false);
  EXPECT_TRUE(full.ShouldClose(InputKind::kFocusLost));
  EXPECT_FALSE(windowed.ShouldClose(InputKind::kFocusLost));
}

// A preview or a hack never closes on input: it ends with its window.
TEST(InputWatch, PreviewNeverCloses) {
  InputWatch w(false, false);
  w.SetAnchor({0, 0});
  EXPECT_FALSE(w.ShouldClose(InputKind::kKeyPress));
  EXPECT_FALSE(w.ShouldClose(InputKind::kPointerMotion, {500, 500}));
  EXPECT_FALSE(w.ShouldClose(InputKind::kFocusLost));
}

// One close per burst: a second key after the close was asked is ignored.
TEST(InputWatch, AsksToCloseOnlyOnce) {
  InputWatch w(true, true);
  EXPECT_TRUE(w.ShouldClose(InputKind::kKeyPress));
  EXPECT_TRUE(w.closing());
  EXPECT_FALSE(w.ShouldClose(InputKind::kButtonPress));
  EXPECT_FALSE(w.ShouldClose(InputKind::kPointerMotion, {1000, 1000}));
}

}  // namespace
}  // namespace tk
