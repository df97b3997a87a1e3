// The JPEG reader and writer against Pillow, an independent codec: files it
// writes decode here as they decode there, and files written here read there
// within the error of the default quality. Hostile files (cut, corrupted,
// lying about their size or segment lengths) are refused without reading
// past their bytes.
#include "imagecodec/decoded_image.h"
#include "imagecodec/image_codec.h"
#include "codec_test_support.h"
#include "jpeg_png_test_support.h"
#include "guarded_bytes.h"
#include "imagecodec/mapped_file.h"
#include "pillow.h"

#include "scratch_directory.h"

#include "imagecodec/read_failure.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

namespace quillmark {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::GuardedBytes;
using testing::Rgba;

constexpr UINT kWidth = 67, kHeight = 45;

// A smooth colour picture, the same here and in the Python snippets.
DWORD Picture(UINT x, UINT y) { return (x * 3) << 16 | (y * 5) << 8 | (x + y) * 2; }
constexpr const char* kPillowPicture =
    "import sys\nfrom PIL import Image\nw, h = 67, 45\n"
    "im = Image.frombytes('RGB', (w, h), bytes(v for y in range(h) for x in range(w)"
    " for v in (x * 3, y * 5, (x + y) * 2)))\n";

double MeanDifference(const Rgba& a, const Rgba& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.bytes.size(); ++i)
        if (i % 4 != 3) sum += std::abs(int(a.bytes[i]) - int(b.bytes[i]));
    return sum / (a.bytes.size() * 3 / 4);
}

HRESULT ReadJpegBytes(const Bytes& bytes, DecodedImage& image, BOOL decode = TRUE) {
    const GuardedBytes guarded(bytes);
    image.decodePixels = decode;
    return FindImageCodec(ImageFileFormat::Jpg)->read(image, guarded.data(), guarded.size());
}

Bytes WrittenByUs(UINT width, UINT height, DWORD (*picture)(UINT, UINT)) {
    std::vector<DWORD> pixels(std::size_t{width} * height);
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x) pixels[y * width + x] = picture(x, y);
    return testing::WrittenX8R8G8B8(ImageFileFormat::Jpg, pixels, width, height);
}

class JpegPillowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
    }
    std::string PathOf(const std::string& name) const { return scratch_.PathOf(name); }

    testing::ScratchDirectory scratch_;
};

TEST_F(JpegPillowTest, FilesPillowWritesDecodeAsInPillow) {
    struct Variant {
        const char* name;
        const char* save;  // the Python statement writing sys.argv[1]
        D3DFORMAT format;
    };
    const Variant variants[] = {
        {"grey baseline", "im.convert('L').save(sys.argv[1])", D3DFMT_L8},
        {"grey progressive", "im.convert('L').save(sys.argv[1], progressive=True)", D3DFMT_L8},
        {"colour 4:2:0", "im.save(sys.argv[1], subsampling=2)", D3DFMT_X8R8G8B8},
        {"colour 4:2:2", "im.save(sys.argv[1], subsampling=1)", D3DFMT_X8R8G8B8},
        {"colour 4:4:4", "im.save(sys.argv[1], subsampling=0, quality=95)", D3DFMT_X8R8G8B8},
        {"colour progressive", "im.save(sys.argv[1], progressive=True)", D3DFMT_X8R8G8B8},
        {"colour restart intervals", "im.save(sys.argv[1], restart_marker_blocks=2)", D3DFMT_X8R8G8B8},
    };
    for (const Variant& v : variants) {
        const std::string path = PathOf("theirs.jpg");
        ASSERT_TRUE(testing::RunPython(std::string(kPillowPicture) + v.save + "\n", path)) << v.name;
        MappedFile file;
        ASSERT_EQ(file.Open(path.c_str(), false), S_OK);
        DecodedImage image;
        ImageInfo info;
        ASSERT_EQ(image.ReadImage(file.Data(), file.Size(), &info, TRUE), S_OK) << v.name;
        EXPECT_EQ(info.ImageFileFormat, ImageFileFormat::Jpg);
        ASSERT_EQ(image.format, v.format) << v.name;
        EXPECT_EQ(image.rowPitch, kWidth * (v.format == D3DFMT_L8 ? 1 : 4));
        if (v.format == D3DFMT_X8R8G8B8) {
            EXPECT_EQ(image.pixels[4 * 10 + 3], 0) << v.name;
        }
        Rgba ours, theirs;
        ASSERT_TRUE(testing::ToRgba(image, ours));
        ASSERT_TRUE(testing::ReadWithPillow(path, theirs));
        EXPECT_EQ(testing::CountDifferences(ours, theirs, 3, false), 0u) << v.name;
        EXPECT_LT(MeanDifference(ours, theirs), 0.5) << v.name;
    }
}

