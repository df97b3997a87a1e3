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
        const float inverse = 1.0f / q;
        u[i] = s * inverse;
        v[i] = tt * inverse;
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

std::int64_t FloorDiv(std::int64_t n, std::int64_t d) {  // d > 0
    return n >= 0 ? n / d : -((-n + d - 1) / d);
}

// The pixels [first, last] of row y inside all three edges (first > last
// when there are none). Each edge function is linear in x, so its
// inequality solves exactly in integers.
struct Span {
    int first, last;
};

Span RowSpan(const TriangleSetup& t, int y, int left, int right) {
    std::int64_t first = left, last = right - 1;
    for (int e = 0; e < 3; ++e) {
        const std::int64_t a = t.edgeA[e], k = t.edgeB[e] * y + t.edgeC[e];
        if (a > 0) {
            first = std::max(first, -FloorDiv(k, a));  // ceil(-k / a)
        } else if (a < 0) {
            last = std::min(last, FloorDiv(k, -a));
        } else if (k < 0) {
            return {1, 0};
        }
    }
    // Both ends stay within [left - 1, right] so that they convert exactly.
    first = std::min<std::int64_t>(first, right);
    last = std::max<std::int64_t>(last, left - 1);
    return {int(first), int(last)};
}

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

void RasterizeTriangle(const DrawContext& c, const TriangleSetup& t, int left, int top, int right, int bottom) {
    for (int qy = top & ~1; qy < bottom; qy += 2) {
        Span rows[2] = {{1, 0}, {1, 0}};
        if (qy >= top) rows[0] = RowSpan(t, qy, left, right);
        if (qy + 1 < bottom) rows[1] = RowSpan(t, qy + 1, left, right);
        const bool empty0 = rows[0].first > rows[0].last, empty1 = rows[1].first > rows[1].last;
        if (empty0 && empty1) continue;
        const int first = empty0 ? rows[1].first : empty1 ? rows[0].first : std::min(rows[0].first, rows[1].first);
        const int last = empty0 ? rows[1].last : empty1 ? rows[0].last : std::max(rows[0].last, rows[1].last);
        for (int qx = first & ~1; qx <= last; qx += 2) {
            const unsigned mask = unsigned(InSpan(rows[0], qx)) | unsigned(InSpan(rows[0], qx + 1)) << 1 |
                                  unsigned(InSpan(rows[1], qx)) << 2 | unsigned(InSpan(rows[1], qx + 1)) << 3;
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
        if (x0 > x1 || y0 > y1 || !Touches(t, x0, y0, x1, y1)) continue;
        RasterizeTriangle(c, t, x0, y0, x1 + 1, y1 + 1);
    }
}

}  // namespace quillmark::reference
