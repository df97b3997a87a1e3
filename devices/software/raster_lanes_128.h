// The rasteriser's lane helpers in 128-bit steps (SSE2): lane masks to bits
// and 32-bit depths packed to D16 words. For builds for x86 only.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quillmark::software {
namespace {

// Bit l set where lane l of the W lanes at `lanes` (each 0 or all ones) is
// set, four lanes at a time.
template <int W>
[[gnu::always_inline]] inline unsigned SignBits128(const void* lanes) {
    unsigned bits = 0;
    for (int quarter = 0; quarter < W / 4; ++quarter) {
        __m128 four;
        std::memcpy(&four, static_cast<const char*>(lanes) + sizeof four * std::size_t(quarter), sizeof four);
        bits |= unsigned(_mm_movemask_ps(four)) << (4 * quarter);
    }
    return bits;
}

// Eight D16 values in 16-bit lanes, as signed numbers offset by -32768 so
// that signed comparisons order them as unsigned ones.
using OffsetWords = std::int16_t __attribute__((vector_size(16)));

[[gnu::always_inline]] inline __m128i WordOffset() { return _mm_set1_epi16(std::int16_t(0x8000)); }

// The W (4 or 8) 32-bit depths at `depths` (each 0 .. 65535) as D16 words
// to out[0 .. W): offset into the signed range, packed with signed
// saturation (which none reaches), offset back.
template <int W>
[[gnu::always_inline]] inline void PackD16(const void* depths, std::uint16_t* out) {
    __m128i halves[W / 4];
    std::memcpy(halves, depths, sizeof halves);
    const __m128i offset = _mm_set1_epi32(0x8000);
    const __m128i low = _mm_sub_epi32(halves[0], offset);
    const __m128i high = W > 4 ? _mm_sub_epi32(halves[W / 4 - 1], offset) : low;
    const __m128i words = _mm_xor_si128(_mm_packs_epi32(low, high), WordOffset());
    std::memcpy(out, &words, sizeof(std::uint16_t) * W);
}

}  // namespace
}  // namespace quillmark::software
