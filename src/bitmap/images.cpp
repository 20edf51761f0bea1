#include "bitmap/images.h"

#include <iterator>

// The pictures are XPM files; an XPM file is the C array that it defines.
#include "desel16.xpm"
#include "icon.xpm"
#include "icq32x32.xpm"
#include "sel16.xpm"

// A bitmap copies a header, the colours and the rows: an edited picture must hold them all.
static_assert(std::size(icon) == 1 + 256 + 16);
static_assert(std::size(icq32x32_xpm) == 1 + 256 + 32);
static_assert(std::size(sel16_xpm) == 1 + 7 + 16);
static_assert(std::size(desel16_xpm) == 1 + 8 + 16);
