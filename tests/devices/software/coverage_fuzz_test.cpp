// Watertight coverage: random meshes of triangle strips that share their
// edges, seen in perspective, crossing the near plane and reaching past the
// guard band: no pixel is drawn twice, and none well inside the mesh's
// outline (worked out independently, in double precision) is left out.
#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <sstream>

#include "draw_fixture.h"

namespace quillmark::software::testing {
namespace {

constexpr int kWidth = 800, kHeight = 600;
constexpr int kColumns = 4, kRows = 48;  // quads of a mesh: long ones, so that clipping cuts long edges
constexpr int kMeshes = 20;

struct Point3 {
    double x, y, z;
};
Point3 operator+(Point3 a, Point3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Point3 operator*(double s, Point3 a) { return {s * a.x, s * a.y, s * a.z}; }

// The camera of the application: 80 degree vertical field of view, 4:3,
// near plane 0.5, far plane 60, looking along +z from the origin.
constexpr double kYScale = 1.19175359259421;  // 1 / tan(40 degrees)
constexpr double kNear = 0.5, kFar = 60.0;

D3DMATRIX Projection() {
    D3DMATRIX m{};
    m._11 = float(kYScale * 0.75);
    m._22 = float(kYScale);
    m._33 = float(kFar / (kFar - kNear));
    m._34 = 1.0f;
    m._43 = float(-kNear * kFar / (kFar - kNear));
    return m;
}

struct Clip {
    double x, y, z, w;
};
Clip ToClip(Point3 p) {
    return {p.x * kYScale * 0.75, p.y * kYScale, p.z * kFar / (kFar - kNear) - kNear * kFar / (kFar - kNear), p.z};
}

// The outline of a planar convex polygon on screen: clipped against the near
// and far planes in clip space, then projected (pixel centres at integers).
std::vector<std::array<double, 2>> ScreenOutline(const std::vector<Point3>& corners) {
    std::vector<Clip> polygon;
    for (const Point3& p : corners) polygon.push_back(ToClip(p));
    auto clip = [&](auto distance) {
        std::vector<Clip> kept;
        for (std::size_t i = 0; i < polygon.size(); ++i) {
            const Clip &p = polygon[i], &q = polygon[(i + 1) % polygon.size()];
            const double dp = distance(p), dq = distance(q);
            if (dp >= 0) kept.push_back(p);
            if ((dp >= 0) != (dq >= 0)) {
                const double t = dp / (dp - dq);
                kept.push_back({p.x + (q.x - p.x) * t, p.y + (q.y - p.y) * t, p.z + (q.z - p.z) * t,
                                p.w + (q.w - p.w) * t});
            }
        }
        polygon = kept;
    };
    clip([](const Clip& c) { return c.z; });
    clip([](const Clip& c) { return c.w - c.z; });
    std::vector<std::array<double, 2>> outline;
    for (const Clip& c : polygon)
        outline.push_back({(1 + c.x / c.w) * kWidth / 2, (1 - c.y / c.w) * kHeight / 2});
    return outline;
}

// True when the point lies inside the convex outline at least `margin` pixels from every edge.
bool DeepInside(const std::vector<std::array<double, 2>>& outline, double x, double y, double margin) {
    if (outline.size() < 3) return false;
    double orientation = 0;
    for (std::size_t i = 0; i < outline.size(); ++i) {
        const auto &a = outline[i], &b = outline[(i + 1) % outline.size()];
        orientation += a[0] * b[1] - b[0] * a[1];
    }
    for (std::size_t i = 0; i < outline.size(); ++i) {
        const auto &a = outline[i], &b = outline[(i + 1) % outline.size()];
        const double ex = b[0] - a[0], ey = b[1] - a[1];
        const double cross = ex * (y - a[1]) - ey * (x - a[0]);
        if ((orientation > 0 ? cross : -cross) < margin * std::hypot(ex, ey)) return false;
    }
    return true;
}

constexpr UINT kIdTextureSize = 256;

class CoverageFuzz : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        const D3DMATRIX projection = Projection();
        device->SetTransform(D3DTS_PROJECTION, &projection);
        // Texel (x, y) holds the colour 1 + x + 256 y: a triangle whose
        // vertices all name one texel draws that number.
        ids = MakeTexture(kIdTextureSize, kIdTextureSize, 1,
                          [](UINT, UINT x, UINT y) { return 1 + x + kIdTextureSize * y; });
        device->SetTexture(0, ids);
        SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    }
    void TearDown() override {
        device->SetTexture(0, nullptr);
        ids->Release();
        DrawTest::TearDown();
    }

    // Draws the triangles (three vertices each) in order or in reverse.
    std::vector<std::uint32_t> DrawList(const std::vector<TexturedVertex>& list, bool reversed) {
        std::vector<TexturedVertex> ordered = list;
        if (reversed) {
            for (std::size_t i = 0, j = list.size() - 3; i < list.size(); i += 3, j -= 3)
                std::copy_n(list.begin() + std::ptrdiff_t(j), 3, ordered.begin() + std::ptrdiff_t(i));
        }
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        EXPECT_EQ(Draw(D3DPT_TRIANGLELIST, ordered), S_OK);
        return ReadBack();
    }

