#include "imagecodec/dds_bc6h_bc7.h"

#include "imagecodec/dds_block_layout.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <utility>

namespace quillmark::dds {
namespace {

// One of the eight modes: the mode number is the position of the lowest set
// bit of the block. After it come the partition shape, the rotation, the
// index selector, the endpoints (all red values, then green, blue, alpha),
// the p-bits and the indices (the primary set, then the secondary one).
struct Mode {
    int subsets;
    UINT shapeBits, rotationBits, selectorBits;
    UINT colourBits, alphaBits;          // per endpoint channel; alpha 0: opaque
    UINT endpointPBits, sharedPBits;     // one p-bit per endpoint, or per subset
    UINT indexBits, secondIndexBits;     // secondary 0: one index set for all
};

// clang-format off
constexpr Mode kModes[] = {
    {3, 4, 0, 0, 4, 0, 1, 0, 3, 0},
    {2, 6, 0, 0, 6, 0, 0, 1, 3, 0},
    {3, 6, 0, 0, 5, 0, 0, 0, 2, 0},
    {2, 6, 0, 0, 7, 0, 1, 0, 2, 0},
    {1, 0, 2, 1, 5, 6, 0, 0, 2, 3},
    {1, 0, 2, 0, 7, 8, 0, 0, 2, 2},
    {1, 0, 0, 0, 7, 7, 1, 0, 4, 0},
    {2, 6, 0, 0, 5, 5, 1, 0, 2, 0},
};
// clang-format on

constexpr int kChannels = 4;  // red, green, blue, alpha
constexpr int kAlpha = 3;
constexpr int kMaxEndpoints = 6;
constexpr UINT kOpaque = 255;

// A channel value of `bits` bits widened to 8 by repeating its top bits.
UINT Widen(UINT value, UINT bits) { return bits == 8 ? value : (value << (8 - bits)) | (value >> (2 * bits - 8)); }

struct Endpoints {
    UINT value[kMaxEndpoints][kChannels];
};

Endpoints ReadEndpoints(const Mode& mode, BlockBits& bits) {
    Endpoints e{};
    const int count = 2 * mode.subsets;
    const int channels = mode.alphaBits > 0 ? kChannels : kAlpha;
    for (int c = 0; c < kAlpha; ++c)
        for (int i = 0; i < count; ++i) e.value[i][c] = bits.Take(mode.colourBits);
    for (int i = 0; i < count; ++i) e.value[i][kAlpha] = bits.Take(mode.alphaBits);
    UINT colourBits = mode.colourBits, alphaBits = mode.alphaBits;
    if (mode.endpointPBits + mode.sharedPBits > 0) {
        UINT pBits[kMaxEndpoints];
        if (mode.endpointPBits > 0) {
            for (int i = 0; i < count; ++i) pBits[i] = bits.Take(1);
        } else {
            for (int s = 0; s < mode.subsets; ++s) pBits[2 * s] = pBits[2 * s + 1] = bits.Take(1);
        }
        for (int i = 0; i < count; ++i)
            for (int c = 0; c < channels; ++c) e.value[i][c] = e.value[i][c] << 1 | pBits[i];
        ++colourBits;
        if (alphaBits > 0) ++alphaBits;
    }
    for (int i = 0; i < count; ++i) {
        for (int c = 0; c < kAlpha; ++c) e.value[i][c] = Widen(e.value[i][c], colourBits);
        e.value[i][kAlpha] = alphaBits > 0 ? Widen(e.value[i][kAlpha], alphaBits) : kOpaque;
    }
    return e;
}

// The 16 indices of one set; each subset's anchor has one bit fewer.
void ReadIndices(BlockBits& bits, int subsets, int shape, UINT indexBits, UINT* indices) {
    for (int p = 0; p < 16; ++p) indices[p] = bits.Take(indexBits - (IsAnchor(subsets, shape, p) ? 1 : 0));
}

}  // namespace

void DecodeBc7Block(const BYTE* block, BYTE* out) {
    const int modeNumber = std::countr_zero(static_cast<unsigned>(block[0]) | 0x100u);
    if (modeNumber >= static_cast<int>(std::size(kModes))) {
        std::fill(out, out + 16 * kChannels, BYTE{0});
        return;
    }
    const Mode& mode = kModes[modeNumber];
    BlockBits bits(block);
    bits.Take(static_cast<UINT>(modeNumber) + 1);
    const int shape = static_cast<int>(bits.Take(mode.shapeBits));
    const UINT rotation = bits.Take(mode.rotationBits);
    const bool swapSets = bits.Take(mode.selectorBits) != 0;
    const Endpoints e = ReadEndpoints(mode, bits);

    UINT primary[16], secondary[16];
    ReadIndices(bits, mode.subsets, shape, mode.indexBits, primary);
    if (mode.secondIndexBits > 0) ReadIndices(bits, 1, 0, mode.secondIndexBits, secondary);
    // Colour from the primary set and alpha from the secondary, or the
    // other way round when the selector says so.
    const bool twoSets = mode.secondIndexBits > 0;
    const UINT* colourIndices = twoSets && swapSets ? secondary : primary;
    const UINT* alphaIndices = twoSets && !swapSets ? secondary : primary;
    const UINT colourIndexBits = twoSets && swapSets ? mode.secondIndexBits : mode.indexBits;
    const UINT alphaIndexBits = twoSets && !swapSets ? mode.secondIndexBits : mode.indexBits;

    for (int p = 0; p < 16; ++p) {
        const int s = SubsetOf(mode.subsets, shape, p);
        const UINT* e0 = e.value[2 * s];
        const UINT* e1 = e.value[2 * s + 1];
        int rgba[kChannels];
        for (int c = 0; c < kAlpha; ++c)
            rgba[c] = Interpolate(static_cast<int>(e0[c]), static_cast<int>(e1[c]), colourIndices[p], colourIndexBits);
        rgba[kAlpha] = Interpolate(static_cast<int>(e0[kAlpha]), static_cast<int>(e1[kAlpha]), alphaIndices[p],
                                   alphaIndexBits);
        // Rotation 1, 2, 3 swaps alpha with red, green or blue.
        if (rotation > 0) std::swap(rgba[kAlpha], rgba[rotation - 1]);
        BYTE* pixel = out + kChannels * p;  // A8R8G8B8: blue, green, red, alpha
        pixel[0] = static_cast<BYTE>(rgba[2]);
        pixel[1] = static_cast<BYTE>(rgba[1]);
        pixel[2] = static_cast<BYTE>(rgba[0]);
        pixel[3] = static_cast<BYTE>(rgba[kAlpha]);
    }
}

}  // namespace quillmark::dds
