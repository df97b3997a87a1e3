// Direct row conversions between the common integer formats: each source
// field goes straight to the destination field through an integer table (or
// a plain bit move where the widths agree), with no FloatColor row between.
// Every result equals what decoding to FloatColor and plain-rounding back
// gives; they serve conversions without resampling, error diffusion, colour
// key, gamma or range change, and ordered dithering where it changes
// nothing.
#pragma once

#include "pixel/row_codec.h"

namespace quillmark {

inline constexpr UINT kPaletteEntries = 256;
// The largest destination pixel, in bytes (the palette table holds
// kPaletteEntries of them).
inline constexpr UINT kDirectPixelBytesMax = 4;

struct DirectConversion {
    // Converts `width` pixels of one row; `paletteTable` is what
    // encodePalette wrote, for P8 sources.
    void (*row)(const BYTE* source, BYTE* destination, UINT width, const BYTE* paletteTable);
    // P8 sources only (else null): writes the 256 palette entries as
    // destination pixels into `table`, once per conversion.
    void (*encodePalette)(const FloatColor* palette, BYTE* table);
    // Whether ordered dithering gives the same results (every destination
    // field a source field of its width, or a constant), so that dithered
    // conversions may take `row` too.
    bool ditherFree;
};

// The direct routines from one format to another; `row` is null where the
// pair has none. Sources: R8G8B8, X8R8G8B8, A8R8G8B8, A8B8G8R8, X8B8G8R8,
// R5G6B5, X1R5G5B5, A1R5G5B5, A4R4G4B4, L8, A8L8, P8 and the 16-bit
// A16B16G16R16, G16R16, L16, AL16 and R16; destinations the same less P8 and
// the 16-bit formats.
DirectConversion FindDirectConversion(D3DFORMAT source, D3DFORMAT destination);

}  // namespace quillmark
