// The PNG reader and writer: files ImageMagick writes in every colour type
// and depth decode as ImageMagick decodes them; files written here read the
// same in Pillow and in our reader; hand-built files pin the sample orders,
// the gamma step and the palette; hostile files are refused without reading
// past their bytes.
#include "imagecodec/decoded_image.h"
#include "imagecodec/image_codec.h"
#include "jpeg_png_test_support.h"
#include "guarded_bytes.h"
#include "imagecodec/mapped_file.h"
#include "pillow.h"
#include "pixel/pixel_format.h"

#include "scratch_directory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>
#include <zlib.h>

namespace quillmark {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::GuardedBytes;
using testing::Rgba;

// A PNG built by hand: `rows` are the unfiltered scanlines (a 0 filter byte
// goes before each), `chunks` are whole chunks placed before the image data.
// An interlaced file's rows are those of its non-empty passes, in order.
Bytes BigEndian32(std::uint32_t value) { return {BYTE(value >> 24), BYTE(value >> 16), BYTE(value >> 8), BYTE(value)}; }

Bytes Chunk(const char* type, const Bytes& data) {
    Bytes chunk = BigEndian32(std::uint32_t(data.size()));
    for (int i = 0; i < 4; ++i) chunk.push_back(BYTE(type[i]));
    chunk.insert(chunk.end(), data.begin(), data.end());
    const uLong crc = crc32(0, chunk.data() + 4, uInt(chunk.size() - 4));
    const Bytes crcBytes = BigEndian32(std::uint32_t(crc));
    chunk.insert(chunk.end(), crcBytes.begin(), crcBytes.end());
    return chunk;
}

Bytes HandMadePng(std::uint32_t width, std::uint32_t height, BYTE depth, BYTE colourType,
                  const std::vector<Bytes>& rows, const std::vector<Bytes>& chunks = {}, bool interlaced = false) {
    Bytes header = BigEndian32(width);
    const Bytes h = BigEndian32(height);
    header.insert(header.end(), h.begin(), h.end());
    header.insert(header.end(), {depth, colourType, 0, 0, BYTE(interlaced ? 1 : 0)});
    Bytes raw;
    for (const Bytes& row : rows) {
        raw.push_back(0);
        raw.insert(raw.end(), row.begin(), row.end());
    }
    Bytes packed(compressBound(uLong(raw.size())));
    uLongf packedSize = uLongf(packed.size());
    compress(packed.data(), &packedSize, raw.data(), uLong(raw.size()));
    packed.resize(packedSize);

    Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (const Bytes& part : {Chunk("IHDR", header)}) file.insert(file.end(), part.begin(), part.end());
    for (const Bytes& chunk : chunks) file.insert(file.end(), chunk.begin(), chunk.end());
    for (const Bytes& part : {Chunk("IDAT", packed), Chunk("IEND", {})}) file.insert(file.end(), part.begin(), part.end());
    return file;
}

Bytes Gamma(double gamma) { return Chunk("gAMA", BigEndian32(std::uint32_t(std::lround(gamma * 100000)))); }

HRESULT ReadPngBytes(const Bytes& bytes, DecodedImage& image, BOOL decode = TRUE) {
    const GuardedBytes guarded(bytes);
    image.decodePixels = decode;
    return FindImageCodec(ImageFileFormat::Png)->read(image, guarded.data(), guarded.size());
}

class PngOtherProgramsTest : public ::testing::Test {
protected:
    std::string PathOf(const std::string& name) const { return scratch_.PathOf(name); }
    static int Run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()); }

    testing::ScratchDirectory scratch_;
};

