#pragma once
// Follows the desktop's light or dark preference. Qt's own platform themes give a dark
// palette only on some desktops; where they do not, the preference is read from the desktop
// portal (org.freedesktop.appearance color-scheme) and a dark palette is put in place.

#include <QPalette>

namespace ColourScheme {

enum class EScheme
{
    NoPreference,
    Dark,
    Light,
};

// QUARROW_COLOR_SCHEME=dark|light first, then the desktop portal (asked with a short
// time-out, so a missing portal never delays the start).
EScheme DesktopPreference();

// The palette the program uses for a dark desktop.
QPalette DarkPalette();

// Applies the desktop's preference to the application, once at start-up.
void Apply();

} // namespace ColourScheme