TEST_F(JpegPillowTest, CmykIsLeftToTheLaterReaders) {
    const std::string path = PathOf("cmyk.jpg");
    ASSERT_TRUE(testing::RunPython(std::string(kPillowPicture) + "im.convert('CMYK').save(sys.argv[1])\n", path));
    MappedFile file;
    ASSERT_EQ(file.Open(path.c_str(), false), S_OK);
    const Bytes bytes(file.Data(), file.Data() + file.Size());
    DecodedImage image;
    EXPECT_EQ(ReadJpegBytes(bytes, image), E_FAIL);
    DecodedImage viaDispatcher;
    EXPECT_EQ(viaDispatcher.ReadImage(bytes.data(), static_cast<UINT>(bytes.size()), nullptr, TRUE), TEXERR_UNREADABLE);
}

TEST_F(JpegPillowTest, FilesWeWriteReadInPillowWithinTheDefaultQuality) {
    const std::string path = PathOf("ours.jpg");
    const Bytes file = WrittenByUs(kWidth, kHeight, Picture);
    { std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size()); }
    Rgba theirs, original{kWidth, kHeight, {}};
    ASSERT_TRUE(testing::ReadWithPillow(path, theirs));
    for (UINT i = 0; i < kWidth * kHeight; ++i) {
        const DWORD pixel = Picture(i % kWidth, i / kWidth);
        original.bytes.insert(original.bytes.end(), {BYTE(pixel >> 16), BYTE(pixel >> 8), BYTE(pixel), 255});
    }
    EXPECT_EQ(testing::CountDifferences(theirs, original, 24, false), 0u);
    EXPECT_LT(MeanDifference(theirs, original), 2.0);

    // Our own reader sees what Pillow sees.
    DecodedImage back;
    ASSERT_EQ(ReadJpegBytes(file, back), S_OK);
    Rgba ours;
    ASSERT_TRUE(testing::ToRgba(back, ours));
    EXPECT_EQ(testing::CountDifferences(ours, theirs, 3, false), 0u);
}

TEST(JpegReader, HeaderOnlyReadDecodesNothing) {
    const Bytes file = WrittenByUs(kWidth, kHeight, Picture);
    DecodedImage image;
    ASSERT_EQ(ReadJpegBytes(file, image, FALSE), S_OK);
    EXPECT_EQ(image.format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(image.width, kWidth);
    EXPECT_EQ(image.height, kHeight);
    EXPECT_EQ(image.depth, 1u);
    EXPECT_EQ(image.rowPitch, kWidth * 4);
    EXPECT_EQ(image.pixels, nullptr);
}

// A segment length of 0xFFFF near the end makes the library skip far past
// the data: the skip must stop at the end of the input.
TEST(JpegReader, SkipPastTheEndOfTheInputStaysWithinIt) {
    const Bytes file = WrittenByUs(8, 8, Picture);
    Bytes tail = {0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF, 1, 2, 3, 4};
    Bytes appended(file.begin(), file.end() - 2);  // without the end-of-image marker
    appended.insert(appended.end(), {0xFF, 0xE1, 0xFF, 0xFF, 1, 2, 3});
    for (const Bytes& bytes : {tail, appended}) {
        DecodedImage image;
        EXPECT_EQ(ReadJpegBytes(bytes, image), E_FAIL);
    }
}

// Start-of-frame height and width, wherever the writer put the segment
// (baseline, extended or progressive).
void SetFrameSize(Bytes& file, UINT width, UINT height) {
    for (std::size_t i = 2; i + 9 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] >= 0xC0 && file[i + 1] <= 0xC2) {
            file[i + 5] = BYTE(height >> 8), file[i + 6] = BYTE(height);
            file[i + 7] = BYTE(width >> 8), file[i + 8] = BYTE(width);
            return;
        }
    }
    ADD_FAILURE() << "no start-of-frame segment";
}

TEST(JpegReader, SizesPastTheImageLimitsAreRefusedBeforeAnyAllocation) {
    Bytes file = WrittenByUs(16, 16, Picture);
    // 32768 x 32768 x 4 bytes is 4 GiB: 0 in 32-bit arithmetic.
    SetFrameSize(file, 32768, 32768);
    for (BOOL decode : {TRUE, FALSE}) {
        DecodedImage image;
        EXPECT_EQ(ReadJpegBytes(file, image, decode), E_FAIL);
        EXPECT_EQ(image.pixels, nullptr);
    }
}