TEST_F(PngOtherProgramsTest, FilesImageMagickWritesDecodeAsInImageMagick) {
    if (!testing::HaveImageMagick()) GTEST_SKIP() << "ImageMagick (convert, identify) is not installed";
    const std::string source = PathOf("source.png");
    ASSERT_EQ(Run("convert -size 37x23 gradient:red-blue -fill green -draw 'circle 10,10 15,15' " + source), 0);
    const std::string alpha = " -alpha set -channel A -fx i/w +channel ";
    const std::string grey = " -colorspace Gray ";
    struct Variant {
        std::string options;  // ImageMagick's, with the PNG subformat
        D3DFORMAT format;
    };
    const Variant variants[] = {
        {grey + "-define png:bit-depth=1 -define png:color-type=0 PNG:", D3DFMT_L8},
        {grey + "-define png:bit-depth=2 -define png:color-type=0 PNG:", D3DFMT_L8},
        {grey + "-define png:bit-depth=4 -define png:color-type=0 PNG:", D3DFMT_L8},
        {grey + "-depth 8 -define png:color-type=0 PNG:", D3DFMT_L8},
        {grey + "-depth 16 -define png:color-type=0 PNG:", D3DFMT_L16},
        {alpha + grey + "-depth 8 -define png:color-type=4 PNG:", D3DFMT_A8L8},
        {alpha + grey + "-depth 16 -define png:color-type=4 PNG:", FORMAT_AL16},
        {"-depth 8 -define png:color-type=2 PNG:", D3DFMT_X8R8G8B8},
        {"-depth 16 -define png:color-type=2 PNG:", FORMAT_R16},
        {alpha + "-depth 8 -define png:color-type=6 PNG:", D3DFMT_A8R8G8B8},
        {alpha + "-depth 16 -define png:color-type=6 PNG:", D3DFMT_A16B16G16R16},
        {"-colors 2 -define png:bit-depth=1 -define png:color-type=3 PNG:", D3DFMT_P8},
        {"-colors 4 -define png:color-type=3 PNG:", D3DFMT_P8},
        {"-colors 16 -define png:color-type=3 PNG:", D3DFMT_P8},
        {"-colors 200 -define png:color-type=3 PNG:", D3DFMT_P8},
        {alpha + "-colors 60 PNG8:", D3DFMT_P8},
        {"-interlace PNG -depth 8 -define png:color-type=2 PNG:", D3DFMT_X8R8G8B8},
        {alpha + "-interlace PNG -depth 16 -define png:color-type=6 PNG:", D3DFMT_A16B16G16R16},
    };
    for (const Variant& v : variants) {
        const std::string path = PathOf("theirs.png");
        ASSERT_EQ(Run("convert " + source + " " + v.options + path), 0) << v.options;
        MappedFile file;
        ASSERT_EQ(file.Open(path.c_str(), false), S_OK);
        DecodedImage image;
        ASSERT_EQ(image.ReadImage(file.Data(), file.Size(), nullptr, TRUE), S_OK) << v.options;
        EXPECT_EQ(image.format, v.format) << v.options;
        Rgba ours, theirs;
        ASSERT_TRUE(testing::ToRgba(image, ours));
        ASSERT_TRUE(testing::ReadWithImageMagick(path, theirs));
        // Sixteen-bit samples are brought to eight bits by two programs.
        const int tolerance = v.options.find("-depth 16") != std::string::npos ? 1 : 0;
        EXPECT_EQ(testing::CountDifferences(ours, theirs, tolerance, true), 0u) << v.options;
    }
}

TEST_F(PngOtherProgramsTest, FilesWeWriteReadTheSameInPillowAndHere) {
    if (!testing::HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
    const UINT width = 67, height = 45;
    std::vector<DWORD> pixels(width * height);
    Rgba original{width, height, {}};
    for (UINT i = 0; i < width * height; ++i) {
        pixels[i] = (i * 2654435761u) >> 8;  // every channel value, no pattern
        original.bytes.insert(original.bytes.end(), {BYTE(pixels[i] >> 16), BYTE(pixels[i] >> 8), BYTE(pixels[i]), 255});
    }
    const Bytes file = testing::WrittenX8R8G8B8(ImageFileFormat::Png, pixels, width, height);
    const std::string path = PathOf("ours.png");
    { std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size()); }
    Rgba theirs, ours;
    ASSERT_TRUE(testing::ReadWithPillow(path, theirs));
    EXPECT_EQ(testing::CountDifferences(theirs, original, 0, true), 0u);

    DecodedImage back;
    ASSERT_EQ(ReadPngBytes(file, back), S_OK);
    ASSERT_EQ(back.format, D3DFMT_X8R8G8B8);
    ASSERT_TRUE(testing::ToRgba(back, ours));
    EXPECT_EQ(testing::CountDifferences(ours, original, 0, true), 0u);
}

// 255 (v / 255) ^ (1 / (2.2 g)), rounded: what a file gamma g becomes.
BYTE Corrected(int value, double fileGamma) {
    return BYTE(std::floor(255 * std::pow(value / 255.0, 1 / (2.2 * fileGamma)) + 0.5));
}

// The data of the file's first chunk of `type`, or null.
const BYTE* FindChunk(const Bytes& file, const char* type) {
    for (std::size_t i = 8; i + 12 <= file.size();) {
        const std::uint32_t length = std::uint32_t(file[i]) << 24 | file[i + 1] << 16 | file[i + 2] << 8 | file[i + 3];
        if (std::equal(type, type + 4, file.begin() + static_cast<std::ptrdiff_t>(i + 4))) return &file[i + 8];
        i += 12 + std::size_t{length};
    }
    return nullptr;
}

