#include "pixel/pixel_pair_codec.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quillmark {

namespace {

float Clamp01(float x) { return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x); }

// Adds 0.5 and truncates toward zero.
float Round(float x) { return std::trunc(x + 0.5f); }

std::uint32_t ClampByte(float x) {
    if (!(x > 0.0f)) return 0;
    if (x >= 255.0f) return 255;
    return static_cast<std::uint32_t>(x);
}

// Rounds a value that should lie in [0, 255]; stray inputs are held inside
// the byte rather than spilling into the neighbouring field.
std::uint32_t RoundByte(float x) { return ClampByte(x + 0.5f); }

FloatColor YuvPixel(int y, int u, int v) {
    const float l = static_cast<float>(y - 16) * 0.00456621f;
    const float du = static_cast<float>(u - 128);
    const float dv = static_cast<float>(v - 128);
    return {Clamp01(l + dv * 0.00625893f), Clamp01(l - du * 0.00153632f - dv * 0.00318811f),
            Clamp01(l + du * 0.00791071f), 1.0f};
}

}  // namespace

PixelPairCodec::PixelPairCodec(const SurfaceDesc& desc)
    : RowCodec(desc, RANGE_UNSIGNED, 0),
      yuv_(desc.Format == D3DFMT_UYVY || desc.Format == D3DFMT_YUY2),
      lumaShift_(desc.Format == D3DFMT_YUY2 || desc.Format == D3DFMT_R8G8_B8G8 ? 0 : 8),
      chromaShift_(8 - lumaShift_),
      pairLeft_(desc.Box.Left & ~1u),
      pairRight_(desc.Box.Right + (desc.Box.Right & 1u)) {
    cache_.assign(std::size_t{pairRight_} - pairLeft_, FloatColor{});
}

PixelPairCodec::~PixelPairCodec() { FlushRow(); }

BYTE* PixelPairCodec::PairAddress(UINT row, UINT slice, UINT pair) const {
    return Data() + static_cast<std::ptrdiff_t>(row) * RowPitch() +
           static_cast<std::ptrdiff_t>(slice) * SlicePitch() + std::size_t{pair} * 4;
}

void PixelPairCodec::DecodePair(std::uint32_t pair, FloatColor* out) const {
    const std::uint32_t w0 = pair & 0xFFFFu;
    const std::uint32_t w1 = pair >> 16;
    const int luma0 = static_cast<int>((w0 >> lumaShift_) & 0xFF);
    const int chroma0 = static_cast<int>((w0 >> chromaShift_) & 0xFF);
    const int luma1 = static_cast<int>((w1 >> lumaShift_) & 0xFF);
    const int chroma1 = static_cast<int>((w1 >> chromaShift_) & 0xFF);
    if (yuv_) {
        out[0] = YuvPixel(luma0, chroma0, chroma1);
        out[1] = YuvPixel(luma1, chroma0, chroma1);
    } else {
        constexpr float k = 1.0f / 255.0f;
        out[0] = {chroma0 * k, luma0 * k, chroma1 * k, 1.0f};
        out[1] = {chroma0 * k, luma1 * k, chroma1 * k, 1.0f};
    }
}

std::uint32_t PixelPairCodec::EncodePair(const FloatColor* in) const {
    const FloatColor& p0 = in[0];
    const FloatColor& p1 = in[1];
    std::uint32_t luma0, luma1, chroma0, chroma1;
    if (yuv_) {
        luma0 = ClampByte((Round(65.481f * p0.r + 128.553f * p0.g + 24.966f * p0.b) + 16.0f));
        luma1 = ClampByte((Round(65.481f * p1.r + 128.553f * p1.g + 24.966f * p1.b) + 16.0f));
        chroma0 = ClampByte((Round(112.0f * p0.b - 74.203f * p0.g - 37.797f * p0.r) + 128.0f));
        chroma1 = ClampByte((Round(112.0f * p0.r - 93.786f * p0.g - 18.214f * p0.b) + 128.0f));
    } else {
        luma0 = RoundByte(255.0f * p0.g);
        luma1 = RoundByte(255.0f * p1.g);
        chroma0 = RoundByte(255.0f * p0.r);
        chroma1 = RoundByte(255.0f * p0.b);
    }
    const std::uint32_t w0 = luma0 << lumaShift_ | chroma0 << chromaShift_;
    const std::uint32_t w1 = luma1 << lumaShift_ | chroma1 << chromaShift_;
    return w0 | w1 << 16;
}

void PixelPairCodec::LoadRow(UINT row, UINT slice, bool read) {
    if (row == cachedRow_ && slice == cachedSlice_) return;
    FlushRow();
    cachedRow_ = row;
    cachedSlice_ = slice;
    if (read) {
        for (UINT p = 0; p < cache_.size() / 2; ++p) {
            std::uint32_t pair;
            std::memcpy(&pair, PairAddress(row, slice, pairLeft_ / 2 + p), 4);
            DecodePair(pair, &cache_[2 * p]);
        }
    }
}

void PixelPairCodec::FlushRow() {
    if (!dirty_) return;
    for (UINT p = 0; p < cache_.size() / 2; ++p) {
        const std::uint32_t pair = EncodePair(&cache_[2 * p]);
        std::memcpy(PairAddress(cachedRow_, cachedSlice_, pairLeft_ / 2 + p), &pair, 4);
    }
    dirty_ = false;
}

HRESULT PixelPairCodec::DecodeRow(UINT y, UINT z, FloatColor* out) {
    LoadRow(y + Box().Top, z + Box().Front, true);
    std::copy_n(cache_.begin() + (Box().Left - pairLeft_), Width(), out);
    FinishDecode(out);
    return S_OK;
}

HRESULT PixelPairCodec::EncodeRow(UINT y, UINT z, FloatColor* in) {
    in = PrepareEncodeInput(in);
    const bool cutsPair = cache_.size() != Width();
    LoadRow(y + Box().Top, z + Box().Front, cutsPair);
    std::copy_n(in, Width(), cache_.begin() + (Box().Left - pairLeft_));
    dirty_ = true;
    return S_OK;
}

}  // namespace quillmark
