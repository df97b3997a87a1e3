// Coverage, depth, culling and texture-stage rules of DrawPrimitive, and
// what the device refuses to draw.
#include <algorithm>
#include <bit>
#include <cmath>
#include <random>

#include "draw_fixture.h"

namespace quillmark::software::testing {
namespace {

class RasterTest : public DrawTest {
protected:
    // Stage 0 outputs the diffuse colour (white with lighting off).
    void DrawWhite() { device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2); }

    HRESULT DrawTriangle(TexturedVertex a, TexturedVertex b, TexturedVertex c) { return DrawStrip({a, b, c}); }

    // The solid colour the texture stages give, as a one-texel texture.
    void BindColor(std::uint32_t color) {
        IDirect3DTexture9* texture = MakeTexture(1, 1, 1, [=](UINT, UINT, UINT) { return color; });
        device->SetTexture(0, texture);
        texture->Release();
    }
};

TEST_F(RasterTest, SharedEdgeCoversEveryPixelExactlyOnce) {
    DrawWhite();
    // A square from (0, 0) to (8, 8) in pixel coordinates: its edges and its
    // diagonal run through pixel centres.
    ASSERT_EQ(DrawTriangle(At(0, 0, 0.5f, 0, 0), At(8, 0, 0.5f, 0, 0), At(0, 8, 0.5f, 0, 0)), S_OK);
    const auto first = ReadBack();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    ASSERT_EQ(DrawTriangle(At(8, 0, 0.5f, 0, 0), At(8, 8, 0.5f, 0, 0), At(0, 8, 0.5f, 0, 0)), S_OK);
    const auto second = ReadBack();
    int covered = 0;
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 12; ++x) {
            const bool a = Rgb(first[y * 800 + x]) != 0, b = Rgb(second[y * 800 + x]) != 0;
            EXPECT_FALSE(a && b) << "pixel " << x << "," << y << " drawn twice";
            const bool inside = x < 8 && y < 8;  // left and top edges in, right and bottom out
            EXPECT_EQ(a || b, inside) << "pixel " << x << "," << y;
            covered += a || b;
        }
    }
    EXPECT_EQ(covered, 64);
    // The diagonal's pixel centres (k, 8 - k) go to the triangle on their right.
    EXPECT_TRUE(Rgb(second[5 * 800 + 3]) != 0);
}

TEST_F(RasterTest, NearlyHorizontalEdgesStayInsideTheirTriangle) {
    DrawWhite();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    // The long edge climbs one 1/256 step over 590 pixels.
    ASSERT_EQ(DrawTriangle(At(10, 10, 0.5f, 0, 0), At(600, 10.00390625f, 0.5f, 0, 0), At(10, 12, 0.5f, 0, 0)), S_OK);
    // Only row 11 has centres inside: the bottom edge y = 12 - 1.996 (x - 10) / 590
    // stays below 11 up to x = 305; row 10 lies above the top edge, row 12 on
    // the bottom edge.
    const auto pixels = ReadBack();
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 800; ++x) {
            const bool inside = y == 11 && x >= 10 && x <= 305;
            ASSERT_EQ(Rgb(pixels[std::size_t(y) * 800 + x]) != 0, inside) << x << "," << y;
        }
    }
}

