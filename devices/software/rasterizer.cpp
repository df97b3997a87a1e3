#include "devices/software/rasterizer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <functional>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/processor/processor_features.h"

// The AVX2 lanes are compiled for x86 with a target attribute and chosen
// at run time only where the processor has them.
#if defined(__x86_64__) || defined(__i386__)
#define QM_RASTER_AVX2 1
#endif

namespace quillmark::software {
namespace {

// A quad row is two pixel rows from an even y; its 2 x 2 quads sit at even
// x. A triangle is walked quad row by quad row, and each row's quads a
// chunk at a time: two quads side by side in 8 lanes with AVX2, one quad in
// 4 lanes otherwise. Lane 4q + 2j + i holds pixel i across and j down in
// quad q of the chunk, so that quad q's lanes are 4q .. 4q + 3 in the
// quad's own pixel order and bit l of a chunk mask is lane l. Every value
// is per pixel or per quad from its own position, so the grouping changes
// no result.
constexpr int kQuadLanes = 4;
constexpr int kMaxChunkLanes = 8;
constexpr unsigned kFullQuad = 0xF;

// The rasteriser's lane widths: one pixel, one quad (SSE2), two quads (AVX2).
enum class RasterLanes { Scalar, Sse2, Avx2 };

// The lanes of a chunk on the path of lane width W.
template <int W>
inline constexpr int kChunkLanes = W > kQuadLanes ? W : kQuadLanes;
template <int W>
inline constexpr int kChunkQuads = kChunkLanes<W> / kQuadLanes;

constexpr int QuadX(int lane) { return 2 * (lane >> 2); }
constexpr int InQuadX(int lane) { return lane & 1; }
constexpr int InQuadY(int lane) { return (lane >> 1) & 1; }
constexpr int PixelX(int lane) { return QuadX(lane) + InQuadX(lane); }

template <class T, int (*offset)(int)>
constexpr std::array<T, kMaxChunkLanes> LaneTable() {
    std::array<T, kMaxChunkLanes> table{};
    for (int lane = 0; lane < kMaxChunkLanes; ++lane) table[std::size_t(lane)] = T(offset(lane));
    return table;
}

// Each lane's offsets from the chunk's top-left pixel, as exact floats, and
// its column as an integer.
alignas(32) constexpr std::array<float, kMaxChunkLanes> kQuadX = LaneTable<float, QuadX>();
alignas(32) constexpr std::array<float, kMaxChunkLanes> kInQuadX = LaneTable<float, InQuadX>();
alignas(32) constexpr std::array<float, kMaxChunkLanes> kInQuadY = LaneTable<float, InQuadY>();
alignas(32) constexpr std::array<float, kMaxChunkLanes> kPixelX = LaneTable<float, PixelX>();
alignas(32) constexpr std::array<std::int32_t, kMaxChunkLanes> kColumn = LaneTable<std::int32_t, PixelX>();

// ---- lanes -----------------------------------------------------------------
// W floats handled as one value: a plain float on the scalar path, a
// vector of 4 or 8 on the others. Every operation is the IEEE operation of
// each lane, so all widths give the same bits.

template <int W>
struct LaneTypes;
template <>
struct LaneTypes<1> {
    using Float = float;
    using Int = std::int32_t;
};
template <>
struct LaneTypes<4> {
    using Float = float __attribute__((vector_size(16)));
    using Int = std::int32_t __attribute__((vector_size(16)));
};
template <>
struct LaneTypes<8> {
    using Float = float __attribute__((vector_size(32)));
    using Int = std::int32_t __attribute__((vector_size(32)));
};

template <int W>
using FloatLanes = typename LaneTypes<W>::Float;
template <int W>
using IntLanes = typename LaneTypes<W>::Int;

template <int W>
[[gnu::always_inline]] inline FloatLanes<W> Load(const float* from) {
    FloatLanes<W> lanes;
    std::memcpy(&lanes, from, sizeof lanes);
    return lanes;
}

template <class Lanes>
[[gnu::always_inline]] inline void Store(const Lanes& lanes, void* to) {
    std::memcpy(to, &lanes, sizeof lanes);
}

// Every lane set to `value` (signs of zero kept).
template <int W>
[[gnu::always_inline]] inline FloatLanes<W> Broadcast(float value) {
    if constexpr (W == 1) {
        return value;
    } else {
        FloatLanes<W> lanes;
        for (int i = 0; i < W; ++i) lanes[i] = value;
        return lanes;
    }
}

template <int W>
[[gnu::always_inline]] inline IntLanes<W> Truncate(FloatLanes<W> value) {
    if constexpr (W == 1) {
        return std::int32_t(value);
    } else {
        return __builtin_convertvector(value, IntLanes<W>);
    }
}

// floor(saturate(value) * scale + 0.5): a colour channel's 8-bit value
// (scale 255) or a D16 depth (scale 65535). Saturation is max(value, 0)
// then min(·, 1), each taking its right operand unless the left is
// strictly beyond it, so NaN saturates to 0.
template <int W>
[[gnu::always_inline]] inline IntLanes<W> ScaledUnorm(FloatLanes<W> value, float scale) {
    const FloatLanes<W> zero = Broadcast<W>(0.0f), one = Broadcast<W>(1.0f);
    const FloatLanes<W> low = value > zero ? value : zero;
    const FloatLanes<W> clamped = low < one ? low : one;
    return Truncate<W>(clamped * scale + 0.5f);
}

template <int W>
[[gnu::always_inline]] inline IntLanes<W> LoadInts(const std::int32_t* from) {
    IntLanes<W> lanes;
    std::memcpy(&lanes, from, sizeof lanes);
    return lanes;
}

// Bit l set where lane l of `lanes` (each 0 or all ones) is set.
template <int W>
[[gnu::always_inline]] inline unsigned LaneBits(IntLanes<W> lanes) {
    unsigned bits = 0;
#if defined(__SSE2__)
    for (int half = 0; half < W / kQuadLanes; ++half) {
        __m128 four;
        std::memcpy(&four, reinterpret_cast<const char*>(&lanes) + sizeof four * std::size_t(half), sizeof four);
        bits |= unsigned(_mm_movemask_ps(four)) << (kQuadLanes * half);
    }
#else
    for (int l = 0; l < W; ++l) bits |= unsigned(lanes[l] != 0) << l;
#endif
    return bits;
}

#if defined(__SSE2__)
// Eight D16 values in 16-bit lanes, as signed numbers offset by -32768 so
// that signed comparisons order them as unsigned ones.
using OffsetWords = std::int16_t __attribute__((vector_size(16)));

[[gnu::always_inline]] inline __m128i WordOffset() { return _mm_set1_epi16(std::int16_t(0x8000)); }
#endif

// W D16 depths (each 0 .. 65535) from 32-bit lanes to out[0 .. W).
template <int W>
[[gnu::always_inline]] inline void StoreD16(IntLanes<W> depths, std::uint16_t* out) {
    if constexpr (W == 1) {
        *out = std::uint16_t(depths);
    } else {
#if defined(__SSE2__)
        // Offset into the signed range, packed with signed saturation
        // (which none reaches), offset back.
        __m128i halves[W / kQuadLanes];
        std::memcpy(halves, &depths, sizeof depths);
        const __m128i offset = _mm_set1_epi32(0x8000);
        const __m128i low = _mm_sub_epi32(halves[0], offset);
        const __m128i high = W > kQuadLanes ? _mm_sub_epi32(halves[W / kQuadLanes - 1], offset) : low;
        const __m128i words = _mm_xor_si128(_mm_packs_epi32(low, high), WordOffset());
        std::memcpy(out, &words, sizeof(std::uint16_t) * W);
#else
        for (int i = 0; i < W; ++i) out[i] = std::uint16_t(depths[i]);
#endif
    }
}

// The depth plane in lanes, set up once per triangle for its chunks. A
// pixel's depth is (z + dz/dx · (px − originX)) + dz/dy · (py − originY);
// the second term depends on the row alone, so a quad row works it out
// once for all its chunks.
template <int W>
class DepthPlane {
public:
    explicit DepthPlane(const TriangleSetup& t)
        : z_(Broadcast<W>(t.z)), dzdx_(Broadcast<W>(t.dzdx)), dzdy_(t.dzdy), originX_(Broadcast<W>(t.originX)),
          originY_(t.originY) {}

