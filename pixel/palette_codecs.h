// The palettized formats. P8 stores the index of the nearest palette entry
// over R, G, B and A; A8P8 picks the index over R, G and B and stores alpha
// as an 8-bit field with the usual thresholds and diffusion.
#pragma once

#include "pixel/row_codec.h"

namespace quillmark {

class P8Codec final : public RowCodec {
public:
    explicit P8Codec(const SurfaceDesc& desc) : RowCodec(desc, RANGE_UNSIGNED, 8) {}
    HRESULT DecodeRow(UINT y, UINT z, FloatColor* out) override;
    HRESULT EncodeRow(UINT y, UINT z, FloatColor* in) override;
};

class A8P8Codec final : public RowCodec {
public:
    explicit A8P8Codec(const SurfaceDesc& desc) : RowCodec(desc, RANGE_UNSIGNED, 16) {}
    HRESULT DecodeRow(UINT y, UINT z, FloatColor* out) override;
    HRESULT EncodeRow(UINT y, UINT z, FloatColor* in) override;
};

}  // namespace quillmark
