// Compile-time descriptions of the fixed-size pixel layouts and the row
// loops that decode and encode them. Each layout names its storage size,
// range, the fields it stores (slot, bit position, width, signedness) and
// the values of the slots it does not store. The loops unroll over the
// fields, so every format gets a tight loop of its own.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "pixel/dither_thresholds.h"
#include "platform/processor/processor_features.h"
#include "pixel/row_codec.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillmark::layout {

static_assert(std::endian::native == std::endian::little, "pixel layouts assume little-endian storage");

enum Slot : int { SLOT_R = 0, SLOT_G = 1, SLOT_B = 2, SLOT_A = 3, SLOT_L = 4 };

struct Field {
    int slot;
    int shift;
    int bits;
    bool isSigned;
};

// Luminance weights of the luminance encoders; they add up to 1.
inline constexpr float kLumaR = 0.2125f;
inline constexpr float kLumaG = 0.7154f;
inline constexpr float kLumaB = 0.0721f;

// The integer a pixel is packed in: 32 bits up to four bytes, else 64.
template <int Bytes>
using Word = std::conditional_t<(Bytes <= 4), std::uint32_t, std::uint64_t>;

template <int Bytes>
inline Word<Bytes> Load(const BYTE* p) {
    if constexpr (Bytes == 1) {
        return *p;
    } else if constexpr (Bytes == 2) {
        std::uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    } else if constexpr (Bytes == 3) {
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16;
    } else if constexpr (Bytes == 4) {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    } else if constexpr (Bytes == 6) {
        std::uint32_t low;
        std::uint16_t high;
        std::memcpy(&low, p, 4);
        std::memcpy(&high, p + 4, 2);
        return std::uint64_t{low} | std::uint64_t{high} << 32;
    } else {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        return v;
    }
}

template <int Bytes>
inline void Store(BYTE* p, Word<Bytes> v) {
    if constexpr (Bytes == 1) {
        *p = static_cast<BYTE>(v);
    } else if constexpr (Bytes == 2) {
        auto w = static_cast<std::uint16_t>(v);
        std::memcpy(p, &w, 2);
    } else if constexpr (Bytes == 3) {
        p[0] = static_cast<BYTE>(v);
        p[1] = static_cast<BYTE>(v >> 8);
        p[2] = static_cast<BYTE>(v >> 16);
    } else if constexpr (Bytes == 4) {
        std::memcpy(p, &v, 4);
    } else if constexpr (Bytes == 6) {
        const auto low = static_cast<std::uint32_t>(v);
        const auto high = static_cast<std::uint16_t>(v >> 32);
        std::memcpy(p, &low, 4);
        std::memcpy(p + 4, &high, 2);
    } else {
        std::memcpy(p, &v, 8);
    }
}

template <int S, class C>
constexpr auto& SlotRef(C& c) {
    if constexpr (S == SLOT_R) return c.r;
    else if constexpr (S == SLOT_G) return c.g;
    else if constexpr (S == SLOT_B) return c.b;
    else return c.a;
}

template <Field F>
constexpr float Scale() {
    if constexpr (F.isSigned) return static_cast<float>((1u << (F.bits - 1)) - 1);
    else return static_cast<float>((std::uint64_t{1} << F.bits) - 1);
}

// The decode factor of an unsigned field: 1 / (2^n - 1).
template <int Bits>
constexpr float UnsignedFactor() {
    if constexpr (Bits == 8) return 0.003921569f;
    else if constexpr (Bits == 16) return 0.000015259022f;
    else return 1.0f / static_cast<float>((std::uint64_t{1} << Bits) - 1);
}

template <Field F, class W>
constexpr float DecodeField(W pixel) {
    constexpr W mask = static_cast<W>((std::uint64_t{1} << F.bits) - 1);
    const auto raw = static_cast<std::uint32_t>((pixel >> F.shift) & mask);
    if constexpr (F.isSigned) {
        constexpr int spare = 32 - F.bits;
        std::int32_t s = static_cast<std::int32_t>(raw << spare) >> spare;
        if (s == -(1 << (F.bits - 1))) s += 1;  // the most negative code reads as -max
        return static_cast<float>(s) / Scale<F>();
    } else {
        return static_cast<float>(raw) * UnsignedFactor<F.bits>();
    }
}

template <Field F>
constexpr void StoreSlot(FloatColor& c, float v) {
    if constexpr (F.slot == SLOT_L) c.r = c.g = c.b = v;
    else SlotRef<F.slot>(c) = v;
}

