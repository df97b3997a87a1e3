// BC6H and BC7 blocks: blocks worked out by hand, and blocks of every mode
// (random bits under the mode's own bits) against Pillow's decoding of the
// same file.
#include "dds_test_files.h"
#include "pillow.h"
#include "rgba_helpers.h"
#include "scratch_directory.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <random>
#include <vector>

namespace quillmark {
namespace {

using testing::DdsFile;
using testing::DdsRead;
using testing::Dx10;
using testing::kDx10;

constexpr DWORD kBc6hUnsigned = 95, kBc6hSigned = 96, kBc7 = 98;

// A 16-byte block built a field at a time, from bit 0 up.
class BlockWriter {
public:
    BlockWriter& Put(unsigned value, int count) {
        for (int i = 0; i < count; ++i, ++position_)
            if (value >> i & 1) bytes_[position_ / 8] |= static_cast<BYTE>(1 << position_ % 8);
        return *this;
    }
    std::vector<BYTE> Bytes() const {
        EXPECT_EQ(position_, 128) << "a block holds 128 bits";
        return {bytes_.begin(), bytes_.end()};
    }

private:
    std::array<BYTE, 16> bytes_{};
    int position_ = 0;
};

// Index p for pixel p: the anchor (pixel 0) one bit short.
void PutCountingIndices(BlockWriter& block) {
    block.Put(0, 3);
    for (unsigned p = 1; p < 16; ++p) block.Put(p, 4);
}

WORD HalfAt(const DecodedImage& image, int pixel, int channel) {
    const BYTE* at = image.pixels + 8 * pixel + 2 * channel;
    return static_cast<WORD>(at[0] | at[1] << 8);
}

// Mode 11 (one subset, 10-bit endpoints stored whole), endpoint 0 all zero
// bits and endpoint 1 all one bits, index p at pixel p.
std::vector<BYTE> FullRangeBc6hBlock() {
    BlockWriter block;
    block.Put(0x03, 5).Put(0, 30).Put(0x3fffffff, 30);
    PutCountingIndices(block);
    return block.Bytes();
}

// Unsigned: 0 and 1023 are the ends of the range, 0 and 0xffff, scaled by
// 31/64 to 0 and 0x7bff (65504, the largest half). Index 8 (weight 34):
// (34 x 65535 + 32) / 64 = 34815, x 31 / 64 = 16863 = 0x41df.
// Signed: the same bits are 0 and -1; -1 unquantizes to -(32768 + 0x4000) /
// 512 = -64 (magnitude 1: (1 << 15 + 0x4000) >> 9 = 96, negated), index 15
// gives it whole: -(96 x 31 / 32) = -93, half bits 0x8000 | 93.
TEST(DdsBc6h, HandWorkedBlockUnsignedAndSigned) {
    const Dx10 unsignedHeader{.dxgi = kBc6hUnsigned}, signedHeader{.dxgi = kBc6hSigned};
    DdsRead read(DdsFile(4, 4, 1, kDx10, &unsignedHeader, FullRangeBc6hBlock()));
    ASSERT_EQ(read.result, S_OK);
    ASSERT_EQ(read.image.format, D3DFMT_A16B16G16R16F);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(HalfAt(read.image, 0, c), 0x0000);
        EXPECT_EQ(HalfAt(read.image, 8, c), 0x41df);
        EXPECT_EQ(HalfAt(read.image, 15, c), 0x7bff);
    }
    EXPECT_EQ(HalfAt(read.image, 5, 3), 0x3c00) << "alpha is 1";

    DdsRead signedRead(DdsFile(4, 4, 1, kDx10, &signedHeader, FullRangeBc6hBlock()));
    ASSERT_EQ(signedRead.result, S_OK);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(HalfAt(signedRead.image, 0, c), 0x0000);
        EXPECT_EQ(HalfAt(signedRead.image, 15, c), 0x8000 | 93);
    }
}

// Mode 0x07 (one subset, 11-bit endpoint 0, endpoint 1 as a 9-bit
// difference), signed: endpoint 0 is -2 (0x7fe), the difference +1, so
// endpoint 1 is 0x7ff, i.e. -1 (the sum keeps its sign). Unquantized over 10
// magnitude bits: -((2 << 15) + 0x4000) >> 10 = -80 and -48; as halves
// -(80 x 31 / 32) = -77 and -(48 x 31 / 32) = -46.
TEST(DdsBc6h, SignedDifferencesKeepTheirSign) {
    BlockWriter block;
    block.Put(0x07, 5);
    for (int c = 0; c < 3; ++c) block.Put(0x3fe, 10);
    for (int c = 0; c < 3; ++c) block.Put(1, 9).Put(1, 1);
    PutCountingIndices(block);
    const Dx10 header{.dxgi = kBc6hSigned};
    DdsRead read(DdsFile(4, 4, 1, kDx10, &header, block.Bytes()));
    ASSERT_EQ(read.result, S_OK);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(HalfAt(read.image, 0, c), 0x8000 | 77) << c;
        EXPECT_EQ(HalfAt(read.image, 15, c), 0x8000 | 46) << c;
    }
}

// The four reserved mode codes decode to black.
TEST(DdsBc6h, ReservedModesDecodeToBlack) {
    const Dx10 header{.dxgi = kBc6hUnsigned};
    for (const unsigned code : {0x13u, 0x17u, 0x1bu, 0x1fu}) {
        std::vector<BYTE> block(16, 0xa5);
        block[0] = static_cast<BYTE>((block[0] & ~0x1f) | code);
        DdsRead read(DdsFile(4, 4, 1, kDx10, &header, block));
        ASSERT_EQ(read.result, S_OK);
        for (int p = 0; p < 16; ++p) {
            EXPECT_EQ(HalfAt(read.image, p, 0) | HalfAt(read.image, p, 1) | HalfAt(read.image, p, 2), 0) << code;
            EXPECT_EQ(HalfAt(read.image, p, 3), 0x3c00) << code;
        }
    }
}

