// One palette entry: red, green, blue and a flags byte the library uses as
// alpha.
#pragma once

#include "wintypes.h"

struct PALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
};