// Long slivers a few pixels thick at every angle, crossing many tiles and
// the screen's edges: every pixel centre clearly inside a sliver is drawn
// and every one clearly outside is not, judged by its distance to the
// sliver's edges in double precision (centres within 0.01 pixel of an edge
// may go either way: the vertices pass through float arithmetic and are
// snapped to 1/256 pixel).
TEST_F(RasterTest, ThinSliversCrossingTilesCoverTheirInsideAndNothingElse) {
    DrawWhite();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    std::mt19937 random(20);
    std::uniform_real_distribution<double> position(-100.0, 900.0), angle(0.0, 6.283185307179586),
        length(60.0, 900.0), thickness(0.6, 4.0), apex(0.0, 1.0);
    constexpr double kMargin = 0.01;
    int seen = 0;  // slivers with pixels inside
    for (int sliver = 0; sliver < 40; ++sliver) {
        // Two long edges from one end, meeting the far end's short edge.
        const double x0 = position(random), y0 = position(random) * 0.7, a = angle(random), l = length(random);
        const double dx = std::cos(a), dy = std::sin(a), w = thickness(random), shift = apex(random);
        const double p[3][2] = {{x0, y0},
                                {x0 + l * dx - (shift * w) * dy, y0 + l * dy + (shift * w) * dx},
                                {x0 + l * dx + ((1 - shift) * w) * dy, y0 + l * dy - ((1 - shift) * w) * dx}};
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        ASSERT_EQ(DrawTriangle(At(float(p[0][0]), float(p[0][1]), 0.5f, 0, 0),
                               At(float(p[1][0]), float(p[1][1]), 0.5f, 0, 0),
                               At(float(p[2][0]), float(p[2][1]), 0.5f, 0, 0)),
                  S_OK);
        const auto pixels = ReadBack();
        const double area = (p[1][0] - p[0][0]) * (p[2][1] - p[0][1]) - (p[2][0] - p[0][0]) * (p[1][1] - p[0][1]);
        int inside = 0;
        for (int y = 0; y < 600; ++y) {
            for (int x = 0; x < 800; ++x) {
                double nearest = INFINITY;  // the least signed distance to an edge, positive inside
                for (int e = 0; e < 3; ++e) {
                    const double* from = p[e];
                    const double* to = p[(e + 1) % 3];
                    const double ex = to[0] - from[0], ey = to[1] - from[1];
                    const double cross = ex * (y - from[1]) - ey * (x - from[0]);
                    nearest = std::min(nearest, (area > 0 ? cross : -cross) / std::hypot(ex, ey));
                }
                const bool drawn = Rgb(pixels[std::size_t(y) * 800 + std::size_t(x)]) != 0;
                if (nearest > kMargin) {
                    ++inside;
                    ASSERT_TRUE(drawn) << "sliver " << sliver << " left out pixel " << x << "," << y;
                } else if (nearest < -kMargin) {
                    ASSERT_FALSE(drawn) << "sliver " << sliver << " drew pixel " << x << "," << y;
                }
            }
        }
        seen += inside > 0;
    }
    EXPECT_GE(seen, 20) << "most slivers cross the screen";
}

TEST_F(RasterTest, DepthTestKeepsTheNearerSurface) {
    BindColor(0xFF0000);
    ASSERT_EQ(DrawQuad(0, 0, 16, 16, 0, 0, 1, 1, 0.25f), S_OK);
    BindColor(0x00FF00);
    ASSERT_EQ(DrawQuad(8, 8, 24, 24, 0, 0, 1, 1, 0.75f), S_OK);
    auto pixels = ReadBack();
    EXPECT_EQ(Rgb(pixels[10 * 800 + 10]), 0xFF0000u) << "the farther quad is hidden";
    EXPECT_EQ(Rgb(pixels[20 * 800 + 20]), 0x00FF00u);
    BindColor(0x0000FF);
    ASSERT_EQ(DrawQuad(0, 0, 16, 16, 0, 0, 1, 1, 0.25f), S_OK);
    EXPECT_EQ(Rgb(ReadBack()[10 * 800 + 10]), 0x0000FFu) << "LESSEQUAL passes at equal depth";
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    BindColor(0xFFFFFF);
    ASSERT_EQ(DrawQuad(0, 0, 16, 16, 0, 0, 1, 1, 0.25f), S_OK);
    EXPECT_EQ(Rgb(ReadBack()[10 * 800 + 10]), 0x0000FFu) << "LESS fails at equal depth";
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    ASSERT_EQ(DrawQuad(8, 8, 24, 24, 0, 0, 1, 1, 0.9f), S_OK);
    EXPECT_EQ(Rgb(ReadBack()[10 * 800 + 10]), 0xFFFFFFu) << "no depth test when disabled";
}

TEST_F(RasterTest, CullModesRemoveOneWinding) {
    DrawWhite();
    const TexturedVertex a = At(0, 0, 0.5f, 0, 0), b = At(8, 0, 0.5f, 0, 0), c = At(0, 8, 0.5f, 0, 0);
    struct Case {
        DWORD mode;
        bool clockwiseDrawn, counterClockwiseDrawn;
    } cases[] = {{D3DCULL_NONE, true, true}, {D3DCULL_CW, false, true}, {D3DCULL_CCW, true, false}};
    for (const Case& k : cases) {
        device->SetRenderState(D3DRS_CULLMODE, k.mode);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        ASSERT_EQ(DrawTriangle(a, b, c), S_OK);  // clockwise on screen
        EXPECT_EQ(Rgb(ReadBack()[2 * 800 + 2]) != 0, k.clockwiseDrawn) << k.mode;
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        ASSERT_EQ(DrawTriangle(a, c, b), S_OK);
        EXPECT_EQ(Rgb(ReadBack()[2 * 800 + 2]) != 0, k.counterClockwiseDrawn) << k.mode;
    }
}

