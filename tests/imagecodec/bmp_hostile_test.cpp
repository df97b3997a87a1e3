// Truncated and corrupted bitmaps: every one is refused or read within its
// bytes, never a crash (run these under the sanitizer build). Each input is
// copied into a block of exactly its size so that any read past it is caught.
#include "bmp_test_files.h"
#include "decoded_image.h"
#include "image_codec.h"

#include <gtest/gtest.h>

#include <random>

namespace quillmark {
namespace {

using testing::Bmp;
using testing::Bytes;
using testing::Dib;
using testing::DibSpec;

// A copy of exactly the bytes, so that a read past them is seen.
HRESULT ReadExact(const Bytes& bytes, bool viaBmp) {
    const Bytes exact(bytes);
    DecodedImage image;
    return testing::ReadBitmap(image, exact, viaBmp);
}

std::vector<Bytes> SampleDibs() {
    std::vector<Bytes> dibs;
    DibSpec paletted;
    paletted.width = 5, paletted.height = 3, paletted.bitCount = 8, paletted.clrUsed = 4;
    dibs.push_back(Dib(paletted, {1, 2, 3, 4}, Bytes(24, 2)));
    DibSpec core;
    core.headerSize = 12, core.width = 9, core.height = -2, core.bitCount = 1;
    dibs.push_back(Dib(core, {0, 0xFFFFFF}, Bytes(8, 0x55)));
    DibSpec fields;
    fields.headerSize = 56, fields.width = 3, fields.height = 2, fields.bitCount = 16, fields.compression = 3;
    fields.masks[0] = 0x7C00, fields.masks[1] = 0x3E0, fields.masks[2] = 0x1F, fields.masks[3] = 0x8001;
    dibs.push_back(Dib(fields, {}, Bytes(16, 0x81)));
    DibSpec rle;
    rle.width = 4, rle.height = 2, rle.bitCount = 8, rle.compression = 1, rle.clrUsed = 2;
    dibs.push_back(Dib(rle, {0, 1}, {3, 1, 0, 0, 0, 4, 1, 0, 1, 0, 0, 0, 0, 1}));
    DibSpec rle4;
    rle4.width = 6, rle4.height = -2, rle4.bitCount = 4, rle4.compression = 2;
    dibs.push_back(Dib(rle4, std::vector<std::uint32_t>(16, 7), {6, 0x12, 0, 0, 0, 3, 0x45, 0x60, 0, 1}));
    return dibs;
}

TEST(BmpHostile, EveryCutOfABmpFileIsRefused) {
    for (const Bytes& dib : SampleDibs()) {
        const Bytes file = Bmp(dib);
        ASSERT_EQ(ReadExact(file, true), S_OK);
        for (std::size_t n = 0; n < file.size(); ++n) {
            const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
            EXPECT_EQ(ReadExact(cut, true), E_FAIL) << "cut at " << n;
        }
    }
}

TEST(BmpHostile, EveryCutOfADibIsRefusedOrReadWithinItsBytes) {
    for (const Bytes& dib : SampleDibs()) {
        ASSERT_EQ(ReadExact(dib, false), S_OK);
        std::size_t firstAccepted = dib.size();
        for (std::size_t n = 1; n < dib.size(); ++n) {
            const Bytes cut(dib.begin(), dib.begin() + static_cast<std::ptrdiff_t>(n));
            if (SUCCEEDED(ReadExact(cut, false)) && firstAccepted == dib.size()) firstAccepted = n;
        }
        // Only the last row's padding or trailing codes after the last line may go.
        EXPECT_GE(firstAccepted + 4, dib.size());
    }
}

TEST(BmpHostile, AbsurdHeaderValuesAreRefused) {
    const Bytes base = SampleDibs()[0];
    const std::uint32_t absurd[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x40000000, 0x10000};
    for (std::size_t field = 0; field + 4 <= 40; field += 4) {
        for (std::uint32_t value : absurd) {
            Bytes bytes = base;
            testing::Set32(bytes, field, value);
            const HRESULT result = ReadExact(bytes, false);
            EXPECT_TRUE(result == S_OK || result == E_FAIL) << field << " " << value;
        }
    }
}

TEST(BmpHostile, RandomCorruptionNeverCrashes) {
    std::mt19937 random(1234);
    for (const Bytes& dib : SampleDibs()) {
        for (int round = 0; round < 3000; ++round) {
            Bytes bytes = Bmp(dib);
            const int flips = 1 + static_cast<int>(random() % 4);
            for (int i = 0; i < flips; ++i) bytes[random() % bytes.size()] = static_cast<BYTE>(random());
            bytes.resize(bytes.size() - random() % 3);
            (void)ReadExact(bytes, random() % 2 == 0);
        }
    }
}

TEST(BmpHostile, RunLengthCodesPastTheEndAreRefused) {
    DibSpec spec;
    spec.width = 4, spec.height = 4, spec.bitCount = 8, spec.compression = 1, spec.clrUsed = 1;
    const Bytes streams[] = {
        {0, 200},           // absolute block of 200 with no bytes behind it
        {0, 2, 200},        // delta cut after dx
        {4, 1, 0},          // half a code after one line
    };
    for (const Bytes& data : streams) EXPECT_EQ(ReadExact(Dib(spec, {0}, data), false), E_FAIL);
}

}  // namespace
}  // namespace quillmark
