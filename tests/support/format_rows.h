// Rows of the pixel-format table altered for format-search tests.
#pragma once

#include "pixel/pixel_format.h"

#include <cstdint>

namespace quillmark::testing {

// The row of `format` with `alphaBits` of alpha, under an id no table row has.
inline PixelFormatInfo WithAlpha(D3DFORMAT format, std::uint32_t alphaBits) {
    PixelFormatInfo row = LookupPixelFormat(format);
    row.alphaBits = alphaBits;
    row.format = 0xABCD;
    return row;
}

}  // namespace quillmark::testing