    IDirect3DTexture9* ids = nullptr;
};

// The triangles of the strips as the strip winds them, each with the texture
// coordinates of its own texel.
std::vector<TexturedVertex> NumberedTriangles(const std::vector<std::vector<TexturedVertex>>& strips) {
    std::vector<TexturedVertex> list;
    for (const auto& strip : strips) {
        for (std::size_t i = 0; i + 2 < strip.size(); ++i) {
            const std::size_t id = list.size() / 3;
            const float u = (float(id % kIdTextureSize) + 0.5f) / kIdTextureSize;
            const float v = (float(id / kIdTextureSize) + 0.5f) / kIdTextureSize;
            for (std::size_t k : {i % 2 ? i + 1 : i, i % 2 ? i : i + 1, i + 2})
                list.push_back({strip[k].x, strip[k].y, strip[k].z, u, v});
        }
    }
    return list;
}

using Grid = std::vector<std::vector<Point3>>;

// A plane through a point of the near plane in view, turned at random,
// spanning far beyond the view on every side (the near plane cuts it across
// the screen, the guard band at its sides), as a grid of long quads whose
// inner vertices are moved within their cells so that edges run in many
// directions. Each quad stays convex.
Grid RandomMesh(std::mt19937& random) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const Point3 centre{0.4 * unit(random), 0.3 * unit(random), kNear + 0.05 * unit(random)};
    const double yaw = 1.2 * unit(random), pitch = 1.2 * unit(random), roll = 3.1 * unit(random);
    const Point3 a{std::cos(yaw) * std::cos(roll), std::sin(roll), std::sin(yaw) * std::cos(roll)};
    const Point3 b{-std::cos(yaw) * std::sin(roll) * std::cos(pitch) - std::sin(yaw) * std::sin(pitch),
                   std::cos(roll) * std::cos(pitch),
                   -std::sin(yaw) * std::sin(roll) * std::cos(pitch) + std::cos(yaw) * std::sin(pitch)};
    const double width = 40.0 + 20.0 * unit(random), height = 15.0 + 5.0 * unit(random);
    const double cellWidth = 2 * width / kColumns, cellHeight = 2 * height / kRows;
    Grid grid(kRows + 1, std::vector<Point3>(kColumns + 1));
    for (int j = 0; j <= kRows; ++j) {
        for (int i = 0; i <= kColumns; ++i) {
            const bool border = i == 0 || j == 0 || i == kColumns || j == kRows;
            const double s = -width + i * cellWidth + (border ? 0 : 0.2 * cellWidth * unit(random));
            const double t = -height + j * cellHeight + (border ? 0 : 0.2 * cellHeight * unit(random));
            grid[j][i] = centre + s * a + t * b;
        }
    }
    return grid;
}

// Snapping to 1/256 pixel can turn over a triangle thinner than a few steps
// (seen nearly edge-on), and then its neighbours overlap: true when a
// triangle in front of the near plane is that thin on screen.
bool HasSlivers(const std::vector<TexturedVertex>& triangles) {
    for (std::size_t i = 0; i < triangles.size(); i += 3) {
        double p[3][2];
        bool inFront = true;
        for (int k = 0; k < 3; ++k) {
            const TexturedVertex& v = triangles[i + k];
            const Clip c = ToClip({v.x, v.y, v.z});
            inFront = inFront && c.w > kNear;
            p[k][0] = (1 + c.x / c.w) * kWidth / 2, p[k][1] = (1 - c.y / c.w) * kHeight / 2;
        }
        if (!inFront) continue;
        const double area =
            std::abs((p[1][0] - p[0][0]) * (p[2][1] - p[0][1]) - (p[2][0] - p[0][0]) * (p[1][1] - p[0][1]));
        double longest = 0;
        for (int k = 0; k < 3; ++k)
            longest = std::max(longest, std::hypot(p[(k + 1) % 3][0] - p[k][0], p[(k + 1) % 3][1] - p[k][1]));
        if (area < 0.05 * longest) return true;  // height under 0.05 pixel
    }
    return false;
}

// A pixel drawn by two triangles shows the later one, so drawing the
// triangles in order and in reverse shows different numbers exactly where
// two overlap; a pixel drawn by none stays black.
TEST_F(CoverageFuzz, StripsSharingEdgesCoverEachPixelOnce) {
    std::mt19937 random(2024);
    int filled = 0, meshes = 0;
    while (meshes < kMeshes) {
        const Grid grid = RandomMesh(random);
        std::vector<std::vector<TexturedVertex>> strips;
        for (int j = 0; j < kRows; ++j) {
            auto& strip = strips.emplace_back();
            for (int i = 0; i <= kColumns; ++i) {
                for (const Point3& p : {grid[j][i], grid[j + 1][i]})
                    strip.push_back({float(p.x), float(p.y), float(p.z), 0.5f / kIdTextureSize, 0.5f / kIdTextureSize});
            }
        }
        const std::vector<TexturedVertex> triangles = NumberedTriangles(strips);
        if (HasSlivers(triangles)) continue;
        ++meshes;
        const std::vector<std::uint32_t> forward = DrawList(triangles, false), backward = DrawList(triangles, true);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        for (const auto& strip : strips) ASSERT_EQ(DrawStrip(strip), S_OK);
        const std::vector<std::uint32_t> asStrips = ReadBack();

        const auto outline = ScreenOutline({grid[0][0], grid[0][kColumns], grid[kRows][kColumns], grid[kRows][0]});
        int inside = 0;
        std::ostringstream faults;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const std::size_t i = std::size_t(y) * kWidth + x;
                const bool deep = DeepInside(outline, x, y, 1.0);
                inside += deep;
                if (Rgb(forward[i]) != Rgb(backward[i])) faults << " (" << x << ", " << y << ") twice";
                if (deep && (Rgb(forward[i]) == 0 || Rgb(asStrips[i]) == 0))
                    faults << " (" << x << ", " << y << ") none";
            }
        }
        EXPECT_EQ(faults.str(), "") << "mesh " << meshes;
        filled += inside > kWidth * kHeight / 4;
    }
    EXPECT_GT(filled, kMeshes / 2) << "most meshes fill much of the view";
}

}  // namespace
}  // namespace quillmark::software::testing
