// Whole frames through the direct shading of an in-place texture modulated
// by white against the general stage loop: the same program written so that
// only the general loop can run it (DIFFUSE instead of CURRENT, which hold
// the same colour here) must give the same bytes, alpha included.
#include <random>
#include <string>

#include "draw_fixture.h"

namespace quillmark::software::testing {
namespace {

class DirectShading : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        D3DPRESENT_PARAMETERS parameters = ApplicationPresentParameters();
        parameters.BackBufferFormat = D3DFMT_A8R8G8B8;
        SizeTarget(parameters);
        CreateWith(parameters);
        device->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_LIGHTING, TRUE);
        D3DMATERIAL9 material{};
        material.Emissive = {1.0f, 1.0f, 1.0f, 0.0f};
        material.Diffuse.a = 0.6f;
        device->SetMaterial(&material);
        // 80 degree field of view, near plane 0.5, far plane 60.
        D3DMATRIX projection{};
        projection._11 = 0.8938152f, projection._22 = 1.1917536f;
        projection._33 = 60.0f / 59.5f, projection._34 = 1.0f, projection._43 = -30.0f / 59.5f;
        device->SetTransform(D3DTS_PROJECTION, &projection);
        std::mt19937 random(5);
        texture = MakeTexture(64, 32, 0, [&](UINT, UINT, UINT) { return std::uint32_t(random()); }, D3DFMT_A8R8G8B8);
        device->SetTexture(0, texture);
    }
    void TearDown() override {
        device->SetTexture(0, nullptr);
        texture->Release();
        DrawTest::TearDown();
    }

    // The target's size: the application's unless a test changes it.
    virtual void SizeTarget(D3DPRESENT_PARAMETERS&) {}

    // The direct shading's frame against the general loop's: the same
    // bytes, with most of the target drawn.
    void ExpectSameFrames(const std::string& settings) {
        const std::vector<std::uint32_t> direct = Frame(D3DTA_CURRENT), general = Frame(D3DTA_DIFFUSE);
        std::size_t differing = 0, drawn = 0;
        for (std::size_t i = 0; i < direct.size(); ++i) {
            differing += direct[i] != general[i];
            drawn += direct[i] != 0;
        }
        EXPECT_EQ(differing, 0u) << settings;
        EXPECT_GT(drawn, direct.size() / 2) << settings;
    }

    // A floor receding from the camera and a wall turned across the view.
    std::vector<std::uint32_t> Frame(DWORD colorArg2) {
        device->SetTextureStageState(0, D3DTSS_COLORARG2, colorArg2);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG2, colorArg2);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        EXPECT_EQ(DrawStrip({{-6, -1, 0.6f, 0, 0}, {6, -1, 0.6f, 9, 0}, {-6, -1, 40, 0, 41}, {6, -1, 40, 9, 41}}), S_OK);
        EXPECT_EQ(DrawStrip({{-3, 3, 2, 0.3f, 0}, {4, 2, 9, -5, 0.2f}, {-3, -0.5f, 2, 0.5f, 3}, {4, -0.8f, 9, -4.7f, 3.7f}}),
                  S_OK);
        return ReadBack();
    }

    IDirect3DTexture9* texture = nullptr;
};

TEST_F(DirectShading, MatchesTheGeneralStageLoopForEveryFilter) {
    const DWORD filters[] = {D3DTEXF_POINT, D3DTEXF_LINEAR, D3DTEXF_ANISOTROPIC};
    const DWORD mips[] = {D3DTEXF_NONE, D3DTEXF_POINT, D3DTEXF_LINEAR};
    for (DWORD alphaOp : {D3DTOP_MODULATE, D3DTOP_SELECTARG1}) {
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, alphaOp);
        for (DWORD min : filters) {
            for (DWORD mip : mips) {
                for (DWORD anisotropy : {1u, 16u}) {
                    if (anisotropy > 1 && min != D3DTEXF_ANISOTROPIC) continue;
                    // The alpha operation only changes the constant factor: one filter shows it.
                    if (alphaOp != D3DTOP_MODULATE && (min != D3DTEXF_ANISOTROPIC || mip != D3DTEXF_LINEAR)) continue;
                    SetFilters(min, min == D3DTEXF_POINT ? D3DTEXF_POINT : D3DTEXF_LINEAR, mip);
                    device->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, anisotropy);
                    ExpectSameFrames("min " + std::to_string(min) + " mip " + std::to_string(mip) + " anisotropy " +
                                     std::to_string(anisotropy) + " alpha op " + std::to_string(alphaOp));
                }
            }
        }
    }
}

// A target whose sides are not multiples of the rasteriser's chunks: the
// chunks at the right and bottom edges reach past the buffers, and their
// pixels inside must be written as everywhere else.
class DirectShadingAtOddEdges : public DirectShading {
protected:
    void SizeTarget(D3DPRESENT_PARAMETERS& parameters) override {
        parameters.BackBufferWidth = 301;
        parameters.BackBufferHeight = 227;
    }
};

TEST_F(DirectShadingAtOddEdges, MatchesTheGeneralStageLoop) {
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    for (DWORD anisotropy : {1u, 16u}) {
        SetFilters(D3DTEXF_ANISOTROPIC, D3DTEXF_LINEAR, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, anisotropy);
        ExpectSameFrames("anisotropy " + std::to_string(anisotropy));
    }
}

}  // namespace
}  // namespace quillmark::software::testing
