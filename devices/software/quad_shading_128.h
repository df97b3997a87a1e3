// The depth test and colour writes of whole quads in 128-bit steps (SSE2):
// a quad's (or two quads') two rows read, tested and written at once. For
// builds for x86 only; quad_shading.h includes it where the scalar pieces
// it builds on are declared.
#pragma once

#include <emmintrin.h>

namespace quillmark::software {
namespace {

// The stored D16 words of the N quads side by side from (x, y), in lane
// order: a row's two pixels of each quad beside the next row's, which is how
// the rows' 32-bit pairs interleave.
template <int N>
[[gnu::always_inline]] inline __m128i StoredWords(const DrawTarget& target, int x, int y) {
    static_assert(N == 1 || N == 2);
    const std::uint16_t* row0 = target.depth + std::size_t(y) * target.depthPitch + std::size_t(x);
    const std::uint16_t* row1 = row0 + target.depthPitch;
    std::uint64_t top = 0, bottom = 0;
    std::memcpy(&top, row0, sizeof(std::uint16_t) * 2 * N);
    std::memcpy(&bottom, row1, sizeof(std::uint16_t) * 2 * N);
    return _mm_unpacklo_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&top)),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&bottom)));
}

// Words in lane order written back to the N quads from (x, y).
template <int N>
[[gnu::always_inline]] inline void StoreWords(const DrawTarget& target, int x, int y, __m128i words) {
    std::uint16_t* row0 = target.depth + std::size_t(y) * target.depthPitch + std::size_t(x);
    std::uint16_t* row1 = row0 + target.depthPitch;
    if constexpr (N == 2) {
        const __m128i rows = _mm_shuffle_epi32(words, _MM_SHUFFLE(3, 1, 2, 0));  // top row, then bottom
        _mm_storel_epi64(reinterpret_cast<__m128i*>(row0), rows);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(row1), _mm_unpackhi_epi64(rows, rows));
    } else {
        const auto top = std::uint32_t(_mm_cvtsi128_si32(words));
        const auto bottom = std::uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(words, 4)));
        std::memcpy(row0, &top, sizeof top);
        std::memcpy(row1, &bottom, sizeof bottom);
    }
}

// `fresh` in the lanes of `mask`, `stored` in the others.
[[gnu::always_inline]] inline __m128i MergedWords(__m128i stored, __m128i fresh, unsigned mask) {
    const __m128i bits = _mm_setr_epi16(1, 2, 4, 8, 16, 32, 64, 128);
    const __m128i take = _mm_cmpeq_epi16(_mm_and_si128(_mm_set1_epi16(std::int16_t(mask)), bits), bits);
    return _mm_or_si128(_mm_and_si128(take, fresh), _mm_andnot_si128(take, stored));
}

// QuadDepthPixels for the N quads from (x, y) at once, which lie in the
// buffers and the tile: their two rows are read once for the test and,
// with `write`, written back once with the passing pixels' depths.
template <int N, DWORD func>
[[gnu::always_inline]] inline unsigned QuadDepthLanes(const DrawTarget& target, int x, int y, unsigned mask,
                                                      const std::uint16_t* z, bool write) {
    __m128i fresh = _mm_setzero_si128();
    std::memcpy(&fresh, z, sizeof(std::uint16_t) * kQuadLanes * N);
    const __m128i stored = StoredWords<N>(target, x, y);
    OffsetWords offsetZ, offsetStored;
    std::memcpy(&offsetZ, &fresh, sizeof fresh);
    std::memcpy(&offsetStored, &stored, sizeof stored);
    offsetZ ^= OffsetWords(WordOffset());
    offsetStored ^= OffsetWords(WordOffset());
    const __m128i pass = __m128i(DepthPasses<func>(offsetZ, offsetStored));
    // One byte per lane, then one bit.
    const unsigned passed = mask & unsigned(_mm_movemask_epi8(_mm_packs_epi16(pass, pass)));
    if (write && passed) StoreWords<N>(target, x, y, MergedWords(stored, fresh, passed));
    return passed;
}

// WriteQuadPixels in lanes: the same saturation, scaling and rounding; a
// partial quad inside the buffers is blended into its two rows whole.
[[gnu::always_inline]] inline void WriteQuadLanes(const TileShading& s, int x, int y, unsigned mask,
                                                  const FloatLanes<4>* bgra) {
    const auto unorm = [](FloatLanes<4> value) {
        const __m128 clamped = _mm_min_ps(_mm_max_ps(__m128(value), _mm_setzero_ps()), _mm_set1_ps(1.0f));
        return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(clamped, _mm_set1_ps(255.0f)), _mm_set1_ps(0.5f)));
    };
    const DrawTarget& target = s.target;
    const bool full = mask == kFullQuad;
    if (!full && !QuadInBuffers(target, x, y)) return WriteQuadPixels(s, x, y, mask, bgra);
    const __m128i pixels01 = _mm_packs_epi32(unorm(bgra[0]), unorm(bgra[1]));
    const __m128i pixels23 = _mm_packs_epi32(unorm(bgra[2]), unorm(bgra[3]));
    __m128i packed = _mm_packus_epi16(pixels01, pixels23);
    if (!target.keepAlpha) packed = _mm_or_si128(packed, _mm_set1_epi32(int(0xFF000000u)));
    std::uint32_t* row0 = target.color + std::size_t(y) * target.colorPitch + std::size_t(x);
    std::uint32_t* row1 = row0 + target.colorPitch;
    if (!full) {  // keep the pixels outside the mask
        const __m128i bits = _mm_setr_epi32(1, 2, 4, 8);
        const __m128i keep = _mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(int(mask)), bits), _mm_setzero_si128());
        const __m128i old = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row0)),
                                               _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row1)));
        packed = _mm_or_si128(_mm_and_si128(keep, old), _mm_andnot_si128(keep, packed));
    }
    _mm_storel_epi64(reinterpret_cast<__m128i*>(row0), packed);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(row1), _mm_srli_si128(packed, 8));
}

}  // namespace
}  // namespace quillmark::software
