#include "rasterizer.h"

#include <algorithm>

namespace quillmark::reference {
namespace {

bool DepthPasses(DWORD func, std::uint16_t z, std::uint16_t stored) {
    switch (func) {
        case D3DCMP_NEVER: return false;
        case D3DCMP_LESS: return z < stored;
        case D3DCMP_EQUAL: return z == stored;
        case D3DCMP_LESSEQUAL: return z <= stored;
        case D3DCMP_GREATER: return z > stored;
        case D3DCMP_NOTEQUAL: return z != stored;
        case D3DCMP_GREATEREQUAL: return z >= stored;
        default: return true;
    }
}

struct Quad {
    int x, y;           // top-left pixel (even coordinates)
    unsigned mask = 0;  // bit i: pixel (x + i % 2, y + i / 2) is drawn
};

unsigned Coverage(const TriangleSetup& t, int qx, int qy) {
    unsigned mask = 0xF;
    for (int e = 0; e < 3; ++e) {
        const std::int64_t a = t.edgeA[e], b = t.edgeB[e];
        const std::int64_t origin = a * qx + b * qy + t.edgeC[e];
        if (origin < 0) mask &= ~1u;
        if (origin + a < 0) mask &= ~2u;
        if (origin + b < 0) mask &= ~4u;
        if (origin + a + b < 0) mask &= ~8u;
    }
    return mask;
}

float PlaneAt(float value, float ddx, float ddy, const TriangleSetup& t, int px, int py) {
    return value + ddx * (float(px) - t.originX) + ddy * (float(py) - t.originY);
}

// Removes the pixels that fail the depth test; returns their depths.
void DepthTest(const DrawContext& c, const TriangleSetup& t, Quad& quad, std::uint16_t* depths) {
    for (int i = 0; i < 4; ++i) {
        if (!(quad.mask & (1u << i))) continue;
        const int px = quad.x + (i & 1), py = quad.y + (i >> 1);
        depths[i] = ToDepth16(PlaneAt(t.z, t.dzdx, t.dzdy, t, px, py));
        if (!c.depth.test) continue;
        const std::uint16_t stored = c.target.depth[std::size_t(py) * c.target.depthPitch + std::size_t(px)];
        if (!DepthPasses(c.depth.func, depths[i], stored)) quad.mask &= ~(1u << i);
    }
}

// Samples one stage's texture for the drawn pixels of the quad. The
// derivatives are the quad's: right neighbour minus top-left pixel across,
// bottom neighbour minus top-left pixel down, shared by all four pixels.
void SampleStage(const DrawContext& c, const TriangleSetup& t, const Quad& quad, std::uint32_t stage,
                 Color4 (*texels)[kStageCount]) {
    const int base = c.attributeBase[stage];
    const float ox = float(quad.x) - t.originX, oy = float(quad.y) - t.originY;
    float value[3], ddx[3], ddy[3];
    for (int k = 0; k < 3; ++k) {
        value[k] = t.value[base + k] + t.ddx[base + k] * ox + t.ddy[base + k] * oy;
        ddx[k] = t.ddx[base + k];
        ddy[k] = t.ddy[base + k];
    }
    float u[4], v[4];
    for (int i = 0; i < 4; ++i) {
        const float dx = float(i & 1), dy = float(i >> 1);
        const float s = value[0] + ddx[0] * dx + ddy[0] * dy;
        const float tt = value[1] + ddx[1] * dx + ddy[1] * dy;
        const float q = value[2] + ddx[2] * dx + ddy[2] * dy;
        u[i] = s / q;
        v[i] = tt / q;
    }
    Color4 sampled[4];
    SampleQuad(c.samplers[stage], u, v, u[1] - u[0], v[1] - v[0], u[2] - u[0], v[2] - v[0], quad.mask, sampled);
    for (int i = 0; i < 4; ++i) texels[i][stage] = sampled[i];
}

void ShadeQuad(const DrawContext& c, const TriangleSetup& t, Quad quad) {
    std::uint16_t depths[4] = {};
    DepthTest(c, t, quad, depths);
    if (!quad.mask) return;
    Color4 texels[4][kStageCount];
    for (std::uint32_t s = 0; s < c.program.count; ++s) {
        if (c.attributeBase[s] >= 0) SampleStage(c, t, quad, s, texels);
    }
    for (int i = 0; i < 4; ++i) {
        if (!(quad.mask & (1u << i))) continue;
        const int px = quad.x + (i & 1), py = quad.y + (i >> 1);
        const Color4 color = RunStages(c.program, texels[i]);
        const std::uint32_t alpha = c.target.keepAlpha ? ToUnorm8(color.a) : 0xFFu;
        c.target.color[std::size_t(py) * c.target.colorPitch + std::size_t(px)] =
            alpha << 24 | ToUnorm8(color.r) << 16 | ToUnorm8(color.g) << 8 | ToUnorm8(color.b);
        if (c.depth.write) c.target.depth[std::size_t(py) * c.target.depthPitch + std::size_t(px)] = depths[i];
    }
}

constexpr int kBlockSize = 8;

enum class BlockCoverage { None, Partial, Full };

// Whether the triangle covers none, some or all pixel centres of the block
// [x0, x1] x [y0, y1]: each edge function is linear, so its extremes over
// the block lie at the corners.
BlockCoverage CoverBlock(const TriangleSetup& t, int x0, int y0, int x1, int y1) {
    bool full = true;
    for (int e = 0; e < 3; ++e) {
        const std::int64_t a = t.edgeA[e], b = t.edgeB[e], c = t.edgeC[e];
        const std::int64_t e00 = a * x0 + b * y0 + c, e10 = a * x1 + b * y0 + c;
        const std::int64_t e01 = a * x0 + b * y1 + c, e11 = a * x1 + b * y1 + c;
        if (std::max({e00, e10, e01, e11}) < 0) return BlockCoverage::None;
        if (std::min({e00, e10, e01, e11}) < 0) full = false;
    }
    return full ? BlockCoverage::Full : BlockCoverage::Partial;
}

unsigned ClipMask(int qx, int qy, int left, int top, int right, int bottom) {
    unsigned mask = 0;
    for (int i = 0; i < 4; ++i) {
        const int px = qx + (i & 1), py = qy + (i >> 1);
        if (px >= left && px < right && py >= top && py < bottom) mask |= 1u << i;
    }
    return mask;
}

void RasterizeBlock(const DrawContext& c, const TriangleSetup& t, int bx, int by, int left, int top, int right,
                    int bottom, BlockCoverage tileCoverage) {
    const int x0 = std::max(bx, left), y0 = std::max(by, top);
    const int x1 = std::min(bx + kBlockSize, right) - 1, y1 = std::min(by + kBlockSize, bottom) - 1;
    if (x0 > x1 || y0 > y1) return;
    const BlockCoverage coverage = tileCoverage == BlockCoverage::Full ? tileCoverage : CoverBlock(t, x0, y0, x1, y1);
    if (coverage == BlockCoverage::None) return;
    for (int qy = y0 & ~1; qy <= y1; qy += 2) {
        for (int qx = x0 & ~1; qx <= x1; qx += 2) {
            // Pixels outside the tile (or the viewport) belong to no one here.
            unsigned mask = ClipMask(qx, qy, left, top, right, bottom);
            if (coverage == BlockCoverage::Partial) mask &= Coverage(t, qx, qy);
            if (mask) ShadeQuad(c, t, Quad{qx, qy, mask});
        }
    }
}

}  // namespace

void RasterizeTile(const DrawContext& c, int left, int top, int right, int bottom) {
    left = std::max(left, c.clipLeft);
    top = std::max(top, c.clipTop);
    right = std::min(right, c.clipRight);
    bottom = std::min(bottom, c.clipBottom);
    for (const TriangleSetup& t : *c.triangles) {
        const int x0 = std::max(left, t.minX), y0 = std::max(top, t.minY);
        const int x1 = std::min(right - 1, t.maxX), y1 = std::min(bottom - 1, t.maxY);
        if (x0 > x1 || y0 > y1) continue;
        const BlockCoverage coverage = CoverBlock(t, x0, y0, x1, y1);
        if (coverage == BlockCoverage::None) continue;
        for (int by = y0 & ~(kBlockSize - 1); by <= y1; by += kBlockSize) {
            for (int bx = x0 & ~(kBlockSize - 1); bx <= x1; bx += kBlockSize)
                RasterizeBlock(c, t, bx, by, x0, y0, x1 + 1, y1 + 1, coverage);
        }
    }
}

}  // namespace quillmark::reference
