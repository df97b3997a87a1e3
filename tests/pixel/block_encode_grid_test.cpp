// The block encoders' bytes over a grid of blocks of many kinds (noise,
// smooth ramps, few colours, partial transparency, alpha ramps, values off
// the ends of 0..1), for every format with and without dithering, against
// the hashes of the bytes the exact encoders wrote before they were made
// faster. A faster encoder changes no byte.
#include <array>
#include <random>

#include "pixel/block_functions.h"
#include "codec_test_support.h"

namespace quillmark {
namespace {

constexpr UINT kBlocksPerKind = 600;
constexpr UINT kKinds = 6;

using Block = std::array<FloatColor, kBlockPixels>;

float Byte(std::mt19937& random) { return static_cast<float>(random() % 256) / 255.0f; }

FloatColor RandomColor(std::mt19937& random) {
    return {Byte(random), Byte(random), Byte(random), Byte(random)};
}

FloatColor Mix(const FloatColor& a, const FloatColor& b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Block MakeBlock(UINT kind, std::mt19937& random) {
    Block block;
    const FloatColor from = RandomColor(random), to = RandomColor(random), third = RandomColor(random);
    std::uniform_real_distribution<float> grain(-0.02f, 0.02f), wide(-0.1f, 1.1f);
    for (UINT p = 0; p < kBlockPixels; ++p) {
        FloatColor& c = block[p];
        const float t = static_cast<float>(p % 4 + p / 4) / 6.0f;
        switch (kind) {
        case 0: c = RandomColor(random); break;                                   // noise
        case 1: c = Mix(from, to, t); c.r += grain(random); c.a = 1.0f; break;     // smooth and opaque
        case 2: c = (random() % 3 == 0) ? third : (random() % 2 ? from : to); break;  // few colours
        case 3: c = Mix(from, to, t); c.a = random() % 4 == 0 ? 0.0f : 1.0f; break;  // cut-outs
        case 4: c = Mix(from, to, t); c.a = static_cast<float>(p) / 15.0f; break;    // alpha ramp
        default: c = {wide(random), wide(random), wide(random), wide(random)}; break;  // off the ends
        }
    }
    return block;
}

std::vector<FloatColor> GridPixels() {
    std::mt19937 random(2024);
    std::vector<FloatColor> pixels;
    for (UINT kind = 0; kind < kKinds; ++kind)
        for (UINT i = 0; i < kBlocksPerKind; ++i) {
            const Block block = MakeBlock(kind, random);
            pixels.insert(pixels.end(), block.begin(), block.end());
        }
    return pixels;
}

std::uint64_t Fnv1a(const std::vector<BYTE>& bytes) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (BYTE b : bytes) hash = (hash ^ b) * 0x100000001B3ull;
    return hash;
}

struct Format {
    const char* name;
    EncodeBlocksFunction encode;
    UINT bytes;
    std::uint64_t hashes[2];  // plain, dithered
};

TEST(BlockEncode, GridKeepsItsBytes) {
    const Format formats[] = {
        {"DXT1", EncodeDxt1Blocks, 8, {12563785477343477139ull, 12639047097155910549ull}},
        {"DXT2", EncodeDxt2Blocks, 16, {13899315967725445068ull, 11400602041770616667ull}},
        {"DXT3", EncodeDxt3Blocks, 16, {9768940853079492951ull, 7826868590736608975ull}},
        {"DXT4", EncodeDxt4Blocks, 16, {5698309739055162797ull, 13714196590275831694ull}},
        {"DXT5", EncodeDxt5Blocks, 16, {4001215188778354562ull, 282747063579790578ull}},
    };
    const std::vector<FloatColor> pixels = GridPixels();
    const UINT count = static_cast<UINT>(pixels.size() / kBlockPixels);
    for (const Format& format : formats)
        for (const bool dither : {false, true}) {
            std::vector<BYTE> blocks(std::size_t{count} * format.bytes);
            format.encode(pixels.data(), blocks.data(), count, dither);
            EXPECT_EQ(Fnv1a(blocks), format.hashes[dither]) << format.name << (dither ? " dithered" : " plain");
        }
}

}  // namespace
}  // namespace quillmark
