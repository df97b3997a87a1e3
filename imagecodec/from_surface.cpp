// Wrapping a locked surface or volume as a DecodedImage for the writers,
// without copying or owning its pixels, and describing a record back as one
// side of a conversion.
#include "imagecodec/decoded_image.h"
#include "pixel/pixel_format.h"
#include "pixel/surface_desc.h"

#include <cstdlib>

namespace quillmark {

HRESULT DecodedImage::FromSurface(const SurfaceDesc& desc) {
    if (ownsPixels) std::free(pixels);
    if (ownsPalette) std::free(palette);
    format = desc.Format;
    pixels = desc.Data;
    palette = const_cast<PALETTEENTRY*>(desc.Palette);
    box = desc.Box;
    rowPitch = static_cast<UINT>(desc.RowPitch);
    slicePitch = static_cast<UINT>(desc.SlicePitch);
    // Pixels that come in blocks are described from the start of their block.
    const PixelFormatInfo& info = LookupPixelFormat(format);
    box.Left -= box.Left % info.blockWidth;
    box.Top -= box.Top % info.blockHeight;
    ownsPixels = FALSE;
    ownsPalette = FALSE;
    width = box.Right - box.Left;
    height = box.Bottom - box.Top;
    depth = box.Back - box.Front;
    return S_OK;
}

SurfaceDesc DecodedImage::Describe() const {
    SurfaceDesc desc;
    desc.Data = pixels;
    desc.Format = format;
    desc.RowPitch = static_cast<INT>(rowPitch);
    desc.SlicePitch = static_cast<INT>(slicePitch);
    desc.Extent = box;
    desc.Box = box;
    desc.Palette = palette;
    return desc;
}

}  // namespace quillmark
