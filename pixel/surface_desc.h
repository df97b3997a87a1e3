// SurfaceDesc: one side of a pixel conversion (a block of pixels in memory or
// in a locked surface or volume), and the filter word that tells
// RunConversion how to resample and convert.
#pragma once

#include "platform/d3d9/d3d9types.h"

namespace quillmark {

// Filter kinds, in the low 16 bits of the filter word.
constexpr DWORD RESAMPLE_NONE = 1;
constexpr DWORD RESAMPLE_POINT = 2;
constexpr DWORD RESAMPLE_LINEAR = 3;
constexpr DWORD RESAMPLE_TRIANGLE = 4;
constexpr DWORD RESAMPLE_BOX = 5;
constexpr DWORD RESAMPLE_KIND_MASK = 0xFFFF;

// Flags.
constexpr DWORD RESAMPLE_MIRROR_U = 0x10000;
constexpr DWORD RESAMPLE_MIRROR_V = 0x20000;
constexpr DWORD RESAMPLE_MIRROR_W = 0x40000;
constexpr DWORD RESAMPLE_MIRROR = 0x70000;
constexpr DWORD RESAMPLE_DITHER = 0x80000;
constexpr DWORD RESAMPLE_DITHER_DIFFUSION = 0x100000;
constexpr DWORD RESAMPLE_SRGB_IN = 0x200000;
constexpr DWORD RESAMPLE_SRGB_OUT = 0x400000;
// Every bit from here up is invalid.
constexpr DWORD RESAMPLE_INVALID_BITS = 0xFF800000;

struct SurfaceDesc {
    BYTE* Data = nullptr;  // texel (0, 0, 0) of the coordinates Box is given in
    D3DFORMAT Format = D3DFMT_UNKNOWN;
    INT RowPitch = 0;    // bytes between rows (block formats: rows of blocks)
    INT SlicePitch = 0;  // bytes between slices; 0 for 2-D blocks
    D3DBOX Extent = {};  // the whole image the block belongs to
    D3DBOX Box = {};     // region to read or write; right, bottom, back exclusive
    DWORD Dither = 0;           // destination: ordered dither thresholds
    DWORD DiffusionDither = 0;  // destination: diffuse the rounding error
    DWORD Srgb = 0;             // values are gamma-encoded
    D3DCOLOR ColorKey = 0;      // source: A8R8G8B8 colour keyed to (0, 0, 0, 0); 0 = none
    const PALETTEENTRY* Palette = nullptr;  // 256 entries, or null
};

}  // namespace quillmark
