#include "platform/gtk/colour_chooser.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tk::gtk {
namespace {

// Nine columns of three, lightest on top: GTK's chooser lays palettes out
// best at nine or ten columns. 0x00BBGGRR.
constexpr std::array<uint32_t, 27> kStandard{
    0xffffff, 0xff9070, 0xf1c199, 0xa4f08f, 0x6bf0f9, 0x6fbeff, 0x5161f6, 0xdd8adc, 0x8fabcd,
    0xc0c0c0, 0xff0000, 0xd8711c, 0x00ff00, 0x00ffff, 0x0078ff, 0x0000ff, 0xff00ff, 0x446a98,
    0x808080, 0x800000, 0xffff00, 0x008000, 0x008080, 0x004080, 0x000080, 0x800080, 0x000000,
};

double Channel(uint32_t colour, int shift) { return ((colour >> shift) & 0xff) / 255.0; }
uint32_t Byte(double channel) { return static_cast<uint32_t>(std::lround(std::clamp(channel, 0.0, 1.0) * 255.0)); }

}  // namespace

GdkRGBA ToRgba(uint32_t colour) { return GdkRGBA{Channel(colour, 0), Channel(colour, 8), Channel(colour, 16), 1.0}; }

uint32_t FromRgba(const GdkRGBA& rgba) { return Byte(rgba.red) | Byte(rgba.green) << 8 | Byte(rgba.blue) << 16; }

std::span<const uint32_t> StandardColours() { return kStandard; }

bool RememberCustomColour(std::array<uint32_t, 16>& custom, uint32_t chosen) {
  chosen &= 0xffffff;
  if (std::find(kStandard.begin(), kStandard.end(), chosen) != kStandard.end()) return false;
  if (std::find(custom.begin(), custom.end(), chosen) != custom.end()) return false;
  std::copy_backward(custom.begin(), custom.end() - 1, custom.end());
  custom[0] = chosen;
  return true;
}

uint32_t RunColourChooser(GtkWindow* parent, uint32_t current, std::array<uint32_t, 16>& custom) {
  GtkWidget* chooser = gtk_color_chooser_dialog_new("Цвет", parent);
  gtk_window_set_modal(GTK_WINDOW(chooser), TRUE);
  gtk_color_chooser_set_use_alpha(GTK_COLOR_CHOOSER(chooser), FALSE);

  std::vector<GdkRGBA> standard, mine;
  for (uint32_t c : kStandard) standard.push_back(ToRgba(c));
  for (uint32_t c : custom) mine.push_back(ToRgba(c));
  gtk_color_chooser_add_palette(GTK_COLOR_CHOOSER(chooser), GTK_ORIENTATION_HORIZONTAL, 9,
                                static_cast<int>(standard.size()), standard.data());
  gtk_color_chooser_add_palette(GTK_COLOR_CHOOSER(chooser), GTK_ORIENTATION_HORIZONTAL, 8,
                                static_cast<int>(mine.size()), mine.data());
  const GdkRGBA start = ToRgba(current);
  gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(chooser), &start);

  uint32_t result = current;
  if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_OK) {
    GdkRGBA chosen;
    gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(chooser), &chosen);
    result = FromRgba(chosen);
    RememberCustomColour(custom, result);
  }
  gtk_widget_destroy(chooser);
  return result;
}

}  // namespace tk::gtk
