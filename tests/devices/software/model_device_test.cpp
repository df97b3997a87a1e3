// The model device: its knobs read and refused, its frames with the default
// knobs the reference's (through the reference kernels and, forced, through
// the model kernel), and each knob held to an invariant or to a frame the
// reference draws with other sampler states.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "bench/tunnel_scene.h"
#include "devices/software/model_knobs.h"
#include "devices/software/model_sampler.h"
#include "devices/software/software_direct3d.h"

namespace quillmark::software::testing {
namespace {

// ---- the knobs ----

ModelKnobs Parsed(const std::string& name) {
    ModelKnobs knobs;
    std::string error;
    EXPECT_TRUE(ParseModelKnobs(name, &knobs, &error)) << name << ": " << error;
    return knobs;
}

std::string Refusal(const std::string& name) {
    ModelKnobs knobs;
    std::string error;
    EXPECT_FALSE(ParseModelKnobs(name, &knobs, &error)) << name;
    return error;
}

TEST(ModelKnobs, ReadEveryKnobAndWriteTheNameBack) {
    EXPECT_EQ(Parsed("model"), ModelKnobs());
    const std::string all =
        "model:axes=sum,aniso-cap=4,aniso-steps=pow2,aniso-ignores-max=1,aniso-lod=short,lod-offset=-0.25,lod-bits=6,"
        "log2=approx,blend-width=0.5,blend-bits=4,subtexel-bits=8,stage-reduce=1,fault=hang";
    const ModelKnobs knobs = Parsed(all);
    EXPECT_EQ(knobs.axes, AxisRule::Sum);
    EXPECT_EQ(knobs.anisoCap, 4u);
    EXPECT_EQ(knobs.anisoSteps, ProbeSteps::PowerOfTwo);
    EXPECT_TRUE(knobs.anisoIgnoresMax);
    EXPECT_EQ(knobs.anisoLod, AnisoLod::Short);
    EXPECT_EQ(knobs.lodOffset, -0.25f);
    EXPECT_EQ(knobs.lodBits, 6);
    EXPECT_EQ(knobs.log2, Log2Rule::Approx);
    EXPECT_EQ(knobs.blendWidth, 0.5f);
    EXPECT_EQ(knobs.blendBits, 4);
    EXPECT_EQ(knobs.subtexelBits, 8);
    EXPECT_TRUE(knobs.stageReduce);
    EXPECT_EQ(knobs.fault, ModelFault::Hang);
    EXPECT_EQ(ModelDeviceName(knobs), all) << "the documented order";
    EXPECT_EQ(Parsed("model:fault=segv").fault, ModelFault::Segv);
    EXPECT_EQ(ModelDeviceName(Parsed("model:fault=exit")), "model:fault=exit");
    // Defaults written out are left out of the name; any order reads the same.
    EXPECT_EQ(ModelDeviceName(Parsed("model:blend-width=1,axes=exact,lod-bits=3")), "model:lod-bits=3");
    EXPECT_EQ(ModelDeviceName(Parsed("model:lod-offset=0.1")), "model:lod-offset=0.1");
    EXPECT_EQ(Parsed(ModelDeviceName(Parsed("model:lod-offset=0.1"))).lodOffset, 0.1f);
    EXPECT_TRUE(IsModelDeviceName("model:anything"));
    EXPECT_FALSE(IsModelDeviceName("models"));
    EXPECT_FALSE(IsModelDeviceName("reference"));
}

TEST(ModelKnobs, BadNamesAndValuesAreRefusedNamingTheKnobAndItsRange) {
    struct Case {
        const char* name;
        const char* says;
    };
    const Case cases[] = {
        {"model:axes=diagonal", "\"axes\": it takes exact, max or sum, not \"diagonal\""},
        {"model:aniso-cap=0", "\"aniso-cap\": it takes a whole number from 1 to 16, not \"0\""},
        {"model:aniso-cap=17", "from 1 to 16, not \"17\""},
        {"model:aniso-cap=4.5", "from 1 to 16, not \"4.5\""},
        {"model:aniso-steps=pow3", "\"aniso-steps\": it takes int or pow2"},
        {"model:aniso-ignores-max=yes", "\"aniso-ignores-max\": it takes 0 or 1"},
        {"model:lod-offset=nan", "\"lod-offset\": it takes a number from -16 to 16, not \"nan\""},
        {"model:lod-offset=17", "from -16 to 16"},
        {"model:lod-offset=", "from -16 to 16, not \"\""},
        {"model:lod-bits=-1", "\"lod-bits\": it takes a whole number of bits from 0 to 16"},
        {"model:log2=fast", "\"log2\": it takes exact or approx"},
        {"model:blend-width=1.5", "\"blend-width\": it takes a number from 0 to 1, not \"1.5\""},
        {"model:blend-bits=17", "\"blend-bits\": it takes a whole number of bits from 0 to 16"},
        {"model:subtexel-bits=8x", "\"subtexel-bits\": it takes a whole number of bits from 0 to 16, not \"8x\""},
        {"model:stage-reduce=2", "\"stage-reduce\": it takes 0 or 1"},
        {"model:fault=bus", "\"fault\": it takes segv, hang or exit, not \"bus\""},
        {"model:colour=red", "\"colour=red\" is not KEY=VALUE with a known KEY; the knobs are axes, aniso-cap"},
        {"model:axes", "\"axes\" is not KEY=VALUE"},
        {"model:", "\"\" is not KEY=VALUE"},
        {"model:axes=max,", "\"\" is not KEY=VALUE"},
        {"model:axes=max,axes=sum", "\"axes\" is given twice"},
    };
    for (const Case& c : cases) {
        const std::string error = Refusal(c.name);
        EXPECT_NE(error.find(c.says), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one sentence: " << error;
    }
}

// ---- frames ----

// The sampler states and stage a tunnel frame is drawn with.
struct Settings {
    DWORD min = D3DTEXF_ANISOTROPIC, mag = D3DTEXF_LINEAR, mip = D3DTEXF_LINEAR;
    DWORD maxAnisotropy = 1;
    float bias = 0.0f;
    DWORD stage = 0;
    DWORD address = D3DTADDRESS_WRAP;
    DWORD maxMipLevel = 0;
    D3DFORMAT format = D3DFMT_X8R8G8B8;
    bool levelCoded = false;  // every level flat, coloured by LevelColour
};

// Level l's colour in a level-coded texture: red 20 · l (the level under a
// point mip filter), green 0 on even and 255 on odd levels (255 times the
// blend weight, or its complement, between two levels).
std::uint32_t LevelColour(UINT level) { return (20u * level) << 16 | (level % 2 ? 0xFF00u : 0u); }

std::uint32_t Red(std::uint32_t pixel) { return (pixel >> 16) & 0xFF; }
std::uint32_t Green(std::uint32_t pixel) { return (pixel >> 8) & 0xFF; }

// A buffer holding the vertices.
IDirect3DVertexBuffer9* VertexBuffer(IDirect3DDevice9* device, const std::vector<bench::Vertex>& vertices) {
    IDirect3DVertexBuffer9* buffer = nullptr;
    const auto bytes = UINT(vertices.size() * sizeof(bench::Vertex));
    EXPECT_EQ(device->CreateVertexBuffer(bytes, 0, 0, D3DPOOL_MANAGED, &buffer, nullptr), S_OK);
    void* data = nullptr;
    buffer->Lock(0, 0, &data, 0);
    std::memcpy(data, vertices.data(), bytes);
    buffer->Unlock();
    return buffer;
}

// The tunnel of the frame-time benchmark (every direction of footprint on
// one frame), 800 x 600, drawn on the device the Direct3D object makes.
std::vector<std::uint32_t> TunnelFrame(IDirect3D9* direct3d, const Settings& s) {
    D3DPRESENT_PARAMETERS p{};
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = TRUE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D16;
    p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    IDirect3DDevice9* device = nullptr;
    EXPECT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device),
              S_OK);
    if (!device) {
        direct3d->Release();
        return {};
    }
    // The texture: 512 x 512, 10 levels, a checker whose colours change per level.
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(512, 512, 10, 0, s.format, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
    for (UINT level = 0; level < 10; ++level) {
        D3DLOCKED_RECT locked{};
        texture->LockRect(level, &locked, nullptr, 0);
        const UINT size = 512 >> level;
        for (UINT y = 0; y < size; ++y) {
            auto* row = static_cast<std::uint8_t*>(locked.pBits) + std::size_t(y) * locked.Pitch;
            for (UINT x = 0; x < size; ++x) {
                const std::uint32_t texel = s.levelCoded ? LevelColour(level)
                                                         : ((x / 8 + y / 8) % 2 ? 0xFFFFFF : 0x202020) ^ (level * 0x1F0F07);
                if (s.format == D3DFMT_R5G6B5) {
                    const auto packed = std::uint16_t((texel >> 8 & 0xF800) | (texel >> 5 & 0x07E0) | (texel >> 3 & 0x1F));
                    std::memcpy(row + 2 * x, &packed, 2);
                } else {
                    std::memcpy(row + 4 * x, &texel, 4);
                }
            }
        }
        texture->UnlockRect(level);
    }
    const std::vector<bench::Vertex> vertices = bench::Tunnel(200);
    IDirect3DVertexBuffer9* buffer = VertexBuffer(device, vertices);

    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const D3DMATRIX world = bench::Identity(), view = bench::TunnelView(), projection = bench::TunnelProjection();
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    // The stages below the one under test pass the (white) vertex colour on.
    for (DWORD stage = 0; stage < s.stage; ++stage) {
        device->SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(stage, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    }
    device->SetTextureStageState(s.stage, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(s.stage, D3DTSS_TEXCOORDINDEX, 0);
    device->SetTexture(s.stage, texture);
    device->SetSamplerState(s.stage, D3DSAMP_MINFILTER, s.min);
    device->SetSamplerState(s.stage, D3DSAMP_MAGFILTER, s.mag);
    device->SetSamplerState(s.stage, D3DSAMP_MIPFILTER, s.mip);
    device->SetSamplerState(s.stage, D3DSAMP_MAXANISOTROPY, s.maxAnisotropy);
    device->SetSamplerState(s.stage, D3DSAMP_MIPMAPLODBIAS, std::bit_cast<DWORD>(s.bias));
    device->SetSamplerState(s.stage, D3DSAMP_ADDRESSU, s.address);
    device->SetSamplerState(s.stage, D3DSAMP_ADDRESSV, s.address);
    device->SetSamplerState(s.stage, D3DSAMP_MAXMIPLEVEL, s.maxMipLevel);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    device->SetStreamSource(0, buffer, 0, sizeof(bench::Vertex));
    device->BeginScene();
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, UINT(vertices.size() - 2)), S_OK);
    device->EndScene();

    std::vector<std::uint32_t> pixels(800 * 600);
    IDirect3DSurface9* back = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    D3DLOCKED_RECT locked{};
    back->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    for (UINT y = 0; y < 600; ++y)
        std::memcpy(&pixels[y * 800], static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch, 800 * 4);
    back->UnlockRect();
    back->Release();
    device->SetTexture(s.stage, nullptr);
    device->SetStreamSource(0, nullptr, 0, 0);
    texture->Release();
    buffer->Release();
    EXPECT_EQ(device->Release(), 0u);
    direct3d->Release();
    return pixels;
}

std::vector<std::uint32_t> Reference(const Settings& s) { return TunnelFrame(CreateReferenceDirect3D(), s); }
std::vector<std::uint32_t> Model(const std::string& name, const Settings& s) {
    return TunnelFrame(CreateModelDirect3D(Parsed(name)), s);
}

// How many pixels differ.
std::size_t Differences(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) count += a[i] != b[i];
    return count + std::max(a.size(), b.size()) - std::min(a.size(), b.size());
}

// The settings the default model is held to the reference on.
std::vector<Settings> EqualityGrid() {
    constexpr DWORD P = D3DTEXF_POINT, L = D3DTEXF_LINEAR, N = D3DTEXF_NONE;
    std::vector<Settings> grid;
    const auto add = [&](auto change) {
        Settings s;
        change(s);
        grid.push_back(s);
    };
    add([](Settings&) {});
    add([](Settings& s) { s.maxAnisotropy = 16; });
    add([](Settings& s) { s.maxAnisotropy = 4, s.mip = P; });
    add([](Settings& s) { s.min = L, s.mag = P, s.mip = N; });
    add([](Settings& s) { s.min = P, s.mag = L, s.mip = P; });
    add([](Settings& s) { s.bias = -0.7f, s.maxAnisotropy = 8; });
    add([](Settings& s) { s.bias = 1.3f; });
    add([](Settings& s) { s.address = D3DTADDRESS_MIRROR, s.maxAnisotropy = 8; });
    add([](Settings& s) { s.address = D3DTADDRESS_CLAMP, s.min = L; });
    add([](Settings& s) { s.maxMipLevel = 2; });
    add([](Settings& s) { s.stage = 1, s.maxAnisotropy = 4; });
    add([](Settings& s) { s.format = D3DFMT_R5G6B5, s.maxAnisotropy = 4; });
    add([](Settings& s) { s.format = D3DFMT_A8R8G8B8, s.address = D3DTADDRESS_MIRROR; });
    return grid;
}

// The default model draws the reference's frames through the reference
// kernels, and, forced, through the model kernel: its arithmetic is the
// reference's, operation for operation.
TEST(ModelDevice, WithDefaultKnobsDrawsTheReferenceFramesThroughEitherKernel) {
    for (const bool forced : {false, true}) {
        ForceModelKernel(forced);
        int row = 0;
        for (const Settings& s : EqualityGrid()) {
            EXPECT_EQ(Differences(Model("model", s), Reference(s)), 0u) << "row " << row << (forced ? ", forced" : "");
            ++row;
        }
    }
    ForceModelKernel(false);
}

TEST(ModelDevice, KnobsOfTheSamplerStatesDrawWhatTheReferenceDrawsWithThoseStates) {
    Settings s;
    s.maxAnisotropy = 16;
    // The anisotropy cap: MAXANISOTROPY 16 capped to N is MAXANISOTROPY N
    // (through the model kernel as well, log2 exact being the default).
    for (const DWORD cap : {1u, 2u, 4u, 8u}) {
        Settings asked = s;
        asked.maxAnisotropy = cap;
        const std::string name = "model:aniso-cap=" + std::to_string(cap);
        EXPECT_EQ(Differences(Model(name, s), Reference(asked)), 0u) << name;
        ForceModelKernel(true);
        EXPECT_EQ(Differences(Model(name, s), Reference(asked)), 0u) << name << ", model kernel";
        ForceModelKernel(false);
    }
    // MAXANISOTROPY ignored: 2 asked, 16 drawn; nothing changes without the anisotropic filter.
    Settings two = s;
    two.maxAnisotropy = 2;
    EXPECT_EQ(Differences(Model("model:aniso-ignores-max=1", two), Reference(s)), 0u);
    two.min = D3DTEXF_LINEAR;
    EXPECT_EQ(Differences(Model("model:aniso-ignores-max=1", two), Reference(two)), 0u);
    // The LOD offset is the LOD bias added to the bias.
    Settings biased = s;
    biased.bias = 1.0f;
    EXPECT_EQ(Differences(Model("model:lod-offset=1", s), Reference(biased)), 0u);
    biased.bias = -0.75f;
    EXPECT_EQ(Differences(Model("model:lod-offset=-0.75", s), Reference(biased)), 0u);
    ForceModelKernel(true);
    EXPECT_EQ(Differences(Model("model:lod-offset=-0.75", s), Reference(biased)), 0u) << "model kernel";
    ForceModelKernel(false);
    // The stage reduction: stage 1 anisotropic and trilinear is stage 1
    // bilinear and isotropic; stage 0 keeps its filters.
    Settings stage1 = s;
    stage1.stage = 1;
    Settings reduced = stage1;
    reduced.min = D3DTEXF_LINEAR;
    reduced.mip = D3DTEXF_POINT;
    EXPECT_EQ(Differences(Model("model:stage-reduce=1", stage1), Reference(reduced)), 0u);
    EXPECT_GT(Differences(Reference(stage1), Reference(reduced)), 1000u) << "the reduction shows";
    EXPECT_EQ(Differences(Model("model:stage-reduce=1", s), Reference(s)), 0u);
}

TEST(ModelDevice, ABlendWidthOfZeroIsThePointMipFilter) {
    for (const DWORD min : {D3DTEXF_LINEAR, D3DTEXF_ANISOTROPIC}) {
        Settings linear;
        linear.min = min;
        linear.maxAnisotropy = 8;
        Settings point = linear;
        point.mip = D3DTEXF_POINT;
        EXPECT_EQ(Differences(Model("model:blend-width=0", linear), Reference(point)), 0u) << min;
    }
}

// Per pixel under a point mip filter on the level-coded texture: the level
// one model picks against another's.
struct LevelOrder {
    std::size_t finer = 0, coarser = 0;
};

LevelOrder CompareLevels(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    LevelOrder order;
    for (std::size_t i = 0; i < a.size(); ++i) {
        order.finer += Red(a[i]) < Red(b[i]);
        order.coarser += Red(a[i]) > Red(b[i]);
    }
    return order;
}

// The knobs that measure a footprint smaller than the rule (the larger
// coordinate difference, the piecewise-linear log2 below the curve, λ's
// fraction cut, probes rounded up to a power of two) never pick a coarser
// level and pick a finer one somewhere; the sum of the differences never a
// finer one. (The axis rules change the probe count too, so under
// anisotropy they may move λ either way.)
TEST(ModelDevice, KnobsThatShrinkOrGrowTheFootprintMoveTheLevelOneWayOnly) {
    Settings s;
    s.levelCoded = true;
    s.mip = D3DTEXF_POINT;
    s.mag = D3DTEXF_POINT;
    struct Case {
        DWORD anisotropy;
        std::vector<const char*> finer, coarser;
    };
    const Case cases[] = {
        {1, {"model:axes=max", "model:log2=approx", "model:lod-bits=0"}, {"model:axes=sum"}},
        {16, {"model:log2=approx", "model:lod-bits=0", "model:aniso-steps=pow2"}, {}},
    };
    for (const Case& c : cases) {
        s.maxAnisotropy = c.anisotropy;
        const std::vector<std::uint32_t> exact = Model("model", s);
        for (const char* name : c.finer) {
            const LevelOrder order = CompareLevels(Model(name, s), exact);
            EXPECT_EQ(order.coarser, 0u) << name << " at " << c.anisotropy << "x";
            EXPECT_GT(order.finer, 100u) << name << " at " << c.anisotropy << "x";
        }
        for (const char* name : c.coarser) {
            const LevelOrder order = CompareLevels(Model(name, s), exact);
            EXPECT_EQ(order.finer, 0u) << name << " at " << c.anisotropy << "x";
            EXPECT_GT(order.coarser, 100u) << name << " at " << c.anisotropy << "x";
        }
    }
    // With MAXANISOTROPY 2 there is nothing to round to a power of two.
    s.maxAnisotropy = 2;
    EXPECT_EQ(Differences(Model("model:aniso-steps=pow2", s), Model("model", s)), 0u);
}

// λ from the short axis does not depend on MAXANISOTROPY: with every level
// flat, the probes all read the same colour, so the frames at 2x and 16x
// are the same, as they are not under the rule.
TEST(ModelDevice, LodFromTheShortAxisIgnoresTheRequestedAnisotropy) {
    Settings two;
    two.levelCoded = true;
    two.mip = D3DTEXF_POINT;
    two.maxAnisotropy = 2;
    Settings sixteen = two;
    sixteen.maxAnisotropy = 16;
    EXPECT_EQ(Differences(Model("model:aniso-lod=short", two), Model("model:aniso-lod=short", sixteen)), 0u);
    EXPECT_GT(Differences(Model("model", two), Model("model", sixteen)), 1000u);
}

// Footprints along the texture's axes (0 and 90 degrees) have one
// coordinate difference zero: the larger difference and the sum are the
// exact length.
TEST(ModelDevice, AxisRulesAgreeOnFootprintsAlongTheTextureAxes) {
    // A 64 x 64 level-coded texture on a screen-aligned quad, u running 4
    // texels per pixel across and v 1 down (or turned by 90 degrees): every
    // product exact.
    for (const char* name : {"model", "model:axes=max", "model:axes=sum"}) {
        for (const bool turned : {false, true}) {
            IDirect3D9* direct3d = CreateModelDirect3D(Parsed(name));
            D3DPRESENT_PARAMETERS p{};
            p.SwapEffect = D3DSWAPEFFECT_DISCARD;
            p.Windowed = TRUE;
            p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
            IDirect3DDevice9* device = nullptr;
            ASSERT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device),
                      S_OK);
            IDirect3DTexture9* texture = nullptr;
            ASSERT_EQ(device->CreateTexture(64, 64, 7, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
            for (UINT level = 0; level < 7; ++level) {
                D3DLOCKED_RECT locked{};
                texture->LockRect(level, &locked, nullptr, 0);
                const UINT size = 64 >> level;
                for (UINT y = 0; y < size; ++y)
                    std::fill_n(reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch),
                                size, LevelColour(level));
                texture->UnlockRect(level);
            }
            device->SetTexture(0, texture);
            device->SetRenderState(D3DRS_LIGHTING, FALSE);
            device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC);
            device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
            device->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, 2);
            device->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
            // Pixels [0, 64) x [0, 64): u from 0 to 4 across and v from 0 to 1 down (or turned).
            const float u1 = turned ? 1.0f : 4.0f, v1 = turned ? 4.0f : 1.0f;
            const auto at = [](float sx, float sy, float u, float v) {
                return bench::Vertex{(sx - 0.5f) / 400.0f - 1.0f, 1.0f - (sy - 0.5f) / 300.0f, 0.5f, u, v};
            };
            IDirect3DVertexBuffer9* buffer =
                VertexBuffer(device, {at(0, 0, 0, 0), at(64, 0, u1, 0), at(0, 64, 0, v1), at(64, 64, u1, v1)});
            device->SetStreamSource(0, buffer, 0, sizeof(bench::Vertex));
            buffer->Release();
            device->BeginScene();
            ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), S_OK);
            device->EndScene();
            IDirect3DSurface9* back = nullptr;
            device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
            D3DLOCKED_RECT locked{};
            back->LockRect(&locked, nullptr, D3DLOCK_READONLY);
            const std::uint32_t pixel = static_cast<const std::uint32_t*>(locked.pBits)[10 * locked.Pitch / 4 + 10];
            back->UnlockRect();
            back->Release();
            // 256 texels over 64 pixels along one axis, 64 along the other:
            // ratio 4, two probes, λ = log2(4 / 2) = 1 exactly: level 1 alone.
            EXPECT_EQ(pixel & 0xFFFFFF, LevelColour(1)) << name << (turned ? " turned" : "");
            device->SetTexture(0, nullptr);
            device->SetStreamSource(0, nullptr, 0, 0);
            texture->Release();
            EXPECT_EQ(device->Release(), 0u);
            direct3d->Release();
        }
    }
}

