// Every lane width of the rasteriser and every drawing-thread count give the
// same colour and depth bits: random overlapping triangles under each depth
// comparison, through both shading paths, in a viewport whose odd corner
// puts blocks and tiles across its edges.
#include <memory>
#include <random>
#include <utility>

#include "draw_fixture.h"
#include "platform/processor/scoped_allowance.h"

namespace quillmark::software::testing {
namespace {

struct Frame {
    std::vector<std::uint32_t> color;
    std::vector<std::uint16_t> depth;
};

class RasterizerLanesTest : public DrawTest {
protected:
    void TearDown() override {
        DrawTest::TearDown();
        SetDrawThreads(0);
        allowance_.reset();
    }

    // Allows the vector paths of `features` alone, until the next call or
    // the test's end; false when the processor or QUILLMARK_CPU lacks some.
    bool AllowOnly(std::uint32_t features) {
        allowance_.reset();  // the allowance before, then this path's
        allowance_ = std::make_unique<processor::ScopedAllowance>(features);
        return allowance_->Granted();
    }

    // A device drawing on `threads` threads.
    void Recreate(unsigned threads) {
        SetDrawThreads(threads);  // read when the device is created
        D3DPRESENT_PARAMETERS parameters = ApplicationPresentParameters();
        parameters.AutoDepthStencilFormat = D3DFMT_D16_LOCKABLE;
        CreateWith(parameters);
        ASSERT_EQ(device->SetRenderState(D3DRS_LIGHTING, FALSE), S_OK);
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), S_OK);
        ASSERT_EQ(device->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1), S_OK);
        const D3DVIEWPORT9 viewport{3, 5, 781, 587, 0.0f, 1.0f};
        ASSERT_EQ(device->SetViewport(&viewport), S_OK);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    }

    std::vector<std::uint16_t> ReadDepth() {
        IDirect3DSurface9* surface = nullptr;
        EXPECT_EQ(device->GetDepthStencilSurface(&surface), S_OK);
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
        std::vector<std::uint16_t> depths(800 * 600);
        for (int y = 0; y < 600; ++y)
            std::memcpy(&depths[std::size_t(y) * 800], static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch, 1600);
        surface->UnlockRect();
        surface->Release();
        return depths;
    }

    // Random triangles, each comparison in turn, first with the texture
    // shaded straight from its bytes (trilinear, anisotropic), then through
    // the general stages (modulated by the texture factor).
    Frame DrawScene() {
        IDirect3DTexture9* texture = MakeTexture(64, 64, 7, [](UINT level, UINT x, UINT y) {
            return 0xFF000000u | ((x * 0x030507u) ^ (y * 0x0B0D11u) ^ (level * 0x404040u));
        });
        device->SetTexture(0, texture);
        SetFilters(D3DTEXF_ANISOTROPIC, D3DTEXF_LINEAR, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, 4);
        std::mt19937 random(7);
        std::uniform_real_distribution<float> x(-40.0f, 840.0f), y(-40.0f, 640.0f), z(0.0f, 1.0f), uv(-2.0f, 2.0f);
        const DWORD comparisons[] = {D3DCMP_LESSEQUAL, D3DCMP_GREATER, D3DCMP_NOTEQUAL, D3DCMP_ALWAYS,
                                     D3DCMP_LESS,      D3DCMP_EQUAL,   D3DCMP_GREATEREQUAL};
        for (int pass = 0; pass < 2; ++pass) {
            if (pass == 1) {
                device->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80C0E0FFu);
                device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
            }
            for (DWORD comparison : comparisons) {
                device->SetRenderState(D3DRS_ZFUNC, comparison);
                std::vector<TexturedVertex> list;
                for (int i = 0; i < 3 * 12; ++i) list.push_back({0, 0, 0, uv(random), uv(random)});
                for (TexturedVertex& v : list) v = At(x(random), y(random), z(random), v.u, v.v);
                EXPECT_EQ(Draw(D3DPT_TRIANGLELIST, list), S_OK);
            }
        }
        device->SetTexture(0, nullptr);
        texture->Release();
        return {ReadBack(), ReadDepth()};
    }

    std::unique_ptr<processor::ScopedAllowance> allowance_;
};

constexpr std::uint32_t kScalar = 0;
constexpr std::uint32_t kSse2 = processor::kMmx | processor::kSse | processor::kSse2;
constexpr std::uint32_t kAvx2 = processor::kEveryFeature;

