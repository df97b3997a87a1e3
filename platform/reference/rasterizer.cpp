#include "rasterizer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>

#include <emmintrin.h>

namespace quillmark::reference {
namespace {

// Clears the bits of `mask` whose depth fails against the stored one under
// the comparison `Passes`.
template <class Passes>
unsigned DepthMask(unsigned mask, const std::uint16_t* depths, const std::uint16_t* stored, const std::size_t* offsets,
                   Passes passes) {
    for (int i = 0; i < 4; ++i) {
        if ((mask & (1u << i)) && !passes(depths[i], stored[offsets[i]])) mask &= ~(1u << i);
    }
    return mask;
}

// The pixels of `mask` whose depths z pass against stored[offsets[i]].
unsigned DepthPasses(DWORD func, unsigned mask, const std::uint16_t* z, const std::uint16_t* stored,
                     const std::size_t* offsets) {
    switch (func) {
        case D3DCMP_NEVER: return 0;
        case D3DCMP_LESS: return DepthMask(mask, z, stored, offsets, std::less<>());
        case D3DCMP_EQUAL: return DepthMask(mask, z, stored, offsets, std::equal_to<>());
        case D3DCMP_LESSEQUAL: return DepthMask(mask, z, stored, offsets, std::less_equal<>());
        case D3DCMP_GREATER: return DepthMask(mask, z, stored, offsets, std::greater<>());
        case D3DCMP_NOTEQUAL: return DepthMask(mask, z, stored, offsets, std::not_equal_to<>());
        case D3DCMP_GREATEREQUAL: return DepthMask(mask, z, stored, offsets, std::greater_equal<>());
        default: return mask;
    }
}

struct Quad {
    int x, y;           // top-left pixel (even coordinates)
    unsigned mask = 0;  // bit i: pixel (x + i % 2, y + i / 2) is drawn
};

constexpr unsigned kFullQuad = 0xF;

// The four 16-bit values of a quad in a buffer (two from each row), as
// 32-bit lanes in pixel order.
__m128i LoadQuad16(const std::uint16_t* row0, const std::uint16_t* row1) {
    std::uint32_t top, bottom;
    std::memcpy(&top, row0, 4);
    std::memcpy(&bottom, row1, 4);
    const __m128i words = _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(top)), _mm_cvtsi32_si128(int(bottom)));
    return _mm_unpacklo_epi16(words, _mm_setzero_si128());
}

// Stores the low 16 bits of the four 32-bit lanes, two to each row.
void StoreQuad16(__m128i values, std::uint16_t* row0, std::uint16_t* row1) {
    __m128i words = _mm_shufflelo_epi16(values, _MM_SHUFFLE(3, 1, 2, 0));
    words = _mm_shufflehi_epi16(words, _MM_SHUFFLE(3, 1, 2, 0));
    words = _mm_shuffle_epi32(words, _MM_SHUFFLE(3, 1, 2, 0));
    const auto top = std::uint32_t(_mm_cvtsi128_si32(words)), bottom = std::uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(words, 4)));
    std::memcpy(row0, &top, 4);
    std::memcpy(row1, &bottom, 4);
}

// The lanes where z passes against stored under the comparison `func`
// (both 0..65535 in 32-bit lanes), as a 4-bit mask.
template <DWORD func>
unsigned PassingLanes(__m128i z, __m128i stored) {
    const __m128i all = _mm_set1_epi32(-1);
    __m128i pass = all;
    if constexpr (func == D3DCMP_NEVER) pass = _mm_setzero_si128();
    if constexpr (func == D3DCMP_LESS) pass = _mm_cmplt_epi32(z, stored);
    if constexpr (func == D3DCMP_EQUAL) pass = _mm_cmpeq_epi32(z, stored);
    if constexpr (func == D3DCMP_LESSEQUAL) pass = _mm_andnot_si128(_mm_cmpgt_epi32(z, stored), all);
    if constexpr (func == D3DCMP_GREATER) pass = _mm_cmpgt_epi32(z, stored);
    if constexpr (func == D3DCMP_NOTEQUAL) pass = _mm_andnot_si128(_mm_cmpeq_epi32(z, stored), all);
    if constexpr (func == D3DCMP_GREATEREQUAL) pass = _mm_andnot_si128(_mm_cmplt_epi32(z, stored), all);
    return unsigned(_mm_movemask_ps(_mm_castsi128_ps(pass)));
}

