#include "devices/software/triangle_setup.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quillmark::software {

ScreenVertex ToScreen(const ClipVertex& v, const D3DVIEWPORT9& vp, std::uint32_t attributeCount) {
    const float invW = 1.0f / v.w;
    ScreenVertex s;
    s.x = float(vp.X) + (1.0f + v.x * invW) * float(vp.Width) * 0.5f;
    s.y = float(vp.Y) + (1.0f - v.y * invW) * float(vp.Height) * 0.5f;
    s.z = vp.MinZ + v.z * invW * (vp.MaxZ - vp.MinZ);
    for (std::uint32_t k = 0; k < attributeCount; ++k) s.attributes[k] = v.attributes[k] * invW;
    return s;
}

float SignedArea(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
    return (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
}

namespace {

struct Fixed {
    std::int64_t x, y;
};

Fixed Snap(const ScreenVertex& v) {
    constexpr double scale = 1 << kSubpixelBits;
    return {std::llround(double(v.x) * scale), std::llround(double(v.y) * scale)};
}

// Plane through three values at the snapped positions, relative to vertex a.
void Plane(double fa, double fb, double fc, const double (&d)[4], double area, float* value, float* dx,
           float* dy) {
    const double db = fb - fa, dc = fc - fa;
    *value = float(fa);
    *dx = float((db * d[3] - dc * d[1]) / area);
    *dy = float((dc * d[0] - db * d[2]) / area);
}

}  // namespace

bool SetUpTriangle(const ScreenVertex& a, const ScreenVertex& b0, const ScreenVertex& c0,
                   std::uint32_t attributeCount, TriangleSetup* out) {
    const ScreenVertex* v[3] = {&a, &b0, &c0};
    Fixed p[3] = {Snap(a), Snap(b0), Snap(c0)};
    std::int64_t area = (p[1].x - p[0].x) * (p[2].y - p[0].y) - (p[2].x - p[0].x) * (p[1].y - p[0].y);
    if (area == 0) return false;
    if (area < 0) {  // make the edge functions positive inside
        std::swap(p[1], p[2]);
        std::swap(v[1], v[2]);
        area = -area;
    }
    TriangleSetup& t = *out;
    for (int i = 0; i < 3; ++i) {
        const Fixed& from = p[i];
        const Fixed& to = p[(i + 1) % 3];
        const std::int64_t dx = to.x - from.x, dy = to.y - from.y;
        const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
        // E(px, py) = dx * (py*256 - from.y) - dy * (px*256 - from.x)
        t.edgeA[i] = -dy << kSubpixelBits;
        t.edgeB[i] = dx << kSubpixelBits;
        t.edgeC[i] = dy * from.x - dx * from.y - (topLeft ? 0 : 1);
    }
    // Edge i runs from vertex i to vertex i + 1, so vertex v meets edges v
    // and v + 2 (mod 3). The triangle has area, so the first highest and
    // the last lowest vertex differ.
    int top = 0, bottom = 0;
    for (int i = 1; i < 3; ++i) {
        if (p[i].y < p[top].y) top = i;
        if (p[i].y >= p[bottom].y) bottom = i;
    }
    t.middleY = p[3 - top - bottom].y;
    t.upperEdges = {top, (top + 2) % 3};
    t.lowerEdges = {bottom, (bottom + 2) % 3};
    constexpr std::int64_t one = 1 << kSubpixelBits;
    auto floorDiv = [](std::int64_t value) { return int(value >= 0 ? value / one : -((-value + one - 1) / one)); };
    t.minX = floorDiv(std::min({p[0].x, p[1].x, p[2].x}));
    t.minY = floorDiv(std::min({p[0].y, p[1].y, p[2].y}));
    t.maxX = floorDiv(std::max({p[0].x, p[1].x, p[2].x})) + 1;
    t.maxY = floorDiv(std::max({p[0].y, p[1].y, p[2].y})) + 1;

    const double d[4] = {double(p[1].x - p[0].x) / one, double(p[1].y - p[0].y) / one,
                         double(p[2].x - p[0].x) / one, double(p[2].y - p[0].y) / one};
    const double areaPixels = double(area) / double(one * one);
    t.originX = float(double(p[0].x) / one);
    t.originY = float(double(p[0].y) / one);
    Plane(v[0]->z, v[1]->z, v[2]->z, d, areaPixels, &t.z, &t.dzdx, &t.dzdy);
    for (std::uint32_t k = 0; k < attributeCount; ++k) {
        Plane(v[0]->attributes[k], v[1]->attributes[k], v[2]->attributes[k], d, areaPixels, &t.value[k], &t.ddx[k],
              &t.ddy[k]);
    }
    return true;
}

}  // namespace quillmark::software
