// A tile's chunks shaded: the depth test and write, the direct stage's
// quads by the sampler's in-place kernels (a lone quad waiting for a
// partner for the chunk kernel) or every stage per pixel, and the colour
// writes, a quad or a chunk of two at a time.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "devices/software/raster_lanes.h"
#include "devices/software/rasterizer.h"

namespace quillmark::software {
namespace {

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

}  // namespace
}  // namespace quillmark::software

#if defined(QUILLMARK_X86_KERNELS)
#include "devices/software/quad_shading_128.h"
#endif

namespace quillmark::software {
namespace {

// The chunk's pixels in `mask` that pass the depth test, whose depths are
// stored when `write`. A chunk (or one of its quads) that lies in the
// buffers and in the tile's columns (before readRight) is tested and
// written whole; a quad reaching beyond them pixel by pixel.
template <int W, DWORD func>
[[gnu::always_inline]] inline unsigned ChunkDepthPixels(const DrawTarget& target, [[maybe_unused]] int readRight,
                                                        int x, int y, unsigned mask, const std::uint16_t* z,
                                                        bool write) {
    constexpr int quads = kChunkQuads<W>;
    [[maybe_unused]] const bool rows = y + 1 < target.height;
#if defined(QUILLMARK_X86_KERNELS)
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
#if defined(QUILLMARK_X86_KERNELS)
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

template <int W>
[[gnu::always_inline]] inline void WriteQuad(const TileShading& s, int x, int y, unsigned mask,
                                             const FloatLanes<4>* bgra) {
#if defined(QUILLMARK_X86_KERNELS)
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
    IntLanes<8> words =
        ScaledUnorm<8>(bgra[0], 255.0f) | ScaledUnorm<8>(bgra[1], 255.0f) << 8 | ScaledUnorm<8>(bgra[2], 255.0f) << 16;
    words |= target.keepAlpha ? ScaledUnorm<8>(bgra[3], 255.0f) << 24 : IntLanes<8>{} + std::int32_t(0xFF000000u);
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

}  // namespace
}  // namespace quillmark::software