// A few hundred bytes claiming 16384 x 16384 pixels: the library would pad
// the missing data with zeros for seconds and fill a gigabyte. The baseline
// file is refused when its data ends, after one block row; its header alone
// still reads.
TEST(JpegReader, FramesLargerThanTheirDataAreRefused) {
    Bytes file = WrittenByUs(16, 16, Picture);
    SetFrameSize(file, 16384, 16384);
    DecodedImage facts;
    ASSERT_EQ(ReadJpegBytes(file, facts, FALSE), S_OK);
    EXPECT_EQ(facts.width, 16384u);
    DecodedImage image;
    EXPECT_EQ(ReadJpegBytes(file, image), E_FAIL);
    // Data that ends one block row early is refused as well.
    Bytes cut = WrittenByUs(16, 16, Picture);
    SetFrameSize(cut, 16, 32);
    DecodedImage shortImage;
    EXPECT_EQ(ReadJpegBytes(cut, shortImage), E_FAIL);
}

// A progressive file keeps every coefficient while it decodes: with the
// pixels that passes the pixel limit for a colour file of 16384 x 16384,
// refused before any scan is read; a grey one fits and is refused when its
// data ends.
TEST_F(JpegPillowTest, ProgressiveFramesLargerThanTheirDataAreRefused) {
    for (const char* mode : {"RGB", "L"}) {
        const std::string path = PathOf(std::string("progressive_") + mode + ".jpg");
        ASSERT_TRUE(testing::RunPython(std::string(kPillowPicture) + "im.convert('" + mode +
                                           "').resize((16, 16)).save(sys.argv[1], progressive=True)\n",
                                       path));
        Bytes file = testing::ReadFileBytes(path);
        DecodedImage intact;
        ASSERT_EQ(ReadJpegBytes(file, intact), S_OK) << mode;
        SetFrameSize(file, 16384, 16384);
        DecodedImage image;
        EXPECT_EQ(ReadJpegBytes(file, image), E_FAIL) << mode;
        EXPECT_EQ(image.pixels, nullptr);
        // The header alone reads for the grey file, whose buffers fit.
        DecodedImage facts;
        EXPECT_EQ(ReadJpegBytes(file, facts, FALSE), std::string(mode) == "L" ? S_OK : E_FAIL) << mode;
        EXPECT_EQ(facts.pixels, nullptr);
    }
}

// Arithmetic-coded files built by hand: quantisation table 0 of ones, a
// frame of `components` components sampled 1 x 1 (SOF9 sequential, SOF10
// progressive), then scans without entropy-coded data: a DC scan and, for
// progressive files, `acScans` AC scans of the first component. The
// arithmetic decoder takes the missing data for zeros without a warning.
Bytes ArithmeticJpeg(bool progressive, UINT width, UINT height, int components, int acScans, bool withEnd = true) {
    Bytes b = {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};
    b.insert(b.end(), 64, 1);
    b.insert(b.end(), {0xFF, BYTE(progressive ? 0xCA : 0xC9), 0, BYTE(8 + 3 * components), 8, BYTE(height >> 8),
                       BYTE(height), BYTE(width >> 8), BYTE(width), BYTE(components)});
    for (int c = 1; c <= components; ++c) b.insert(b.end(), {BYTE(c), 0x11, 0});
    const auto scan = [&b](int count, BYTE start, BYTE end) {
        b.insert(b.end(), {0xFF, 0xDA, 0, BYTE(6 + 2 * count), BYTE(count)});
        for (int c = 1; c <= count; ++c) b.insert(b.end(), {BYTE(c), 0});
        b.insert(b.end(), {start, end, 0});
    };
    scan(components, 0, progressive ? 0 : 63);
    for (int i = 0; i < acScans; ++i) scan(1, 1, 63);
    if (withEnd) b.insert(b.end(), {0xFF, 0xD9});
    return b;
}