template <Field F>
constexpr float SlotValue(const FloatColor& c) {
    if constexpr (F.slot == SLOT_L) return kLumaR * c.r + kLumaG * c.g + kLumaB * c.b;
    else return SlotRef<F.slot>(c);
}

// Clamps w to the field's range (NaN gives 0), truncates toward zero and
// places the field in a pixel word W.
template <Field F, class W>
constexpr W Pack(float w) {
    constexpr float M = Scale<F>();
    constexpr std::uint32_t mask = static_cast<std::uint32_t>((std::uint64_t{1} << F.bits) - 1);
    if constexpr (F.isSigned) {
        if (!(w == w)) w = 0.0f;
        w = w > -M ? w : -M;
    } else {
        w = w > 0.0f ? w : 0.0f;
    }
    w = w < M ? w : M;
    return static_cast<W>(static_cast<std::uint32_t>(static_cast<std::int32_t>(w)) & mask) << F.shift;
}

template <Field F>
inline void SpreadError(FloatColor* carry, int index, float err) {
    if constexpr (F.slot == SLOT_L) {
        carry[index].r += err;
        carry[index].g += err;
        carry[index].b += err;
    } else {
        SlotRef<F.slot>(carry[index]) += err;
    }
}

// Quantises one field with threshold t and, when carry is set, diffuses
// the rounding error Floyd-Steinberg style to the next row and to `ahead`.
template <Field F, class W>
inline W QuantizeDithered(const FloatColor& c, float t, FloatColor* carry, int x, int dir, float& ahead) {
    constexpr float M = Scale<F>();
    const float v = (SlotValue<F>(c) + ahead) * M;
    const float q = std::trunc(v + t);
    if (carry != nullptr) {
        float err = (v - q) / M;
        if (!(err == err)) err = 0.0f;
        SpreadError<F>(carry, x - dir + 1, err * kDiffuseBehindBelow);
        SpreadError<F>(carry, x + 1, err * kDiffuseBelow);
        SpreadError<F>(carry, x + dir + 1, err * kDiffuseAheadBelow);
        ahead = err * kDiffuseAhead;
    }
    return Pack<F, W>(q);
}

// The fields of one pixel word, over the layout's defaults.
template <class L, std::size_t... I>
inline FloatColor DecodeWord(Word<L::kBytes> pixel, std::index_sequence<I...>) {
    FloatColor c = L::kDefaults;
    (StoreSlot<L::kFields[I]>(c, DecodeField<L::kFields[I]>(pixel)), ...);
    return c;
}

template <class L, std::size_t... I>
inline void DecodePixel(const BYTE* p, FloatColor& c, std::index_sequence<I...> seq) {
    c = DecodeWord<L>(Load<L::kBytes>(p), seq);
    if constexpr (L::kUnitVector) {
        const float r = 1.0f - c.r * c.r - c.g * c.g;
        c.b = r > 0.0f ? std::sqrt(r) : 0.0f;
    }
}

template <class L>
inline void DecodePixels(const BYTE* src, FloatColor* out, UINT width) {
    constexpr auto seq = std::make_index_sequence<L::kFields.size()>{};
    for (UINT x = 0; x < width; ++x) DecodePixel<L>(src + std::size_t{x} * L::kBytes, out[x], seq);
}

// (R, G, B) scaled to unit length; a zero vector stays zero.
inline FloatColor Normalized(FloatColor c) {
    const float len = std::sqrt(c.r * c.r + c.g * c.g + c.b * c.b);
    if (len > 0.0f) {
        c.r /= len;
        c.g /= len;
        c.b /= len;
    }
    return c;
}

template <class L>
inline FloatColor Adjusted(const FloatColor& c) {
    if constexpr (L::kUnitVector) return Normalized(c);
    else return c;
}

// One field of a colour rounded to nearest, placed in a pixel word W.
template <Field F, class W>
constexpr W RoundField(const FloatColor& c) {
    return Pack<F, W>(SlotValue<F>(c) * Scale<F>() + 0.5f);
}

// Layouts of four bytes whose fields are unsigned bytes of colour or alpha
// (bytes without a field are written as zero).
template <class L>
constexpr bool ByteFields() {
    if (L::kBytes != 4 || L::kUnitVector) return false;
    for (const Field& f : L::kFields)
        if (f.bits != 8 || f.isSigned || f.slot == SLOT_L || f.shift % 8 != 0) return false;
    return true;
}

// The slot stored in byte `index` of a ByteFields layout, or -1.
template <class L>
constexpr int SlotOfByte(int index) {
    for (const Field& f : L::kFields)
        if (f.shift == 8 * index) return f.slot;
    return -1;
}