    // dz/dy · (py − originY) of each lane of the chunks of quad row y.
    struct Row {
        alignas(32) float down[kChunkLanes<W>];
    };

    [[gnu::always_inline]] Row RowAt(int y) const {
        Row row;
        for (int l = 0; l < kChunkLanes<W>; l += W) {
            const FloatLanes<W> py = Load<W>(&kInQuadY[std::size_t(l)]) + float(y);
            Store(dzdy_ * (py - originY_), row.down + l);
        }
        return row;
    }

    // The D16 depths of the chunk's pixels at x in `row`.
    [[gnu::always_inline]] void At(const Row& row, int x, std::uint16_t* out) const {
        for (int l = 0; l < kChunkLanes<W>; l += W) {
            const FloatLanes<W> px = Load<W>(&kPixelX[std::size_t(l)]) + float(x);
            const FloatLanes<W> z = (z_ + dzdx_ * (px - originX_)) + Load<W>(row.down + l);
            StoreD16<W>(ScaledUnorm<W>(z, 65535.0f), out + l);
        }
    }

private:
    FloatLanes<W> z_, dzdx_;
    float dzdy_;
    FloatLanes<W> originX_;
    float originY_;
};

// One stage's (s/w, t/w, q/w) planes, set up once per triangle for its
// chunks: each plane's value and steps, and every lane's in-quad steps
// ddx · i and ddy · j.
template <int W>
class StagePlanes {
public:
    StagePlanes() = default;  // for a draw without a direct stage: never evaluated
    StagePlanes(const TriangleSetup& t, int base)
        : originX_(Broadcast<W>(t.originX)), originY_(t.originY), rowY_(1) {
        for (int k = 0; k < 3; ++k) {
            Plane& plane = planes_[k];
            const auto attribute = std::size_t(base + k);
            plane.value = Broadcast<W>(t.value[attribute]);
            plane.ddx = Broadcast<W>(t.ddx[attribute]);
            plane.ddy = t.ddy[attribute];
            for (int l = 0; l < kChunkLanes<W>; l += W) {
                Store(plane.ddx * Load<W>(&kInQuadX[std::size_t(l)]), plane.across + l);
                Store(plane.ddy * Load<W>(&kInQuadY[std::size_t(l)]), plane.down + l);
            }
        }
    }

    // The texture coordinates at the pixels of the chunk at (x, y). Each
    // quad starts from its top-left pixel, f0 = (value + ddx · (qx −
    // originX)) + ddy · (qy − originY), and steps (f0 + ddx · i) + ddy · j
    // to its pixel (i, j); then u = (s/w) / (q/w) and v alike, through one
    // division. The row's terms ddy · (qy − originY) are kept from the
    // chunk before when it lay in the same quad row.
    [[gnu::always_inline]] void At(int x, int y, float* u, float* v) const {
        if (y != rowY_) StartRow(y);
        const FloatLanes<W> qx = Broadcast<W>(float(x));
        for (int l = 0; l < kChunkLanes<W>; l += W) {
            const FloatLanes<W> ox = (Load<W>(&kQuadX[std::size_t(l)]) + qx) - originX_;
            FloatLanes<W> attribute[3];
#pragma GCC unroll 3
            for (int k = 0; k < 3; ++k) {
                const Plane& plane = planes_[k];
                const FloatLanes<W> first = (plane.value + plane.ddx * ox) + rowDown_[k];
                attribute[k] = (first + Load<W>(plane.across + l)) + Load<W>(plane.down + l);
            }
            const FloatLanes<W> inverse = Broadcast<W>(1.0f) / attribute[2];
            Store(attribute[0] * inverse, u + l);
            Store(attribute[1] * inverse, v + l);
        }
    }

private:
    // Each plane's ddy · (qy − originY) for the quad row y, in every lane.
    void StartRow(int y) const {
        const float oy = float(y) - originY_;
        for (int k = 0; k < 3; ++k) rowDown_[k] = Broadcast<W>(planes_[k].ddy * oy);
        rowY_ = y;
    }

