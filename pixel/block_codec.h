// BlockCompressedCodec: the row codec of DXT1 to DXT5. Reading decodes a
// whole row of 4 x 4 blocks into a cache that serves its four pixel rows.
// Writing gathers four pixel rows per block row before encoding its blocks;
// where the box cuts a block, the block's pixels outside the box are decoded
// first so that they survive, and pixels past the surface's edge repeat the
// ones inside it. The box stays in absolute coordinates.
#pragma once

#include <memory>
#include <vector>

#include "pixel/block_functions.h"

namespace quillmark {

class BlockCompressedCodec final : public RowCodec {
public:
    explicit BlockCompressedCodec(const SurfaceDesc& desc);

    HRESULT DecodeRow(UINT y, UINT z, FloatColor* out) override;
    HRESULT EncodeRow(UINT y, UINT z, FloatColor* in) override;
    void PrepareColorKey() override;

    // Whether each edge of the box lies on a block boundary or on the edge
    // of the surface, so that the box holds whole blocks.
    bool BoxOnBlockGrid() const;

private:
    static constexpr UINT kNone = 0xFFFFFFFFu;

    // Four pixel rows of blocksAcross blocks, row after row.
    using BlockRowBuffer = std::unique_ptr<FloatColor[]>;
    struct PendingRow {
        UINT rowsPresent = 0;  // bit r: pixel row r of the block row is in
        BlockRowBuffer buffer;
    };

    UINT BufferWidth() const { return blocksAcross_ * 4; }
    BYTE* BlockAddress(UINT top, UINT slice, UINT x) const;
    BlockRowBuffer NewBuffer() const;
    void DecodeBlocks(UINT top, UINT slice, UINT first, UINT end, FloatColor* buffer) const;
    void EncodeBlocks(UINT top, UINT slice, FloatColor* buffer) const;
    void LoadNeighbours(UINT top, UINT slice, FloatColor* buffer) const;
    FloatColor Quantised(const FloatColor& c) const;
    void ApplyBlockColorKey(FloatColor* row) const;

    BlockFunctions functions_;
    UINT blockBytes_;
    D3DBOX extent_;
    UINT blockLeft_;
    UINT blockTop_;
    UINT blocksAcross_;
    UINT blockRows_;
    bool ditherBlocks_;
    float alphaScale_;
    BlockRowBuffer decodeCache_;
    UINT cachedBlockRow_ = kNone;
    UINT cachedSlice_ = kNone;
    std::vector<PendingRow> blockRowTable_;
};

// Makes the next `count` buffer allocations of block codecs throw
// std::bad_alloc, as when memory runs out. For tests of the out-of-memory
// paths.
void FailNextBlockBuffers(unsigned count);

}  // namespace quillmark
