// Loading pixels into surfaces and volumes: from memory or from another
// surface or volume, converting the format and resampling the size with the
// filter word (TEX_AUTO: triangle filter with ordered dither).
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/win32/wintypes.h"

namespace quillmark {

// srcRect addresses the memory image whose top-left texel is at srcData;
// destRect null means the whole surface. A source rectangle that is not
// 0 <= left <= right, 0 <= top <= bottom is D3DERR_INVALIDCALL; an empty
// destination rectangle is done without work.
HRESULT CopyMemoryToSurface(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette, const RECT* destRect,
                            const void* srcData, D3DFORMAT srcFormat, UINT srcRowPitch,
                            const PALETTEENTRY* srcPalette, const RECT* srcRect, DWORD filter, D3DCOLOR colorKey);

// Tries a device copy first (equal sizes, no box filter, no colour key, same
// palettes), then converts through locks.
HRESULT CopySurfaceToSurface(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette, const RECT* destRect,
                             IDirect3DSurface9* srcSurface, const PALETTEENTRY* srcPalette, const RECT* srcRect,
                             DWORD filter, D3DCOLOR colorKey);

HRESULT CopyMemoryToVolume(IDirect3DVolume9* destVolume, const PALETTEENTRY* destPalette, const D3DBOX* destBox,
                           const void* srcData, D3DFORMAT srcFormat, UINT srcRowPitch, UINT srcSlicePitch,
                           const PALETTEENTRY* srcPalette, const D3DBOX* srcBox, DWORD filter, D3DCOLOR colorKey);

HRESULT CopyVolumeToVolume(IDirect3DVolume9* destVolume, const PALETTEENTRY* destPalette, const D3DBOX* destBox,
                           IDirect3DVolume9* srcVolume, const PALETTEENTRY* srcPalette, const D3DBOX* srcBox,
                           DWORD filter, D3DCOLOR colorKey);

}  // namespace quillmark
