// The float formats: one, two or four channels of halves or 32-bit floats.
// No clamping, thresholds or range conversion; gamma still applies.
#pragma once

#include <cstring>

#include "pixel/half_float.h"
#include "pixel/row_codec.h"

namespace quillmark {

template <int Channels, bool Half>
class FloatCodec final : public RowCodec {
public:
    using Element = std::conditional_t<Half, std::uint16_t, float>;
    static constexpr UINT kBytes = Channels * sizeof(Element);

    explicit FloatCodec(const SurfaceDesc& desc) : RowCodec(desc, RANGE_FLOAT, kBytes * 8) {}

    HRESULT DecodeRow(UINT y, UINT z, FloatColor* out) override {
        const BYTE* src = RowAddress(y, z);
        if constexpr (Channels == 4 && !Half) {
            std::memcpy(out, src, RowBytes());
        } else if constexpr (Channels == 4) {
            HalvesToFloats(src, &out[0].r, std::size_t{Width()} * 4);
        } else {
            for (UINT x = 0; x < Width(); ++x) out[x] = DecodePixel(src + std::size_t{x} * kBytes);
        }
        FinishDecode(out);
        return S_OK;
    }

    HRESULT EncodeRow(UINT y, UINT z, FloatColor* in) override {
        in = PrepareEncodeInput(in);
        BYTE* dst = RowAddress(y, z);
        if constexpr (Channels == 4 && !Half) {
            std::memcpy(dst, in, RowBytes());
        } else if constexpr (Channels == 4) {
            FloatsToHalves(&in[0].r, dst, std::size_t{Width()} * 4);
        } else {
            for (UINT x = 0; x < Width(); ++x) EncodePixel(in[x], dst + std::size_t{x} * kBytes);
        }
        return S_OK;
    }

private:
    // The four-half format converts its row as one array of halves; the
    // FloatColor row is read as width x 4 contiguous floats.
    static void HalvesToFloats(const BYTE* halves, float* floats, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            std::uint16_t h;
            std::memcpy(&h, halves + 2 * i, 2);
            floats[i] = HalfToFloat(h);
        }
    }

    static void FloatsToHalves(const float* floats, BYTE* halves, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint16_t h = FloatToHalf(floats[i]);
            std::memcpy(halves + 2 * i, &h, 2);
        }
    }

    static float Read(const BYTE* p) {
        Element e;
        std::memcpy(&e, p, sizeof e);
        if constexpr (Half) return HalfToFloat(e);
        else return e;
    }

    static void Write(float v, BYTE* p) {
        Element e;
        if constexpr (Half) e = FloatToHalf(v);
        else e = v;
        std::memcpy(p, &e, sizeof e);
    }

    static FloatColor DecodePixel(const BYTE* p) {
        constexpr std::size_t n = sizeof(Element);
        FloatColor c = {Read(p), 1.0f, 1.0f, 1.0f};
        if constexpr (Channels >= 2) c.g = Read(p + n);
        if constexpr (Channels == 4) {
            c.b = Read(p + 2 * n);
            c.a = Read(p + 3 * n);
        }
        return c;
    }

    static void EncodePixel(const FloatColor& c, BYTE* p) {
        constexpr std::size_t n = sizeof(Element);
        Write(c.r, p);
        if constexpr (Channels >= 2) Write(c.g, p + n);
        if constexpr (Channels == 4) {
            Write(c.b, p + 2 * n);
            Write(c.a, p + 3 * n);
        }
    }
};

}  // namespace quillmark
