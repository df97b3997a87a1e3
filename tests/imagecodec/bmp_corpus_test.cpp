// Bitmaps made by other programs: each decodes to the reference reading of
// an independent decoder, except the layouts this reader refuses by design;
// damaged files are refused or read, never a crash.
#include "decoded_image.h"
#include "mapped_file.h"
#include "rgba_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

namespace quillmark {
namespace {

namespace fs = std::filesystem;

const fs::path kBmpDir = fs::path(QUILLMARK_CORPUS_DIR) / "bmp";

// Layouts refused on purpose: 2 bits per pixel, compressions beyond the
// bit-field one (24-bit run lengths, alpha bit fields), and a core header
// whose short colour table is found only through bfOffBits (the pixels are
// always taken after a full table).
const std::set<std::string> kRefused = {
    "pal2.bmp", "pal2color.bmp", "rgb24rle24.bmp", "rgba32abf.bmp", "pal8os2sp.bmp",
};

// Pixels read differently on purpose: those that run-length data never
// reaches are palette index 0 here (black in the reference), and indices past
// a short colour table are opaque white here (black in the reference).
const std::set<std::string> kDifferInUnreachedPixels = {"pal4rlecut.bmp", "pal4rletrns.bmp"};
const std::set<std::string> kDifferPastColourTable = {"pal8badindex.bmp"};

// Counts pixels that differ from the reference other than in the ways above:
// a difference is allowed only where the reference is opaque black and ours
// is `allowed`.
std::size_t UnexplainedDifferences(const testing::Rgba& ours, const testing::Rgba& reference,
                                   const PALETTEENTRY& allowed) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < ours.bytes.size(); i += 4) {
        bool same = true;
        for (int c = 0; c < 4; ++c) same = same && std::abs(int(ours.bytes[i + c]) - int(reference.bytes[i + c])) <= 2;
        if (same) continue;
        const bool referenceBlack = reference.bytes[i] == 0 && reference.bytes[i + 1] == 0 &&
                                    reference.bytes[i + 2] == 0 && reference.bytes[i + 3] == 255;
        const bool oursAllowed = ours.bytes[i] == allowed.peRed && ours.bytes[i + 1] == allowed.peGreen &&
                                 ours.bytes[i + 2] == allowed.peBlue && ours.bytes[i + 3] == 255;
        if (!referenceBlack || !oursAllowed) ++count;
    }
    return count;
}

std::vector<fs::path> BitmapsIn(const fs::path& dir) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".bmp") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

HRESULT Decode(const fs::path& path, MappedFile& file, DecodedImage& image) {
    const HRESULT opened = file.Open(path.string().c_str(), false);
    if (FAILED(opened)) return opened;
    return image.ReadImage(file.Data(), file.Size(), nullptr, TRUE);
}

TEST(BmpCorpus, EveryBitmapMatchesItsReferenceOrIsRefusedByDesign) {
    if (!fs::exists(kBmpDir)) GTEST_SKIP() << "no corpus at " << kBmpDir;
    if (!testing::HaveImageMagick()) GTEST_SKIP() << "ImageMagick (convert, identify) is not installed";
    int compared = 0;
    for (const fs::path& path : BitmapsIn(kBmpDir)) {
        const std::string name = path.filename().string();
        MappedFile file;
        DecodedImage image;
        const HRESULT result = Decode(path, file, image);
        if (kRefused.count(name) != 0) {
            EXPECT_EQ(result, TEXERR_UNREADABLE) << name;
            continue;
        }
        const fs::path referencePng = kBmpDir / "reference" / (name + ".png");
        if (!fs::exists(referencePng)) continue;  // no reference reading: only must not crash
        ASSERT_EQ(result, S_OK) << name;
        testing::Rgba ours, reference;
        ASSERT_TRUE(testing::ToRgba(image, ours)) << name;
        ASSERT_TRUE(testing::ReadWithImageMagick(referencePng.string(), reference))
            << name;
        if (kDifferInUnreachedPixels.count(name) != 0)
            EXPECT_EQ(UnexplainedDifferences(ours, reference, image.palette[0]), 0u) << name;
        else if (kDifferPastColourTable.count(name) != 0)
            EXPECT_EQ(UnexplainedDifferences(ours, reference, PALETTEENTRY{255, 255, 255, 255}), 0u) << name;
        else
            EXPECT_EQ(testing::CountDifferences(ours, reference, 2, true), 0u) << name;
        ++compared;
    }
    EXPECT_GT(compared, 40);
}

TEST(BmpCorpus, DamagedFilesAreRefusedOrReadWithoutCrashing) {
    const fs::path lenient = kBmpDir / "lenient";
    if (!fs::exists(lenient)) GTEST_SKIP() << "no corpus at " << lenient;
    for (const fs::path& path : BitmapsIn(lenient)) {
        MappedFile file;
        DecodedImage image;
        const HRESULT result = Decode(path, file, image);
        EXPECT_TRUE(result == S_OK || result == TEXERR_UNREADABLE) << path.filename();
        if (SUCCEEDED(result)) {
            testing::Rgba ours;
            EXPECT_TRUE(testing::ToRgba(image, ours)) << path.filename();
        }
    }
}

}  // namespace
}  // namespace quillmark
