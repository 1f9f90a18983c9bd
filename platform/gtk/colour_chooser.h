#pragma once
// The colour chooser behind the two "Изменить..." buttons: GTK's chooser
// dialog, offered the saver's colours and the custom colours the user made
// in this process.
#include <array>
#include <cstdint>
#include <span>

#include <gtk/gtk.h>

namespace tk::gtk {

// Settings colours are 0x00BBGGRR.
GdkRGBA ToRgba(uint32_t colour);
uint32_t FromRgba(const GdkRGBA& rgba);

// The fixed colours offered above the custom ones; the saver's default star
// and object colours are among them, so reopening on a default colour finds
// its swatch instead of adding a new one.
std::span<const uint32_t> StandardColours();

// A colour confirmed in the chooser that is in neither the standard nor the
// custom colours becomes custom colour 0, the others move up one and the
// last drops out. Returns whether the custom colours changed.
bool RememberCustomColour(std::array<uint32_t, 16>& custom, uint32_t chosen);

// Runs the chooser modally over `parent`, starting at `current`. Returns the
// confirmed colour, or `current` when the user cancels or closes it.
uint32_t RunColourChooser(GtkWindow* parent, uint32_t current, std::array<uint32_t, 16>& custom);

}  // namespace tk::gtk
