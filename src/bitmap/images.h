#pragma once

// The pictures are the XPM files beside this header, compiled in by images.cpp.

/// The plug-in's icon: 16x16, 256 colours, two characters a pixel, "--" is transparent.
extern const char* icon[];
/// The ICQ flower of the options page: 32x32, the colours of `icon`; tabs on its colour lines.
extern const char* icq32x32_xpm[];
/// The "select default settings" button picture: 16x16, 7 colours, " " is transparent.
extern const char* sel16_xpm[];
/// The "deselect all settings" button picture: 16x16, 8 colours, " " is transparent.
extern const char* desel16_xpm[];