    struct Plane {
        FloatLanes<W> value, ddx;  // in every lane
        float ddy;
        alignas(32) float across[kChunkLanes<W>], down[kChunkLanes<W>];
    };
    std::array<Plane, 3> planes_;
    FloatLanes<W> originX_;
    float originY_;
    // The quad row whose terms rowDown_ holds; odd, so no quad row's, at first.
    mutable int rowY_;
    mutable FloatLanes<W> rowDown_[3];
};

// ---- depth -----------------------------------------------------------------

// Whether z passes against stored under `func`: a bool for one pixel, and
// for lanes (OffsetWords) each lane 0 or all ones.
template <DWORD func, class Depth>
[[gnu::always_inline]] inline auto DepthPasses(Depth z, Depth stored) {
    if constexpr (func == D3DCMP_NEVER) return z != z;
    if constexpr (func == D3DCMP_LESS) return z < stored;
    if constexpr (func == D3DCMP_EQUAL) return z == stored;
    if constexpr (func == D3DCMP_LESSEQUAL) return z <= stored;
    if constexpr (func == D3DCMP_GREATER) return z > stored;
    if constexpr (func == D3DCMP_NOTEQUAL) return z != stored;
    if constexpr (func == D3DCMP_GREATEREQUAL) return z >= stored;
    return z == z;
}

// The pixels of the quad mask `mask` at (x, y) whose depths pass, tested
// one at a time; with `write`, each passing pixel's depth is stored. Pixels
// outside the mask (perhaps outside the buffer) are never touched.
template <DWORD func>
unsigned QuadDepthPixels(const DrawTarget& target, int x, int y, unsigned mask, const std::uint16_t* z, bool write) {
    std::uint16_t* row = target.depth + std::size_t(y) * target.depthPitch + std::size_t(x);
    for (int i = 0; i < kQuadLanes; ++i) {
        if (!(mask & (1u << i))) continue;
        std::uint16_t& stored = row[std::size_t(i >> 1) * target.depthPitch + std::size_t(i & 1)];
        if (!DepthPasses<func>(z[i], stored)) {
            mask &= ~(1u << i);
        } else if (write) {
            stored = z[i];
        }
    }
    return mask;
}

// Whether all four pixels of the quad at (x, y) lie in the buffers, so that
// a partial quad may be read and blended whole: its pixels belong to one
// tile, drawn by one thread.
bool QuadInBuffers(const DrawTarget& target, int x, int y) { return x + 1 < target.width && y + 1 < target.height; }

#if defined(__SSE2__)
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
#endif

// The chunk's pixels in `mask` that pass the depth test, whose depths are
// stored when `write`. A chunk (or one of its quads) that lies in the
// buffers and in the tile's columns (before readRight) is tested and
// written whole; a quad reaching beyond them pixel by pixel.
template <int W, DWORD func>
[[gnu::always_inline]] inline unsigned ChunkDepthPixels(const DrawTarget& target, int readRight, int x, int y,
                                                        unsigned mask, const std::uint16_t* z, bool write) {
    constexpr int quads = kChunkQuads<W>;
    [[maybe_unused]] const bool rows = y + 1 < target.height;
#if defined(__SSE2__)
    if constexpr (W > 1) {
        if (rows && x + 2 * quads <= readRight) return QuadDepthLanes<quads, func>(target, x, y, mask, z, write);
    }
#endif
    unsigned passed = 0;
    for (int q = 0; q < quads; ++q) {
        const unsigned quad = (mask >> (kQuadLanes * q)) & kFullQuad;
        if (!quad) continue;
        const int qx = x + 2 * q;
        const std::uint16_t* quadZ = z + kQuadLanes * q;
        unsigned pass;
#if defined(__SSE2__)
        if (W > 1 && rows && qx + 2 <= readRight) {
            pass = QuadDepthLanes<1, func>(target, qx, y, quad, quadZ, write);
        } else
#endif
        {
            pass = QuadDepthPixels<func>(target, qx, y, quad, quadZ, write);
        }
        passed |= pass << (kQuadLanes * q);
    }
    return passed;
}

// ---- tile state ------------------------------------------------------------

// The direct stage of a draw, settled once per tile. The texel bytes are
// scaled to [0, 1] and the alpha modulated by the constant CURRENT alpha,
// then packed, which saturates them as RunStages would. x · 1 is x to the
// bit and a target without alpha never stores it, so only a target with
// alpha and a factor other than 1 multiplies.
struct DirectStage {
    InPlaceQuadKernel kernel = nullptr;  // null when the draw runs the stages
    InPlaceChunkKernel chunkKernel = nullptr;  // for chunks of two quads, where the sampler has one
    const SamplerSetup* sampler = nullptr;
    int base = 0;  // the stage's (s, t, q)
    bool modulate = false;
    float alpha = 1.0f;
};

DirectStage DirectStageOf(const DrawContext& c) {
    if (c.directStage < 0) return {};
    const auto stage = std::uint32_t(c.directStage);
    const float alpha = c.program.steps[stage].alphaOp == D3DTOP_MODULATE ? c.program.startCurrent.a : 1.0f;
    return {c.directKernel, c.directChunkKernel, &c.samplers[stage], c.attributeBase[stage],
            c.target.keepAlpha && alpha != 1.0f, alpha};
}

// What a tile's chunks share: the draw, its direct stage, and a copy of
// the target, which no sampler call can change.
struct TileShading {
    const DrawContext& context;
    DirectStage direct;
    DrawTarget target;
    int readRight;  // columns before it lie in the tile and the buffers
};

// ---- colour ----------------------------------------------------------------

// The A8R8G8B8 word of one pixel from channels B, G, R, A as floats, each
// by ScaledUnorm; with keepAlpha false the alpha byte is 0xFF.
std::uint32_t PackPixel(const float* bgra, bool keepAlpha) {
    const auto byte = [](float channel) { return std::uint32_t(ScaledUnorm<1>(channel, 255.0f)); };
    return byte(bgra[0]) | byte(bgra[1]) << 8 | byte(bgra[2]) << 16 | (keepAlpha ? byte(bgra[3]) : 0xFFu) << 24;
}

// Packs the quad at (x, y) (channels B, G, R, A of pixel i in bgra[i]) and
// writes the colours of its pixels in `mask`.
void WriteQuadPixels(const TileShading& s, int x, int y, unsigned mask, const FloatLanes<4>* bgra) {
    const DrawTarget& target = s.target;
    const std::size_t color = std::size_t(y) * target.colorPitch + std::size_t(x);
    for (int i = 0; i < kQuadLanes; ++i) {
        if (!(mask & (1u << i))) continue;
        float channels[4];
        std::memcpy(channels, &bgra[i], sizeof channels);
        const std::size_t across = std::size_t(i & 1), down = std::size_t(i >> 1);
        target.color[color + down * target.colorPitch + across] = PackPixel(channels, target.keepAlpha);
    }
}

#if defined(__SSE2__)
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
#endif

template <int W>
[[gnu::always_inline]] inline void WriteQuad(const TileShading& s, int x, int y, unsigned mask,
                                             const FloatLanes<4>* bgra) {
#if defined(__SSE2__)
    if constexpr (W > 1) return WriteQuadLanes(s, x, y, mask, bgra);
#endif
    WriteQuadPixels(s, x, y, mask, bgra);
}

// Quad q of a chunk's channel registers (see WriteChunk), written at (x, y)
// for the pixels in `mask`.
[[gnu::always_inline]] inline void WriteQuadOfChunk(const TileShading& s, const FloatLanes<8>* bgra, int q, int x,
                                                    int y, unsigned mask) {
    if (!mask) return;
    FloatLanes<4> pixels[kQuadLanes];
    for (int i = 0; i < kQuadLanes; ++i) {
        const int lane = kQuadLanes * q + i;
        const FloatLanes<4> channels = {bgra[0][lane], bgra[1][lane], bgra[2][lane], bgra[3][lane]};
        std::memcpy(&pixels[i], &channels, sizeof channels);
    }
    WriteQuad<2 * kQuadLanes>(s, x, y, mask, pixels);
}

// The colours of the chunk at (x, y), two quads side by side with pixel i
// of quad q in lane 4q + i, as one 8-lane value per channel (B, G, R, A):
// packed as WriteQuadPixels packs, and written for the pixels in `mask`. A
// partial chunk inside the buffers is blended into its two rows whole; one
// reaching past them is written quad by quad.
[[gnu::always_inline]] inline void WriteChunk(const TileShading& s, int x, int y, unsigned mask,
                                              const FloatLanes<8>* bgra) {
    constexpr int kChunk = 2 * kQuadLanes;
    constexpr unsigned kFullChunk = (1u << kChunk) - 1;
    const DrawTarget& target = s.target;
    const bool full = mask == kFullChunk;
    if (!full && !QuadInBuffers(target, x + 2, y)) {  // the chunk's right quad, and so both
        for (int q = 0; q < 2; ++q) WriteQuadOfChunk(s, bgra, q, x + 2 * q, y, (mask >> (kQuadLanes * q)) & kFullQuad);
        return;
    }
    using Row = std::uint32_t __attribute__((vector_size(16)));
    const auto byte = [](FloatLanes<8> channel) { return ScaledUnorm<8>(channel, 255.0f); };
    IntLanes<8> words = byte(bgra[0]) | byte(bgra[1]) << 8 | byte(bgra[2]) << 16;
    words |= target.keepAlpha ? byte(bgra[3]) << 24 : IntLanes<8>{} + std::int32_t(0xFF000000u);
    const auto rows = std::bit_cast<std::array<std::uint32_t, kChunk>>(words);
    // Row 0 holds lanes 0, 1 (quad 0) and 4, 5 (quad 1); row 1 lanes 2, 3, 6, 7.
    constexpr int kTopLanes[4] = {0, 1, 4, 5}, kBottomLanes[4] = {2, 3, 6, 7};
    Row top, bottom, topBits, bottomBits;
    for (int k = 0; k < 4; ++k) {
        top[k] = rows[std::size_t(kTopLanes[k])], bottom[k] = rows[std::size_t(kBottomLanes[k])];
        topBits[k] = 1u << kTopLanes[k], bottomBits[k] = 1u << kBottomLanes[k];
    }
    std::uint32_t* row0 = target.color + std::size_t(y) * target.colorPitch + std::size_t(x);
    std::uint32_t* row1 = row0 + target.colorPitch;
    const Row lanes = Row{} + mask;
    if (!full) {  // keep the pixels outside the mask
        Row old0, old1;
        std::memcpy(&old0, row0, sizeof old0);
        std::memcpy(&old1, row1, sizeof old1);
        top = (lanes & topBits) != 0 ? top : old0;
        bottom = (lanes & bottomBits) != 0 ? bottom : old1;
    }
    std::memcpy(row0, &top, sizeof top);
    std::memcpy(row1, &bottom, sizeof bottom);
}

// ---- shading ---------------------------------------------------------------

// A quad of a one-quad chunk waiting for a partner: two such quads of one
// triangle share a call of the chunk kernel, which gives each quad the
// texels the quad kernel would. Only colours wait (depths are stored with
// their test), and only within the triangle, whose quads share no pixel.
struct WaitingQuad {
    alignas(16) float u[kQuadLanes], v[kQuadLanes];
    int x = 0, y = 0;
    unsigned mask = 0;  // 0: no quad waits
};

// The chunk kernel's texels of u[0 .. 7], v[0 .. 7] scaled to [0, 1], the
// alpha modulated.
template <bool modulate>
[[gnu::always_inline]] inline void SampleChunk(const DirectStage& d, const float* u, const float* v,
                                               FloatLanes<8>* bgra) {
    ChunkTexels chunk;
    d.chunkKernel(*d.sampler, u, v, &chunk);
    for (int c = 0; c < 4; ++c) bgra[c] = Load<8>(chunk.channels[c]) * kByteScale;
    if constexpr (modulate) bgra[3] *= d.alpha;
}

// One quad at (x, y) by the quad kernel. The derivatives are the quad's:
// right neighbour minus top-left pixel across, bottom neighbour minus
// top-left pixel down, shared by all four pixels.
template <int W, bool modulate>
[[gnu::always_inline]] inline void ShadeQuad(const TileShading& s, const float* u, const float* v, int x, int y,
                                             unsigned mask) {
    const DirectStage& d = s.direct;
    // The kernel writes the pixels of the mask at least; the others are
    // packed too, then left out of the write.
    TexelLanes texels[kQuadLanes] = {};
    d.kernel(*d.sampler, u, v, u[1] - u[0], v[1] - v[0], u[2] - u[0], v[2] - v[0], mask, texels);
    const FloatLanes<4> scale = {kByteScale, kByteScale, kByteScale, kByteScale};
    FloatLanes<4> bgra[kQuadLanes];
#pragma GCC unroll 4
    for (int i = 0; i < kQuadLanes; ++i) {
        FloatLanes<4> channels;
        std::memcpy(&channels, &texels[i], sizeof channels);
        channels *= scale;
        if constexpr (modulate) channels *= FloatLanes<4>{1.0f, 1.0f, 1.0f, d.alpha};
        std::memcpy(&bgra[i], &channels, sizeof channels);
    }
    WriteQuad<W>(s, x, y, mask, bgra);
}

// The lone quad at (x, y) with the waiting one by the chunk kernel, or
// left waiting when none is.
template <bool modulate>
[[gnu::always_inline]] inline void ShadeOrWait(const TileShading& s, WaitingQuad& waiting, const float* u,
                                               const float* v, int x, int y, unsigned mask) {
    if (!waiting.mask) {
        std::memcpy(waiting.u, u, sizeof waiting.u);
        std::memcpy(waiting.v, v, sizeof waiting.v);
        waiting.x = x, waiting.y = y, waiting.mask = mask;
        return;
    }
    alignas(32) float pairU[2 * kQuadLanes], pairV[2 * kQuadLanes];
    std::memcpy(pairU, waiting.u, sizeof waiting.u);
    std::memcpy(pairV, waiting.v, sizeof waiting.v);
    std::memcpy(pairU + kQuadLanes, u, sizeof waiting.u);
    std::memcpy(pairV + kQuadLanes, v, sizeof waiting.v);
    FloatLanes<8> bgra[4];
    SampleChunk<modulate>(s.direct, pairU, pairV, bgra);
    WriteQuadOfChunk(s, bgra, 0, waiting.x, waiting.y, waiting.mask);
    WriteQuadOfChunk(s, bgra, 1, x, y, mask);
    waiting.mask = 0;
}

// The quad still waiting at the triangle's end, by the quad kernel.
template <int W>
void ShadeWaiting(const TileShading& s, WaitingQuad& waiting) {
    if (!waiting.mask) return;
    if (s.direct.modulate) {
        ShadeQuad<W, true>(s, waiting.u, waiting.v, waiting.x, waiting.y, waiting.mask);
    } else {
        ShadeQuad<W, false>(s, waiting.u, waiting.v, waiting.x, waiting.y, waiting.mask);
    }
    waiting.mask = 0;
}

// The direct stage's quads of the chunk at (x, y), with the alpha factor
// or without: where the draw has a chunk kernel, both quads by it, or a
// lone quad with another lone quad of the triangle; else quad by quad.
template <int W, bool modulate>
[[gnu::always_inline]] inline void ShadeDirect(const TileShading& s, const StagePlanes<W>& planes, WaitingQuad& waiting,
                                               int x, int y, unsigned mask) {
    const DirectStage& d = s.direct;
    alignas(32) float u[kChunkLanes<W>], v[kChunkLanes<W>];
    planes.At(x, y, u, v);
    if constexpr (kChunkQuads<W> == 2) {
        if (d.chunkKernel) {
            const unsigned left = mask & kFullQuad, right = mask >> kQuadLanes;
            if (left && right) {
                FloatLanes<8> bgra[4];
                SampleChunk<modulate>(d, u, v, bgra);
                return WriteChunk(s, x, y, mask, bgra);
            }
            const int q = left ? 0 : 1;
            return ShadeOrWait<modulate>(s, waiting, u + kQuadLanes * q, v + kQuadLanes * q, x + 2 * q, y,
                                         left ? left : right);
        }
    }
#pragma GCC unroll 2
    for (int q = 0; q < kChunkQuads<W>; ++q) {
        const unsigned quad = (mask >> (kQuadLanes * q)) & kFullQuad;
        if (quad) ShadeQuad<W, modulate>(s, u + kQuadLanes * q, v + kQuadLanes * q, x + 2 * q, y, quad);
    }
}

// Every stage from the program's start: each sampled stage's texels, quad
// by quad, then the stages per pixel.
template <int W>
[[gnu::always_inline]] inline void ShadeStages(const TileShading& s, const TriangleSetup& t, int x, int y,
                                               unsigned mask) {
    const DrawContext& c = s.context;
    constexpr int lanes = kChunkLanes<W>;
    Color4 texels[lanes][kStageCount];
    for (std::uint32_t stage = 0; stage < c.program.count; ++stage) {
        if (c.attributeBase[stage] < 0) continue;
        alignas(32) float u[lanes], v[lanes];
        StagePlanes<W>(t, c.attributeBase[stage]).At(x, y, u, v);
        for (int q = 0; q < kChunkQuads<W>; ++q) {
            const unsigned quad = (mask >> (kQuadLanes * q)) & kFullQuad;
            if (!quad) continue;
            const float* qu = u + kQuadLanes * q;
            const float* qv = v + kQuadLanes * q;
            Color4 sampled[kQuadLanes];
            SampleQuad(c.samplers[stage], qu, qv, qu[1] - qu[0], qv[1] - qv[0], qu[2] - qu[0], qv[2] - qv[0], quad,
                       sampled);
            for (int i = 0; i < kQuadLanes; ++i) texels[kQuadLanes * q + i][stage] = sampled[i];
        }
    }
    for (int q = 0; q < kChunkQuads<W>; ++q) {
        const unsigned quad = (mask >> (kQuadLanes * q)) & kFullQuad;
        if (!quad) continue;
        FloatLanes<4> bgra[kQuadLanes] = {};
        for (int i = 0; i < kQuadLanes; ++i) {
            if (!(quad & (1u << i))) continue;
            const Color4 color = RunStages(c.program, texels[kQuadLanes * q + i]);
            const FloatLanes<4> channels = {color.b, color.g, color.r, color.a};
            std::memcpy(&bgra[i], &channels, sizeof channels);
        }
        WriteQuad<W>(s, x + 2 * q, y, quad, bgra);
    }
}

// Depth test and write, shading and colour writes of the chunk's pixels in
// `mask`. No later step drops a pixel that passed, so its depth is stored
// with the test, from the rows the test read.
template <int W, DWORD depthFunc>
[[gnu::always_inline]] inline void ShadeChunk(const TileShading& s, const TriangleSetup& t, const DepthPlane<W>& depth,
                                              const typename DepthPlane<W>::Row& depthRow,
                                              const StagePlanes<W>& direct, WaitingQuad& waiting, int x, int y,
                                              unsigned mask) {
    // A draw without the depth test has the tile function of ALWAYS.
    if (depthFunc != D3DCMP_ALWAYS || s.context.depth.test) {
        alignas(16) std::uint16_t depths[kChunkLanes<W>];
        depth.At(depthRow, x, depths);
        mask = ChunkDepthPixels<W, depthFunc>(s.target, s.readRight, x, y, mask, depths, s.context.depth.write);
        if (!mask) return;
    }
    if (!s.direct.kernel) {
        ShadeStages<W>(s, t, x, y, mask);
    } else if (s.direct.modulate) {
        ShadeDirect<W, true>(s, direct, waiting, x, y, mask);
    } else {
        ShadeDirect<W, false>(s, direct, waiting, x, y, mask);
    }
}

// ---- coverage --------------------------------------------------------------

std::int64_t FloorDiv(std::int64_t n, std::int64_t d) {  // d > 0
    return n >= 0 ? n / d : -((-n + d - 1) / d);
}

constexpr RowSpan kEmptySpan{1, 0};

// The spans of successive rows by two of the triangle's edges. Each edge
// function is linear in x, so its inequality a·x + k ≥ 0 (k = b·y + c)
// solves exactly in integers: for a > 0 the first pixel is -floor(k / a),
// for a < 0 the last is floor(k / -a). The quotient and remainder of k by
// |a| are stepped from row to row without dividing.
class RowWalk {
public:
    static constexpr std::size_t kEdges = 2;

