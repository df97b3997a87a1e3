// Giving a decoded image the pixel block a reader fills: the record's sizes
// and pitches for rows without padding, and an owned, uninitialised block of
// such rows. The reader has checked the sizes against the limits.
#pragma once

#include "imagecodec/decoded_image.h"
#include "pixel/pixel_format.h"

#include <cstdlib>

namespace quillmark {

inline void DescribePixels(DecodedImage& image, D3DFORMAT format, UINT width, UINT height) {
    image.format = format;
    image.width = width;
    image.height = height;
    image.depth = 1;
    image.rowPitch = static_cast<UINT>(LookupPixelFormat(format).RowBytes(width));
    image.slicePitch = 0;
}

inline HRESULT AllocatePixels(DecodedImage& image, D3DFORMAT format, UINT width, UINT height) {
    DescribePixels(image, format, width, height);
    image.pixels = static_cast<BYTE*>(std::malloc(std::size_t{image.rowPitch} * height));
    if (image.pixels == nullptr) return E_OUTOFMEMORY;
    image.ownsPixels = TRUE;
    return S_OK;
}

}  // namespace quillmark
