#include "pixel/palette_codecs.h"

#include "pixel/linear_layout.h"

namespace quillmark {

namespace {

// The first entry with the least sum of squared differences (over alpha
// too when withAlpha is set).
BYTE NearestPaletteIndex(const FloatColor* palette, const FloatColor& c, bool withAlpha) {
    int best = 0;
    float bestDistance = 0.0f;
    for (int i = 0; i < 256; ++i) {
        const FloatColor d = palette[i] - c;
        const float da = withAlpha ? d.a : 0.0f;
        const float distance = d.r * d.r + d.g * d.g + d.b * d.b + da * da;
        if (i == 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return static_cast<BYTE>(best);
}

}  // namespace

HRESULT P8Codec::DecodeRow(UINT y, UINT z, FloatColor* out) {
    const BYTE* src = RowAddress(y, z);
    const FloatColor* palette = PaletteEntries();
    for (UINT x = 0; x < Width(); ++x) out[x] = palette[src[x]];
    FinishDecode(out);
    return S_OK;
}

HRESULT P8Codec::EncodeRow(UINT y, UINT z, FloatColor* in) {
    in = PrepareEncodeInput(in);
    BYTE* dst = RowAddress(y, z);
    const FloatColor* palette = PaletteEntries();
    for (UINT x = 0; x < Width(); ++x) dst[x] = NearestPaletteIndex(palette, in[x], true);
    return S_OK;
}

HRESULT A8P8Codec::DecodeRow(UINT y, UINT z, FloatColor* out) {
    const BYTE* src = RowAddress(y, z);
    const FloatColor* palette = PaletteEntries();
    for (UINT x = 0; x < Width(); ++x) {
        const FloatColor& entry = palette[src[2 * x]];
        out[x] = {entry.r, entry.g, entry.b, src[2 * x + 1] * 0.003921569f};
    }
    FinishDecode(out);
    return S_OK;
}

HRESULT A8P8Codec::EncodeRow(UINT y, UINT z, FloatColor* in) {
    constexpr layout::Field alpha = {layout::SLOT_A, 0, 8, false};
    in = PrepareEncodeInput(in);
    FloatColor* carry = CarryRow();
    if (carry != nullptr) AddDiffusedError(in);
    const float* thresholds = ThresholdRow(y);
    BYTE* dst = RowAddress(y, z);
    const FloatColor* palette = PaletteEntries();
    const int dir = (y & 1) ? -1 : 1;
    float ahead = 0.0f;
    for (UINT i = 0; i < Width(); ++i) {
        const int x = dir > 0 ? static_cast<int>(i) : static_cast<int>(Width() - 1 - i);
        const float t = thresholds[(z + i) & 3];
        const auto a = layout::QuantizeDithered<alpha, std::uint32_t>(in[x], t, carry, x, dir, ahead);
        dst[2 * x] = NearestPaletteIndex(palette, in[x], false);
        dst[2 * x + 1] = static_cast<BYTE>(a);
    }
    return S_OK;
}

}  // namespace quillmark
