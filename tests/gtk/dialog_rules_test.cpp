// The settings dialog's rules that need no display: where the About box
// goes, and how colours cross between the settings and GTK's chooser.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/gtk/colour_chooser.h"
#include "settings/about_box.h"
#include "settings/settings.h"

namespace tk {
namespace {

// Centring by the outer size or rounding the halves away from zero moves the box.
TEST(AboutBox, CentredByItsClientSizeOverTheDialog) {
  EXPECT_EQ(AboutBoxOrigin({100, 100, 520, 620}, 279, 160), (ScreenPoint{170, 280}));
  // Odd leftovers truncate: (421 - 280) / 2 = 70, (9 - 10) / 2 = 0.
  EXPECT_EQ(AboutBoxOrigin({0, 0, 421, 9}, 280, 10), (ScreenPoint{70, 0}));
  // A box larger than the dialog still centres, reaching past its edges.
  EXPECT_EQ(AboutBoxOrigin({50, 50, 150, 150}, 300, 200), (ScreenPoint{-50, 0}));
}

// Red and blue swapped would turn the light-blue stars orange.
TEST(ChooserColours, SettingsColoursAreBlueGreenRed) {
  const GdkRGBA light = gtk::ToRgba(0xff9070);
  EXPECT_DOUBLE_EQ(light.red, 0x70 / 255.0);
  EXPECT_DOUBLE_EQ(light.green, 0x90 / 255.0);
  EXPECT_DOUBLE_EQ(light.blue, 1.0);
  EXPECT_DOUBLE_EQ(light.alpha, 1.0);
  for (uint32_t c : {0x000000u, 0xffffffu, 0x123456u, 0x010203u, 0xff9070u}) EXPECT_EQ(gtk::FromRgba(gtk::ToRgba(c)), c);
  // The chooser's own arithmetic leaves channels a hair off a whole step.
  EXPECT_EQ(gtk::FromRgba(GdkRGBA{0.999999, 0.5, 1e-7, 1}), 0x0080ffu);
}

// Reopening on a default colour must find its swatch, not add a custom one.
TEST(ChooserColours, DefaultColoursAreOffered) {
  const auto standard = gtk::StandardColours();
  const Settings defaults;
  EXPECT_NE(std::find(standard.begin(), standard.end(), defaults.starColor), standard.end());
  EXPECT_NE(std::find(standard.begin(), standard.end(), defaults.objectColor), standard.end());
}

// Custom colours: newest first, no duplicates, standard colours never take a slot.
TEST(ChooserColours, NewColoursBecomeCustomColourZero) {
  std::array<uint32_t, 16> custom{};
  for (uint32_t i = 0; i < 16; ++i) custom[i] = 0x100 + i;
  EXPECT_TRUE(gtk::RememberCustomColour(custom, 0x424242));
  EXPECT_EQ(custom[0], 0x424242u);
  EXPECT_EQ(custom[1], 0x100u);
  EXPECT_EQ(custom[15], 0x10eu);  // 0x10f dropped out
  EXPECT_FALSE(gtk::RememberCustomColour(custom, 0x424242));
  EXPECT_FALSE(gtk::RememberCustomColour(custom, 0x105));
  EXPECT_FALSE(gtk::RememberCustomColour(custom, 0xff9070));
  EXPECT_EQ(custom[0], 0x424242u);
  EXPECT_EQ(custom[1], 0x100u);
}

}  // namespace
}  // namespace tk
