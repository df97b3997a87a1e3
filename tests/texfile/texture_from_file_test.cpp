// Textures from image files on the reference device (and on a device that
// needs powers of two): the sizes, level counts and formats left to the
// library, palettes and colour keys, the file layer and its refusals.
#include "imagecodec/decoded_image.h"
#include "imagecodec/memory_buffer.h"
#include "texfile/texture_constants.h"
#include "texfile/texture_from_file.h"
#include "texture_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace quillmark {
namespace {

using testing::Bitmap24;
using testing::Bitmap8;
using testing::Bytes;
using testing::LevelTexels;

class TextureFromFileTest : public testing::DeviceTest {
protected:
    // Everything left to the library but what the test names.
    HRESULT Load(const Bytes& file, IDirect3DTexture9** out, UINT width = TEX_AUTO, UINT height = TEX_AUTO,
                 D3DPOOL pool = D3DPOOL_MANAGED, D3DCOLOR key = 0, PALETTEENTRY* palette = nullptr,
                 IDirect3DDevice9* device = nullptr) {
        return TextureFromImageMemory(device != nullptr ? device : device_, file.data(),
                                      static_cast<UINT>(file.size()), width, height, TEX_AUTO, 0, D3DFMT_UNKNOWN,
                                      pool, TEX_AUTO, TEX_AUTO, key, nullptr, palette, out);
    }
    static D3DSURFACE_DESC Desc(IDirect3DTexture9* texture, UINT level = 0) {
        D3DSURFACE_DESC desc{};
        texture->GetLevelDesc(level, &desc);
        return desc;
    }
};

std::uint32_t Gradient(int x, int y) { return static_cast<std::uint32_t>(x * 2) << 16 | (y * 4) << 8 | 0x40; }

TEST_F(TextureFromFileTest, SizesLeftToTheLibraryRoundUpToPowersOfTwoWithTheirFullChain) {
    const Bytes file = Bitmap24(100, 60, Gradient);
    struct Case {
        UINT width, height, expectWidth, expectHeight, levels;
    };
    // 100 x 60: rounded to 128 x 64 (8 levels); exactly as the image is on
    // a device without power-of-two rules (7 levels for a longest side of 100).
    for (const Case c : {Case{TEX_AUTO, TEX_AUTO, 128, 64, 8}, Case{0, 0, 128, 64, 8},
                         Case{TEX_IMAGE_SIZE, TEX_IMAGE_SIZE, 100, 60, 7}, Case{32, TEX_AUTO, 32, 64, 7}}) {
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(Load(file, &texture, c.width, c.height), S_OK);
        EXPECT_EQ(Desc(texture).Width, c.expectWidth);
        EXPECT_EQ(Desc(texture).Height, c.expectHeight);
        EXPECT_EQ(texture->GetLevelCount(), c.levels);
        const D3DSURFACE_DESC last = Desc(texture, c.levels - 1);
        EXPECT_EQ(last.Width + last.Height, 2u);  // the chain ends at 1 x 1
        texture->Release();
    }
    for (const int side : {1, 256}) {
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(Load(Bitmap24(side, side, Gradient), &texture), S_OK);
        EXPECT_EQ(Desc(texture).Width, static_cast<UINT>(side));
        EXPECT_EQ(texture->GetLevelCount(), side == 1 ? 1u : 9u);
        texture->Release();
    }
}

TEST_F(TextureFromFileTest, ADeviceThatNeedsPowersOfTwoRoundsEvenTheImageSize) {
    testing::CapsDevice device(device_);
    device.caps.TextureCaps |= D3DPTEXTURECAPS_POW2;
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(Load(Bitmap24(100, 60, Gradient), &texture, TEX_IMAGE_SIZE, TEX_IMAGE_SIZE, D3DPOOL_MANAGED, 0, nullptr,
                   &device),
              S_OK);
    ASSERT_EQ(device.created.size(), 1u);
    EXPECT_EQ(device.created[0].width, 128u);
    EXPECT_EQ(device.created[0].height, 64u);
    EXPECT_EQ(device.created[0].levels, 8u);
    texture->Release();
}

TEST_F(TextureFromFileTest, LevelZeroHoldsTheImageAndEachLevelBelowAveragesTheOneAbove) {
    const Bytes file = Bitmap24(8, 4, Gradient);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(Load(file, &texture), S_OK);
    EXPECT_EQ(Desc(texture).Format, D3DFMT_X8R8G8B8);  // 24-bit RGB outside the scratch pool
    const std::vector<std::uint32_t> top = LevelTexels(texture, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(top[y * 8 + x] & 0xFFFFFF, Gradient(x, y)) << x << "," << y;
    // Box halving, hand-worked: level 1 texel (0, 0) averages red 0, 2,
    // 0, 2 -> 1 and green 0, 0, 4, 4 -> 2; the 1 x 1 level the whole image
    // (red 0..14 -> 7, green 0..12 -> 6).
    const std::vector<std::uint32_t> level1 = LevelTexels(texture, 1);
    EXPECT_EQ(level1[0] & 0xFFFFFF, 0x010240u);
    EXPECT_EQ(LevelTexels(texture, 3)[0] & 0xFFFFFF, 0x070640u);
    texture->Release();
}

TEST_F(TextureFromFileTest, TwentyFourBitImagesStayTwentyFourBitInTheScratchPool) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(Load(Bitmap24(4, 4, Gradient), &texture, TEX_AUTO, TEX_AUTO, D3DPOOL_SCRATCH), S_OK);
    EXPECT_EQ(Desc(texture).Format, D3DFMT_R8G8B8);
    texture->Release();
}

TEST_F(TextureFromFileTest, AColourKeyGivesTrueColourImagesAnAlphaAndMakesItsTexelsTransparentBlack) {
    const std::uint32_t keyColour = 0x00FF00;
    const Bytes file = Bitmap24(4, 4, [](int x, int y) { return (x + y) % 2 == 0 ? 0x00FF00u : 0x123456u; });
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(Load(file, &texture, TEX_AUTO, TEX_AUTO, D3DPOOL_MANAGED, 0xFF000000u | keyColour), S_OK);
    EXPECT_EQ(Desc(texture).Format, D3DFMT_A8R8G8B8);
    const std::vector<std::uint32_t> texels = LevelTexels(texture, 0);
    EXPECT_EQ(texels[0], 0u);
    EXPECT_EQ(texels[1], 0xFF123456u);
    texture->Release();
}

// An 8-bit image's palette decides the texture format when the caller takes
// no palette: a grey ramp is luminance, the 3-3-2 layout packed RGB, any
// other palette true colour (with alpha once the key has made an entry
// transparent).
TEST_F(TextureFromFileTest, PalettesOfFixedLayoutsAreReadAsPixelData) {
    std::vector<std::uint32_t> grey(256), threeThreeTwo(256), other(256);
    constexpr std::uint32_t kThree[8] = {0, 36, 73, 109, 146, 182, 219, 255}, kTwo[4] = {0, 85, 170, 255};
    for (std::uint32_t i = 0; i < 256; ++i) {
        grey[i] = i * 0x010101u;
        threeThreeTwo[i] = kThree[i >> 5] << 16 | kThree[(i >> 2) & 7] << 8 | kTwo[i & 3];
        other[i] = i * 0x010000u;  // red ramp
    }
    const auto index = [](int x, int y) { return static_cast<std::uint8_t>(y * 16 + x); };
    struct Case {
        const std::vector<std::uint32_t>* colours;
        D3DCOLOR key;
        D3DFORMAT expected;
    };
    for (const Case c : {Case{&grey, 0, D3DFMT_L8}, Case{&threeThreeTwo, 0, D3DFMT_R3G3B2},
                         Case{&other, 0, D3DFMT_X8R8G8B8}, Case{&other, 0xFF050000u, D3DFMT_A8R8G8B8}}) {
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(Load(Bitmap8(16, 16, *c.colours, index), &texture, TEX_AUTO, TEX_AUTO, D3DPOOL_MANAGED, c.key),
                  S_OK);
        EXPECT_EQ(Desc(texture).Format, c.expected);
        if (c.expected == D3DFMT_A8R8G8B8) {
            const std::vector<std::uint32_t> texels = LevelTexels(texture, 0);
            EXPECT_EQ(texels[5], 0u);            // index 5 is the keyed red 5
            EXPECT_EQ(texels[6], 0xFF060000u);  // its neighbour keeps its colour
        }
        texture->Release();
    }
}

TEST_F(TextureFromFileTest, ATakenPaletteKeepsTheTexturePalettizedWithTheKeyedEntryCleared) {
    std::vector<std::uint32_t> colours(256);
    for (std::uint32_t i = 0; i < 256; ++i) colours[i] = i * 0x000100u;  // green ramp
    const Bytes file = Bitmap8(4, 4, colours, [](int x, int) { return static_cast<std::uint8_t>(x); });
    // A device with palettized textures gets a P8 request; the reference
    // device has none, and its closest match holds the palette's colours.
    testing::CapsDevice palettized(device_);
    PALETTEENTRY palette[256];
    IDirect3DTexture9* texture = nullptr;
    Load(file, &texture, TEX_AUTO, TEX_AUTO, D3DPOOL_MANAGED, 0xFF000200u, palette, &palettized);
    ASSERT_EQ(palettized.created.size(), 1u);
    EXPECT_EQ(palettized.created[0].format, D3DFMT_P8);
    if (texture != nullptr) texture->Release();
    const PALETTEENTRY cleared{}, kept{0, 3, 0, 255};
    EXPECT_EQ(std::memcmp(&palette[2], &cleared, sizeof(cleared)), 0);
    EXPECT_EQ(std::memcmp(&palette[3], &kept, sizeof(kept)), 0);

    ASSERT_EQ(Load(file, &texture, TEX_AUTO, TEX_AUTO, D3DPOOL_MANAGED, 0xFF000200u, palette), S_OK);
    EXPECT_EQ(Desc(texture).Format, D3DFMT_A8R8G8B8);
    const std::vector<std::uint32_t> texels = LevelTexels(texture, 0);
    EXPECT_EQ(texels[2], 0u);
    EXPECT_EQ(texels[3], 0xFF000300u);
    texture->Release();
}

TEST_F(TextureFromFileTest, DefaultPoolTexturesAreFilledThroughASystemMemoryTwinUnlessDynamic) {
    const Bytes file = Bitmap24(4, 4, Gradient);
    for (const DWORD usage : {0u, static_cast<DWORD>(D3DUSAGE_DYNAMIC)}) {
        testing::CapsDevice device(device_);
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(TextureFromImageMemory(&device, file.data(), static_cast<UINT>(file.size()), TEX_AUTO, TEX_AUTO, 1,
                                         usage, D3DFMT_UNKNOWN, D3DPOOL_DEFAULT, TEX_AUTO, TEX_AUTO, 0, nullptr,
                                         nullptr, &texture),
                  S_OK)
            << usage;
        EXPECT_EQ(Desc(texture).Pool, D3DPOOL_DEFAULT);
        EXPECT_EQ(device.created.size(), usage == 0 ? 2u : 1u);
        EXPECT_EQ(device.updates, usage == 0 ? 1 : 0);
        if (usage != 0) {
            EXPECT_EQ(LevelTexels(texture, 0)[5] & 0xFFFFFF, Gradient(1, 1));
        }
        texture->Release();
    }
}

TEST_F(TextureFromFileTest, RefusalsLeaveTheOutputAlone) {
    IDirect3DTexture9* const untouched = reinterpret_cast<IDirect3DTexture9*>(0x1);
    IDirect3DTexture9* texture = untouched;
    const Bytes file = Bitmap24(2, 2, Gradient);
    const Bytes garbage(64, 0x5A);
    EXPECT_EQ(TextureFromImageMemory(nullptr, file.data(), 10, TEX_AUTO, TEX_AUTO, TEX_AUTO, 0, D3DFMT_UNKNOWN,
                                     D3DPOOL_MANAGED, TEX_AUTO, TEX_AUTO, 0, nullptr, nullptr, &texture),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(TextureFromImageMemory(device_, file.data(), 0, TEX_AUTO, TEX_AUTO, TEX_AUTO, 0, D3DFMT_UNKNOWN,
                                     D3DPOOL_MANAGED, TEX_AUTO, TEX_AUTO, 0, nullptr, nullptr, &texture),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(Load(garbage, &texture), TEXERR_UNREADABLE);
    // An image without pixels never reaches the resampler: the reader refuses it.
    EXPECT_EQ(Load(Bitmap24(0, 4, Gradient), &texture), TEXERR_UNREADABLE);
    EXPECT_EQ(Load(Bitmap24(4, 0, Gradient), &texture), TEXERR_UNREADABLE);
    EXPECT_EQ(TextureFromImageMemory(device_, file.data(), static_cast<UINT>(file.size()), TEX_AUTO, TEX_AUTO,
                                     TEX_AUTO, 0, D3DFMT_UNKNOWN, static_cast<D3DPOOL>(7), TEX_AUTO, TEX_AUTO, 0,
                                     nullptr, nullptr, &texture),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, untouched);

    IDirect3DBaseTexture9* resource = nullptr;
    EXPECT_EQ(CreateResourceFromImageMemory(device_, file.data(), static_cast<UINT>(file.size()), TEX_AUTO, TEX_AUTO,
                                            TEX_AUTO, TEX_AUTO, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, TEX_AUTO, TEX_AUTO,
                                            0, nullptr, nullptr, D3DRTYPE_CUBETEXTURE, &resource),
              E_FAIL);  // a cube needs six faces
    EXPECT_EQ(resource, nullptr);
}

TEST_F(TextureFromFileTest, TheImageDecidesTheResourceKindWhenAskedTo) {
    const Bytes file = Bitmap24(4, 2, Gradient);
    ImageInfo info{};
    IDirect3DBaseTexture9* resource = nullptr;
    ASSERT_EQ(CreateResourceFromImageMemory(device_, file.data(), static_cast<UINT>(file.size()), TEX_AUTO, TEX_AUTO,
                                            TEX_AUTO, TEX_AUTO, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, TEX_AUTO, TEX_AUTO,
                                            0, &info, nullptr, static_cast<D3DRESOURCETYPE>(TEX_AUTO), &resource),
              S_OK);
    EXPECT_EQ(resource->GetType(), D3DRTYPE_TEXTURE);
    EXPECT_EQ(info.Width, 4u);
    EXPECT_EQ(info.Format, D3DFMT_R8G8B8);
    EXPECT_EQ(info.ImageFileFormat, ImageFileFormat::Bmp);
    resource->Release();
}

// Texel (x, y, z) of level `level` of face `face` in the DDS files below.
std::uint32_t Texel(UINT face, UINT level, UINT x, UINT y, UINT z) {
    return 0xFF000000u | face << 20 | level << 16 | z << 12 | y << 6 | x;
}

using TexelFunction = std::uint32_t (*)(UINT face, UINT level, UINT x, UINT y, UINT z);

// Each 2 x 2 x 2 block of level 0 in one colour: level 1 is those colours.
std::uint32_t BlockTexel(UINT face, UINT level, UINT x, UINT y, UINT z) {
    return Texel(face, level + 1, x / 2, y / 2, z / 2);
}

// A DDS file of A8R8G8B8 texels written by the DDS writer: `faces` faces
// (six for a cube), each a chain of `levels` levels from side x side x
// depth, texel (x, y, z) of level l of face f being texel(f, l, x, y, z).
class DdsChain {
public:
    DdsChain(UINT faces, UINT levels, UINT side, UINT depth, TexelFunction texel = Texel) : texel_(texel) {
        DecodedImage* face = &top_;
        for (UINT f = 0; f < faces; ++f) {
            if (f > 0) face = face->nextFace = new DecodedImage;
            DecodedImage* level = face;
            for (UINT l = 0, s = side, d = depth; l < levels; ++l, s = std::max(s / 2, 1u), d = std::max(d / 2, 1u)) {
                if (l > 0) level = level->nextLevel = new DecodedImage;
                Describe(*level, f, l, s, d);
            }
        }
    }
    Bytes File() {
        MemoryBuffer* buffer = nullptr;
        EXPECT_EQ(top_.WriteImage(&buffer, ImageFileFormat::Dds, OutputKind::Memory), S_OK);
        if (buffer == nullptr) return {};
        const auto* bytes = static_cast<const std::uint8_t*>(buffer->GetBufferPointer());
        Bytes file(bytes, bytes + buffer->GetBufferSize());
        buffer->Release();
        return file;
    }

private:
    void Describe(DecodedImage& record, UINT face, UINT level, UINT side, UINT depth) {
        std::vector<std::uint32_t>& texels = storage_.emplace_back();
        for (UINT z = 0; z < depth; ++z)
            for (UINT y = 0; y < side; ++y)
                for (UINT x = 0; x < side; ++x) texels.push_back(texel_(face, level, x, y, z));
        record.format = D3DFMT_A8R8G8B8;
        record.pixels = reinterpret_cast<BYTE*>(texels.data());
        record.width = record.height = side;
        record.depth = depth;
        record.box = {0, 0, side, side, 0, depth};
        record.rowPitch = side * 4;
        record.slicePitch = side * side * 4;
    }
    TexelFunction texel_;
    DecodedImage top_;
    std::deque<std::vector<std::uint32_t>> storage_;
};

// Where a texel read back differs from Texel(face, level, ...), or "" when none does.
std::string FirstWrongTexel(const void* bits, UINT rowPitch, UINT slicePitch, UINT face, UINT level, UINT side,
                            UINT depth) {
    for (UINT z = 0; z < depth; ++z)
        for (UINT y = 0; y < side; ++y)
            for (UINT x = 0; x < side; ++x) {
                std::uint32_t got;
                std::memcpy(&got, static_cast<const BYTE*>(bits) + z * slicePitch + y * rowPitch + x * 4, 4);
                if (got != Texel(face, level, x, y, z))
                    return "face " + std::to_string(face) + " level " + std::to_string(level) + " texel (" +
                           std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(z) + ")";
            }
    return "";
}

HRESULT LoadResource(IDirect3DDevice9* device, const Bytes& file, D3DRESOURCETYPE type, IDirect3DBaseTexture9** out,
                     ImageInfo* info = nullptr) {
    return CreateResourceFromImageMemory(device, file.data(), static_cast<UINT>(file.size()), TEX_AUTO, TEX_AUTO,
                                         TEX_AUTO, TEX_AUTO, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, TEX_AUTO, TEX_AUTO,
                                         0, info, nullptr, type, out);
}

std::string FirstWrongTexel(IDirect3DVolumeTexture9* volume, UINT level) {
    D3DVOLUME_DESC desc{};
    D3DLOCKED_BOX locked{};
    volume->GetLevelDesc(level, &desc);
    if (desc.Format != D3DFMT_A8R8G8B8 || FAILED(volume->LockBox(level, &locked, nullptr, D3DLOCK_READONLY)))
        return "level " + std::to_string(level) + " not readable";
    std::string wrong = FirstWrongTexel(locked.pBits, locked.RowPitch, locked.SlicePitch, 0, level, desc.Width,
                                        desc.Depth);
    volume->UnlockBox(level);
    return wrong;
}

std::string FirstWrongTexel(IDirect3DCubeTexture9* cube, UINT face, UINT level) {
    const auto faceType = static_cast<D3DCUBEMAP_FACES>(face);
    D3DSURFACE_DESC desc{};
    D3DLOCKED_RECT locked{};
    cube->GetLevelDesc(level, &desc);
    if (desc.Format != D3DFMT_A8R8G8B8 || FAILED(cube->LockRect(faceType, level, &locked, nullptr, D3DLOCK_READONLY)))
        return "level " + std::to_string(level) + " not readable";
    std::string wrong = FirstWrongTexel(locked.pBits, static_cast<UINT>(locked.Pitch), 0, face, level, desc.Width, 1);
    cube->UnlockRect(faceType, level);
    return wrong;
}

TEST_F(TextureFromFileTest, ADdsVolumeBecomesAVolumeTextureWithEveryLevelAsWritten) {
    constexpr UINT kSide = 4, kDepth = 2, kLevels = 3;  // 4 x 4 x 2, 2 x 2 x 1, 1 x 1 x 1
    const Bytes file = DdsChain(1, kLevels, kSide, kDepth).File();
    for (const auto type : {static_cast<D3DRESOURCETYPE>(TEX_AUTO), D3DRTYPE_VOLUMETEXTURE}) {
        ImageInfo info{};
        IDirect3DBaseTexture9* resource = nullptr;
        ASSERT_EQ(LoadResource(device_, file, type, &resource, &info), S_OK);
        EXPECT_EQ(info.ResourceType, D3DRTYPE_VOLUMETEXTURE);
        EXPECT_EQ(info.Depth, kDepth);
        ASSERT_EQ(resource->GetType(), D3DRTYPE_VOLUMETEXTURE);
        auto* volume = static_cast<IDirect3DVolumeTexture9*>(resource);
        ASSERT_EQ(volume->GetLevelCount(), kLevels);
        for (UINT level = 0; level < kLevels; ++level) {
            D3DVOLUME_DESC desc{};
            ASSERT_EQ(volume->GetLevelDesc(level, &desc), S_OK);
            EXPECT_EQ(desc.Width, kSide >> level);
            EXPECT_EQ(desc.Height, kSide >> level);
            EXPECT_EQ(desc.Depth, std::max(kDepth >> level, 1u));
            EXPECT_EQ(FirstWrongTexel(volume, level), "");
        }
        resource->Release();
    }
    // Levels the file lacks are made from level 0 by the mip filter.
    IDirect3DBaseTexture9* resource = nullptr;
    ASSERT_EQ(LoadResource(device_, DdsChain(1, 1, kSide, kDepth, BlockTexel).File(), D3DRTYPE_VOLUMETEXTURE,
                           &resource),
              S_OK);
    auto* volume = static_cast<IDirect3DVolumeTexture9*>(resource);
    EXPECT_EQ(volume->GetLevelCount(), kLevels);
    EXPECT_EQ(FirstWrongTexel(volume, 1), "");
    resource->Release();
}

TEST_F(TextureFromFileTest, ADdsCubeMapBecomesACubeTextureWithEveryFaceAndLevelAsWritten) {
    constexpr UINT kSide = 4, kLevels = 3, kFaces = 6;
    const Bytes file = DdsChain(kFaces, kLevels, kSide, 1).File();
    for (const auto type : {static_cast<D3DRESOURCETYPE>(TEX_AUTO), D3DRTYPE_CUBETEXTURE}) {
        ImageInfo info{};
        IDirect3DBaseTexture9* resource = nullptr;
        ASSERT_EQ(LoadResource(device_, file, type, &resource, &info), S_OK);
        EXPECT_EQ(info.ResourceType, D3DRTYPE_CUBETEXTURE);
        ASSERT_EQ(resource->GetType(), D3DRTYPE_CUBETEXTURE);
        auto* cube = static_cast<IDirect3DCubeTexture9*>(resource);
        ASSERT_EQ(cube->GetLevelCount(), kLevels);
        for (UINT level = 0; level < kLevels; ++level) {
            D3DSURFACE_DESC desc{};
            ASSERT_EQ(cube->GetLevelDesc(level, &desc), S_OK);
            EXPECT_EQ(desc.Width, kSide >> level);
            EXPECT_EQ(desc.Height, kSide >> level);
            for (UINT face = 0; face < kFaces; ++face) EXPECT_EQ(FirstWrongTexel(cube, face, level), "");
        }
        resource->Release();
    }
    // Levels the file lacks are made face by face from each face's level 0.
    IDirect3DBaseTexture9* resource = nullptr;
    ASSERT_EQ(LoadResource(device_, DdsChain(kFaces, 1, kSide, 1, BlockTexel).File(), D3DRTYPE_CUBETEXTURE, &resource),
              S_OK);
    auto* cube = static_cast<IDirect3DCubeTexture9*>(resource);
    EXPECT_EQ(cube->GetLevelCount(), kLevels);
    for (UINT face = 0; face < kFaces; ++face) EXPECT_EQ(FirstWrongTexel(cube, face, 1), "");
    resource->Release();
    // A plain texture from a cube file takes its first face.
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(Load(file, &texture), S_OK);
    EXPECT_EQ(Desc(texture).Width, kSide);
    EXPECT_EQ(LevelTexels(texture, 1)[3], Texel(0, 1, 1, 1, 0));
    texture->Release();
}

// Every bitmap of the corpus, whatever format its reader delivers, becomes
// a texture of that format (24-bit RGB widened to X8R8G8B8, palettes spent
// into true colour) at the next powers of two, with its full chain.
TEST_F(TextureFromFileTest, EveryCorpusBitmapLoadsInTheFormatItsReaderGives) {
    const std::filesystem::path corpus = QUILLMARK_CORPUS_DIR "/bmp";
    if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    int loaded = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        if (entry.path().extension() != ".bmp") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const Bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ImageInfo info{};
        IDirect3DTexture9* texture = nullptr;
        const HRESULT result =
            TextureFromImageMemory(device_, file.data(), static_cast<UINT>(file.size()), TEX_AUTO, TEX_AUTO,
                                   TEX_AUTO, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, TEX_AUTO, TEX_AUTO, 0, &info,
                                   nullptr, &texture);
        if (result == TEXERR_UNREADABLE) continue;  // a file the reader refuses
        ASSERT_EQ(result, S_OK) << entry.path();
        D3DFORMAT expected = info.Format;
        if (expected == D3DFMT_R8G8B8 || expected == D3DFMT_P8) expected = D3DFMT_X8R8G8B8;
        const D3DSURFACE_DESC desc = Desc(texture);
        EXPECT_EQ(desc.Format, expected) << entry.path() << " read as " << info.Format;
        EXPECT_EQ(desc.Width, std::bit_ceil(info.Width)) << entry.path();
        EXPECT_EQ(desc.Height, std::bit_ceil(info.Height)) << entry.path();
        EXPECT_EQ(texture->GetLevelCount(), static_cast<DWORD>(std::bit_width(std::max(desc.Width, desc.Height))))
            << entry.path();
        texture->Release();
        ++loaded;
    }
    EXPECT_GT(loaded, 40);
}

class TextureFileTest : public TextureFromFileTest {
protected:
    void SetUp() override {
        TextureFromFileTest::SetUp();
        dir_ = std::filesystem::temp_directory_path() / ("qm_texfile_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir_);
        TextureFromFileTest::TearDown();
    }
    std::string Write(const char* name, const Bytes& bytes) const {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    HRESULT LoadFile(const std::string& path, IDirect3DTexture9** out) {
        return TextureFromImageFile(device_, path.c_str(), TEX_AUTO, TEX_AUTO, TEX_AUTO, 0, D3DFMT_UNKNOWN,
                                    D3DPOOL_MANAGED, TEX_AUTO, TEX_AUTO, 0, nullptr, nullptr, out);
    }
    std::filesystem::path dir_;
};

TEST_F(TextureFileTest, FilesAreReadByContentAndRefusedWhenMissingEmptyOrUnknown) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(LoadFile(Write("named.txt", Bitmap24(3, 3, Gradient)), &texture), S_OK);
    EXPECT_EQ(Desc(texture).Width, 4u);
    texture->Release();
    texture = nullptr;
    EXPECT_EQ(LoadFile((dir_ / "missing.bmp").string(), &texture), TEXERR_UNREADABLE);
    EXPECT_EQ(LoadFile(Write("empty.bmp", {}), &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(LoadFile(Write("text.bmp", Bytes(100, 'x')), &texture), TEXERR_UNREADABLE);
    EXPECT_EQ(TextureFromImageFile(device_, nullptr, TEX_AUTO, TEX_AUTO, TEX_AUTO, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                   TEX_AUTO, TEX_AUTO, 0, nullptr, nullptr, &texture),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);
}

TEST_F(TextureFileTest, AFileOfFourGibibytesIsUnreadableRatherThanItsSizeModuloFourGibibytes) {
    // The first 58 bytes are a whole 1 x 1 bitmap: read modulo 4 GiB the
    // file would load as that bitmap.
    const std::string path = Write("huge.bmp", Bitmap24(1, 1, Gradient));
    std::error_code code;
    std::filesystem::resize_file(path, (std::uintmax_t{1} << 32) + 58, code);
    if (code) GTEST_SKIP() << "cannot make a sparse file: " << code.message();
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(LoadFile(path, &texture), TEXERR_UNREADABLE);
    EXPECT_EQ(texture, nullptr);
}

}  // namespace
}  // namespace quillmark