// Bilinear weights kept to 8 bits move a colour by at most one step of 255
// (rounded to nearest, each weight is within 1/512), and do move some.
TEST(ModelDevice, EightBitSubtexelWeightsStayWithinOneStep) {
    for (const DWORD anisotropy : {1u, 16u}) {
        Settings s;
        s.maxAnisotropy = anisotropy;
        const std::vector<std::uint32_t> exact = Reference(s), quantised = Model("model:subtexel-bits=8", s);
        ASSERT_EQ(exact.size(), quantised.size());
        for (std::size_t i = 0; i < exact.size(); ++i) {
            for (int shift : {0, 8, 16}) {
                const int a = int(exact[i] >> shift & 0xFF), b = int(quantised[i] >> shift & 0xFF);
                EXPECT_LE(std::abs(a - b), 1) << "pixel " << i;
            }
            if (::testing::Test::HasFailure()) return;
        }
        const std::size_t moved = Differences(quantised, exact);
        EXPECT_GT(moved, 0u) << anisotropy << "x";
        EXPECT_GT(Differences(Model("model:subtexel-bits=2", s), exact), moved) << "two bits move more pixels";
    }
}

// The blend weight read from the level-coded texture: green is 255 times
// it (or its complement), so kept to n bits it takes at most 2^n + 1
// values; a narrower blend band leaves more pixels on one level and pulls
// every weight away from the middle, never across it.
TEST(ModelDevice, BlendBitsAndWidthShapeTheWeight) {
    Settings s;
    s.levelCoded = true;
    s.min = D3DTEXF_LINEAR;
    s.mag = D3DTEXF_POINT;
    const std::vector<std::uint32_t> full = Model("model", s);
    std::set<std::uint32_t> fullGreens, fourBitGreens;
    for (std::uint32_t pixel : full) fullGreens.insert(Green(pixel));
    for (std::uint32_t pixel : Model("model:blend-bits=4", s)) fourBitGreens.insert(Green(pixel));
    EXPECT_GT(fullGreens.size(), 100u);
    EXPECT_LE(fourBitGreens.size(), 17u);
    EXPECT_GE(fourBitGreens.size(), 12u);
    const std::vector<std::uint32_t> half = Model("model:blend-width=0.5", s);
    std::size_t pureFull = 0, pureHalf = 0;
    for (std::size_t i = 0; i < full.size(); ++i) {
        const int f = int(Green(full[i])), h = int(Green(half[i]));
        pureFull += f == 0 || f == 255;
        pureHalf += h == 0 || h == 255;
        // The weight and its complement both move away from 1/2.
        if (f < 127) {
            EXPECT_LE(h, f) << "pixel " << i;
        } else if (f > 128) {
            EXPECT_GE(h, f) << "pixel " << i;
        }
        if (::testing::Test::HasFailure()) return;
    }
    EXPECT_GT(pureHalf, pureFull + 10000);
}

}  // namespace
}  // namespace quillmark::software::testing
