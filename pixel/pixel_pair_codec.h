// PixelPairCodec: the packed-pair formats (UYVY, YUY2, R8G8_B8G8,
// G8R8_G8B8), where two neighbouring pixels share one 32-bit pair. Rows go
// through a cache covering whole pairs, so a box that cuts a pair keeps the
// pair's other pixel; the cache is written back when another row is needed
// and when the codec is destroyed. The box stays in absolute coordinates.
#pragma once

#include "pixel/row_codec.h"

namespace quillmark {

class PixelPairCodec final : public RowCodec {
public:
    explicit PixelPairCodec(const SurfaceDesc& desc);
    ~PixelPairCodec() override;

    HRESULT DecodeRow(UINT y, UINT z, FloatColor* out) override;
    HRESULT EncodeRow(UINT y, UINT z, FloatColor* in) override;
    void PrepareColorKey() override {}

private:
    static constexpr UINT kNone = 0xFFFFFFFFu;

    void LoadRow(UINT row, UINT slice, bool read);
    void FlushRow();
    BYTE* PairAddress(UINT row, UINT slice, UINT pair) const;
    void DecodePair(std::uint32_t pair, FloatColor* out) const;
    std::uint32_t EncodePair(const FloatColor* in) const;

    bool yuv_;
    int lumaShift_;
    int chromaShift_;
    UINT pairLeft_;
    UINT pairRight_;
    std::vector<FloatColor> cache_;
    UINT cachedRow_ = kNone;
    UINT cachedSlice_ = kNone;
    bool dirty_ = false;
};

}  // namespace quillmark
