// The tile functions: a tile's triangles in drawing order, each walked a
// quad row at a time and each row a chunk at a time, for one lane width and
// depth comparison each. draw_kernels.cpp picks one per draw.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "devices/software/quad_shading.h"
#include "devices/software/raster_lanes.h"
#include "devices/software/row_walk.h"

namespace quillmark::software {
namespace {

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

// The tile functions of each lane width, for draw_kernels.cpp.
template <DWORD depthFunc>
void ScalarTile(const DrawContext& c, const TileWork& tile) {
    RasterizeTileWith<1, depthFunc>(c, tile);
}

#if defined(QUILLMARK_X86_KERNELS)
template <DWORD depthFunc>
void Sse2Tile(const DrawContext& c, const TileWork& tile) {
    RasterizeTileWith<4, depthFunc>(c, tile);
}

template <DWORD depthFunc>
[[gnu::target("avx2")]] void Avx2Tile(const DrawContext& c, const TileWork& tile) {
    RasterizeTileWith<8, depthFunc>(c, tile);
}
#endif

}  // namespace
}  // namespace quillmark::software
