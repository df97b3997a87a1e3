// Filling every level of a texture, volume texture or cube texture from a
// decoded image, and building the levels below a given one from the levels
// above them.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/win32/wintypes.h"

namespace quillmark {

struct DecodedImage;

// What filling a resource from a decoded image takes besides the resource.
struct MipChainSource {
    const DecodedImage* image = nullptr;  // face 0's top level; faces along nextFace, levels along nextLevel
    UINT imageLevels = 1;                 // levels the image carries per face
    UINT faceCount = 1;                   // 1, or 6 for a cube
    DWORD filter = 0;                     // how each image level is fitted into its resource level
    DWORD mipFilter = 0;                  // how missing levels are built (point or box: each from the one above)
    D3DCOLOR colorKey = 0;
    const PALETTEENTRY* imagePalette = nullptr;     // 256 entries
    const PALETTEENTRY* resourcePalette = nullptr;  // 256 entries, or null
};

// Loads each level of each face from its own image level while the image
// has one. The levels past the image's come either from RegenerateMipLevels
// with the mip filter (when the level filter is RESAMPLE_NONE or the mip
// filter is point or box), or by resampling the image's smallest level
// straight into each of them with the level filter. The first failing call
// ends the filling with its result.
HRESULT LoadMipChain(IDirect3DBaseTexture9* resource, const MipChainSource& source);

// Rebuilds every level of a texture, volume texture or cube texture below
// `sourceLevel` (TEX_AUTO: 0). Filter TEX_AUTO: the box filter when level 0
// has power-of-two sizes, else triangle with dither. With a point or box
// filter each level is built from the one above, otherwise each from the
// source level. Cube faces are filtered with mirrored edges. `palette` (may
// be null) serves as source and destination palette. D3DERR_INVALIDCALL for
// a null or non-texture resource or a source level past the last.
HRESULT RegenerateMipLevels(IDirect3DBaseTexture9* texture, const PALETTEENTRY* palette, UINT sourceLevel,
                            DWORD filter);

}  // namespace quillmark