#if defined(__SSE2__)
// Plain rounding of ByteFields pixels four at a time, each channel through
// the same multiply, add, clamp and truncation as Pack.
template <class L>
inline UINT EncodeByteFields(BYTE* dst, const FloatColor* in, UINT width) {
    constexpr auto slot = [](int index) { return SlotOfByte<L>(index) < 0 ? 0 : SlotOfByte<L>(index); };
    constexpr int order = _MM_SHUFFLE(slot(3), slot(2), slot(1), slot(0));
    constexpr auto kept = [](int index) { return SlotOfByte<L>(index) < 0 ? 0u : 0xFFu << (8 * index); };
    const __m128i keep = _mm_set1_epi32(static_cast<int>(kept(0) | kept(1) | kept(2) | kept(3)));
    const __m128 scale = _mm_set1_ps(255.0f), half = _mm_set1_ps(0.5f), zero = _mm_setzero_ps();
    const auto round = [&](const FloatColor& c) {
        __m128 v = _mm_loadu_ps(&c.r);
        v = _mm_shuffle_ps(v, v, order);
        v = _mm_add_ps(_mm_mul_ps(v, scale), half);
        v = _mm_min_ps(_mm_max_ps(v, zero), scale);  // max(v, 0) takes 0 for NaN, as Pack does
        return _mm_cvttps_epi32(v);
    };
    UINT x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m128i low = _mm_packs_epi32(round(in[x]), round(in[x + 1]));
        const __m128i high = _mm_packs_epi32(round(in[x + 2]), round(in[x + 3]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + std::size_t{x} * 4),
                         _mm_and_si128(_mm_packus_epi16(low, high), keep));
    }
    return x;
}
#endif

// Plain rounding: every pixel independent, so the row runs left to right.
template <class L, std::size_t... I>
inline void EncodePlain(BYTE* dst, const FloatColor* in, UINT width, std::index_sequence<I...>) {
    UINT x = 0;
#if defined(__SSE2__)
    if constexpr (ByteFields<L>())
        if (processor::Allows(processor::kSse2)) x = EncodeByteFields<L>(dst, in, width);
#endif
    for (; x < width; ++x) {
        const FloatColor c = Adjusted<L>(in[x]);
        const Word<L::kBytes> pixel = (RoundField<L::kFields[I], Word<L::kBytes>>(c) | ...);
        Store<L::kBytes>(dst + std::size_t{x} * L::kBytes, pixel);
    }
}

// Ordered thresholds without diffusion: pixels are still independent, so
// the row runs left to right; the threshold of pixel x is the one of its
// position in processing order (reversed on odd rows).
template <class L, std::size_t... I>
inline void EncodeOrdered(BYTE* dst, const FloatColor* in, UINT width, UINT y, UINT z, const float* thresholds,
                          std::index_sequence<I...>) {
    const bool reversed = (y & 1) != 0;
    for (UINT x = 0; x < width; ++x) {
        const UINT i = reversed ? width - 1 - x : x;
        const float t = thresholds[(z + i) & 3];
        const FloatColor c = Adjusted<L>(in[x]);
        const Word<L::kBytes> pixel =
            (Pack<L::kFields[I], Word<L::kBytes>>(SlotValue<L::kFields[I]>(c) * Scale<L::kFields[I]>() + t) | ...);
        Store<L::kBytes>(dst + std::size_t{x} * L::kBytes, pixel);
    }
}

// Error diffusion (with plain or ordered thresholds), serpentine: even rows left to
// right, odd rows right to left.
template <class L, std::size_t... I>
inline void EncodeDithered(BYTE* dst, const FloatColor* in, UINT width, UINT y, UINT z, const float* thresholds,
                           FloatColor* carry, std::index_sequence<I...>) {
    const int dir = (y & 1) ? -1 : 1;
    std::array<float, sizeof...(I)> ahead{};  // error carried along the row, per field
    for (UINT i = 0; i < width; ++i) {
        const int x = dir > 0 ? static_cast<int>(i) : static_cast<int>(width - 1 - i);
        const float t = thresholds[(z + i) & 3];
        const FloatColor c = Adjusted<L>(in[x]);
        const Word<L::kBytes> pixel =
            (QuantizeDithered<L::kFields[I], Word<L::kBytes>>(c, t, carry, x, dir, ahead[I]) | ...);
        Store<L::kBytes>(dst + static_cast<std::size_t>(x) * L::kBytes, pixel);
    }
}

}  // namespace quillmark::layout