    // The walk of the edges `which` from row y.
    RowWalk(const TriangleSetup& t, const std::array<int, kEdges>& which, int y) {
        for (std::size_t e = 0; e < kEdges; ++e) {
            Edge& edge = edges_[e];
            const auto index = std::size_t(which[e]);
            const std::int64_t a = t.edgeA[index], b = t.edgeB[index];
            const std::int64_t k = b * y + t.edgeC[index];
            edge.sign = a > 0 ? 1 : a < 0 ? -1 : 0;
            edge.divisor = edge.sign ? (a > 0 ? a : -a) : 1;
            edge.quotient = FloorDiv(k, edge.divisor);
            edge.remainder = k - edge.quotient * edge.divisor;
            edge.stepQuotient = FloorDiv(b, edge.divisor);
            edge.stepRemainder = b - edge.stepQuotient * edge.divisor;
        }
    }

    // The spans of `rows` rows from the current one within [left, right),
    // walked with the edges' signs fixed.
    void Spans(int left, int right, int rows, RowSpan* out);

private:
    struct Edge {
        int sign;
        std::int64_t divisor, quotient, remainder, stepQuotient, stepRemainder;
    };

    // One edge's bound on the current row, then the edge on to the next
    // row: a > 0 bounds the span on the left, a < 0 on the right, and
    // a = 0 keeps or empties the whole row.
    template <int sign>
    [[gnu::always_inline]] static void Step(Edge& edge, std::int64_t& first, std::int64_t& last, bool& empty) {
        const std::int64_t quotient = edge.quotient;
        if constexpr (sign > 0) first = std::max(first, -quotient);
        if constexpr (sign < 0) last = std::min(last, quotient);
        if constexpr (sign == 0) empty = empty || quotient < 0;  // k itself when a = 0
        edge.remainder += edge.stepRemainder;
        const bool carry = edge.remainder >= edge.divisor;
        edge.quotient = quotient + edge.stepQuotient + std::int64_t{carry};
        edge.remainder -= carry ? edge.divisor : 0;
    }

