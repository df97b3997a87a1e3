#include "devices/software/rasterizer.h"

#include <algorithm>
#include <cstdint>

#include "devices/software/row_walk.h"

namespace quillmark::software {

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

}  // namespace quillmark::software