// A plane's values at the four pixels of the quad, lane i at pixel
// (x + i % 2, y + i / 2): value + ddx * (px - originX) + ddy * (py - originY).
__m128 PlaneAtQuad(float value, float ddx, float ddy, const TriangleSetup& t, const Quad& quad) {
    const __m128 px = _mm_add_ps(_mm_set1_ps(float(quad.x)), _mm_setr_ps(0, 1, 0, 1));
    const __m128 py = _mm_add_ps(_mm_set1_ps(float(quad.y)), _mm_setr_ps(0, 0, 1, 1));
    const __m128 across = _mm_mul_ps(_mm_set1_ps(ddx), _mm_sub_ps(px, _mm_set1_ps(t.originX)));
    const __m128 down = _mm_mul_ps(_mm_set1_ps(ddy), _mm_sub_ps(py, _mm_set1_ps(t.originY)));
    return _mm_add_ps(_mm_add_ps(_mm_set1_ps(value), across), down);
}

// floor(saturate(value) * scale + 0.5) in each lane: a colour channel's
// 8-bit value (scale 255) or a D16 depth (scale 65535); NaN saturates to 0.
__m128i ScaledUnorm(__m128 value, float scale) {
    const __m128 clamped = _mm_min_ps(_mm_max_ps(value, _mm_setzero_ps()), _mm_set1_ps(1.0f));
    return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(clamped, _mm_set1_ps(scale)), _mm_set1_ps(0.5f)));
}

// Removes the pixels that fail the depth test; returns their depths (D16
// values in 32-bit lanes). A full quad is compared in lanes by the draw's
// comparison; pixels outside a partial quad's mask (perhaps outside the
// buffer) are never read.
template <DWORD func>
__m128i DepthTest(const DrawContext& c, const TriangleSetup& t, Quad& quad) {
    const __m128i depths = ScaledUnorm(PlaneAtQuad(t.z, t.dzdx, t.dzdy, t, quad), 65535.0f);
    if (!c.depth.test) return depths;
    const std::size_t row = std::size_t(quad.y) * c.target.depthPitch + std::size_t(quad.x);
    if (quad.mask == kFullQuad) {
        const __m128i stored = LoadQuad16(c.target.depth + row, c.target.depth + row + c.target.depthPitch);
        quad.mask = PassingLanes<func>(depths, stored);
        return depths;
    }
    alignas(16) std::int32_t values[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(values), depths);
    const std::uint16_t z[4] = {std::uint16_t(values[0]), std::uint16_t(values[1]), std::uint16_t(values[2]),
                                std::uint16_t(values[3])};
    const std::size_t offsets[4] = {row, row + 1, row + c.target.depthPitch, row + c.target.depthPitch + 1};
    quad.mask = DepthPasses(func, quad.mask, z, c.target.depth, offsets);
    return depths;
}

// The texture coordinates of one stage at the quad's four pixels.
void QuadCoordinates(const DrawContext& c, const TriangleSetup& t, const Quad& quad, std::uint32_t stage, float* u,
                     float* v) {
    const int base = c.attributeBase[stage];
    const __m128 dx = _mm_setr_ps(0, 1, 0, 1), dy = _mm_setr_ps(0, 0, 1, 1);
    const float ox = float(quad.x) - t.originX, oy = float(quad.y) - t.originY;
    __m128 attribute[3];
    for (int k = 0; k < 3; ++k) {
        const float value = t.value[base + k] + t.ddx[base + k] * ox + t.ddy[base + k] * oy;
        const __m128 across = _mm_mul_ps(_mm_set1_ps(t.ddx[base + k]), dx);
        const __m128 down = _mm_mul_ps(_mm_set1_ps(t.ddy[base + k]), dy);
        attribute[k] = _mm_add_ps(_mm_add_ps(_mm_set1_ps(value), across), down);
    }
    const __m128 inverse = _mm_div_ps(_mm_set1_ps(1.0f), attribute[2]);
    _mm_store_ps(u, _mm_mul_ps(attribute[0], inverse));
    _mm_store_ps(v, _mm_mul_ps(attribute[1], inverse));
}