// The file's gAMA value in units of 1/100000, or 0 when it has none.
std::uint32_t GammaOf(const Bytes& file) {
    const BYTE* g = FindChunk(file, "gAMA");
    return g == nullptr ? 0 : std::uint32_t(g[0]) << 24 | g[1] << 16 | g[2] << 8 | g[3];
}

// A written file records the encoding gamma 1/2.2, so that every grey comes
// back unchanged; a recorded 2.2 would read 128 as 221.
TEST(PngWriter, EveryGreyRoundTripsUnchanged) {
    std::vector<DWORD> pixels(256);
    for (DWORD i = 0; i < 256; ++i) pixels[i] = i * 0x010101;
    const Bytes file = testing::WrittenX8R8G8B8(ImageFileFormat::Png, pixels, 16, 16);
    EXPECT_EQ(GammaOf(file), 45455u);
    DecodedImage back;
    ASSERT_EQ(ReadPngBytes(file, back), S_OK);
    for (DWORD i = 0; i < 256; ++i)
        ASSERT_EQ(reinterpret_cast<const DWORD*>(back.pixels)[i] & 0xFFFFFF, pixels[i]) << "grey " << i;
}

TEST(PngWriter, AFailedWriteFailsTheWriter) {
    EXPECT_EQ(testing::WriteNoiseIntoAFullFile(ImageFileFormat::Png), E_FAIL);
}

TEST(PngReader, SixteenBitSamplesAreLittleEndianInTheFormatsOrder) {
    struct Case {
        BYTE colourType;
        Bytes row;
        D3DFORMAT format;
        Bytes pixel;
    };
    const Case cases[] = {
        {6, {1, 2, 3, 4, 5, 6, 7, 8}, D3DFMT_A16B16G16R16, {2, 1, 4, 3, 6, 5, 8, 7}},
        {2, {1, 2, 3, 4, 5, 6}, FORMAT_R16, {6, 5, 4, 3, 2, 1}},
        {4, {1, 2, 3, 4}, FORMAT_AL16, {2, 1, 4, 3}},
        {0, {1, 2}, D3DFMT_L16, {2, 1}},
    };
    for (const Case& c : cases) {
        DecodedImage image;
        ASSERT_EQ(ReadPngBytes(HandMadePng(1, 1, 16, c.colourType, {c.row}), image), S_OK);
        EXPECT_EQ(image.format, c.format);
        EXPECT_EQ(Bytes(image.pixels, image.pixels + c.pixel.size()), c.pixel) << c.format;
    }
}

TEST(PngReader, GammaIsCorrectedOnlyForAGammaWithoutSrgb) {
    const Bytes greys = {0, 64, 128, 255};
    const Bytes srgb = Chunk("sRGB", {0});
    struct Case {
        std::vector<Bytes> chunks;
        double correctedFrom;  // 0: unchanged
    };
    const Case cases[] = {{{}, 0}, {{Gamma(1.0)}, 1.0}, {{Gamma(2.2)}, 2.2}, {{srgb, Gamma(1.0)}, 0}};
    for (const Case& c : cases) {
        DecodedImage grey, palette;
        ASSERT_EQ(ReadPngBytes(HandMadePng(4, 1, 8, 0, {greys}, c.chunks), grey), S_OK);
        std::vector<Bytes> withPalette = c.chunks;
        withPalette.push_back(Chunk("PLTE", {0, 0, 0, 64, 64, 64, 128, 128, 128, 255, 255, 255}));
        ASSERT_EQ(ReadPngBytes(HandMadePng(4, 1, 8, 3, {{0, 1, 2, 3}}, withPalette), palette), S_OK);
        // The same interlaced: passes 1, 4 and 6 hold pixels 0; 2; 1 and 3.
        DecodedImage interlaced;
        ASSERT_EQ(ReadPngBytes(HandMadePng(4, 1, 8, 3, {{0}, {2}, {1, 3}}, withPalette, true), interlaced), S_OK);
        ASSERT_EQ(Bytes(interlaced.pixels, interlaced.pixels + 4), Bytes({0, 1, 2, 3}));
        for (int i = 0; i < 4; ++i) {
            const int expected = c.correctedFrom == 0 ? greys[i] : Corrected(greys[i], c.correctedFrom);
            EXPECT_NEAR(grey.pixels[i], expected, 1) << c.correctedFrom << " grey " << int(greys[i]);
            EXPECT_EQ(palette.palette[i].peGreen, expected) << c.correctedFrom << " entry " << i;
            EXPECT_EQ(interlaced.palette[i].peGreen, expected) << c.correctedFrom << " interlaced entry " << i;
        }
    }
    DecodedImage image;
    EXPECT_EQ(ReadPngBytes(HandMadePng(4, 1, 8, 0, {greys}, {Gamma(1.0)}), image), S_OK);
    EXPECT_EQ(image.pixels[2], 186);  // the Part's own example: 128 under gAMA 1.0
}

