// Textures from image files: a file (or its bytes in memory) decoded by
// whichever image reader accepts it, with the size, level count, format and
// filters the caller leaves to the library chosen from the image and the
// device, created and filled level by level.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "imagecodec/image_types.h"
#include "platform/win32/wintypes.h"

namespace quillmark {

// A texture from the image file `path`, e.g. with everything left to the
// library:
//   TextureFromImageFile(device, "photo.bmp", TEX_AUTO, TEX_AUTO, TEX_AUTO, 0, D3DFMT_UNKNOWN,
//                        D3DPOOL_MANAGED, TEX_AUTO, TEX_AUTO, 0, nullptr, nullptr, &texture);
// D3DERR_INVALIDCALL for a null path or an empty file; TEXERR_UNREADABLE when
// the file cannot be opened or mapped (a file of 4 GiB or more among them)
// or no reader accepts it; otherwise as TextureFromImageMemory.
HRESULT TextureFromImageFile(IDirect3DDevice9* device, const char* path, UINT width, UINT height, UINT mipLevels,
                             DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                             D3DCOLOR colorKey, ImageInfo* imageInfo, PALETTEENTRY* palette,
                             IDirect3DTexture9** outTexture);

// The same from a whole file held in memory.
HRESULT TextureFromImageMemory(IDirect3DDevice9* device, const void* bytes, UINT byteCount, UINT width, UINT height,
                               UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                               DWORD mipFilter, D3DCOLOR colorKey, ImageInfo* imageInfo, PALETTEENTRY* palette,
                               IDirect3DTexture9** outTexture);

// The worker for textures, volume textures and cube textures.
//  - Sizes: TEX_IMAGE_SIZE is the image's; 0 or TEX_AUTO the smallest power
//    of two not below it; mipLevels 0 or TEX_AUTO the full chain. The
//    device then fits them (FitTextureToDevice).
//  - Format D3DFMT_UNKNOWN: the image's own, with a one-bit alpha added when
//    a colour key applies to an image without alpha; 24-bit RGB becomes
//    X8R8G8B8 outside the scratch pool. An 8-bit palette holding the grey
//    ramp or the 3-3-2 layout is read as L8 or R3G3B2 data.
//  - Palettes: the colour key makes the palette entries equal to it
//    transparent black; `palette` (256 entries, may be null) receives the
//    image's palette so treated. Without it a palettized format becomes
//    X8R8G8B8, or A8R8G8B8 when an entry is not opaque.
//  - Filters TEX_AUTO: triangle with dither for the levels, box for the mip
//    chain; cube faces are filtered with mirrored edges.
//  - resourceType D3DRTYPE_TEXTURE, D3DRTYPE_VOLUMETEXTURE,
//    D3DRTYPE_CUBETEXTURE, or TEX_AUTO for the image's own kind.
// On success *outResource holds one reference to an IDirect3DTexture9,
// IDirect3DVolumeTexture9 or IDirect3DCubeTexture9 (as resourceType says).
// D3DERR_INVALIDCALL for a null device, bytes or out, no bytes, or a usage
// or pool the device step refuses; TEXERR_UNREADABLE when no reader accepts
// the bytes; E_FAIL for a cube from an image without six faces;
// D3DERR_NOTAVAILABLE when the device has no usable format; the failing
// device call's result otherwise. *outResource is written only on success;
// imageInfo and palette may have been written on failure.
HRESULT CreateResourceFromImageMemory(IDirect3DDevice9* device, const void* bytes, UINT byteCount, UINT width,
                                      UINT height, UINT depth, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                      D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                      ImageInfo* imageInfo, PALETTEENTRY* palette, D3DRESOURCETYPE resourceType,
                                      IDirect3DBaseTexture9** outResource);

}  // namespace quillmark