TEST_F(RasterTest, GeometryBehindTheNearPlaneIsClipped) {
    DrawWhite();
    // z < 0 in clip space lies in front of the near plane: nothing is drawn.
    ASSERT_EQ(DrawQuad(0, 0, 16, 16, 0, 0, 1, 1, -0.5f), S_OK);
    ASSERT_EQ(DrawQuad(20, 0, 36, 16, 0, 0, 1, 1, 1.5f), S_OK);
    const auto pixels = ReadBack();
    EXPECT_EQ(Rgb(pixels[8 * 800 + 8]), 0u);
    EXPECT_EQ(Rgb(pixels[8 * 800 + 28]), 0u);
}

TEST_F(RasterTest, StageUnderTestDeliversTheTexelThroughPassThroughStages) {
    // The application's setup with stage 3 under test: lighting with an
    // emissive material, stages 0-2 pass white, 4-7 disabled.
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    D3DMATERIAL9 material{};
    material.Emissive = {255.0f, 255.0f, 255.0f, 0.0f};
    device->SetMaterial(&material);
    IDirect3DTexture9* texture = MakeTexture(1, 1, 1, [](UINT, UINT, UINT) { return 0x336699u; });
    for (DWORD s = 0; s < 8; ++s) {
        device->SetTexture(s, s == 3 ? texture : nullptr);
        if (s < 3) {
            device->SetTextureStageState(s, D3DTSS_COLORARG1, D3DTA_CURRENT);
            device->SetTextureStageState(s, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
            device->SetTextureStageState(s, D3DTSS_COLOROP, D3DTOP_MODULATE);
            device->SetTextureStageState(s, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        } else if (s == 3) {
            device->SetTextureStageState(s, D3DTSS_COLORARG1, D3DTA_TEXTURE);
            device->SetTextureStageState(s, D3DTSS_COLORARG2, D3DTA_CURRENT);
            device->SetTextureStageState(s, D3DTSS_COLOROP, D3DTOP_MODULATE);
            device->SetTextureStageState(s, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
            device->SetTextureStageState(s, D3DTSS_TEXCOORDINDEX, 0);
            device->SetTextureStageState(s, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
        } else {
            device->SetTextureStageState(s, D3DTSS_COLOROP, D3DTOP_DISABLE);
            device->SetTextureStageState(s, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
        }
    }
    texture->Release();
    ASSERT_EQ(DrawQuad(0, 0, 8, 8, 0, 0, 1, 1), S_OK);
    EXPECT_EQ(ReadBack()[4 * 800 + 4], 0xFF336699u);
    for (DWORD s = 0; s < 8; ++s) device->SetTexture(s, nullptr);
}

TEST_F(RasterTest, ModulateScalesTheTexelByTheLitDiffuse) {
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    D3DMATERIAL9 material{};
    material.Emissive = {0.5f, 1.0f, 0.25f, 0.0f};
    device->SetMaterial(&material);
    BindColor(0xFFFFFF);
    ASSERT_EQ(DrawQuad(0, 0, 8, 8, 0, 0, 1, 1), S_OK);
    EXPECT_EQ(Rgb(ReadBack()[4 * 800 + 4]), 0x80FF40u);  // 127.5, 255, 63.75 rounded half up
}

TEST_F(RasterTest, AStageWithoutItsTextureReadsOpaqueBlack) {
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    ASSERT_EQ(DrawQuad(0, 0, 8, 8, 0, 0, 1, 1), S_OK);
    EXPECT_EQ(Rgb(ReadBack()[4 * 800 + 4]), 0u);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT);
    ASSERT_EQ(DrawQuad(0, 0, 8, 8, 0, 0, 1, 1), S_OK);
    EXPECT_EQ(Rgb(ReadBack()[4 * 800 + 4]), 0xFFFFFFu);
}

TEST_F(RasterTest, DrawingOutsideAViewportLeavesItAlone) {
    DrawWhite();
    const D3DVIEWPORT9 viewport{100, 100, 50, 50, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&viewport), S_OK);
    // The whole clip-space square maps to the viewport.
    ASSERT_EQ(DrawStrip({{-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 0, 0}, {-1, -1, 0.5f, 0, 0}, {1, -1, 0.5f, 0, 0}}), S_OK);
    const auto pixels = ReadBack();
    EXPECT_EQ(Rgb(pixels[100 * 800 + 100]), 0xFFFFFFu);
    EXPECT_EQ(Rgb(pixels[149 * 800 + 149]), 0xFFFFFFu);
    EXPECT_EQ(Rgb(pixels[99 * 800 + 120]), 0u);
    EXPECT_EQ(Rgb(pixels[150 * 800 + 120]), 0u);
    EXPECT_EQ(Rgb(pixels[120 * 800 + 150]), 0u);
}

// The bounds [left, right) x [top, bottom) of the lit pixels, all zero when none.
struct LitBounds {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const LitBounds&) const = default;
};

LitBounds BoundsOfLit(const std::vector<std::uint32_t>& pixels) {
    LitBounds b{800, 600, 0, 0};
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 800; ++x) {
            if (!Rgb(pixels[std::size_t(y) * 800 + std::size_t(x)])) continue;
            b = {std::min(b.left, x), std::min(b.top, y), std::max(b.right, x + 1), std::max(b.bottom, y + 1)};
        }
    }
    return b.right ? b : LitBounds{};
}