// Samples one stage's texture for the drawn pixels of the quad. The
// derivatives are the quad's: right neighbour minus top-left pixel across,
// bottom neighbour minus top-left pixel down, shared by all four pixels.
void SampleStage(const DrawContext& c, const TriangleSetup& t, const Quad& quad, std::uint32_t stage,
                 Color4 (*texels)[kStageCount]) {
    alignas(16) float u[4], v[4];
    QuadCoordinates(c, t, quad, stage, u, v);
    Color4 sampled[4];
    SampleQuad(c.samplers[stage], u, v, u[1] - u[0], v[1] - v[0], u[2] - u[0], v[2] - v[0], quad.mask, sampled);
    for (int i = 0; i < 4; ++i) texels[i][stage] = sampled[i];
}

// PackLanes of four pixels at once: the same saturation, scaling and
// rounding, lane by lane; pixel i in 32-bit lane i.
__m128i PackQuad(const __m128* bgra, bool keepAlpha) {
    const __m128i top = _mm_packs_epi32(ScaledUnorm(bgra[0], 255.0f), ScaledUnorm(bgra[1], 255.0f));
    const __m128i bottom = _mm_packs_epi32(ScaledUnorm(bgra[2], 255.0f), ScaledUnorm(bgra[3], 255.0f));
    const __m128i packed = _mm_packus_epi16(top, bottom);
    return keepAlpha ? packed : _mm_or_si128(packed, _mm_set1_epi32(int(0xFF000000u)));
}

// Writes the quad's pixels in its mask: colours and (when the draw writes
// depth) D16 depths, each in 32-bit lanes in pixel order.
void WriteQuad(const DrawContext& c, const Quad& quad, __m128i colors, __m128i depths) {
    std::uint32_t* color = c.target.color + std::size_t(quad.y) * c.target.colorPitch + std::size_t(quad.x);
    std::uint16_t* depth = c.target.depth + std::size_t(quad.y) * c.target.depthPitch + std::size_t(quad.x);
    if (quad.mask == kFullQuad) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(color), colors);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(color + c.target.colorPitch), _mm_srli_si128(colors, 8));
        if (c.depth.write) StoreQuad16(depths, depth, depth + c.target.depthPitch);
        return;
    }
    alignas(16) std::uint32_t packed[4];
    alignas(16) std::int32_t z[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(packed), colors);
    _mm_store_si128(reinterpret_cast<__m128i*>(z), depths);
    for (int i = 0; i < 4; ++i) {
        if (!(quad.mask & (1u << i))) continue;
        const std::size_t across = std::size_t(i & 1), down = std::size_t(i >> 1);
        color[down * c.target.colorPitch + across] = packed[i];
        if (c.depth.write) depth[down * c.target.depthPitch + across] = std::uint16_t(z[i]);
    }
}

// ShadeQuad's stages for the direct stage: the texel bytes scaled to [0, 1]
// (and the alpha modulated by the constant CURRENT alpha) go straight to the
// packing, which saturates them as RunStages would.
void ShadeDirect(const DrawContext& c, const TriangleSetup& t, const Quad& quad, __m128i depths) {
    const auto stage = std::uint32_t(c.directStage);
    alignas(16) float u[4], v[4];
    QuadCoordinates(c, t, quad, stage, u, v);
    __m128 texels[4] = {};
    c.directKernel(c.samplers[stage], u, v, u[1] - u[0], v[1] - v[0], u[2] - u[0], v[2] - v[0], quad.mask, texels);
    const float alpha = c.program.steps[stage].alphaOp == D3DTOP_MODULATE ? c.program.startCurrent.a : 1.0f;
    const __m128 scale = _mm_set1_ps(kByteScale), alphaFactor = _mm_setr_ps(1.0f, 1.0f, 1.0f, alpha);
    for (__m128& texel : texels) texel = _mm_mul_ps(_mm_mul_ps(texel, scale), alphaFactor);
    WriteQuad(c, quad, PackQuad(texels, c.target.keepAlpha), depths);
}

