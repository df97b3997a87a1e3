// Wrapping a locked surface or volume as a DecodedImage for the writers,
// without copying or owning its pixels.
#include "decoded_image.h"
#include "surface_desc.h"

#include <cstdlib>

namespace quillmark {
namespace {

bool IsBlockCompressed(D3DFORMAT format) {
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
           format == D3DFMT_DXT5;
}

bool IsPixelPair(D3DFORMAT format) {
    return format == D3DFMT_YUY2 || format == D3DFMT_UYVY || format == D3DFMT_R8G8_B8G8 ||
           format == D3DFMT_G8R8_G8B8;
}

}  // namespace

HRESULT DecodedImage::FromSurface(const SurfaceDesc& desc) {
    if (ownsPixels) std::free(pixels);
    if (ownsPalette) std::free(palette);
    format = desc.Format;
    pixels = desc.Data;
    palette = const_cast<PALETTEENTRY*>(desc.Palette);
    box = desc.Box;
    rowPitch = static_cast<UINT>(desc.RowPitch);
    slicePitch = static_cast<UINT>(desc.SlicePitch);
    // Pixels that come in groups are described from the start of their group.
    if (IsBlockCompressed(format)) {
        box.Left &= ~3u;
        box.Top &= ~3u;
    } else if (IsPixelPair(format)) {
        box.Left &= ~1u;
    }
    ownsPixels = FALSE;
    ownsPalette = FALSE;
    width = box.Right - box.Left;
    height = box.Bottom - box.Top;
    depth = box.Back - box.Front;
    return S_OK;
}

}  // namespace quillmark