    // The current row's span within [left, right), then on to the next row.
    template <int... signs>
    [[gnu::always_inline]] RowSpan Next(int left, int right) {
        std::int64_t first = left, last = right - 1;
        bool empty = false;
        std::size_t e = 0;
        (Step<signs>(edges_[e++], first, last, empty), ...);
        if (empty) return kEmptySpan;
        // Both ends stay within [left - 1, right] so that they convert exactly.
        first = std::min<std::int64_t>(first, right);
        last = std::max<std::int64_t>(last, left - 1);
        return {int(first), int(last)};
    }

    template <int... signs>
    static void Walk(RowWalk& walk, int left, int right, int rows, RowSpan* out) {
        for (int r = 0; r < rows; ++r) out[r] = walk.Next<signs...>(left, right);
    }

    // Walk for each of the 9 pairs of signs, indexed 3 (sign0 + 1) +
    // sign1 + 1.
    using Walker = void (*)(RowWalk&, int, int, int, RowSpan*);
    static constexpr std::size_t kSignCombinations = 9;
    template <std::size_t... index>
    static constexpr std::array<Walker, sizeof...(index)> Walkers(std::index_sequence<index...>) {
        return {Walk<int(index / 3) - 1, int(index % 3) - 1>...};
    }

    std::array<Edge, kEdges> edges_;
};

void RowWalk::Spans(int left, int right, int rows, RowSpan* out) {
    static constexpr std::array<Walker, kSignCombinations> kWalkers =
        Walkers(std::make_index_sequence<kSignCombinations>());
    kWalkers[std::size_t(3 * (edges_[0].sign + 1) + edges_[1].sign + 1)](*this, left, right, rows, out);
}

// Narrows the rows [*y0, *y1] to those where the triangle may cover a pixel
// of the columns [x0, x1]; false when there are none. An edge a·x + b·y +
// c ≥ 0 holds at some column of a row only if it holds at the row's best
// column (x1 when a > 0, else x0), which bounds y from one side when b ≠ 0
// and keeps or removes every row when b = 0. A long thin triangle crossing
// a tile keeps only the rows where it crosses the tile's columns. Most
// tiles that a triangle's bounds touch lie wholly outside one of its
// edges, negative at the rectangle's best corner: they are dropped first,
// without dividing.
bool RowsInColumns(const TriangleSetup& t, int x0, int x1, int* y0, int* y1) {
    std::array<std::int64_t, 3> k;  // each edge is b·y + k at its best column
    for (std::size_t e = 0; e < 3; ++e) {
        const std::int64_t a = t.edgeA[e], b = t.edgeB[e];
        k[e] = a * (a > 0 ? x1 : x0) + t.edgeC[e];
        if (b * (b > 0 ? *y1 : *y0) + k[e] < 0) return false;
    }
    std::int64_t top = *y0, bottom = *y1;
    for (std::size_t e = 0; e < 3; ++e) {
        const std::int64_t b = t.edgeB[e];
        if (b > 0) {
            top = std::max(top, -FloorDiv(k[e], b));
        } else if (b < 0) {
            bottom = std::min(bottom, FloorDiv(k[e], -b));
        }
    }
    if (top > bottom) return false;
    *y0 = int(top);
    *y1 = int(bottom);
    return true;
}

// The span clipped to the columns [left, right).
RowSpan Clipped(const RowSpan& span, int left, int right) {
    return {std::max(span.first, left), std::min(span.last, right - 1)};
}

// The lanes of the chunk at x that lie in their row's span (first[l] ..
// last[l] for lane l), as a chunk mask; an empty span holds no column.
template <int W>
[[gnu::always_inline]] inline unsigned CoveredLanes(int x, const std::int32_t* first, const std::int32_t* last) {
    if constexpr (W == 1) {
        unsigned mask = 0;
        for (int l = 0; l < kChunkLanes<W>; ++l) {
            const int column = x + PixelX(l);
            mask |= unsigned(column >= first[l] && column <= last[l]) << l;
        }
        return mask;
    } else {
        IntLanes<W> column = LoadInts<W>(kColumn.data());
        column += x;
        return LaneBits<W>((column >= LoadInts<W>(first)) & (column <= LoadInts<W>(last)));
    }
}

// The triangle's pixels in [left, right) x [top, bottom), a quad row at a
// time from the even row at or above top, each row's quads from the even
// column at or left of its spans' first pixel; `spans` holds rows top ..
// bottom - 1 (wider than [left, right) perhaps).
template <int W, DWORD depthFunc>
[[gnu::always_inline]] inline void RasterizeTriangle(const TileShading& s, const TriangleSetup& t,
                                                     const RowSpan* spans, int left, int top, int right, int bottom) {
    constexpr int lanes = kChunkLanes<W>;
    const DepthPlane<W> depth(t);
    const StagePlanes<W> direct = s.direct.kernel ? StagePlanes<W>(t, s.direct.base) : StagePlanes<W>();
    WaitingQuad waiting;
    for (int y = top & ~1; y < bottom; y += 2) {
        const RowSpan upper = y >= top ? Clipped(spans[y - top], left, right) : kEmptySpan;
        const RowSpan lower = y + 1 < bottom ? Clipped(spans[y + 1 - top], left, right) : kEmptySpan;
        const int first = std::min(upper.Empty() ? INT_MAX : upper.first, lower.Empty() ? INT_MAX : lower.first);
        const int last = std::max(upper.Empty() ? INT_MIN : upper.last, lower.Empty() ? INT_MIN : lower.last);
        if (first > last) continue;
        const typename DepthPlane<W>::Row depthRow = depth.RowAt(y);
        alignas(32) std::int32_t firsts[lanes], lasts[lanes];
        for (int l = 0; l < lanes; ++l) {
            const RowSpan& row = InQuadY(l) ? lower : upper;
            firsts[l] = row.first;
            lasts[l] = row.last;
        }
        for (int x = first & ~1; x <= last; x += 2 * kChunkQuads<W>) {
            const unsigned mask = CoveredLanes<W>(x, firsts, lasts);
            if (mask) ShadeChunk<W, depthFunc>(s, t, depth, depthRow, direct, waiting, x, y, mask);
        }
    }
    ShadeWaiting<W>(s, waiting);
}

template <int W, DWORD depthFunc>
[[gnu::always_inline]] inline void RasterizeTileWith(const DrawContext& c, const TileWork& tile) {
    const int left = std::max(tile.left, c.clipLeft), top = std::max(tile.top, c.clipTop);
    const int right = std::min(tile.right, c.clipRight), bottom = std::min(tile.bottom, c.clipBottom);
    const TileShading shading{c, DirectStageOf(c), c.target, std::min(tile.right, c.target.width)};
    const std::vector<TriangleSetup>& triangles = *c.triangles;
    for (std::uint32_t k = 0; k < tile.triangleCount; ++k) {
        const std::uint32_t index = tile.triangles[k];
        const TriangleSetup& t = triangles[index];
        const int x0 = std::max(left, t.minX), x1 = std::min(right - 1, t.maxX);
        int y0 = std::max(top, t.minY), y1 = std::min(bottom - 1, t.maxY);
        if (x0 > x1 || y0 > y1 || !RowsInColumns(t, x0, x1, &y0, &y1)) continue;
        const RowSpan* spans = c.spans + c.firstSpan[index] + std::size_t(y0 - std::max(t.minY, c.clipTop));
        RasterizeTriangle<W, depthFunc>(shading, t, spans, x0, y0, x1 + 1, y1 + 1);
    }
}

// The tile functions of each lane width.
template <DWORD depthFunc>
void ScalarTile(const DrawContext& c, const TileWork& tile) {
    RasterizeTileWith<1, depthFunc>(c, tile);
}

#if defined(__SSE2__)
template <DWORD depthFunc>
void Sse2Tile(const DrawContext& c, const TileWork& tile) {
    RasterizeTileWith<4, depthFunc>(c, tile);
}
#endif

#if defined(QM_RASTER_AVX2)
template <DWORD depthFunc>
[[gnu::target("avx2")]] void Avx2Tile(const DrawContext& c, const TileWork& tile) {
    RasterizeTileWith<8, depthFunc>(c, tile);
}
#endif

template <DWORD func>
TileRasterizer TileFor(RasterLanes lanes) {
    switch (lanes) {
#if defined(QM_RASTER_AVX2)
        case RasterLanes::Avx2: return Avx2Tile<func>;
#endif
#if defined(__SSE2__)
        case RasterLanes::Sse2: return Sse2Tile<func>;
#endif
        default: return ScalarTile<func>;
    }
}

// The widest lanes this build has that processor::Allows for this draw.
RasterLanes AllowedLanes() {
#if defined(QM_RASTER_AVX2)
    if (processor::Allows(processor::kSse2 | processor::kAvx2)) return RasterLanes::Avx2;
#endif
#if defined(__SSE2__)
    if (processor::Allows(processor::kSse2)) return RasterLanes::Sse2;
#endif
    return RasterLanes::Scalar;
}

}  // namespace

void TriangleSpans(const TriangleSetup& t, int left, int top, int right, int bottom, RowSpan* out) {
    // Rows above the middle vertex are bounded by the two edges from the
    // top vertex, the others by the two to the bottom vertex: the third
    // edge function is positive at every point between the two, and on the
    // middle vertex's own row it is zero only at that vertex (or along a
    // flat top, a top edge), where the two edges at the middle vertex, on
    // one side of the triangle, agree on the fill rule. So each walk steps
    // two edges.
    constexpr std::int64_t one = std::int64_t{1} << kSubpixelBits;
    // The first row at or below the middle vertex.
    const auto split = int(std::clamp<std::int64_t>(-FloorDiv(-t.middleY, one), top, bottom));
    if (split > top) RowWalk(t, t.upperEdges, top).Spans(left, right, split - top, out);
    if (bottom > split) RowWalk(t, t.lowerEdges, split).Spans(left, right, bottom - split, out + (split - top));
}

TileRasterizer PickTileRasterizer(const DrawContext& c) {
    const RasterLanes lanes = AllowedLanes();
    switch (c.depth.test ? c.depth.func : D3DCMP_ALWAYS) {
        case D3DCMP_NEVER: return TileFor<D3DCMP_NEVER>(lanes);
        case D3DCMP_LESS: return TileFor<D3DCMP_LESS>(lanes);
        case D3DCMP_EQUAL: return TileFor<D3DCMP_EQUAL>(lanes);
        case D3DCMP_LESSEQUAL: return TileFor<D3DCMP_LESSEQUAL>(lanes);
        case D3DCMP_GREATER: return TileFor<D3DCMP_GREATER>(lanes);
        case D3DCMP_NOTEQUAL: return TileFor<D3DCMP_NOTEQUAL>(lanes);
        case D3DCMP_GREATEREQUAL: return TileFor<D3DCMP_GREATEREQUAL>(lanes);
        default: return TileFor<D3DCMP_ALWAYS>(lanes);
    }
}

}  // namespace quillmark::software