// Mode 6 (one subset, 7-bit endpoints and a p-bit each): endpoint 0 all
// zero, endpoint 1 all 127 with p-bit 1, i.e. 255; index p at pixel p with
// 4-bit weights w gives (w x 255 + 32) / 64: 0, 16, 36, 52, 68, 84, 104,
// 120, 135, 151, 171, 187, 203, 219, 239, 255.
TEST(DdsBc7, HandWorkedModeSixBlockAndTheBlockOfNoMode) {
    BlockWriter block;
    block.Put(1 << 6, 7);
    for (int channel = 0; channel < 4; ++channel) block.Put(0, 7).Put(127, 7);
    block.Put(0, 1).Put(1, 1);
    PutCountingIndices(block);
    const Dx10 header{.dxgi = kBc7};
    DdsRead read(DdsFile(4, 4, 1, kDx10, &header, block.Bytes()));
    ASSERT_EQ(read.result, S_OK);
    ASSERT_EQ(read.image.format, D3DFMT_A8R8G8B8);
    const BYTE expected[16] = {0, 16, 36, 52, 68, 84, 104, 120, 135, 151, 171, 187, 203, 219, 239, 255};
    for (int p = 0; p < 16; ++p)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(read.image.pixels[4 * p + c], expected[p]) << p << " " << c;

    std::vector<BYTE> noMode(16, 0xff);
    noMode[0] = 0;
    DdsRead zero(DdsFile(4, 4, 1, kDx10, &header, noMode));
    ASSERT_EQ(zero.result, S_OK);
    EXPECT_EQ(std::vector<BYTE>(zero.image.pixels, zero.image.pixels + 64), std::vector<BYTE>(64, 0));
}

constexpr UINT kBlocksAcross = 16, kBlockRowsPerMode = 8;

// Random blocks, kBlockRowsPerMode rows of them for each mode code; `setMode`
// writes a mode's bits into a block's first byte.
template <typename SetMode>
std::vector<BYTE> RandomBlocks(const std::vector<unsigned>& modes, SetMode setMode) {
    std::mt19937 random(23);
    std::vector<BYTE> blocks;
    for (const unsigned mode : modes) {
        for (UINT i = 0; i < kBlocksAcross * kBlockRowsPerMode; ++i) {
            BYTE block[16];
            for (BYTE& b : block) b = static_cast<BYTE>(random());
            block[0] = setMode(block[0], mode);
            blocks.insert(blocks.end(), block, block + 16);
        }
    }
    return blocks;
}

// Our decoding of a file against Pillow's, both as 8-bit RGBA.
void ExpectPillowAgrees(const std::vector<BYTE>& file, int tolerance, const char* what) {
    testing::ScratchDirectory scratch;
    const std::string path = scratch.PathOf("blocks.dds");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                static_cast<std::streamsize>(file.size()));
    DdsRead read(file);
    ASSERT_EQ(read.result, S_OK) << what;
    testing::Rgba ours, theirs;
    ASSERT_TRUE(testing::ToRgba(read.image, ours)) << what;
    ASSERT_TRUE(testing::ReadWithPillow(path, theirs)) << what;
    EXPECT_EQ(testing::CountDifferences(ours, theirs, tolerance, true), 0u) << what;
}

TEST(DdsBc7, EveryModeAgreesWithPillow) {
    if (!testing::HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
    const std::vector<unsigned> modes = {0, 1, 2, 3, 4, 5, 6, 7};
    const auto setMode = [](BYTE first, unsigned mode) {
        return static_cast<BYTE>((first & ~((2u << mode) - 1)) | 1u << mode);
    };
    const Dx10 header{.dxgi = kBc7};
    const UINT height = 4 * kBlockRowsPerMode * static_cast<UINT>(modes.size());
    ExpectPillowAgrees(DdsFile(4 * kBlocksAcross, height, 1, kDx10, &header, RandomBlocks(modes, setMode)), 0,
                       "BC7");
}

// Pillow reads BC6H into 8 bits, clamped to [0, 1] and rounded its own way:
// one step apart at most. Its signed decoding leaves the sum of endpoint 0
// and a difference unsigned (a large positive value where the sum is
// negative), so signed blocks are compared in the modes that store their
// endpoints whole; SignedDifferencesKeepTheirSign covers the others.
TEST(DdsBc6h, EveryModeAgreesWithPillow) {
    if (!testing::HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
    const std::vector<unsigned> modes = {0x00, 0x01, 0x02, 0x06, 0x0a, 0x0e, 0x12, 0x16, 0x1a, 0x1e, 0x03, 0x07,
                                         0x0b, 0x0f};
    const auto setMode = [](BYTE first, unsigned mode) {
        const unsigned bits = mode < 2 ? 0x03 : 0x1f;
        return static_cast<BYTE>((first & ~bits) | mode);
    };
    const auto file = [&](DWORD dxgi, const std::vector<unsigned>& codes) {
        const Dx10 header{.dxgi = dxgi};
        const UINT height = 4 * kBlockRowsPerMode * static_cast<UINT>(codes.size());
        return DdsFile(4 * kBlocksAcross, height, 1, kDx10, &header, RandomBlocks(codes, setMode));
    };
    ExpectPillowAgrees(file(kBc6hUnsigned, modes), 1, "BC6H");
    ExpectPillowAgrees(file(kBc6hSigned, {0x1e, 0x03}), 1, "BC6H signed");
}

}  // namespace
}  // namespace quillmark
