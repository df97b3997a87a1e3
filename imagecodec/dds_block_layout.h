// What BC6H and BC7 blocks share: the reading of a block's 128 bits, and the
// partitions: which subset each of a block's
// 16 pixels (in pixel order, 4 x row + column) belongs to, for the 64 shapes
// of two and of three subsets, and each subset's anchor pixel (the pixel
// whose index is stored one bit short, its top bit being 0). Subset 0's
// anchor is always pixel 0. BC6H uses the first 32 shapes of two subsets.
#pragma once

#include "platform/d3d9/d3d9types.h"

#include <cstdint>

namespace quillmark::dds {

// The bits of one 16-byte block, taken from the lowest up (bit 0 is the
// lowest bit of the first byte).
class BlockBits {
public:
    explicit BlockBits(const BYTE* block) : low_(Load(block)), high_(Load(block + 8)) {}

    // The next `count` bits (0 to 32) as a number, the first taken lowest.
    UINT Take(UINT count) {
        if (count == 0) return 0;
        const auto value = static_cast<UINT>(low_ & ((std::uint64_t{1} << count) - 1));
        low_ = low_ >> count | high_ << (64 - count);
        high_ >>= count;
        return value;
    }

private:
    static std::uint64_t Load(const BYTE* bytes) {
        std::uint64_t value = 0;
        for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
        return value;
    }

    std::uint64_t low_, high_;
};

// The interpolation weights (out of 64) of 2-, 3- and 4-bit indices, and the
// interpolation itself, rounded: ((64 - w) a + w b + 32) / 64, an arithmetic
// shift for negative values.
inline constexpr int kWeights2[4] = {0, 21, 43, 64};
inline constexpr int kWeights3[8] = {0, 9, 18, 27, 37, 46, 55, 64};
inline constexpr int kWeights4[16] = {0, 4, 9, 13, 17, 21, 26, 30, 34, 38, 43, 47, 51, 55, 60, 64};

inline int Interpolate(int a, int b, UINT index, UINT indexBits) {
    const int w = indexBits == 2 ? kWeights2[index] : indexBits == 3 ? kWeights3[index] : kWeights4[index];
    return ((64 - w) * a + w * b + 32) >> 6;
}

inline constexpr int kPartitionShapes = 64;

// clang-format off
inline constexpr char kTwoSubsets[kPartitionShapes][17] = {
    "0011001100110011", "0001000100010001", "0111011101110111", "0001001100110111",
    "0000000100010011", "0011011101111111", "0001001101111111", "0000000100110111",
    "0000000000010011", "0011011111111111", "0000000101111111", "0000000000010111",
    "0001011111111111", "0000000011111111", "0000111111111111", "0000000000001111",
    "0000100011101111", "0111000100000000", "0000000010001110", "0111001100010000",
    "0011000100000000", "0000100011001110", "0000000010001100", "0111001100110001",
    "0011000100010000", "0000100010001100", "0110011001100110", "0011011001101100",
    "0001011111101000", "0000111111110000", "0111000110001110", "0011100110011100",
    "0101010101010101", "0000111100001111", "0101101001011010", "0011001111001100",
    "0011110000111100", "0101010110101010", "0110100101101001", "0101101010100101",
    "0111001111001110", "0001001111001000", "0011001001001100", "0011101111011100",
    "0110100110010110", "0011110011000011", "0110011010011001", "0000011001100000",
    "0100111001000000", "0010011100100000", "0000001001110010", "0000010011100100",
    "0110110010010011", "0011011011001001", "0110001110011100", "0011100111000110",
    "0110110011001001", "0110001100111001", "0111111010000001", "0001100011100111",
    "0000111100110011", "0011001111110000", "0010001011101110", "0100010001110111",
};

inline constexpr char kThreeSubsets[kPartitionShapes][17] = {
    "0011001102212222", "0001001122112221", "0000200122112211", "0222002200110111",
    "0000000011221122", "0011001100220022", "0022002211111111", "0011001122112211",
    "0000000011112222", "0000111111112222", "0000111122222222", "0012001200120012",
    "0112011201120112", "0122012201220122", "0011011211221222", "0011200122002220",
    "0001001101121122", "0111001120012200", "0000112211221122", "0022002200221111",
    "0111011102220222", "0001000122212221", "0000001101220122", "0000110022102210",
    "0122012200110000", "0012001211222222", "0110122112210110", "0000011012211221",
    "0022110211020022", "0110011020022222", "0011012201220011", "0000200022112221",
    "0000000211221222", "0222002200120011", "0011001200220222", "0120012001200120",
    "0000111122220000", "0120120120120120", "0120201212010120", "0011220011220011",
    "0011112222000011", "0101010122222222", "0000000021212121", "0022112200221122",
    "0022001100220011", "0220122102201221", "0101222222220101", "0000212121212121",
    "0101010101012222", "0222011102220111", "0002111200021112", "0000211221122112",
    "0222011101110222", "0002111211120002", "0110011001102222", "0000000021122112",
    "0110011022222222", "0022001100110022", "0022112211220022", "0000000000002112",
    "0002000100020001", "0222122202221222", "0101222222222222", "0111201122012220",
};

// Anchor of subset 1 of the two-subset shapes.
inline constexpr std::uint8_t kTwoSubsetAnchors[kPartitionShapes] = {
    15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15,
    15,  2,  8,  2,  2,  8,  8, 15,  2,  8,  2,  2,  8,  8,  2,  2,
    15, 15,  6,  8,  2,  8, 15, 15,  2,  8,  2,  2,  2, 15, 15,  6,
     6,  2,  6,  8, 15, 15,  2,  2, 15, 15, 15, 15, 15,  2,  2, 15,
};

// Anchors of subsets 1 and 2 of the three-subset shapes.
inline constexpr std::uint8_t kThreeSubsetSecondAnchors[kPartitionShapes] = {
     3,  3, 15, 15,  8,  3, 15, 15,  8,  8,  6,  6,  6,  5,  3,  3,
     3,  3,  8, 15,  3,  3,  6, 10,  5,  8,  8,  6,  8,  5, 15, 15,
     8, 15,  3,  5,  6, 10,  8, 15, 15,  3, 15,  5, 15, 15, 15, 15,
     3, 15,  5,  5,  5,  8,  5, 10,  5, 10,  8, 13, 15, 12,  3,  3,
};
inline constexpr std::uint8_t kThreeSubsetThirdAnchors[kPartitionShapes] = {
    15,  8,  8,  3, 15, 15,  3,  8, 15, 15, 15, 15, 15, 15, 15,  8,
    15,  8, 15,  3, 15,  8, 15,  8,  3, 15,  6, 10, 15, 15, 10,  8,
    15,  3, 15, 10, 10,  8,  9, 10,  6, 15,  8, 15,  3,  6,  6,  8,
    15,  3, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15,  3, 15, 15,  8,
};
// clang-format on

// The subset of pixel `p` in shape `shape` of `subsets` subsets (1 to 3).
inline int SubsetOf(int subsets, int shape, int p) {
    return subsets == 1 ? 0 : (subsets == 2 ? kTwoSubsets : kThreeSubsets)[shape][p] - '0';
}

// Whether pixel `p` is the anchor of its subset.
inline bool IsAnchor(int subsets, int shape, int p) {
    switch (SubsetOf(subsets, shape, p)) {
    case 1: return p == (subsets == 2 ? kTwoSubsetAnchors : kThreeSubsetSecondAnchors)[shape];
    case 2: return p == kThreeSubsetThirdAnchors[shape];
    default: return p == 0;
    }
}

}  // namespace quillmark::dds
