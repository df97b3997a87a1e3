// The filters that do not resample: raw byte copy, direct integer
// conversion, same-size conversion and RESAMPLE_NONE (copy of the
// overlapping region).
#include <algorithm>
#include <cstring>

#include "pixel/block_codec.h"
#include "pixel/conversion_job.h"
#include "pixel/direct_rows.h"
#include "pixel/row_bands.h"

namespace quillmark {

namespace {

// Bytes per 4 x 4 block of a block-compressed format, else 0.
UINT BlockBytes(D3DFORMAT format) {
    const PixelFormatInfo& info = LookupPixelFormat(format);
    return info.IsBlockCompressed() ? info.blockBytes : 0;
}


// Whole blocks move when the box's edges lie on block boundaries or on the
// surface's edge (a 2 x 2 level is one whole block).
bool CoversWholeBlocks(const RowCodec& codec) {
    const auto* blocks = dynamic_cast<const BlockCompressedCodec*>(&codec);
    return blocks != nullptr && blocks->BoxOnBlockGrid();
}

// The boxes of block formats stay absolute: rows of blocks start at
// Data + (Top / 4) x RowPitch + Front x SlicePitch + (Left / 4) x block size.
BYTE* BlockRow(const RowCodec& codec, UINT blockRow, UINT slice, UINT blockBytes) {
    const D3DBOX& box = codec.Box();
    return codec.Data() + static_cast<std::ptrdiff_t>(box.Top / 4 + blockRow) * codec.RowPitch() +
           static_cast<std::ptrdiff_t>(box.Front + slice) * codec.SlicePitch() + std::size_t{box.Left / 4} * blockBytes;
}

void CopyBlocks(const RowCodec& src, const RowCodec& dst, UINT blockBytes) {
    const PixelFormatInfo& info = LookupPixelFormat(src.Format());
    const auto rowBytes = static_cast<std::size_t>(info.RowBytes(src.Width()));
    const auto blockRows = static_cast<UINT>(info.BlockRows(src.Height()));
    for (UINT z = 0; z < src.Depth(); ++z) {
        for (UINT r = 0; r < blockRows; ++r) {
            std::memmove(BlockRow(dst, r, z, blockBytes), BlockRow(src, r, z, blockBytes), rowBytes);
        }
    }
}

// Row y of slice z of a linear layout (whose data starts at its box).
BYTE* RowOf(const RowCodec& codec, UINT y, UINT z) {
    return codec.Data() + static_cast<std::ptrdiff_t>(y) * codec.RowPitch() +
           static_cast<std::ptrdiff_t>(z) * codec.SlicePitch();
}

void CopyRows(const RowCodec& src, const RowCodec& dst) {
    const std::size_t rowBytes = src.RowBytes();
    for (UINT z = 0; z < src.Depth(); ++z) {
        for (UINT y = 0; y < src.Height(); ++y) std::memmove(RowOf(dst, y, z), RowOf(src, y, z), rowBytes);
    }
}

bool SamePalettes(const RowCodec& a, const RowCodec& b) {
    if (a.Palette() == b.Palette()) return true;
    if (a.Palette() == nullptr || b.Palette() == nullptr) return false;
    return std::equal(a.Palette(), a.Palette() + 256, b.Palette());
}

}  // namespace

HRESULT RawCopyFilter(ConversionJob& job) {
    RowCodec& src = *job.source;
    RowCodec& dst = *job.destination;
    if (src.Format() != dst.Format() || src.ColorKey() != 0 || !job.SameSize() || src.Gamma() != dst.Gamma()) {
        return E_FAIL;
    }
    if (!SamePalettes(src, dst)) return E_FAIL;
    const UINT blockBytes = BlockBytes(src.Format());
    if (!src.LinearLayout() && blockBytes == 0) return E_FAIL;  // packed pairs convert row by row
    if (blockBytes != 0 && (!CoversWholeBlocks(src) || !CoversWholeBlocks(dst))) return E_FAIL;
    src.ClearGamma();
    dst.ClearGamma();
    if (blockBytes != 0) {
        CopyBlocks(src, dst, blockBytes);
    } else {
        CopyRows(src, dst);
    }
    return S_OK;
}

// Same size, plain rounding (or ordered dither where it changes nothing), no
// colour key and nothing between the two sides' values: the pixels move row
// by row through a direct routine, large blocks in bands over the cores.
HRESULT DirectFilter(ConversionJob& job) {
    RowCodec& src = *job.source;
    RowCodec& dst = *job.destination;
    const SurfaceDesc& to = job.destinationDesc;
    if (!job.SameSize() || src.ColorKey() != 0 || src.Gamma() != dst.Gamma() || dst.IncomingRange() != 0 ||
        to.DiffusionDither || !src.LinearLayout() || !dst.LinearLayout()) {
        return E_FAIL;
    }
    const DirectConversion direct = FindDirectConversion(src.Format(), dst.Format());
    if (direct.row == nullptr || (to.Dither && !direct.ditherFree)) return E_FAIL;
    // Gamma on both sides cancels, as it does for the other filters.
    job.ClearGammaIfBoth();
    BYTE paletteTable[kPaletteEntries * kDirectPixelBytesMax];
    if (direct.encodePalette != nullptr) direct.encodePalette(src.Palette(), paletteTable);
    for (UINT z = 0; z < src.Depth(); ++z) {
        ForEachRowBand(src.Height(), BandRowsMin(src.Width()), [&](UINT first, UINT last) {
            for (UINT y = first; y < last; ++y) direct.row(RowOf(src, y, z), RowOf(dst, y, z), src.Width(), paletteTable);
        });
    }
    return S_OK;
}

HRESULT SameSizeFilter(ConversionJob& job) {
    if (!job.SameSize()) return E_FAIL;
    job.ClearGammaIfBoth();
    RowCodec& src = *job.source;
    RowCodec& dst = *job.destination;
    ColorRow row(src.Width());
    for (UINT z = 0; z < src.Depth(); ++z) {
        for (UINT y = 0; y < src.Height(); ++y) {
            HRESULT hr = src.DecodeRow(y, z, row.data());
            if (SUCCEEDED(hr)) hr = dst.EncodeRow(y, z, row.data());
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

// Rows are re-zeroed before every encode: with error diffusion the encoder
// adds its carried error into the row it is handed, and that must not leak
// into the padding or into the next "empty" row.
HRESULT NoneFilter(ConversionJob& job) {
    if (job.Kind() != RESAMPLE_NONE) return E_FAIL;
    job.ClearGammaIfBoth();
    RowCodec& src = *job.source;
    RowCodec& dst = *job.destination;
    const UINT width = std::min(src.Width(), dst.Width());
    const UINT height = std::min(src.Height(), dst.Height());
    const UINT depth = std::min(src.Depth(), dst.Depth());
    ColorRow row(std::max(src.Width(), dst.Width()));
    for (UINT z = 0; z < dst.Depth(); ++z) {
        for (UINT y = 0; y < dst.Height(); ++y) {
            if (z < depth && y < height) {
                const HRESULT hr = src.DecodeRow(y, z, row.data());
                if (FAILED(hr)) return hr;
                std::fill(row.begin() + width, row.end(), FloatColor{});
            } else {
                std::fill(row.begin(), row.end(), FloatColor{});
            }
            const HRESULT hr = dst.EncodeRow(y, z, row.data());
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

}  // namespace quillmark
