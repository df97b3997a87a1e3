#include "pixel/block_codec.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>

namespace quillmark {

namespace {

std::atomic<unsigned> pendingBufferFailures{0};

bool TakeBufferFailure() {
    unsigned pending = pendingBufferFailures.load();
    while (pending != 0) {
        if (pendingBufferFailures.compare_exchange_weak(pending, pending - 1)) return true;
    }
    return false;
}

// Which column (or row) a pixel past the surface's edge repeats.
constexpr UINT kEdgeRepeat[4] = {0, 0, 0, 1};

float QuantiseTo(float x, float scale) { return std::trunc(x * scale + 0.5f) / scale; }

// Blocks the box's columns and rows reach into.
UINT BlocksAcross(const SurfaceDesc& desc) {
    const PixelFormatInfo& info = LookupPixelFormat(desc.Format);
    return static_cast<UINT>(info.BlockColumns(desc.Box.Right)) - desc.Box.Left / info.blockWidth;
}

UINT BlocksDown(const SurfaceDesc& desc) {
    const PixelFormatInfo& info = LookupPixelFormat(desc.Format);
    return static_cast<UINT>(info.BlockRows(desc.Box.Bottom)) - desc.Box.Top / info.blockHeight;
}

}  // namespace

void FailNextBlockBuffers(unsigned count) { pendingBufferFailures = count; }

BlockCompressedCodec::BlockCompressedCodec(const SurfaceDesc& desc)
    : RowCodec(desc, RANGE_UNSIGNED, 0),
      functions_(BlockFunctionsOf(desc.Format)),
      blockBytes_(LookupPixelFormat(desc.Format).blockBytes),
      extent_(desc.Extent),
      blockLeft_(desc.Box.Left & ~3u),
      blockTop_(desc.Box.Top & ~3u),
      blocksAcross_(BlocksAcross(desc)),
      blockRows_(BlocksDown(desc)),
      ditherBlocks_(desc.Dither != 0 || desc.DiffusionDither != 0),
      alphaScale_(desc.Format == D3DFMT_DXT2 || desc.Format == D3DFMT_DXT3 ? 15.0f : 255.0f) {}

bool BlockCompressedCodec::BoxOnBlockGrid() const {
    const D3DBOX& box = Box();
    return box.Left % 4 == 0 && box.Top % 4 == 0 && (box.Right % 4 == 0 || box.Right == extent_.Right) &&
           (box.Bottom % 4 == 0 || box.Bottom == extent_.Bottom);
}

BYTE* BlockCompressedCodec::BlockAddress(UINT top, UINT slice, UINT x) const {
    return Data() + static_cast<std::ptrdiff_t>(top / 4) * RowPitch() +
           static_cast<std::ptrdiff_t>(slice) * SlicePitch() + std::size_t{x / 4} * blockBytes_;
}

BlockCompressedCodec::BlockRowBuffer BlockCompressedCodec::NewBuffer() const {
    if (TakeBufferFailure()) throw std::bad_alloc();
    return BlockRowBuffer(new FloatColor[std::size_t{BufferWidth()} * 4]);
}

// Decodes blocks first..end-1 (counted from blockLeft) of the block row whose
// top pixel row is `top` into the buffer.
void BlockCompressedCodec::DecodeBlocks(UINT top, UINT slice, UINT first, UINT end, FloatColor* buffer) const {
    const std::size_t stride = BufferWidth();
    const BYTE* block = BlockAddress(top, slice, blockLeft_) + std::size_t{first} * blockBytes_;
    FloatColor pixels[kBlockPixels];
    for (UINT i = first; i < end; ++i, block += blockBytes_) {
        functions_.decode(block, pixels);
        for (UINT row = 0; row < 4; ++row) std::copy_n(pixels + 4 * row, 4, buffer + row * stride + 4 * i);
    }
}

void BlockCompressedCodec::EncodeBlocks(UINT top, UINT slice, FloatColor* buffer) const {
    const std::size_t stride = BufferWidth();
    const UINT validRows = std::min<UINT>(extent_.Bottom - top, 4);
    BYTE* block = BlockAddress(top, slice, blockLeft_);
    // A few blocks at a time, so the encoder can fit them side by side.
    constexpr UINT kGroup = 8;
    FloatColor group[kGroup][kBlockPixels];
    for (UINT first = 0; first < blocksAcross_; first += kGroup) {
        const UINT count = std::min(kGroup, blocksAcross_ - first);
        for (UINT j = 0; j < count; ++j) {
            const UINT i = first + j;
            FloatColor* pixels = group[j];
            const UINT validColumns = std::min<UINT>(extent_.Right - (blockLeft_ + 4 * i), 4);
            for (UINT row = 0; row < 4; ++row) std::copy_n(buffer + row * stride + 4 * i, 4, pixels + 4 * row);
            for (UINT row = 0; row < validRows; ++row)
                for (UINT column = validColumns; column < 4; ++column)
                    pixels[4 * row + column] = pixels[4 * row + kEdgeRepeat[column]];
            for (UINT row = validRows; row < 4; ++row)
                std::copy_n(pixels + 4 * kEdgeRepeat[row], 4, pixels + 4 * row);
        }
        functions_.encode(group[0], block + std::size_t{first} * blockBytes_, count, ditherBlocks_);
    }
}

// Before the first row of a block row arrives: decode the blocks whose
// pixels outside the box exist in the surface and must be kept, and count
// the rows outside the box as present.
void BlockCompressedCodec::LoadNeighbours(UINT top, UINT slice, FloatColor* buffer) const {
    const D3DBOX& box = Box();
    const bool cutAbove = top < box.Top && extent_.Top < box.Top;
    const bool cutBelow = box.Bottom < top + 4 && box.Bottom < extent_.Bottom;
    if (cutAbove || cutBelow) {
        DecodeBlocks(top, slice, 0, blocksAcross_, buffer);
        return;
    }
    if (blockLeft_ < box.Left && extent_.Left < box.Left) DecodeBlocks(top, slice, 0, 1, buffer);
    const UINT blockRight = blockLeft_ + 4 * blocksAcross_;
    if (box.Right < blockRight && box.Right < extent_.Right)
        DecodeBlocks(top, slice, blocksAcross_ - 1, blocksAcross_, buffer);
}

HRESULT BlockCompressedCodec::DecodeRow(UINT y, UINT z, FloatColor* out) {
    const UINT row = y + Box().Top;
    const UINT slice = z + Box().Front;
    const UINT top = row & ~3u;
    if (top != cachedBlockRow_ || slice != cachedSlice_) {
        if (decodeCache_ == nullptr) decodeCache_ = NewBuffer();
        DecodeBlocks(top, slice, 0, blocksAcross_, decodeCache_.get());
        cachedBlockRow_ = top;
        cachedSlice_ = slice;
    }
    std::copy_n(decodeCache_.get() + std::size_t{row % 4} * BufferWidth() + (Box().Left - blockLeft_), Width(), out);
    if (ColorKey() != 0) ApplyBlockColorKey(out);
    if (Gamma()) GammaDecodeRow(out);
    return S_OK;
}

HRESULT BlockCompressedCodec::EncodeRow(UINT y, UINT z, FloatColor* in) {
    const D3DBOX& box = Box();
    const UINT row = y + box.Top;
    const UINT slice = z + box.Front;
    const UINT top = row & ~3u;
    if (blockRowTable_.empty()) blockRowTable_.resize(std::size_t{blockRows_} * Depth());
    const std::size_t index = std::size_t{z} * blockRows_ + (top - blockTop_) / 4;
    PendingRow& pending = blockRowTable_[index];
    if (pending.buffer == nullptr) pending.buffer = NewBuffer();
    if (pending.rowsPresent == 0) {
        LoadNeighbours(top, slice, pending.buffer.get());
        for (UINT r = 0; r < 4; ++r)
            if (top + r < box.Top || top + r >= box.Bottom) pending.rowsPresent |= 1u << r;
    }
    in = PrepareEncodeInput(in);
    std::copy_n(in, Width(), pending.buffer.get() + std::size_t{row % 4} * BufferWidth() + (box.Left - blockLeft_));
    pending.rowsPresent |= 1u << (row % 4);
    if (pending.rowsPresent != 0xF) return S_OK;

    EncodeBlocks(top, slice, pending.buffer.get());
    if (index + 1 < blockRowTable_.size()) {
        PendingRow& next = blockRowTable_[index + 1];
        if (next.buffer == nullptr && next.rowsPresent == 0) next.buffer = std::move(pending.buffer);
    }
    pending.buffer.reset();
    return S_OK;
}

// Red, green and blue on the 5-6-5 grid, alpha on the format's alpha steps.
FloatColor BlockCompressedCodec::Quantised(const FloatColor& c) const {
    return {QuantiseTo(c.r, 31.0f), QuantiseTo(c.g, 63.0f), QuantiseTo(c.b, 31.0f), QuantiseTo(c.a, alphaScale_)};
}

void BlockCompressedCodec::ApplyBlockColorKey(FloatColor* row) const {
    const FloatColor& key = ColorKeyValue();
    for (UINT x = 0; x < Width(); ++x)
        if (Quantised(row[x]) == key) row[x] = FloatColor{};
}

void BlockCompressedCodec::PrepareColorKey() { SetColorKeyValue(Quantised(ColorKeyValue())); }

}  // namespace quillmark
