// Frames of the reference device (and of the model device with its default
// knobs) over a grid of settings, hashed and held
// against the table in frame_hashes.txt: both objects, the filters, the
// anisotropy, the level-of-detail bias, the address modes with a border
// colour, MAXMIPLEVEL, scene and texture rotation, the stage under test and
// the sampled texel formats. Every vector path and thread count must give
// the table's bits. A whole default and 16x analysis are hashed too, when
// QUILLMARK_HASH_ANALYSES=1 (they take minutes).
//
// When a change moves frames on purpose, rewrite the table with
//   QUILLMARK_WRITE_FRAME_HASHES=1 build/dev/tests/test_app --gtest_filter='*Hashes*'
// (add QUILLMARK_HASH_ANALYSES=1 to rewrite the analyses' lines as well)
// and say in the commit why the frames moved.
#include "analysis_test_support.h"
#include "platform/processor/processor_features.h"
#include "platform/processor/scoped_allowance.h"
#include "devices/select/d3d9_select.h"
#include "devices/software/model_sampler.h"
#include "devices/software/software_direct3d.h"
#include "app/sampler_stages.h"

#include <bit>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>

namespace quillmark::test {
namespace {

constexpr const char* kTableFile = QUILLMARK_FRAME_HASHES;

bool Writing() { return std::getenv("QUILLMARK_WRITE_FRAME_HASHES") != nullptr; }

// FNV-1a, 64 bits, over the bytes of a range of values.
template <typename T>
std::uint64_t Hash(const std::vector<T>& values, std::uint64_t hash = 0xCBF29CE484222325ull) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(values.data());
    for (std::size_t i = 0; i < values.size() * sizeof(T); ++i) hash = (hash ^ bytes[i]) * 0x100000001B3ull;
    return hash;
}

// The expected hashes, by name, as the file holds them ("name hex" lines).
class HashTable {
public:
    HashTable() {
        std::ifstream in(kTableFile);
        std::string name, hex;
        while (in >> name >> hex) table_[name] = std::stoull(hex, nullptr, 16);
    }

    // Compares with the table, or (when writing) puts the hash in it the
    // first time this process sees the name.
    void Check(const std::string& name, std::uint64_t hash) {
        if (Writing() && written_.insert(name).second) {
            table_[name] = hash;
            Save();
            return;
        }
        const auto found = table_.find(name);
        ASSERT_NE(found, table_.end()) << name << " is not in " << kTableFile;
        EXPECT_EQ(Hex(hash), Hex(found->second)) << name;
    }

private:
    static std::string Hex(std::uint64_t value) {
        std::ostringstream out;
        out << std::hex << value;
        return out.str();
    }
    void Save() const {
        std::ofstream out(kTableFile);
        for (const auto& [name, hash] : table_) out << name << ' ' << Hex(hash) << '\n';
    }

