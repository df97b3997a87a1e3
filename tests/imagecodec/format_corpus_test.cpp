// TGA, PPM/PBM and HDR files made by other programs (the shared corpus): each
// decodes to its reference reading or is refused cleanly; and every reader,
// fed each corpus file, cut or corrupted, in a block of exactly its size,
// refuses it or reads within it (run under the sanitizer build to see
// over-reads).
#include "codec_test_support.h"
#include "rgba_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

namespace quillmark {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::ExactInput;

const fs::path kCorpus = QUILLMARK_CORPUS_DIR;

// Alpha read differently on purpose: the top bit of b5-attrib's 16-bit pixels
// is alpha here (an A1R5G5B5 image) where the reference reads every pixel as
// opaque; utc32's alpha bytes are all 0, which reads as an image without alpha
// (X8R8G8B8, opaque) here and as transparent in the reference.
const std::set<std::string> kTgaAlphaDiffers = {"b5-attrib.tga", "utc32.tga"};

std::vector<fs::path> FilesIn(const fs::path& dir) {
    std::vector<fs::path> files;
    if (!fs::exists(dir)) return files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}


TEST(FormatCorpus, TgaFilesMatchTheirReferencesOrAreRefused) {
    const fs::path dir = kCorpus / "tga";
    if (!fs::exists(dir)) GTEST_SKIP() << "no corpus at " << dir;
    if (!testing::HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
    int compared = 0;
    for (const fs::path& path : FilesIn(dir)) {
        const std::string name = path.filename().string();
        const Bytes bytes = testing::ReadFileBytes(path);
        const ExactInput input(bytes);
        DecodedImage image;
        const HRESULT result = image.ReadImage(input.Data(), input.Size(), nullptr, TRUE);
        const fs::path reference = dir / "reference" / (name + ".png");
        if (!fs::exists(reference)) {
            EXPECT_TRUE(result == S_OK || result == TEXERR_UNREADABLE) << name;
            continue;
        }
        ASSERT_EQ(result, S_OK) << name;
        EXPECT_EQ(image.fileFormat, ImageFileFormat::Tga) << name;
        testing::Rgba ours, theirs;
        ASSERT_TRUE(testing::ToRgba(image, ours)) << name;
        ASSERT_TRUE(testing::ReadWithImageMagick(reference.string(), theirs)) << name;
        // Five-bit channels are widened by repeating their top bits here, by
        // rounding in the reference: one step apart at most.
        EXPECT_EQ(testing::CountDifferences(ours, theirs, 1, kTgaAlphaDiffers.count(name) == 0), 0u) << name;
        ++compared;
    }
    EXPECT_GE(compared, 10);
}

TEST(FormatCorpus, PortableBitmapsAreRefused) {
    const std::vector<fs::path> files = FilesIn(kCorpus / "pbm");
    if (files.empty()) GTEST_SKIP() << "no corpus at " << kCorpus / "pbm";
    for (const fs::path& path : files) {
        const ExactInput input(testing::ReadFileBytes(path));
        DecodedImage image;
        EXPECT_EQ(image.ReadImage(input.Data(), input.Size(), nullptr, TRUE), TEXERR_UNREADABLE) << path;
    }
}

// oiiotool reads a mantissa m as m × 2^(E − 136), we as (m + 0.5) × 2^(E − 136).
// It cannot read old-rle.hdr (flat scanlines with repeat pixels); ours must.
TEST(FormatCorpus, HdrFilesReadAsOiioReadsThem) {
    const std::vector<fs::path> files = FilesIn(kCorpus / "hdr");
    if (files.empty()) GTEST_SKIP() << "no corpus at " << kCorpus / "hdr";
    if (!testing::HaveProgram("oiiotool")) GTEST_SKIP() << "oiiotool (openimageio-tools) is not installed";
    for (const fs::path& path : files) {
        const ExactInput input(testing::ReadFileBytes(path));
        DecodedImage image;
        ASSERT_EQ(image.ReadImage(input.Data(), input.Size(), nullptr, TRUE), S_OK) << path;
        EXPECT_EQ(image.fileFormat, ImageFileFormat::Hdr);
        if (path.filename() == "old-rle.hdr") continue;
        std::vector<float> theirs;
        ASSERT_TRUE(testing::ReadFloatsWithOiio(path.string(), image.width, image.height, theirs)) << path;
        EXPECT_EQ(testing::CountFloatDifferences(image, theirs, 1.0f / 256, 1e-8f), 0u) << path;
    }
}

// Every reader on `bytes` in a block of exactly its size: refused or read.
void ExpectEveryReaderCopes(const Bytes& bytes, const std::string& what) {
    const ExactInput input(bytes);
    for (const ImageCodec* codec : ImageCodecs()) {
        if (codec->read == nullptr) continue;
        DecodedImage image;
        const HRESULT result = testing::ReadWith(codec->read, input, image);
        EXPECT_TRUE(result == S_OK || result == E_FAIL || result == E_OUTOFMEMORY) << codec->name << " " << what;
    }
}

TEST(FormatCorpus, EveryReaderCopesWithCutAndCorruptedFiles) {
    std::vector<fs::path> files;
    for (const char* folder : {"tga", "pbm", "hdr"}) {
        const std::vector<fs::path> found = FilesIn(kCorpus / folder);
        files.insert(files.end(), found.begin(), found.end());
    }
    if (files.empty()) GTEST_SKIP() << "no corpus at " << kCorpus;
    std::mt19937 random(2026);
    for (const fs::path& path : files) {
        const Bytes whole = testing::ReadFileBytes(path);
        const std::string name = path.filename().string();
        ExpectEveryReaderCopes(whole, name);
        // Every cut within the headers, then cuts spread over the data.
        for (std::size_t n = 1; n < whole.size(); n += n < 256 ? 1 : std::max<std::size_t>(1, whole.size() / 64))
            ExpectEveryReaderCopes(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)),
                                   name + " cut at " + std::to_string(n));
        for (int round = 0; round < 40; ++round) {
            Bytes bytes = whole;
            for (int i = 0; i < 4; ++i) bytes[random() % std::min<std::size_t>(bytes.size(), 64)] = BYTE(random());
            bytes[random() % bytes.size()] = BYTE(random());
            ExpectEveryReaderCopes(bytes, name + " corrupted");
        }
    }
}

}  // namespace
}  // namespace quillmark