TEST(PngReader, PaletteAlphaOnlyForEntriesBothChunksHave) {
    const Bytes plte = {10, 20, 30, 40, 50, 60};
    const std::vector<Bytes> rows = {{0x01, 0x01}};  // 4-bit indices 0, 1, 0, 1
    DecodedImage shortAlpha, longAlpha;
    ASSERT_EQ(ReadPngBytes(HandMadePng(4, 1, 4, 3, rows, {Chunk("PLTE", plte), Chunk("tRNS", {7})}), shortAlpha),
              S_OK);
    EXPECT_EQ(shortAlpha.format, D3DFMT_P8);
    EXPECT_EQ(Bytes(shortAlpha.pixels, shortAlpha.pixels + 4), Bytes({0, 1, 0, 1}));
    EXPECT_EQ(shortAlpha.palette[0].peFlags, 7);
    EXPECT_EQ(shortAlpha.palette[1].peFlags, 255);
    EXPECT_EQ(shortAlpha.palette[1].peBlue, 60);

    // A tRNS longer than the palette gives no entry past the palette.
    ASSERT_EQ(ReadPngBytes(HandMadePng(4, 1, 4, 3, rows, {Chunk("PLTE", plte), Chunk("tRNS", {1, 2, 3, 4})}),
                           longAlpha),
              S_OK);
    EXPECT_EQ(longAlpha.palette[1].peRed, 40);
    for (int i = 2; i < 256; ++i) {
        const PALETTEENTRY& e = longAlpha.palette[i];
        ASSERT_TRUE(e.peRed == 255 && e.peGreen == 255 && e.peBlue == 255 && e.peFlags == 255) << i;
    }
}

TEST(PngReader, HeaderOnlyReadGivesTheFactsWithoutPixelsOrPalette) {
    DecodedImage image;
    ASSERT_EQ(ReadPngBytes(HandMadePng(2, 1, 2, 3, {{0x10}}, {Chunk("PLTE", {1, 2, 3, 4, 5, 6})}), image, FALSE),
              S_OK);
    EXPECT_EQ(image.format, D3DFMT_P8);
    EXPECT_EQ(image.width, 2u);
    EXPECT_EQ(image.rowPitch, 2u);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.palette, nullptr);
}

TEST(PngReader, SizesPastTheImageLimitsAreRefusedCleanly) {
    // 32768 x 32768 RGBA is 4 GiB of pixels: 0 in 32-bit arithmetic. One
    // compressed row stands in for the data.
    for (std::uint32_t side : {32768u, 32769u, 0x7FFFFFFFu}) {
        for (BOOL decode : {TRUE, FALSE}) {
            DecodedImage image;
            EXPECT_EQ(ReadPngBytes(HandMadePng(side, side, 8, 6, {Bytes(16, 0)}), image, decode), E_FAIL) << side;
            EXPECT_EQ(image.pixels, nullptr);
        }
    }
}

TEST(PngReader, CutAndCorruptedFilesAreRefusedOrReadWithinTheirBytes) {
    std::vector<Bytes> rows(9, Bytes{0x12, 0x34, 0x56});
    const Bytes files[] = {
        HandMadePng(6, 9, 4, 3, rows, {Gamma(1.0), Chunk("PLTE", Bytes(48, 9)), Chunk("tRNS", {1, 2, 3})}),
        HandMadePng(3, 9, 8, 0, rows, {Chunk("tRNS", {0, 0x34})}),
    };
    std::mt19937 random(5);
    for (const Bytes& file : files) {
        DecodedImage whole;
        ASSERT_EQ(ReadPngBytes(file, whole), S_OK);
        // The end chunk is never read: only it may be cut.
        for (std::size_t n = 1; n < file.size() - 12; ++n) {
            DecodedImage image;
            EXPECT_EQ(ReadPngBytes(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n)), image), E_FAIL)
                << "cut at " << n;
        }
        for (int round = 0; round < 1000; ++round) {
            Bytes bytes = file;
            for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips)
                bytes[8 + random() % (bytes.size() - 8)] = static_cast<BYTE>(random());
            DecodedImage image;
            const HRESULT result = ReadPngBytes(bytes, image);
            EXPECT_TRUE(result == S_OK || result == E_FAIL);
        }
    }
}