// A draw of the same vertex count right after another: whatever the device
// keeps from the last draw must follow every change of vertices, transform,
// viewport and culling.
TEST_F(RasterTest, RedrawsFollowEveryChangeOfTheGeometry) {
    DrawWhite();
    const float l = 9.5f, t = 19.5f, r = 49.5f, b = 39.5f;  // pixels [10, 50) x [20, 40)
    std::vector<TexturedVertex> quad = {At(l, t, 0.5f, 0, 0), At(r, t, 0.5f, 0, 0), At(l, b, 0.5f, 0, 0),
                                        At(r, b, 0.5f, 0, 0)};
    SetVertices(quad);
    IDirect3DVertexBuffer9* buffer = nullptr;
    UINT offset = 0, stride = 0;
    ASSERT_EQ(device->GetStreamSource(0, &buffer, &offset, &stride), S_OK);
    const D3DVIEWPORT9 whole{0, 0, 800, 600, 0.0f, 1.0f};
    D3DVIEWPORT9 viewport = whole;
    const auto drawn = [&] {
        device->SetViewport(&whole);  // clears reach only the viewport
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        device->SetViewport(&viewport);
        device->BeginScene();
        EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), S_OK);
        device->EndScene();
        return BoundsOfLit(ReadBack());
    };
    EXPECT_EQ(drawn(), (LitBounds{10, 20, 50, 40}));
    EXPECT_EQ(drawn(), (LitBounds{10, 20, 50, 40}));  // the same scene again

    // The same buffer rewritten in place: the quad moves 100 pixels right.
    for (TexturedVertex& v : quad) v.x += 100.0f / 400.0f;
    void* data = nullptr;
    ASSERT_EQ(buffer->Lock(0, 0, &data, 0), S_OK);
    std::memcpy(data, quad.data(), quad.size() * sizeof(TexturedVertex));
    buffer->Unlock();
    buffer->Release();
    EXPECT_EQ(drawn(), (LitBounds{110, 20, 150, 40}));

    // The world transform moves it 200 pixels down.
    D3DMATRIX world{};
    world._11 = world._22 = world._33 = world._44 = 1.0f;
    world._42 = -200.0f / 300.0f;
    ASSERT_EQ(device->SetTransform(D3DTS_WORLD, &world), S_OK);
    EXPECT_EQ(drawn(), (LitBounds{110, 220, 150, 240}));

    // A viewport of the right half maps clip space onto it alone.
    viewport = {400, 0, 400, 600, 0.0f, 1.0f};
    EXPECT_EQ(drawn(), (LitBounds{455, 220, 475, 240}));

    // The strip's first triangle is clockwise on screen, its second counter-clockwise.
    ASSERT_EQ(device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW), S_OK);
    const LitBounds culled = drawn();
    ASSERT_EQ(device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), S_OK);
    EXPECT_NE(culled, drawn());
    EXPECT_EQ(drawn(), (LitBounds{455, 220, 475, 240}));
}

TEST_F(RasterTest, UnsupportedRequestsAreRefusedNotDrawn) {
    DrawWhite();
    const std::vector<TexturedVertex> quad = {At(0, 0, 0.5f, 0, 0), At(8, 0, 0.5f, 0, 0), At(0, 8, 0.5f, 0, 0)};
    ASSERT_EQ(DrawStrip(quad), S_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 1), D3DERR_INVALIDCALL) << "outside a scene";
    device->BeginScene();
    EXPECT_EQ(device->DrawPrimitive(D3DPT_LINELIST, 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL) << "past the buffer's end";
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 1), D3DERR_INVALIDCALL);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 1), D3DERR_INVALIDCALL);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 1), D3DERR_INVALIDCALL);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 1), S_OK);
    device->EndScene();
}

}  // namespace
}  // namespace quillmark::software::testing
