// Row spans against the edge functions themselves: for random triangles,
// many with vertices on pixel centres and rows shared between vertices
// (where the fill rule's ties decide), every row's span within a window is
// exactly the run of pixels whose three edge functions are all >= 0,
// evaluated pixel by pixel.
#include <gtest/gtest.h>

#include <random>

#include "devices/software/rasterizer.h"

namespace quillmark::software::testing {
namespace {

// Whether pixel (x, y) passes all three edge functions.
bool Covered(const TriangleSetup& t, int x, int y) {
    for (std::size_t e = 0; e < 3; ++e) {
        if (t.edgeA[e] * x + t.edgeB[e] * y + t.edgeC[e] < 0) return false;
    }
    return true;
}

// Compares the spans of the window [left, right) x [top, bottom) with the
// pixels the edge functions cover; false (with a failure) at the first
// difference.
bool SpansMatch(const TriangleSetup& t, int left, int top, int right, int bottom) {
    std::vector<RowSpan> spans(std::size_t(bottom - top));
    TriangleSpans(t, left, top, right, bottom, spans.data());
    for (int y = top; y < bottom; ++y) {
        const RowSpan& span = spans[std::size_t(y - top)];
        for (int x = left; x < right; ++x) {
            const bool inSpan = !span.Empty() && x >= span.first && x <= span.last;
            if (inSpan != Covered(t, x, y)) {
                ADD_FAILURE() << "pixel " << x << "," << y << (inSpan ? " in" : " outside") << " the span ["
                              << span.first << ", " << span.last << "]";
                return false;
            }
        }
    }
    return true;
}

ScreenVertex Vertex(float x, float y) {
    ScreenVertex v{};
    v.x = x;
    v.y = y;
    v.z = 0.5f;
    return v;
}

TEST(TriangleSpans, MatchTheEdgeFunctionsPixelByPixel) {
    std::mt19937 random(21);
    std::uniform_real_distribution<float> coordinate(-20.0f, 60.0f);
    std::uniform_int_distribution<int> centre(-4, 44), shape(0, 3);
    int checked = 0;
    for (int i = 0; i < 4000; ++i) {
        ScreenVertex v[3];
        for (int k = 0; k < 3; ++k) {
            // Shape 0: anywhere; 1: on a pixel centre; 2: a centre's row;
            // 3: the previous vertex's row, for flat tops and bottoms.
            const int kind = shape(random);
            if (kind == 0 || (kind == 3 && k == 0)) v[k] = Vertex(coordinate(random), coordinate(random));
            if (kind == 1) v[k] = Vertex(float(centre(random)), float(centre(random)));
            if (kind == 2) v[k] = Vertex(coordinate(random), float(centre(random)));
            if (kind == 3 && k > 0) v[k] = Vertex(coordinate(random), v[k - 1].y);
        }
        TriangleSetup t{};
        if (!SetUpTriangle(v[0], v[1], v[2], 0, &t)) continue;
        // The bounds' rows, in a window one pixel wider than the bounds (the
        // spans must stop at the window's edges).
        ASSERT_TRUE(SpansMatch(t, t.minX - 1, t.minY, t.maxX + 2, t.maxY + 1)) << "triangle " << i;
        // A window cutting through the triangle, rows from its middle.
        const int midRow = (t.minY + t.maxY) / 2, midColumn = (t.minX + t.maxX) / 2;
        ASSERT_TRUE(SpansMatch(t, midColumn, midRow, t.maxX + 1, t.maxY + 1)) << "triangle " << i;
        ++checked;
    }
    EXPECT_GT(checked, 3000);
}

}  // namespace
}  // namespace quillmark::software::testing