    std::map<std::string, std::uint64_t> table_;
    std::set<std::string> written_;
};

HashTable& Table() {
    static HashTable table;
    return table;
}

// The settings a grid entry changes, at the dialog's defaults.
void ResetSettings() {
    ActiveProbe().settings.showPlane = false;
    ActiveProbe().settings.planeAngle = 0.0;
    ActiveProbe().settings.distance = 20.0;
    ActiveProbe().settings.minFilter = D3DTEXF_ANISOTROPIC;
    ActiveProbe().settings.magFilter = D3DTEXF_ANISOTROPIC;
    ActiveProbe().settings.mipFilter = D3DTEXF_LINEAR;
    ActiveProbe().settings.maxAnisotropy = 1;
    ActiveProbe().settings.lodBias = 0.0f;
    ActiveProbe().settings.sceneRotation = 0.0f;
    ActiveProbe().settings.textureRotation = 0.0f;
    ActiveProbe().settings.stage = 0;
    ActiveProbe().settings.useFileTexture = false;
}

void ResetSamplerStates() {
    for (DWORD s = 0; s < kTextureStages; ++s) {
        ActiveProbe().device->SetSamplerState(s, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
        ActiveProbe().device->SetSamplerState(s, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
        ActiveProbe().device->SetSamplerState(s, D3DSAMP_BORDERCOLOR, 0);
        ActiveProbe().device->SetSamplerState(s, D3DSAMP_MAXMIPLEVEL, 0);
    }
}

void SetSampler(D3DSAMPLERSTATETYPE type, DWORD value) {
    ActiveProbe().device->SetSamplerState(static_cast<DWORD>(ActiveProbe().settings.stage), type, value);
}

void Filters(int min, int mag, int mip) {
    ActiveProbe().settings.minFilter = min;
    ActiveProbe().settings.magFilter = mag;
    ActiveProbe().settings.mipFilter = mip;
}

void TiltedPlane(double degrees) {
    ActiveProbe().settings.showPlane = true;
    ActiveProbe().settings.planeAngle = degrees;
}

void Addressing(DWORD u, DWORD v) {
    ActiveProbe().settings.textureRotation = 30.0f;
    TiltedPlane(70.0);
    SetSampler(D3DSAMP_ADDRESSU, u);
    SetSampler(D3DSAMP_ADDRESSV, v);
    SetSampler(D3DSAMP_BORDERCOLOR, 0xFF336699);
}

struct GridEntry {
    std::string name;
    std::function<void()> apply;
};

std::vector<GridEntry> SettingsGrid() {
    constexpr int P = D3DTEXF_POINT, L = D3DTEXF_LINEAR, A = D3DTEXF_ANISOTROPIC, N = D3DTEXF_NONE;
    std::vector<GridEntry> grid = {
        {"tunnel", [] {}},
        {"plane-facing", [] { TiltedPlane(0.0); }},
        {"plane-75", [] { TiltedPlane(75.0); }},
        {"tunnel-point-point-none", [] { Filters(P, P, N); }},
        {"plane-point-linear-point", [] { TiltedPlane(75.0), Filters(P, L, P); }},
        {"tunnel-linear-point-linear", [] { Filters(L, P, L); }},
        {"tunnel-linear-linear-none", [] { Filters(L, L, N); }},
        {"plane-linear-linear-point", [] { TiltedPlane(80.0), Filters(L, L, P); }},
        {"tunnel-anisotropic-linear-point", [] { Filters(A, L, P), ActiveProbe().settings.maxAnisotropy = 4; }},
        {"tunnel-anisotropic-anisotropic-none", [] { Filters(A, A, N), ActiveProbe().settings.maxAnisotropy = 8; }},
        {"plane-point-anisotropic-linear", [] { TiltedPlane(0.0), ActiveProbe().settings.distance = 6.0, Filters(P, A, L); }},
        {"plane-80-anisotropy-16", [] { TiltedPlane(80.0), ActiveProbe().settings.maxAnisotropy = 16; }},
        {"tunnel-bias-minus-3", [] { ActiveProbe().settings.lodBias = -3.0f; }},
        {"plane-75-bias-minus-0.7-anisotropy-4", [] { TiltedPlane(75.0), ActiveProbe().settings.lodBias = -0.7f, ActiveProbe().settings.maxAnisotropy = 4; }},
        {"tunnel-bias-1.3-anisotropy-16", [] { ActiveProbe().settings.lodBias = 1.3f, ActiveProbe().settings.maxAnisotropy = 16; }},
        {"address-mirror-clamp", [] { Addressing(D3DTADDRESS_MIRROR, D3DTADDRESS_CLAMP); }},
        {"address-border-mirroronce", [] { Addressing(D3DTADDRESS_BORDER, D3DTADDRESS_MIRRORONCE); }},
        {"address-clamp-border-point", [] { Addressing(D3DTADDRESS_CLAMP, D3DTADDRESS_BORDER), Filters(P, P, P); }},
        {"address-wrap-mirror-anisotropy-8", [] { Addressing(D3DTADDRESS_WRAP, D3DTADDRESS_MIRROR), ActiveProbe().settings.maxAnisotropy = 8; }},
        {"tunnel-maxmiplevel-1", [] { SetSampler(D3DSAMP_MAXMIPLEVEL, 1); }},
        {"tunnel-maxmiplevel-3-point", [] { SetSampler(D3DSAMP_MAXMIPLEVEL, 3), Filters(L, L, P); }},
        {"plane-maxmiplevel-4-anisotropy-16", [] { TiltedPlane(80.0), SetSampler(D3DSAMP_MAXMIPLEVEL, 4), ActiveProbe().settings.maxAnisotropy = 16; }},
        {"tunnel-scene-rotation-30-anisotropy-8", [] { ActiveProbe().settings.sceneRotation = 30.0f, ActiveProbe().settings.maxAnisotropy = 8; }},
        {"plane-75-texture-rotation-45", [] { TiltedPlane(75.0), ActiveProbe().settings.textureRotation = 45.0f; }},
        {"tunnel-stage-3", [] { ActiveProbe().settings.stage = 3; }},
        {"plane-75-stage-7-anisotropy-4", [] { TiltedPlane(75.0), ActiveProbe().settings.stage = 7, ActiveProbe().settings.maxAnisotropy = 4; }},
    };
    return grid;
}

// Texel formats other than the generated A8R8G8B8 texture, filled with
// random bytes (random blocks for DXT; floats kept in [0, 2)).
struct FormatCase {
    const char* name;
    D3DFORMAT format;
    UINT blockSide;   // 4 for the block formats
    UINT blockBytes;  // bytes per texel or block
};

constexpr FormatCase kFormats[] = {
    {"X8R8G8B8", D3DFMT_X8R8G8B8, 1, 4},
    {"R5G6B5", D3DFMT_R5G6B5, 1, 2},
    {"A1R5G5B5", D3DFMT_A1R5G5B5, 1, 2},
    {"L8", D3DFMT_L8, 1, 1},
    {"A16B16G16R16F", D3DFMT_A16B16G16R16F, 1, 8},
    {"A32B32G32R32F", D3DFMT_A32B32G32R32F, 1, 16},
    {"DXT1", D3DFMT_DXT1, 4, 8},
    {"DXT5", D3DFMT_DXT5, 4, 16},
};

void FillRandom(const FormatCase& format, std::uint8_t* row, UINT bytes, std::mt19937& random) {
    if (format.format == D3DFMT_A16B16G16R16F) {
        for (UINT i = 0; i + 1 < bytes; i += 2) {
            const auto half = static_cast<std::uint16_t>(random() & 0x3FFF);  // sign 0, exponent <= 15
            std::memcpy(row + i, &half, 2);
        }
    } else if (format.format == D3DFMT_A32B32G32R32F) {
        for (UINT i = 0; i + 3 < bytes; i += 4) {
            const float value = static_cast<float>(random() >> 8) * 0x1p-23f;
            std::memcpy(row + i, &value, 4);
        }
    } else {
        for (UINT i = 0; i < bytes; ++i) row[i] = static_cast<std::uint8_t>(random());
    }
}

IDirect3DTexture9* RandomTexture(const FormatCase& format) {
    constexpr UINT kSide = 256;
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(ActiveProbe().device->CreateTexture(kSide, kSide, 0, 0, format.format, D3DPOOL_MANAGED, &texture, nullptr), S_OK)
        << format.name;
    if (!texture) return nullptr;
    std::mt19937 random(static_cast<unsigned>(format.format));
    for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
        const UINT side = std::max(1u, kSide >> level);
        const UINT blocks = (side + format.blockSide - 1) / format.blockSide;
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(texture->LockRect(level, &locked, nullptr, 0), S_OK);
        for (UINT y = 0; y < blocks; ++y)
            FillRandom(format, static_cast<std::uint8_t*>(locked.pBits) + std::size_t(y) * locked.Pitch,
                       blocks * format.blockBytes, random);
        texture->UnlockRect(level);
    }
    return texture;
}

// One vector path of the sampler and the rasteriser, as the processor
// features allowed (AVX2's texels fetched by gathers or by loads), and a
// thread count; and the device: the reference, or the model with its
// default knobs, whose frames are the reference's whether the reference
// kernels draw them or, forced, the model kernel.
struct DevicePath {
    const char* name;
    std::uint32_t features;
    unsigned threads;
    const char* device = "reference";
    bool modelKernel = false;
};

constexpr std::uint32_t kUpToSse2 = processor::kMmx | processor::kSse | processor::kSse2;
constexpr std::uint32_t kAvx2Loads = processor::kEveryFeature & ~processor::kGather;

std::string PathName(const ::testing::TestParamInfo<DevicePath>& info) {
    const std::string device = info.param.modelKernel ? "ModelKernel" : std::string(info.param.device) == "model" ? "Model" : "";
    return device + info.param.name + std::string("Threads") + std::to_string(info.param.threads);
}

class FrameHashes : public ProbeFixture, public ::testing::WithParamInterface<DevicePath> {
protected:
    void SetUp() override {
        if (!allowance_.Granted()) GTEST_SKIP() << "the processor or QUILLMARK_CPU rules this path out";
        software::SetDrawThreads(GetParam().threads);
        std::string error;
        if (startDevice_ != GetParam().device) {
            ASSERT_TRUE(SelectDevice(GetParam().device, &error)) << error;
        }
        software::ForceModelKernel(GetParam().modelKernel);
        ProbeFixture::SetUp();
    }
    void TearDown() override {
        ProbeFixture::TearDown();
        software::ForceModelKernel(false);
        if (startDevice_ != GetParam().device) SelectDevice(startDevice_, nullptr);
        software::SetDrawThreads(0);
    }

    const processor::ScopedAllowance allowance_{GetParam().features};
    const std::string startDevice_ = SelectedDeviceName();

    // Renders a frame and hashes the back buffer.
    static std::uint64_t FrameHash() {
        RenderFrame();
        IDirect3DSurface9* backBuffer = nullptr;
        EXPECT_EQ(ActiveProbe().device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer), S_OK);
        D3DSURFACE_DESC desc{};
        backBuffer->GetDesc(&desc);
        std::vector<std::uint32_t> pixels(std::size_t(desc.Width) * desc.Height);
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(backBuffer->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
        for (UINT y = 0; y < desc.Height; ++y)
            std::memcpy(&pixels[std::size_t(y) * desc.Width], static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch,
                        desc.Width * 4);
        backBuffer->UnlockRect();
        backBuffer->Release();
        return Hash(pixels);
    }
};

TEST_P(FrameHashes, HoldOverTheSettingsGrid) {
    for (const GridEntry& entry : SettingsGrid()) {
        ResetSettings();
        ResetSamplerStates();
        entry.apply();
        Table().Check(entry.name, FrameHash());
    }
    ResetSettings();
    ResetSamplerStates();
}

TEST_P(FrameHashes, HoldForEveryTexelFormat) {
    for (const FormatCase& format : kFormats) {
        IDirect3DTexture9* texture = RandomTexture(format);
        ASSERT_NE(texture, nullptr);
        ResetSettings();
        ActiveProbe().fileTexture = texture;
        ActiveProbe().settings.useFileTexture = true;
        ActiveProbe().settings.maxAnisotropy = 4;
        Table().Check(std::string("format-") + format.name, FrameHash());
        TiltedPlane(0.0);
        ActiveProbe().settings.distance = 6.0;  // magnified
        Table().Check(std::string("format-magnified-") + format.name, FrameHash());
        ActiveProbe().settings.useFileTexture = false;
        ActiveProbe().fileTexture = nullptr;
        ActiveProbe().device->SetTexture(0, nullptr);
        EXPECT_EQ(texture->Release(), 0u);
    }
    ResetSettings();
}

// The first path writes the table when asked to; the others compare with it.
INSTANTIATE_TEST_SUITE_P(EveryPath, FrameHashes,
                         ::testing::Values(DevicePath{"Sse2", kUpToSse2, 1},
                                           DevicePath{"Avx2Gathers", processor::kEveryFeature, 1},
                                           DevicePath{"Scalar", 0, 2}, DevicePath{"Avx2Loads", kAvx2Loads, 3},
                                           DevicePath{"Scalar", 0, 1}, DevicePath{"Avx2Loads", kAvx2Loads, 1}),
                         PathName);

// The model device with its default knobs holds the same table.
INSTANTIATE_TEST_SUITE_P(ModelDevice, FrameHashes,
                         ::testing::Values(DevicePath{"Avx2Gathers", processor::kEveryFeature, 2, "model"},
                                           DevicePath{"Avx2Gathers", processor::kEveryFeature, 2, "model", true},
                                           DevicePath{"Scalar", 0, 1, "model", true}),
                         PathName);

// Whole analyses: the figures, the heat map and the polar plot they leave.
class AnalysisHashes : public AnalysisFixture {};

TEST_F(AnalysisHashes, HoldForAWholeDefaultAnd16xAnalysis) {
    if (!std::getenv("QUILLMARK_HASH_ANALYSES")) GTEST_SKIP() << "set QUILLMARK_HASH_ANALYSES=1 to run whole analyses";
    for (int anisotropy : {1, 16}) {
        ActiveProbe().settings.maxAnisotropy = anisotropy;
        PressStart();
        RunToTheEnd();
        const RunRecord record = RunRecord::Take();
        PressStop();
        std::vector<std::int64_t> figures = {record.hitTotal, record.framesDone, record.totalFrames, record.maxHits,
                                             static_cast<std::int64_t>(record.levelTexelSum)};
        figures.insert(figures.end(), record.periods.begin(), record.periods.end());
        const std::uint64_t hash = Hash(record.plot, Hash(record.counts, Hash(figures)));
        Table().Check("analysis-anisotropy-" + std::to_string(anisotropy), hash);
    }
}

}  // namespace
}  // namespace quillmark::test
