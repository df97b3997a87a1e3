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

#include "dither_thresholds.h"
#include "row_codec.h"

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

template <int Bytes>
inline std::uint64_t Load(const BYTE* p) {
    if constexpr (Bytes == 1) {
        return *p;
    } else if constexpr (Bytes == 2) {
        std::uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    } else if constexpr (Bytes == 4) {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    } else {
        std::uint64_t v = 0;
        std::memcpy(&v, p, Bytes);
        return v;
    }
}

template <int Bytes>
inline void Store(BYTE* p, std::uint64_t v) {
    if constexpr (Bytes == 1) {
        *p = static_cast<BYTE>(v);
    } else if constexpr (Bytes == 2) {
        auto w = static_cast<std::uint16_t>(v);
        std::memcpy(p, &w, 2);
    } else if constexpr (Bytes == 4) {
        auto w = static_cast<std::uint32_t>(v);
        std::memcpy(p, &w, 4);
    } else {
        std::memcpy(p, &v, Bytes);
    }
}

template <int S, class C>
inline auto& SlotRef(C& c) {
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

template <Field F>
inline float DecodeField(std::uint64_t pixel) {
    constexpr std::uint64_t mask = (std::uint64_t{1} << F.bits) - 1;
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
inline void StoreSlot(FloatColor& c, float v) {
    if constexpr (F.slot == SLOT_L) c.r = c.g = c.b = v;
    else SlotRef<F.slot>(c) = v;
}

template <Field F>
inline float SlotValue(const FloatColor& c) {
    if constexpr (F.slot == SLOT_L) return kLumaR * c.r + kLumaG * c.g + kLumaB * c.b;
    else return SlotRef<F.slot>(c);
}

// Clamps w to the field's range (NaN gives 0) and truncates toward zero.
template <Field F>
inline std::uint64_t Pack(float w) {
    constexpr float M = Scale<F>();
    constexpr std::uint64_t mask = (std::uint64_t{1} << F.bits) - 1;
    if constexpr (F.isSigned) {
        if (!(w == w)) w = 0.0f;
        w = w > -M ? w : -M;
        w = w < M ? w : M;
        return (static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int32_t>(w))) & mask) << F.shift;
    } else {
        w = w > 0.0f ? w : 0.0f;
        w = w < M ? w : M;
        return static_cast<std::uint64_t>(static_cast<std::uint32_t>(w)) << F.shift;
    }
}

// Per-pixel state of the dithering encoder: the error carried along the
// row, one value per stored field.
template <std::size_t N>
struct RowError {
    std::array<float, N> ahead{};
};

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
template <Field F>
inline std::uint64_t QuantizeDithered(const FloatColor& c, float t, FloatColor* carry, int x, int dir,
                                      float& ahead) {
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
    return Pack<F>(q);
}

template <class L, std::size_t... I>
inline void DecodePixel(const BYTE* p, FloatColor& c, std::index_sequence<I...>) {
    const std::uint64_t pixel = Load<L::kBytes>(p);
    c = L::kDefaults;
    (StoreSlot<L::kFields[I]>(c, DecodeField<L::kFields[I]>(pixel)), ...);
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

// Plain rounding: every pixel independent, so the row runs left to right.
template <class L, std::size_t... I>
inline void EncodePlain(BYTE* dst, const FloatColor* in, UINT width, std::index_sequence<I...>) {
    for (UINT x = 0; x < width; ++x) {
        const FloatColor c = Adjusted<L>(in[x]);
        const std::uint64_t pixel =
            (Pack<L::kFields[I]>(SlotValue<L::kFields[I]>(c) * Scale<L::kFields[I]>() + 0.5f) | ...);
        Store<L::kBytes>(dst + std::size_t{x} * L::kBytes, pixel);
    }
}

// Ordered thresholds and/or error diffusion, serpentine: even rows left to
// right, odd rows right to left.
template <class L, std::size_t... I>
inline void EncodeDithered(BYTE* dst, const FloatColor* in, UINT width, UINT y, UINT z, const float* thresholds,
                           FloatColor* carry, std::index_sequence<I...>) {
    const int dir = (y & 1) ? -1 : 1;
    RowError<sizeof...(I)> error;
    for (UINT i = 0; i < width; ++i) {
        const int x = dir > 0 ? static_cast<int>(i) : static_cast<int>(width - 1 - i);
        const float t = thresholds[(z + i) & 3];
        const FloatColor c = Adjusted<L>(in[x]);
        const std::uint64_t pixel =
            (QuantizeDithered<L::kFields[I]>(c, t, carry, x, dir, error.ahead[I]) | ...);
        Store<L::kBytes>(dst + static_cast<std::size_t>(x) * L::kBytes, pixel);
    }
}

}  // namespace quillmark::layout
