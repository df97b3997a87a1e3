// Screen-space triangles ready for rasterisation: vertices snapped to 1/256
// pixel, three edge functions with the top-left fill rule folded in, and a
// plane equation for depth and every interpolated attribute.
#pragma once

#include <array>
#include <cstdint>

#include "devices/core/vertex_processing.h"

namespace quillmark::software {

using namespace core;

inline constexpr int kSubpixelBits = 8;

struct ScreenVertex {
    float x, y, z;                                  // pixels, pixels, depth 0..1
    std::array<float, kMaxAttributes> attributes;   // divided by clip w
};

struct TriangleSetup {
    // Pixel (px, py) is covered when edgeA[i] * px + edgeB[i] * py + edgeC[i] >= 0 for all i.
    std::array<std::int64_t, 3> edgeA, edgeB, edgeC;
    int minX, minY, maxX, maxY;  // inclusive pixel bounds
    // The snapped y of the vertex between the top and the bottom one (1/256
    // pixel), and the edges meeting at the top vertex and at the bottom one,
    // which alone bound the rows above and below it.
    std::int64_t middleY;
    std::array<int, 2> upperEdges, lowerEdges;
    float originX, originY;
    float z, dzdx, dzdy;
    std::array<float, kMaxAttributes> value, ddx, ddy;
};

// Maps a clipped vertex through the viewport (pixel centres at integers).
ScreenVertex ToScreen(const ClipVertex& v, const D3DVIEWPORT9& viewport, std::uint32_t attributeCount);

// Twice the signed area in pixels; positive when the triangle runs clockwise
// on screen (y down).
float SignedArea(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c);

// Sets up a triangle of either winding; false when it covers no area.
bool SetUpTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                   std::uint32_t attributeCount, TriangleSetup* out);

}  // namespace quillmark::software