// Well-formed chunks with random contents: every combination of header
// fields, palette and transparency lengths and row lengths.
TEST(PngReader, RandomHeadersAndChunksAreRefusedOrReadWithinTheirBytes) {
    std::mt19937 random(11);
    const auto randomBytes = [&random](std::size_t count) {
        Bytes bytes(count);
        for (BYTE& b : bytes) b = static_cast<BYTE>(random());
        return bytes;
    };
    for (int round = 0; round < 3000; ++round) {
        const BYTE depth = std::array<BYTE, 7>{1, 2, 4, 8, 16, 3, 0}[random() % 7];
        const BYTE colourType = std::array<BYTE, 7>{0, 2, 3, 4, 6, 1, 7}[random() % 7];
        std::vector<Bytes> rows(1 + random() % 12);
        for (Bytes& row : rows) row = randomBytes(random() % 40);
        std::vector<Bytes> chunks;
        if (random() % 2) chunks.push_back(Chunk("PLTE", randomBytes(random() % 800)));
        if (random() % 2) chunks.push_back(Chunk("tRNS", randomBytes(random() % 300)));
        if (random() % 2) chunks.push_back(Gamma((random() % 300000) / 100000.0));
        const Bytes file = HandMadePng(1 + random() % 20, 1 + random() % 12, depth, colourType, rows, chunks);
        DecodedImage image;
        const HRESULT result = ReadPngBytes(file, image);
        EXPECT_TRUE(result == S_OK || result == E_FAIL);
    }
}

// Number of channel values of ours that are not the reference's after the
// gamma step (0: none), within 1. The reference was brought to 8 bits before
// the step (rounded or truncated from 16), so the bounds come from the step
// of the whole interval it stands for.
std::size_t CountOutsideGammaStep(const Rgba& ours, const Rgba& reference, double gamma) {
    if (ours.width != reference.width || ours.height != reference.height) return ~std::size_t{0};
    const auto step = [gamma](double v) { return 255 * std::pow(std::clamp(v, 0.0, 255.0) / 255, 1 / (2.2 * gamma)); };
    std::size_t count = 0;
    for (std::size_t i = 0; i < ours.bytes.size(); ++i) {
        const int v = reference.bytes[i];
        const bool stepped = gamma > 0 && i % 4 != 3;
        const double low = stepped ? step(v - 0.5) : v, high = stepped ? step(v + 1.0) : v;
        if (ours.bytes[i] < low - 1 || ours.bytes[i] > high + 1) ++count;
    }
    return count;
}

const fs::path kPngCorpus = fs::path(QUILLMARK_CORPUS_DIR) / "png";

// Each file decodes to the reference reading (an independent decoder that
// ignores gamma, so the reference gets the gamma step here), or is refused;
// cuts and corruptions of it are refused or read within their bytes.
TEST(PngCorpus, EveryFileMatchesItsReferenceAndDamageIsSurvived) {
    if (!fs::exists(kPngCorpus)) GTEST_SKIP() << "no corpus at " << kPngCorpus;
    if (!testing::HaveImageMagick()) GTEST_SKIP() << "ImageMagick (convert, identify) is not installed";
    int compared = 0;
    testing::ForEachCorpusFile(kPngCorpus, ".png", [&compared](const std::string& name, const Bytes& file,
                                                               HRESULT result, const DecodedImage& image,
                                                               const fs::path& reference) {
        ASSERT_TRUE(result == S_OK || result == TEXERR_UNREADABLE) << name;
        if (FAILED(result) || reference.empty()) return;
        Rgba ours, expected;
        ASSERT_TRUE(testing::ToRgba(image, ours)) << name;
        ASSERT_TRUE(testing::ReadWithImageMagick(reference.string(), expected)) << name;
        const double gamma = FindChunk(file, "sRGB") == nullptr ? GammaOf(file) / 100000.0 : 0;
        EXPECT_EQ(CountOutsideGammaStep(ours, expected, gamma), 0u) << name;
        ++compared;
    });
    EXPECT_GE(compared, 14);
}

}  // namespace
}  // namespace quillmark
