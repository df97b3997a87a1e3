// Box halving directly on packed pixels: each field of an output pixel is
// (a + b + c + d + 2) >> 2 of the same field of the 2 x 2 input pixels.
// The 32-bit formats with four 8-bit fields also have a vector form (four
// pixels a step in 128-bit lanes where the processor has them, else two per
// 64-bit word) with the same results.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/win32/wintypes.h"

namespace quillmark::box {

struct PackedField {
    int shift;
    int bits;
};

template <class Word>
inline Word LoadWord(const BYTE* p) {
    Word w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

template <class Word>
inline void StoreWord(BYTE* p, Word w) {
    std::memcpy(p, &w, sizeof w);
}

template <PackedField F, class Word>
inline Word AverageField(Word a, Word b, Word c, Word d) {
    constexpr std::uint32_t mask = (1u << F.bits) - 1;
    const std::uint32_t sum = ((a >> F.shift) & mask) + ((b >> F.shift) & mask) + ((c >> F.shift) & mask) +
                              ((d >> F.shift) & mask) + 2;
    return static_cast<Word>((sum >> 2) << F.shift);
}

// One output row from two input rows, field by field. Bits outside the
// fields (the X bits) come out as 0.
template <class Word, PackedField... Fields>
void HalveRowByFields(const BYTE* top, const BYTE* bottom, BYTE* out, UINT outWidth) {
    constexpr std::size_t n = sizeof(Word);
    for (UINT x = 0; x < outWidth; ++x) {
        const std::size_t at = std::size_t{x} * 2 * n;
        const Word a = LoadWord<Word>(top + at);
        const Word b = LoadWord<Word>(top + at + n);
        const Word c = LoadWord<Word>(bottom + at);
        const Word d = LoadWord<Word>(bottom + at + n);
        StoreWord<Word>(out + std::size_t{x} * n, static_cast<Word>((AverageField<Fields>(a, b, c, d) | ...)));
    }
}

// Four 8-bit fields, two pixels per 64-bit word: the even and odd bytes of
// both rows are summed in 16-bit lanes, then the two pixels of each word.
inline std::uint32_t AverageBytePairs(std::uint64_t top, std::uint64_t bottom) {
    constexpr std::uint64_t lanes = 0x00FF00FF00FF00FFull;
    const std::uint64_t even = (top & lanes) + (bottom & lanes);
    const std::uint64_t odd = ((top >> 8) & lanes) + ((bottom >> 8) & lanes);
    const std::uint64_t evenSum = (even + (even >> 32) + 0x00020002u) >> 2;
    const std::uint64_t oddSum = (odd + (odd >> 32) + 0x00020002u) >> 2;
    return static_cast<std::uint32_t>((evenSum & 0x00FF00FFu) | ((oddSum & 0x00FF00FFu) << 8));
}

#if defined(__SSE2__)
// The even (shift 0) or odd (shift 8) bytes of four pixels of both rows,
// summed in 16-bit lanes, then each pixel pair's sums: the pair's total
// lies in the 32-bit lanes 0 and 2.
template <int Shift>
inline __m128i SumBytePairs(__m128i top, __m128i bottom) {
    const __m128i lanes = _mm_set1_epi16(0x00FF);
    const __m128i rows = _mm_add_epi16(_mm_and_si128(_mm_srli_epi16(top, Shift), lanes),
                                       _mm_and_si128(_mm_srli_epi16(bottom, Shift), lanes));
    return _mm_add_epi16(rows, _mm_srli_epi64(rows, 32));
}

// Lanes 0 and 2 of `a`, then of `b`.
inline __m128i EvenLanes(__m128i a, __m128i b) {
    return _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
}

// Four output pixels from eight pixels of each row.
template <int Shift>
inline __m128i AverageFields(const BYTE* top, const BYTE* bottom) {
    const auto load = [](const BYTE* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    const __m128i sums = EvenLanes(SumBytePairs<Shift>(load(top), load(bottom)),
                                   SumBytePairs<Shift>(load(top + 16), load(bottom + 16)));
    return _mm_srli_epi16(_mm_add_epi16(sums, _mm_set1_epi16(2)), 2);
}
#endif

// Even output widths only.
inline void HalveRowVector32(const BYTE* top, const BYTE* bottom, BYTE* out, UINT outWidth) {
    UINT x = 0;
#if defined(__SSE2__)
    for (; x + 4 <= outWidth; x += 4) {
        const std::size_t at = std::size_t{x} * 8;
        const __m128i even = AverageFields<0>(top + at, bottom + at);
        const __m128i odd = AverageFields<8>(top + at, bottom + at);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + std::size_t{x} * 4), _mm_or_si128(even, _mm_slli_epi16(odd, 8)));
    }
#endif
    for (; x < outWidth; x += 2) {
        const std::size_t at = std::size_t{x} * 8;
        const auto load = [](const BYTE* p) { return LoadWord<std::uint64_t>(p); };
        const std::uint32_t p0 = AverageBytePairs(load(top + at), load(bottom + at));
        const std::uint32_t p1 = AverageBytePairs(load(top + at + 8), load(bottom + at + 8));
        StoreWord<std::uint64_t>(out + std::size_t{x} * 4, p0 | std::uint64_t{p1} << 32);
    }
}

}  // namespace quillmark::box
