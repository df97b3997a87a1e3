// The TGA reader on files built byte by byte: where each stored pixel lands
// for every origin and direction, run-length packets, colour maps, the alpha
// check and the header and size checks.
#include "codec_test_support.h"
#include "imagecodec/read_failure.h"
#include "pillow.h"
#include "scratch_directory.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quillmark {
namespace {

using testing::Bytes;
using testing::ExactInput;

struct TgaSpec {
    BYTE imageType = 2;
    UINT width = 1;
    UINT height = 1;
    BYTE depth = 24;
    BYTE descriptor = 0;
    BYTE mapType = 0;
    UINT firstEntry = 0;
    UINT mapLength = 0;
    BYTE entryBits = 0;
    Bytes map = {};
    BYTE idLength = 0;
};

Bytes Tga(const TgaSpec& s, const Bytes& data) {
    Bytes b = {s.idLength, s.mapType, s.imageType};
    for (UINT v : {s.firstEntry, s.mapLength}) b.push_back(BYTE(v)), b.push_back(BYTE(v >> 8));
    b.push_back(s.entryBits);
    b.insert(b.end(), 4, 0);  // origin
    for (UINT v : {s.width, s.height}) b.push_back(BYTE(v)), b.push_back(BYTE(v >> 8));
    b.push_back(s.depth);
    b.push_back(s.descriptor);
    b.insert(b.end(), s.idLength, 'i');
    b.insert(b.end(), s.map.begin(), s.map.end());
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// A file read by the TGA reader; the record may point into the input.
struct TgaRead {
    explicit TgaRead(const Bytes& file, BOOL decode = TRUE)
        : input(file), result(testing::ReadWith(FindImageCodec(ImageFileFormat::Tga)->read, input, image, decode)) {}
    ExactInput input;
    DecodedImage image;
    HRESULT result;
};

// Reads a file whose pixels are one byte each (grey); the result as text, one
// character per pixel, rows top-down, separated by '/'.
std::string GreyRows(const Bytes& file) {
    const TgaRead read(file);
    const DecodedImage& image = read.image;
    if (FAILED(read.result)) return "refused";
    std::string rows;
    for (UINT y = 0; y < image.height; ++y) {
        if (y != 0) rows += '/';
        for (UINT x = 0; x < image.width; ++x) rows += static_cast<char>(image.pixels[y * image.rowPitch + x]);
    }
    return rows;
}

TEST(TgaReader, EveryOriginAndDirectionPlacesTheStoredRows) {
    const Bytes stored = {'a', 'b', 'c', 'd', 'e', 'f'};  // two stored rows of three
    const Bytes runLength = {0x02, 'a', 'b', 'c', 0x80, 'd', 0x01, 'e', 'f'};
    const struct {
        BYTE descriptor;
        const char* rows;
    } cases[] = {{0x20, "abc/def"}, {0x00, "def/abc"}, {0x30, "cba/fed"}, {0x10, "fed/cba"}};
    for (const auto& c : cases) {
        TgaSpec spec{.imageType = 3, .width = 3, .height = 2, .depth = 8, .descriptor = c.descriptor};
        EXPECT_EQ(GreyRows(Tga(spec, stored)), c.rows) << int(c.descriptor);
        spec.imageType = 11;
        EXPECT_EQ(GreyRows(Tga(spec, runLength)), c.rows) << int(c.descriptor);
    }
}

TEST(TgaReader, OnlyTopDownLeftToRightRawPixelsAreUsedInPlace) {
    const Bytes data = {1, 2, 3, 4, 5, 6};
    for (BYTE descriptor : {0x20, 0x00, 0x30}) {
        const TgaRead read(Tga({.width = 2, .height = 1, .descriptor = descriptor}, data));
        ASSERT_EQ(read.result, S_OK);
        const bool inPlace = read.image.pixels == read.input.Data() + 18;
        EXPECT_EQ(inPlace, descriptor == 0x20) << int(descriptor);
        EXPECT_EQ(read.image.ownsPixels, !inPlace);
        EXPECT_EQ(read.image.format, D3DFMT_R8G8B8);
        EXPECT_EQ(read.image.rowPitch, 6u);
    }
}

TEST(TgaReader, PacketsCrossingARowEndRunOnIntoTheNextRow) {
    // A run of 6 in rows of 4: two pixels go to the next row, which the next
    // packet finishes; pixels past the image's end are dropped.
    const TgaSpec spec{.imageType = 11, .width = 4, .height = 2, .depth = 8, .descriptor = 0x20};
    EXPECT_EQ(GreyRows(Tga(spec, {0x85, 'A', 0x83, 'B'})), "AAAA/AABB");
    // A literal of 128 starting 10 pixels before the end of a row of 12 fills
    // the rest of the image; in a bottom-up file its surplus fills the row above.
    Bytes data = {0x81, 'x', 0x7F};
    for (int i = 0; i < 128; ++i) data.push_back(BYTE('a' + i % 26));
    const TgaSpec wide{.imageType = 11, .width = 12, .height = 2, .depth = 8, .descriptor = 0x20};
    EXPECT_EQ(GreyRows(Tga(wide, data)), "xxabcdefghij/klmnopqrstuv");
    EXPECT_EQ(GreyRows(Tga({.imageType = 11, .width = 12, .height = 2, .depth = 8}, data)),
              "klmnopqrstuv/xxabcdefghij");
    // Mirrored rows take the carried pixels from their right end.
    EXPECT_EQ(GreyRows(Tga({.imageType = 11, .width = 3, .height = 2, .depth = 8, .descriptor = 0x30},
                           {0x84, 'A', 0x00, 'b'})),
              "AAA/bAA");
    // Packets that end at row ends read as before.
    EXPECT_EQ(GreyRows(Tga(spec, {0x83, 'A', 0x01, 'b', 'c', 0x81, 'D'})), "AAAA/bcDD");
    // A packet whose pixels run out in the next row is refused.
    EXPECT_EQ(GreyRows(Tga(spec, {0x05, 'a', 'b', 'c', 'd', 'e'})), "refused");
}

TEST(TgaReader, UnusedAlphaGivesTheFormatWithoutAlphaWhenDecoding) {
    const struct {
        BYTE depth;
        Bytes data;
        D3DFORMAT decoded;
    } cases[] = {
        {32, {1, 2, 3, 0, 4, 5, 6, 0}, D3DFMT_X8R8G8B8},
        {32, {1, 2, 3, 0, 4, 5, 6, 1}, D3DFMT_A8R8G8B8},
        {16, {0xFF, 0x7F, 0, 0}, D3DFMT_X1R5G5B5},
        {16, {0, 0, 0, 0x80}, D3DFMT_A1R5G5B5},
        {15, {0, 0x80, 0, 0x80}, D3DFMT_X1R5G5B5},
    };
    for (const auto& c : cases) {
        const Bytes file = Tga({.width = 2, .height = 1, .depth = c.depth}, c.data);
        const TgaRead decoded(file), header(file, FALSE);
        ASSERT_EQ(decoded.result, S_OK);
        EXPECT_EQ(decoded.image.format, c.decoded) << int(c.depth);
        ASSERT_EQ(header.result, S_OK);
        EXPECT_EQ(header.image.format,
                  c.depth == 32 ? D3DFMT_A8R8G8B8 : c.depth == 16 ? D3DFMT_A1R5G5B5 : D3DFMT_X1R5G5B5);
    }
}

TEST(TgaReader, ColourMapEntriesGoFromTheFirstEntryOn) {
    // 20 sixteen-bit entries from index 10, none with bit 15: all opaque.
    Bytes map = {};
    for (int i = 0; i < 20; ++i) map.insert(map.end(), {BYTE(0x1F), BYTE(i == 0 ? 0x7C : 0x00)});  // white, then blue
    const TgaSpec spec{.imageType = 1, .width = 2, .depth = 8, .mapType = 1, .firstEntry = 10, .mapLength = 20,
                       .entryBits = 16, .map = map};
    const TgaRead read(Tga(spec, {10, 29}));
    ASSERT_EQ(read.result, S_OK);
    EXPECT_EQ(read.image.format, D3DFMT_P8);
    const PALETTEENTRY* p = read.image.palette;
    for (int i : {0, 9, 30, 255})
        EXPECT_TRUE(p[i].peRed == 255 && p[i].peGreen == 255 && p[i].peBlue == 255 && p[i].peFlags == 255) << i;
    EXPECT_TRUE(p[11].peRed == 0 && p[11].peGreen == 0 && p[11].peBlue == 255 && p[11].peFlags == 255);
    EXPECT_EQ(p[10].peRed, 255);

    // 32-bit entries keep their alpha; 24-bit ones are opaque.
    const TgaSpec argb{.imageType = 1, .depth = 8, .mapType = 1, .mapLength = 1, .entryBits = 32, .map = {1, 2, 3, 4}};
    const TgaRead withAlpha(Tga(argb, {0}));
    ASSERT_EQ(withAlpha.result, S_OK);
    const PALETTEENTRY& entry = withAlpha.image.palette[0];
    EXPECT_TRUE(entry.peRed == 3 && entry.peGreen == 2 && entry.peBlue == 1 && entry.peFlags == 4);
    // A map reaching past index 255 is refused.
    EXPECT_EQ(GreyRows(Tga({.imageType = 1, .depth = 8, .mapType = 1, .firstEntry = 250, .mapLength = 7,
                            .entryBits = 24, .map = Bytes(21)},
                           {0})),
              "refused");
}

TEST(TgaReader, ImplausibleHeadersAreRefused) {
    const Bytes pixel = {1, 2, 3};
    const TgaSpec refused[] = {
        {.imageType = 0},  {.imageType = 32}, {.imageType = 33}, {.imageType = 4},
        {.width = 0},      {.height = 0},     {.depth = 12},     {.mapType = 2},
        {.mapType = 1, .entryBits = 8},       {.imageType = 1, .depth = 8},  // colour-mapped without a map
        {.imageType = 3, .depth = 24},
    };
    for (const TgaSpec& spec : refused) EXPECT_EQ(GreyRows(Tga(spec, pixel)), "refused");
    // An ID and a colour map before the pixels of a true-colour image are skipped.
    const TgaRead read(Tga({.mapType = 1, .mapLength = 2, .entryBits = 15, .map = {9, 9, 9, 9}, .idLength = 5}, pixel));
    ASSERT_EQ(read.result, S_OK);
    EXPECT_EQ(read.image.pixels[2], 3);
}

TEST(TgaReader, SizesBeyondTheDataOrTheLimitsAreRefused) {
    // 32768 x 32768 at 32 bits is 4 GiB: refused before anything is allocated.
    EXPECT_EQ(GreyRows(Tga({.width = 32768, .height = 32768, .depth = 32}, Bytes(4096, 0))), "refused");
    EXPECT_EQ(GreyRows(Tga({.imageType = 10, .width = 65535, .height = 65535, .depth = 32}, Bytes(4096, 0xFF))),
              "refused");
    // One byte short of the last pixel, raw and run-length.
    EXPECT_EQ(GreyRows(Tga({.imageType = 3, .width = 2, .height = 2, .depth = 8}, {1, 2, 3})), "refused");
    const TgaSpec runLength{.imageType = 11, .width = 2, .height = 2, .depth = 8, .descriptor = 0x20};
    EXPECT_EQ(GreyRows(Tga(runLength, {0x81, 1, 0x01, 2})), "refused");
    EXPECT_EQ(GreyRows(Tga(runLength, {0x81, 1, 0x01, 2, 3})), "\1\1/\2\3");
}

// Refusals after the header was taken for TGA's say what is wrong.
TEST(TgaReader, RefusalsSayWhatIsWrong) {
    const auto refusal = [](const Bytes& file) {
        DecodedImage image;
        EXPECT_EQ(image.ReadImage(file.data(), static_cast<UINT>(file.size()), nullptr, TRUE), TEXERR_UNREADABLE);
        return std::string(LastReadFailure());
    };
    EXPECT_NE(refusal(Tga({.depth = 12}, {1, 2})).find("pixel depth of 12 bits"), std::string::npos);
    EXPECT_NE(refusal(Tga({.width = 2, .height = 2}, {1, 2, 3})).find("shorter than 2 x 2 pixels need"),
              std::string::npos);
    EXPECT_NE(refusal(Tga({.imageType = 1, .depth = 8, .mapType = 1, .firstEntry = 250, .mapLength = 7,
                           .entryBits = 24, .map = Bytes(21)},
                          {0}))
                  .find("past the 256 a palette holds"),
              std::string::npos);
    EXPECT_EQ(refusal(Tga({.depth = 12}, {1, 2})).rfind("it is a TGA file, but ", 0), 0u);
}

// 16-bit grey: grey in the first byte of each pixel, alpha in the second,
// the layout of A8L8; raw and run-length.
TEST(TgaReader, SixteenBitGreyIsGreyWithAlpha) {
    for (const BYTE type : {BYTE{3}, BYTE{11}}) {
        const Bytes data = type == 3 ? Bytes{10, 200, 20, 100} : Bytes{0x01, 10, 200, 20, 100};
        const TgaRead read(Tga({.imageType = type, .width = 2, .height = 1, .depth = 16}, data));
        ASSERT_EQ(read.result, S_OK) << int(type);
        EXPECT_EQ(read.image.format, D3DFMT_A8L8);
        EXPECT_EQ(read.image.rowPitch, 4u);
        EXPECT_EQ(Bytes(read.image.pixels, read.image.pixels + 4), (Bytes{10, 200, 20, 100}));
    }
}

// Files Pillow writes from its "LA" mode (image types 3 and 11 at 16 bits,
// both origins) read as Pillow reads them.
TEST(TgaReader, GreyWithAlphaFilesFromPillowReadAsPillowReadsThem) {
    if (!testing::HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
    const testing::ScratchDirectory scratch;
    for (const char* options : {"", "compression='tga_rle'", "orientation=1", "compression='tga_rle', orientation=1"}) {
        const std::string path = scratch.PathOf("la.tga");
        ASSERT_TRUE(testing::RunPython(std::string("import sys\nfrom PIL import Image\n"
                                                   "im = Image.new('LA', (37, 19))\n"
                                                   "im.putdata([((x * 7 + y * 13) % 256, (x * y * 5) % 256)"
                                                   " for y in range(19) for x in range(37)])\n"
                                                   "im.save(sys.argv[1], ") +
                                           options + ")\n",
                                       path))
            << options;
        const Bytes file = testing::ReadFileBytes(path);
        ASSERT_GE(file.size(), 18u);
        EXPECT_EQ(file[16], 16) << options;
        DecodedImage image;
        ASSERT_EQ(image.ReadImage(file.data(), static_cast<UINT>(file.size()), nullptr, TRUE), S_OK)
            << options << ": " << LastReadFailure();
        EXPECT_EQ(image.format, D3DFMT_A8L8);
        testing::Rgba ours, theirs;
        ASSERT_TRUE(testing::ToRgba(image, ours));
        ASSERT_TRUE(testing::ReadWithPillow(path, theirs));
        EXPECT_EQ(testing::CountDifferences(ours, theirs, 0, true), 0u) << options;
    }
}

// The shared corpus's 16-bit grey files, if it has any, against their references.
TEST(TgaReader, CorpusGreyWithAlphaFilesMatchTheirReferences) {
    const std::filesystem::path folder = std::filesystem::path(QUILLMARK_CORPUS_DIR) / "tga";
    if (!std::filesystem::exists(folder)) GTEST_SKIP() << "no corpus at " << folder;
    if (!testing::HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".tga") continue;
        const Bytes file = testing::ReadFileBytes(entry.path());
        if (file.size() < 18 || (file[2] & 3) != 3 || file[16] != 16) continue;
        const std::filesystem::path reference = folder / "reference" / (entry.path().filename().string() + ".png");
        if (!std::filesystem::exists(reference)) continue;
        DecodedImage image;
        ASSERT_EQ(image.ReadImage(file.data(), static_cast<UINT>(file.size()), nullptr, TRUE), S_OK) << entry.path();
        testing::Rgba ours, theirs;
        ASSERT_TRUE(testing::ToRgba(image, ours));
        ASSERT_TRUE(testing::ReadWithImageMagick(reference.string(), theirs));
        EXPECT_EQ(testing::CountDifferences(ours, theirs, 0, true), 0u) << entry.path();
        ++checked;
    }
    if (checked == 0) GTEST_SKIP() << "the corpus has no 16-bit grey TGA with a reference";
}

}  // namespace
}  // namespace quillmark