template <DWORD depthFunc>
void ShadeQuad(const DrawContext& c, const TriangleSetup& t, Quad quad) {
    const __m128i depths = DepthTest<depthFunc>(c, t, quad);
    if (!quad.mask) return;
    if (c.directStage >= 0) return ShadeDirect(c, t, quad, depths);
    Color4 texels[4][kStageCount];
    for (std::uint32_t s = 0; s < c.program.count; ++s) {
        if (c.attributeBase[s] >= 0) SampleStage(c, t, quad, s, texels);
    }
    __m128 colors[4] = {};
    for (int i = 0; i < 4; ++i) {
        if (!(quad.mask & (1u << i))) continue;
        const Color4 color = RunStages(c.program, texels[i]);
        colors[i] = _mm_setr_ps(color.b, color.g, color.r, color.a);
    }
    WriteQuad(c, quad, PackQuad(colors, c.target.keepAlpha), depths);
}

std::int64_t FloorDiv(std::int64_t n, std::int64_t d) {  // d > 0
    return n >= 0 ? n / d : -((-n + d - 1) / d);
}

// The pixels [first, last] of a row inside all three edges (first > last
// when there are none).
struct Span {
    int first, last;
};

// The spans of successive rows. Each edge function is linear in x, so its
// inequality a·x + k ≥ 0 (k = b·y + c) solves exactly in integers: for
// a > 0 the first pixel is -floor(k / a), for a < 0 the last is
// floor(k / -a). The quotient and remainder of k by |a| are stepped from
// row to row without dividing.
class RowWalk {
public:
    RowWalk(const TriangleSetup& t, int y) {
        for (int e = 0; e < 3; ++e) {
            Edge& edge = edges_[e];
            const std::int64_t a = t.edgeA[e], b = t.edgeB[e], k = b * y + t.edgeC[e];
            edge.sign = a > 0 ? 1 : a < 0 ? -1 : 0;
            edge.divisor = edge.sign ? (a > 0 ? a : -a) : 1;
            edge.quotient = FloorDiv(k, edge.divisor);
            edge.remainder = k - edge.quotient * edge.divisor;
            edge.stepQuotient = FloorDiv(b, edge.divisor);
            edge.stepRemainder = b - edge.stepQuotient * edge.divisor;
        }
    }

    // The current row's span within [left, right), then on to the next row.
    Span Next(int left, int right) {
        std::int64_t first = left, last = right - 1;
        bool empty = false;
        for (Edge& edge : edges_) {
            if (edge.sign > 0) {
                first = std::max(first, -edge.quotient);
            } else if (edge.sign < 0) {
                last = std::min(last, edge.quotient);
            } else {
                empty = empty || edge.quotient < 0;  // k itself when a = 0
            }
            edge.quotient += edge.stepQuotient;
            edge.remainder += edge.stepRemainder;
            if (edge.remainder >= edge.divisor) {
                edge.remainder -= edge.divisor;
                ++edge.quotient;
            }
        }
        if (empty) return {1, 0};
        // Both ends stay within [left - 1, right] so that they convert exactly.
        first = std::min<std::int64_t>(first, right);
        last = std::max<std::int64_t>(last, left - 1);
        return {int(first), int(last)};
    }

private:
    struct Edge {
        int sign;
        std::int64_t divisor, quotient, remainder, stepQuotient, stepRemainder;
    };
    std::array<Edge, 3> edges_;
};

bool InSpan(const Span& span, int x) { return x >= span.first && x <= span.last; }

