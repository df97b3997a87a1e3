#include "imagecodec/dds_bc6h_bc7.h"

#include "imagecodec/dds_block_layout.h"

#include <iterator>

namespace quillmark::dds {
namespace {

// The endpoint fields of a block: red, green and blue of endpoints 0 to 3
// (0 and 1 for subset 0, 2 and 3 for subset 1), and the partition shape.
// Stop ends a mode's list of runs.
enum Field : std::uint8_t { R0, G0, B0, R1, G1, B1, R2, G2, B2, R3, G3, B3, D, Stop };
constexpr int kFields = Stop;

// A run of a field's bits as the block stores them, named the way the
// layouts are written down: field[high:low] is stored from bit `low` up to
// bit `high`; a run written the other way round (field[low:high], low <
// high) is stored from bit `high` down.
struct Run {
    Field field = Stop;
    std::uint8_t from = 0, to = 0;  // as written: stored from `to` towards `from`
};

constexpr int kMaxRuns = 32;

// One of the 14 modes: its mode bits (2 or 5 bits, as a number), whether its
// other endpoints are stored as differences from endpoint 0, the bits of an
// endpoint and of each difference (red, green, blue), and where the fields
// lie after the mode bits.
struct Mode {
    UINT code, modeBits;
    int subsets;
    bool transformed;
    UINT endpointBits;
    UINT deltaBits[3];
    Run runs[kMaxRuns];
};

// clang-format off
constexpr Mode kModes[] = {
    {0x00, 2, 2, true, 10, {5, 5, 5}, {{G2,4,4}, {B2,4,4}, {B3,4,4}, {R0,9,0}, {G0,9,0}, {B0,9,0}, {R1,4,0}, {G3,4,4},
        {G2,3,0}, {G1,4,0}, {B3,0,0}, {G3,3,0}, {B1,4,0}, {B3,1,1}, {B2,3,0}, {R2,4,0}, {B3,2,2}, {R3,4,0},
        {B3,3,3}, {D,4,0}}},
    {0x01, 2, 2, true, 7, {6, 6, 6}, {{G2,5,5}, {G3,4,4}, {G3,5,5}, {R0,6,0}, {B3,0,0}, {B3,1,1}, {B2,4,4},
        {G0,6,0}, {B2,5,5}, {B3,2,2}, {G2,4,4}, {B0,6,0}, {B3,3,3}, {B3,5,5}, {B3,4,4}, {R1,5,0}, {G2,3,0},
        {G1,5,0}, {G3,3,0}, {B1,5,0}, {B2,3,0}, {R2,5,0}, {R3,5,0}, {D,4,0}}},
    {0x02, 5, 2, true, 11, {5, 4, 4}, {{R0,9,0}, {G0,9,0}, {B0,9,0}, {R1,4,0}, {R0,10,10}, {G2,3,0}, {G1,3,0},
        {G0,10,10}, {B3,0,0}, {G3,3,0}, {B1,3,0}, {B0,10,10}, {B3,1,1}, {B2,3,0}, {R2,4,0}, {B3,2,2}, {R3,4,0},
        {B3,3,3}, {D,4,0}}},
    {0x06, 5, 2, true, 11, {4, 5, 4}, {{R0,9,0}, {G0,9,0}, {B0,9,0}, {R1,3,0}, {R0,10,10}, {G3,4,4}, {G2,3,0},
        {G1,4,0}, {G0,10,10}, {G3,3,0}, {B1,3,0}, {B0,10,10}, {B3,1,1}, {B2,3,0}, {R2,3,0}, {B3,0,0}, {B3,2,2},
        {R3,3,0}, {G2,4,4}, {B3,3,3}, {D,4,0}}},
    {0x0a, 5, 2, true, 11, {4, 4, 5}, {{R0,9,0}, {G0,9,0}, {B0,9,0}, {R1,3,0}, {R0,10,10}, {B2,4,4}, {G2,3,0},
        {G1,3,0}, {G0,10,10}, {B3,0,0}, {G3,3,0}, {B1,4,0}, {B0,10,10}, {B2,3,0}, {R2,3,0}, {B3,1,1}, {B3,2,2},
        {R3,3,0}, {B3,4,4}, {B3,3,3}, {D,4,0}}},
    {0x0e, 5, 2, true, 9, {5, 5, 5}, {{R0,8,0}, {B2,4,4}, {G0,8,0}, {G2,4,4}, {B0,8,0}, {B3,4,4}, {R1,4,0},
        {G3,4,4}, {G2,3,0}, {G1,4,0}, {B3,0,0}, {G3,3,0}, {B1,4,0}, {B3,1,1}, {B2,3,0}, {R2,4,0}, {B3,2,2},
        {R3,4,0}, {B3,3,3}, {D,4,0}}},
    {0x12, 5, 2, true, 8, {6, 5, 5}, {{R0,7,0}, {G3,4,4}, {B2,4,4}, {G0,7,0}, {B3,2,2}, {G2,4,4}, {B0,7,0},
        {B3,3,3}, {B3,4,4}, {R1,5,0}, {G2,3,0}, {G1,4,0}, {B3,0,0}, {G3,3,0}, {B1,4,0}, {B3,1,1}, {B2,3,0},
        {R2,5,0}, {R3,5,0}, {D,4,0}}},
    {0x16, 5, 2, true, 8, {5, 6, 5}, {{R0,7,0}, {B3,0,0}, {B2,4,4}, {G0,7,0}, {G2,5,5}, {G2,4,4}, {B0,7,0},
        {G3,5,5}, {B3,4,4}, {R1,4,0}, {G3,4,4}, {G2,3,0}, {G1,5,0}, {G3,3,0}, {B1,4,0}, {B3,1,1}, {B2,3,0},
        {R2,4,0}, {B3,2,2}, {R3,4,0}, {B3,3,3}, {D,4,0}}},
    {0x1a, 5, 2, true, 8, {5, 5, 6}, {{R0,7,0}, {B3,1,1}, {B2,4,4}, {G0,7,0}, {B2,5,5}, {G2,4,4}, {B0,7,0},
        {B3,5,5}, {B3,4,4}, {R1,4,0}, {G3,4,4}, {G2,3,0}, {G1,4,0}, {B3,0,0}, {G3,3,0}, {B1,5,0}, {B2,3,0},
        {R2,4,0}, {B3,2,2}, {R3,4,0}, {B3,3,3}, {D,4,0}}},
    {0x1e, 5, 2, false, 6, {6, 6, 6}, {{R0,5,0}, {G3,4,4}, {B3,0,0}, {B3,1,1}, {B2,4,4}, {G0,5,0}, {G2,5,5},
        {B2,5,5}, {B3,2,2}, {G2,4,4}, {B0,5,0}, {G3,5,5}, {B3,3,3}, {B3,5,5}, {B3,4,4}, {R1,5,0}, {G2,3,0},
        {G1,5,0}, {G3,3,0}, {B1,5,0}, {B2,3,0}, {R2,5,0}, {R3,5,0}, {D,4,0}}},
    {0x03, 5, 1, false, 10, {10, 10, 10}, {{R0,9,0}, {G0,9,0}, {B0,9,0}, {R1,9,0}, {G1,9,0}, {B1,9,0}}},
    {0x07, 5, 1, true, 11, {9, 9, 9}, {{R0,9,0}, {G0,9,0}, {B0,9,0}, {R1,8,0}, {R0,10,10}, {G1,8,0}, {G0,10,10},
        {B1,8,0}, {B0,10,10}}},
    {0x0b, 5, 1, true, 12, {8, 8, 8}, {{R0,9,0}, {G0,9,0}, {B0,9,0}, {R1,7,0}, {R0,10,11}, {G1,7,0},
        {G0,10,11}, {B1,7,0}, {B0,10,11}}},
    {0x0f, 5, 1, true, 16, {4, 4, 4}, {{R0,9,0}, {G0,9,0}, {B0,9,0}, {R1,3,0}, {R0,10,15}, {G1,3,0},
        {G0,10,15}, {B1,3,0}, {B0,10,15}}},
};
// clang-format on

constexpr UINT kTwoBitModes = 2;  // mode codes 0 and 1 take two bits, the others five
constexpr WORD kHalfOne = 0x3c00;
constexpr WORD kHalfSign = 0x8000;

const Mode* FindMode(BlockBits& bits) {
    UINT code = bits.Take(kTwoBitModes);
    if (code >= kTwoBitModes) code |= bits.Take(3) << 2;
    for (const Mode& mode : kModes)
        if (mode.code == code) return &mode;
    return nullptr;
}

void ReadFields(const Mode& mode, BlockBits& bits, int* fields) {
    for (const Run& run : mode.runs) {
        if (run.field == Stop) break;
        if (run.from >= run.to) {
            for (int b = run.to; b <= run.from; ++b) fields[run.field] |= static_cast<int>(bits.Take(1)) << b;
        } else {
            for (int b = run.to; b >= run.from; --b) fields[run.field] |= static_cast<int>(bits.Take(1)) << b;
        }
    }
}

int SignExtend(int value, UINT bits) {
    const int sign = 1 << (bits - 1);
    return (value & (sign - 1)) - (value & sign);
}

// An endpoint value of `bits` bits spread over the 16-bit range (signed:
// the 15-bit magnitude range), keeping both ends of it.
int Unquantize(int value, UINT bits, bool isSigned) {
    if (!isSigned) {
        if (bits >= 15 || value == 0) return value;
        if (value == (1 << bits) - 1) return 0xffff;
        return ((value << 16) + 0x8000) >> bits;
    }
    if (bits >= 16) return value;
    const bool negative = value < 0;
    const int magnitude = negative ? -value : value;
    int result;
    if (magnitude == 0) result = 0;
    else if (magnitude >= (1 << (bits - 1)) - 1) result = 0x7fff;
    else result = ((magnitude << 15) + 0x4000) >> (bits - 1);
    return negative ? -result : result;
}

// An interpolated value scaled to the bits of a half float: unsigned values
// by 31/64 (the largest is the largest finite half), signed magnitudes by
// 31/32 with the sign bit apart.
WORD ToHalf(int value, bool isSigned) {
    if (!isSigned) return static_cast<WORD>((value * 31) >> 6);
    if (value < 0) return static_cast<WORD>(kHalfSign | ((-value * 31) >> 5));
    return static_cast<WORD>((value * 31) >> 5);
}

// The 12 endpoint values of the block, unquantized.
void Endpoints(const Mode& mode, bool isSigned, int* fields) {
    const int count = 3 * 2 * mode.subsets;
    if (isSigned) {
        for (int c = 0; c < 3; ++c) fields[c] = SignExtend(fields[c], mode.endpointBits);
    }
    const int mask = (1 << mode.endpointBits) - 1;
    for (int i = 3; i < count; ++i) {
        if (mode.transformed) {
            const int delta = SignExtend(fields[i], mode.deltaBits[i % 3]);
            fields[i] = (fields[i % 3] + delta) & mask;
            if (isSigned) fields[i] = SignExtend(fields[i], mode.endpointBits);
        } else if (isSigned) {
            fields[i] = SignExtend(fields[i], mode.endpointBits);
        }
    }
    for (int i = 0; i < count; ++i) fields[i] = Unquantize(fields[i], mode.endpointBits, isSigned);
}

}  // namespace

void DecodeBc6hBlock(const BYTE* block, bool isSigned, BYTE* out) {
    BlockBits bits(block);
    const Mode* mode = FindMode(bits);
    WORD rgba[16][4] = {};
    if (mode != nullptr) {
        int fields[kFields] = {};
        ReadFields(*mode, bits, fields);
        Endpoints(*mode, isSigned, fields);
        const int shape = fields[D];
        const UINT indexBits = mode->subsets == 1 ? 4 : 3;
        UINT indices[16];
        for (int p = 0; p < 16; ++p) indices[p] = bits.Take(indexBits - (IsAnchor(mode->subsets, shape, p) ? 1 : 0));
        for (int p = 0; p < 16; ++p) {
            const int* e = fields + 6 * SubsetOf(mode->subsets, shape, p);
            for (int c = 0; c < 3; ++c)
                rgba[p][c] = ToHalf(Interpolate(e[c], e[3 + c], indices[p], indexBits), isSigned);
        }
    }
    for (int p = 0; p < 16; ++p) {
        rgba[p][3] = kHalfOne;
        for (int c = 0; c < 4; ++c) {  // A16B16G16R16F: red first, little-endian
            out[8 * p + 2 * c] = static_cast<BYTE>(rgba[p][c]);
            out[8 * p + 2 * c + 1] = static_cast<BYTE>(rgba[p][c] >> 8);
        }
    }
}

}  // namespace quillmark::dds