// 106 bytes declaring 1024 x 1024 x 3 (49152 blocks): the arithmetic decoder
// would fill the frame with zeros from nothing. Refused by the blocks a byte
// can stand for, whatever the coder; its header still reads.
TEST(JpegReader, ArithmeticCodedFramesLargerThanTheirDataAreRefused) {
    const Bytes file = ArithmeticJpeg(false, 1024, 1024, 3, 0);
    ASSERT_EQ(file.size(), 106u);
    DecodedImage image;
    EXPECT_EQ(ReadJpegBytes(file, image), E_FAIL);
    EXPECT_NE(LastReadFailure().find("49152 blocks, more than its 106 bytes"), std::string_view::npos)
        << LastReadFailure();
    DecodedImage facts;
    ASSERT_EQ(ReadJpegBytes(file, facts, FALSE), S_OK);
    EXPECT_EQ(facts.width, 1024u);
    // A frame its bytes can stand for reads.
    DecodedImage small;
    ASSERT_EQ(ReadJpegBytes(ArithmeticJpeg(false, 16, 16, 3, 0), small), S_OK) << LastReadFailure();
    EXPECT_EQ(small.width, 16u);
}

// Each scan costs a pass over every block: more than 200 are refused, and a
// header-only read reads no scan at all (here, of a file without its end,
// which a decode would run into).
TEST(JpegReader, ScansAreBoundedAndHeaderReadsReadNoScan) {
    DecodedImage few;
    EXPECT_EQ(ReadJpegBytes(ArithmeticJpeg(true, 8, 8, 1, 150), few), S_OK) << LastReadFailure();
    DecodedImage many;
    EXPECT_EQ(ReadJpegBytes(ArithmeticJpeg(true, 8, 8, 1, 250), many), E_FAIL);
    EXPECT_NE(LastReadFailure().find("more than 200 scans"), std::string_view::npos) << LastReadFailure();
    const Bytes endless = ArithmeticJpeg(true, 8, 8, 1, 100, false);
    DecodedImage cut;
    EXPECT_EQ(ReadJpegBytes(endless, cut), E_FAIL);
    DecodedImage facts;
    ASSERT_EQ(ReadJpegBytes(endless, facts, FALSE), S_OK) << LastReadFailure();
    EXPECT_EQ(facts.format, D3DFMT_L8);
    EXPECT_EQ(facts.width, 8u);
    EXPECT_EQ(facts.pixels, nullptr);
}

TEST(JpegReader, CutAndCorruptedFilesAreRefusedOrReadWithinTheirBytes) {
    const Bytes file = WrittenByUs(kWidth, kHeight, Picture);
    for (std::size_t n = 1; n < file.size(); ++n) {
        DecodedImage image;
        const HRESULT result = ReadJpegBytes(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n)), image);
        EXPECT_TRUE(result == S_OK || result == E_FAIL) << "cut at " << n;
    }
    std::mt19937 random(99);
    for (int round = 0; round < 400; ++round) {
        Bytes bytes = file;
        for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips)
            bytes[random() % bytes.size()] = static_cast<BYTE>(random());
        DecodedImage image;
        const HRESULT result = ReadJpegBytes(bytes, image);
        EXPECT_TRUE(result == S_OK || result == E_FAIL);
    }
}

TEST(JpegWriter, AFailedWriteFailsTheWriter) {
    EXPECT_EQ(testing::WriteNoiseIntoAFullFile(ImageFileFormat::Jpg), E_FAIL);
}

const fs::path kJpegCorpus = fs::path(QUILLMARK_CORPUS_DIR) / "jpg";

// Each file decodes to the reference reading of an independent decoder
// (within the differences of two IDCTs); cuts and corruptions of it are
// refused or read within their bytes.
TEST(JpegCorpus, EveryFileMatchesItsReferenceAndDamageIsSurvived) {
    if (!fs::exists(kJpegCorpus)) GTEST_SKIP() << "no corpus at " << kJpegCorpus;
    if (!testing::HaveImageMagick()) GTEST_SKIP() << "ImageMagick (convert, identify) is not installed";
    int compared = 0;
    testing::ForEachCorpusFile(kJpegCorpus, ".jpg", [&compared](const std::string& name, const Bytes&, HRESULT result,
                                                                const DecodedImage& image, const fs::path& reference) {
        ASSERT_EQ(result, S_OK) << name;
        if (reference.empty()) return;
        Rgba ours, expected;
        ASSERT_TRUE(testing::ToRgba(image, ours)) << name;
        ASSERT_TRUE(testing::ReadWithImageMagick(reference.string(), expected)) << name;
        // Rounding in the two decoders' upsampling may add up in a rare
        // sample; the mean shows that they agree.
        EXPECT_EQ(testing::CountDifferences(ours, expected, 6, false), 0u) << name;
        EXPECT_LE(testing::CountDifferences(ours, expected, 3, false), ours.bytes.size() / 1000) << name;
        EXPECT_LT(MeanDifference(ours, expected), 0.5) << name;
        ++compared;
    });
    EXPECT_EQ(compared, 3);
}

}  // namespace
}  // namespace quillmark