// Whether the triangle can touch the rectangle at all: each edge function
// is linear, so its largest value over the rectangle lies at a corner.
bool Touches(const TriangleSetup& t, int x0, int y0, int x1, int y1) {
    for (int e = 0; e < 3; ++e) {
        const std::int64_t a = t.edgeA[e], b = t.edgeB[e], c = t.edgeC[e];
        const std::int64_t best = a * (a > 0 ? x1 : x0) + b * (b > 0 ? y1 : y0) + c;
        if (best < 0) return false;
    }
    return true;
}

template <DWORD depthFunc>
void RasterizeTriangle(const DrawContext& c, const TriangleSetup& t, int left, int top, int right, int bottom) {
    RowWalk walk(t, top & ~1);
    for (int qy = top & ~1; qy < bottom; qy += 2) {
        Span rows[2] = {walk.Next(left, right), walk.Next(left, right)};
        if (qy < top) rows[0] = {1, 0};
        if (qy + 1 >= bottom) rows[1] = {1, 0};
        const bool empty0 = rows[0].first > rows[0].last, empty1 = rows[1].first > rows[1].last;
        if (empty0 && empty1) continue;
        const int first = empty0 ? rows[1].first : empty1 ? rows[0].first : std::min(rows[0].first, rows[1].first);
        const int last = empty0 ? rows[1].last : empty1 ? rows[0].last : std::max(rows[0].last, rows[1].last);
        for (int qx = first & ~1; qx <= last; qx += 2) {
            const unsigned mask = unsigned(InSpan(rows[0], qx)) | unsigned(InSpan(rows[0], qx + 1)) << 1 |
                                  unsigned(InSpan(rows[1], qx)) << 2 | unsigned(InSpan(rows[1], qx + 1)) << 3;
            if (mask) ShadeQuad<depthFunc>(c, t, Quad{qx, qy, mask});
        }
    }
}

template <DWORD depthFunc>
void RasterizeTileWith(const DrawContext& c, int left, int top, int right, int bottom) {
    for (const TriangleSetup& t : *c.triangles) {
        const int x0 = std::max(left, t.minX), y0 = std::max(top, t.minY);
        const int x1 = std::min(right - 1, t.maxX), y1 = std::min(bottom - 1, t.maxY);
        if (x0 > x1 || y0 > y1 || !Touches(t, x0, y0, x1, y1)) continue;
        RasterizeTriangle<depthFunc>(c, t, x0, y0, x1 + 1, y1 + 1);
    }
}

}  // namespace

void RasterizeTile(const DrawContext& c, int left, int top, int right, int bottom) {
    left = std::max(left, c.clipLeft);
    top = std::max(top, c.clipTop);
    right = std::min(right, c.clipRight);
    bottom = std::min(bottom, c.clipBottom);
    switch (c.depth.test ? c.depth.func : D3DCMP_ALWAYS) {
        case D3DCMP_NEVER: return RasterizeTileWith<D3DCMP_NEVER>(c, left, top, right, bottom);
        case D3DCMP_LESS: return RasterizeTileWith<D3DCMP_LESS>(c, left, top, right, bottom);
        case D3DCMP_EQUAL: return RasterizeTileWith<D3DCMP_EQUAL>(c, left, top, right, bottom);
        case D3DCMP_LESSEQUAL: return RasterizeTileWith<D3DCMP_LESSEQUAL>(c, left, top, right, bottom);
        case D3DCMP_GREATER: return RasterizeTileWith<D3DCMP_GREATER>(c, left, top, right, bottom);
        case D3DCMP_NOTEQUAL: return RasterizeTileWith<D3DCMP_NOTEQUAL>(c, left, top, right, bottom);
        case D3DCMP_GREATEREQUAL: return RasterizeTileWith<D3DCMP_GREATEREQUAL>(c, left, top, right, bottom);
        default: return RasterizeTileWith<D3DCMP_ALWAYS>(c, left, top, right, bottom);
    }
}

}  // namespace quillmark::reference
