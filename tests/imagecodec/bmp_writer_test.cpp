// The bitmap writer: exact bytes of a small file, and round trips through the
// reader for every format the writer stores.
#include "bmp_test_files.h"
#include "decoded_image.h"
#include "image_codec.h"
#include "image_output.h"
#include "memory_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace quillmark {
namespace {

using testing::Bytes;

struct Written {
    HRESULT result;
    Bytes bytes;
};

Written WriteToMemory(const DecodedImage& image, bool withFileHeader) {
    ImageOutput output;
    EXPECT_EQ(output.Open(nullptr, OutputKind::Memory), S_OK);
    Written w{withFileHeader ? FindImageCodec(ImageFileFormat::Bmp)->write(image, output) : FindImageCodec(ImageFileFormat::Dib)->write(image, output), {}};
    w.bytes.assign(output.MemoryBytes(), output.MemoryBytes() + output.TotalBytes());
    return w;
}

// An image over `pixels` with the given pitch and format.
void Describe(DecodedImage& image, D3DFORMAT format, std::vector<BYTE>& pixels, UINT width, UINT height, UINT pitch) {
    image.format = format;
    image.pixels = pixels.data();
    image.width = width;
    image.height = height;
    image.depth = 1;
    image.rowPitch = pitch;
    image.box = D3DBOX{0, 0, width, height, 0, 1};
}

TEST(BmpWriter, TwentyFourBitFileByteForByte) {
    std::vector<BYTE> pixels = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    DecodedImage image;
    Describe(image, D3DFMT_R8G8B8, pixels, 2, 2, 8);
    const Written w = WriteToMemory(image, true);
    ASSERT_EQ(w.result, S_OK);
    // 14 + 40 + 2 rows of 8 = 70, rounded up to 72.
    ASSERT_EQ(w.bytes.size(), 72u);
    EXPECT_EQ(w.bytes[0], 'B');
    EXPECT_EQ(w.bytes[1], 'M');
    EXPECT_EQ(w.bytes[2], 72);
    EXPECT_EQ(w.bytes[10], 54);  // bfOffBits
    EXPECT_EQ(w.bytes[14], 40);
    EXPECT_EQ(w.bytes[18], 2);   // width
    EXPECT_EQ(w.bytes[22], 2);   // height, positive: bottom-up
    EXPECT_EQ(w.bytes[28], 24);
    EXPECT_EQ(w.bytes[38], 0x12);  // 2834 pixels per metre
    EXPECT_EQ(w.bytes[39], 0x0B);
    const Bytes rows = {7, 8, 9, 10, 11, 12, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0, 0, 0};
    EXPECT_EQ(Bytes(w.bytes.begin() + 54, w.bytes.end()), rows);
}

TEST(BmpWriter, DibEndsWithTheSameTwoZeroBytesAsTheBmp) {
    std::vector<BYTE> pixels(16, 0x5A);
    DecodedImage image;
    Describe(image, D3DFMT_A8R8G8B8, pixels, 2, 2, 8);
    const Written bmp = WriteToMemory(image, true);
    const Written dib = WriteToMemory(image, false);
    ASSERT_EQ(dib.result, S_OK);
    EXPECT_EQ(dib.bytes.size() + 14, bmp.bytes.size());
    EXPECT_EQ(Bytes(bmp.bytes.begin() + 14, bmp.bytes.end()), dib.bytes);
    EXPECT_EQ(dib.bytes[dib.bytes.size() - 1], 0);
    EXPECT_EQ(dib.bytes[dib.bytes.size() - 2], 0);
}

TEST(BmpWriter, BoxSelectsTheRegionWritten) {
    std::vector<BYTE> pixels(4 * 4 * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<BYTE>(i);
    DecodedImage image;
    Describe(image, D3DFMT_A8R8G8B8, pixels, 2, 1, 16);
    image.box = D3DBOX{1, 2, 3, 3, 0, 1};
    const Written w = WriteToMemory(image, false);
    ASSERT_EQ(w.result, S_OK);
    const Bytes row(pixels.begin() + 2 * 16 + 4, pixels.begin() + 2 * 16 + 12);
    const std::size_t bits = w.bytes[0];  // the header's size: the pixels follow it
    EXPECT_EQ(Bytes(w.bytes.begin() + bits, w.bytes.begin() + bits + 8), row);
}

// Found by the round-trip fuzz target: an image whose alpha is 0 everywhere
// was written uncompressed, and all-zero fourth bytes read as no alpha, so
// the transparent image came back opaque. With an alpha mask it comes back.
TEST(BmpWriter, TransparentImagesReadBackTransparent) {
    std::vector<BYTE> pixels = {1, 2, 3, 0, 4, 5, 6, 0};
    DecodedImage image;
    Describe(image, D3DFMT_A8R8G8B8, pixels, 2, 1, 8);
    for (const bool withFileHeader : {true, false}) {
        const Written w = WriteToMemory(image, withFileHeader);
        ASSERT_EQ(w.result, S_OK);
        DecodedImage back;
        ASSERT_EQ(back.ReadImage(w.bytes.data(), static_cast<UINT>(w.bytes.size()), nullptr, TRUE), S_OK);
        EXPECT_EQ(back.format, D3DFMT_A8R8G8B8) << withFileHeader;
        EXPECT_EQ(Bytes(back.pixels, back.pixels + 8), Bytes(pixels.begin(), pixels.end()));
    }
}

TEST(BmpWriter, RefusesFormatsWithoutAHeaderAndPalettedImagesWithoutPalette) {
    std::vector<BYTE> pixels(16);
    DecodedImage image;
    Describe(image, D3DFMT_A16B16G16R16, pixels, 1, 1, 8);
    EXPECT_EQ(WriteToMemory(image, true).result, E_FAIL);
    Describe(image, D3DFMT_P8, pixels, 1, 1, 4);
    EXPECT_EQ(WriteToMemory(image, true).result, E_FAIL);
}

struct RoundTrip {
    D3DFORMAT written;
    UINT bytesPerPixel;
    D3DFORMAT read;  // the reader's format for what was written
};

TEST(BmpWriter, EveryWriterFormatRoundTripsThroughTheReader) {
    const RoundTrip cases[] = {
        {D3DFMT_R8G8B8, 3, D3DFMT_R8G8B8},           {D3DFMT_A8R8G8B8, 4, D3DFMT_A8R8G8B8},
        {D3DFMT_X1R5G5B5, 2, D3DFMT_X1R5G5B5},       {D3DFMT_R5G6B5, 2, D3DFMT_R5G6B5},
        {D3DFMT_A1R5G5B5, 2, D3DFMT_A1R5G5B5},       {D3DFMT_A4R4G4B4, 2, D3DFMT_A4R4G4B4},
        {D3DFMT_X4R4G4B4, 2, D3DFMT_X4R4G4B4},       {D3DFMT_A8R3G3B2, 2, D3DFMT_A8R3G3B2},
        {D3DFMT_A8L8, 2, D3DFMT_A8L8},               {D3DFMT_L16, 2, D3DFMT_L16},
        {D3DFMT_A2B10G10R10, 4, D3DFMT_A2B10G10R10}, {D3DFMT_A2R10G10B10, 4, D3DFMT_A2R10G10B10},
        {D3DFMT_A8B8G8R8, 4, D3DFMT_A8B8G8R8},       {D3DFMT_X8B8G8R8, 4, D3DFMT_X8B8G8R8},
        {D3DFMT_G16R16, 4, D3DFMT_G16R16},           {D3DFMT_P8, 1, D3DFMT_P8},
        {D3DFMT_L8, 1, D3DFMT_P8},                   {D3DFMT_R3G3B2, 1, D3DFMT_P8},
    };
    const UINT width = 5, height = 3;
    for (const RoundTrip& c : cases) {
        const UINT pitch = width * c.bytesPerPixel + 3;  // an odd pitch, wider than the row
        std::vector<BYTE> pixels(pitch * height);
        for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<BYTE>(i * 37 + 11);
        std::vector<PALETTEENTRY> palette(256);
        for (int i = 0; i < 256; ++i) palette[i] = PALETTEENTRY{BYTE(i), BYTE(255 - i), BYTE(i * 3), 255};
        DecodedImage image;
        Describe(image, c.written, pixels, width, height, pitch);
        if (c.written == D3DFMT_P8) image.palette = palette.data();
        const Written w = WriteToMemory(image, true);
        ASSERT_EQ(w.result, S_OK) << c.written;

        DecodedImage back;
        ASSERT_EQ(back.ReadImage(w.bytes.data(), static_cast<UINT>(w.bytes.size()), nullptr, TRUE), S_OK);
        EXPECT_EQ(back.format, c.read) << c.written;
        ASSERT_EQ(back.width, width);
        ASSERT_EQ(back.height, height);
        // The unused top byte of X8B8G8R8 is written as 255 (see below).
        const bool unusedTopByte = c.written == D3DFMT_X8B8G8R8;
        for (UINT y = 0; y < height; ++y)
            for (UINT i = 0; i < width * c.bytesPerPixel; ++i)
                if (!unusedTopByte || i % 4 != 3) {
                    ASSERT_EQ(back.pixels[y * back.rowPitch + i], pixels[y * pitch + i]) << c.written << " row " << y;
                }
        if (c.written == D3DFMT_P8) {
            EXPECT_EQ(back.palette[200].peRed, 200);
            EXPECT_EQ(back.palette[200].peGreen, 55);
        }
        if (c.written == D3DFMT_L8) {
            EXPECT_EQ(back.palette[77].peGreen, 77);
        }
        if (c.written == D3DFMT_R3G3B2) {
            // Entry 0b101'011'10: red L[5], green L[3], blue K[2].
            EXPECT_EQ(back.palette[0xAE].peRed, 182);
            EXPECT_EQ(back.palette[0xAE].peGreen, 109);
            EXPECT_EQ(back.palette[0xAE].peBlue, 170);
        }
    }
}

TEST(BmpWriter, UnusedFourthBytesAreWrittenOpaqueAndReadBackWithoutAlpha) {
    // 255 in a .bmp file, 0 in a DIB (see bmp_imagemagick_test.cpp for why).
    for (const bool withFileHeader : {true, false}) {
        for (const D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_X8B8G8R8}) {
            std::vector<BYTE> pixels = {1, 2, 3, 0, 4, 5, 6, 77};
            DecodedImage image;
            Describe(image, format, pixels, 2, 1, 8);
            const Written w = WriteToMemory(image, withFileHeader);
            ASSERT_EQ(w.result, S_OK);
            const std::size_t bits = (withFileHeader ? 14 : 0) + w.bytes[withFileHeader ? 14 : 0];
            const BYTE unused = withFileHeader ? 255 : 0;
            EXPECT_EQ(Bytes(w.bytes.begin() + bits, w.bytes.begin() + bits + 8),
                      Bytes({1, 2, 3, unused, 4, 5, 6, unused}))
                << format << " " << withFileHeader;
            DecodedImage back;
            ASSERT_EQ(back.ReadImage(w.bytes.data(), static_cast<UINT>(w.bytes.size()), nullptr, TRUE), S_OK);
            EXPECT_EQ(back.format, format);
            EXPECT_EQ(pixels[7], 77) << "the image itself is left alone";
        }
    }
    // A format with alpha keeps its fourth bytes.
    std::vector<BYTE> pixels = {1, 2, 3, 0, 4, 5, 6, 77};
    DecodedImage image;
    Describe(image, D3DFMT_A8R8G8B8, pixels, 2, 1, 8);
    const Written w = WriteToMemory(image, false);
    EXPECT_EQ(Bytes(w.bytes.begin() + w.bytes[0], w.bytes.begin() + w.bytes[0] + 8), Bytes(pixels.begin(), pixels.end()));
}

}  // namespace
}  // namespace quillmark