TEST_F(RasterizerLanesTest, EveryWidthAndThreadCountDrawsTheSameBits) {
    ASSERT_TRUE(AllowOnly(kScalar));
    Recreate(1);
    const Frame reference = DrawScene();
    std::size_t drawn = 0, deepened = 0;
    for (std::size_t i = 0; i < reference.color.size(); ++i) {
        drawn += Rgb(reference.color[i]) != 0;
        deepened += reference.depth[i] != 0xFFFF;
    }
    EXPECT_GT(drawn, reference.color.size() / 2) << "the triangles cover most of the view";
    EXPECT_GT(deepened, reference.color.size() / 2) << "and write their depths";
    EXPECT_EQ(Rgb(reference.color[2 * 800 + 400]), 0u) << "nothing is drawn above the viewport";

    const struct {
        std::uint32_t features;
        unsigned threads;
    } paths[] = {{kScalar, 3}, {kSse2, 1}, {kSse2, 2}, {kAvx2, 1}, {kAvx2, 3}};
    for (const auto& path : paths) {
        if (!AllowOnly(path.features)) continue;  // this processor lacks them
        Recreate(path.threads);
        const Frame frame = DrawScene();
        EXPECT_TRUE(frame.color == reference.color) << "features " << path.features << ", " << path.threads << " threads";
        EXPECT_TRUE(frame.depth == reference.depth) << "features " << path.features << ", " << path.threads << " threads";
    }
}

// Tiles start at the viewport's corner rounded down to even coordinates:
// a quad covering more than the viewport fills exactly the viewport, and
// small squares across tile corners draw every pixel of theirs.
TEST_F(RasterizerLanesTest, TilesCoverAnOddViewportExactly) {
    Recreate(2);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);  // the diffuse colour, white
    ASSERT_EQ(DrawQuad(-10, -10, 810, 610, 0, 0, 1, 1), S_OK);
    std::vector<std::uint32_t> pixels = ReadBack();
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 800; ++x) {
            const bool inside = x >= 3 && x < 3 + 781 && y >= 5 && y < 5 + 587;
            ASSERT_EQ(Rgb(pixels[std::size_t(y) * 800 + std::size_t(x)]) != 0, inside) << "pixel " << x << ", " << y;
        }
    }
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    const int corners[][2] = {{66, 69}, {130, 133}, {194, 69}, {770, 581}};  // tile corners: 2 + 64k, 5 + 64k rounded down to even
    // Pixel edges (left - 0.5 .. right - 0.5) mapped through the viewport.
    const auto at = [](float x, float y) {
        return TexturedVertex{(x - 0.5f - 3.0f) / (781.0f / 2) - 1.0f, 1.0f - (y - 0.5f - 5.0f) / (587.0f / 2), 0.5f, 0, 0};
    };
    for (const auto& corner : corners) {
        const float l = float(corner[0] - 3), t = float(corner[1] - 3), r = float(corner[0] + 3), b = float(corner[1] + 3);
        ASSERT_EQ(DrawStrip({at(l, t), at(r, t), at(l, b), at(r, b)}), S_OK);
    }
    pixels = ReadBack();
    std::size_t drawn = 0;
    for (std::uint32_t pixel : pixels) drawn += Rgb(pixel) != 0;
    EXPECT_EQ(drawn, std::size(corners) * 36);
    for (const auto& corner : corners) {
        for (int y = corner[1] - 3; y < corner[1] + 3; ++y) {
            for (int x = corner[0] - 3; x < corner[0] + 3; ++x)
                EXPECT_NE(Rgb(pixels[std::size_t(y) * 800 + std::size_t(x)]), 0u) << "pixel " << x << ", " << y;
        }
    }
}

// A draw whose triangles span more rows than the renderer keeps at once
// (2^20) is drawn in batches, still in drawing order: three rounds of
// full-height two-pixel columns over the whole view, each round in its own
// colour, leave the last round's colour everywhere.
TEST_F(RasterizerLanesTest, DrawsInOrderPastOneBatchOfRows) {
    const std::uint32_t colors[] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFF000000u};
    IDirect3DTexture9* texture = MakeTexture(4, 1, 1, [&](UINT, UINT x, UINT) { return colors[x]; });
    device->SetTexture(0, texture);
    SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    constexpr int kRounds = 3, kColumns = 400;  // 2400 triangles of 600 rows: 1.44 million spans
    std::vector<TexturedVertex> list;
    for (int round = 0; round < kRounds; ++round) {
        const float u = (float(round) + 0.5f) / 4;
        for (int column = 0; column < kColumns; ++column) {
            const float l = float(2 * column) - 0.5f, r = l + 2, t = -0.5f, b = 599.5f;
            for (const auto& [x, y] : {std::pair{l, t}, {r, t}, {l, b}, {r, t}, {r, b}, {l, b}})
                list.push_back(At(x, y, 0.5f, u, 0.5f));
        }
    }
    ASSERT_EQ(Draw(D3DPT_TRIANGLELIST, list), S_OK);
    const std::vector<std::uint32_t> pixels = ReadBack();
    std::size_t wrong = 0;
    for (std::uint32_t pixel : pixels) wrong += Rgb(pixel) != Rgb(colors[kRounds - 1]);
    EXPECT_EQ(wrong, 0u);
    device->SetTexture(0, nullptr);
    texture->Release();
}

}  // namespace
}  // namespace quillmark::software::testing
