// The block decoders and the format-to-functions table.
#include <cstdint>

#include "pixel/block_functions.h"

namespace quillmark {

namespace {

std::uint32_t Read16(const BYTE* p) { return p[0] | (std::uint32_t{p[1]} << 8); }
std::uint32_t Read32(const BYTE* p) { return Read16(p) | (Read16(p + 2) << 16); }

FloatColor ColorFrom565(std::uint32_t c) {
    return {static_cast<float>(c >> 11) / 31.0f, static_cast<float>((c >> 5) & 0x3F) / 63.0f,
            static_cast<float>(c & 0x1F) / 31.0f, 1.0f};
}

template <class Channel>
FloatColor Map(const FloatColor& a, const FloatColor& b, Channel f) {
    return {f(a.r, b.r), f(a.g, b.g), f(a.b, b.b), f(a.a, b.a)};
}

// The four colours of a colour block; three colours and transparent black
// when colour0 <= colour1, unless the block always has four.
void DecodeColors(const BYTE* block, FloatColor* out, bool alwaysFour) {
    const std::uint32_t colour0 = Read16(block);
    const std::uint32_t colour1 = Read16(block + 2);
    FloatColor palette[4];
    palette[0] = ColorFrom565(colour0);
    palette[1] = ColorFrom565(colour1);
    if (alwaysFour || colour0 > colour1) {
        palette[2] = Map(palette[0], palette[1], OneThirdAlong);
        palette[3] = Map(palette[0], palette[1], TwoThirdsAlong);
    } else {
        palette[2] = Map(palette[0], palette[1], HalfwayBetween);
        palette[3] = FloatColor{};
    }
    std::uint32_t codes = Read32(block + 4);
    for (UINT p = 0; p < kBlockPixels; ++p, codes >>= 2) out[p] = palette[codes & 3];
}

void DecodeExplicitAlpha(const BYTE* block, FloatColor* out) {
    for (UINT p = 0; p < kBlockPixels; ++p) {
        const std::uint32_t nibble = (block[p / 2] >> (4 * (p & 1))) & 0xF;
        out[p].a = static_cast<float>(nibble) / 15.0f;
    }
}

void DecodeInterpolatedAlpha(const BYTE* block, FloatColor* out) {
    float values[8];
    InterpolatedAlphaValues(block[0], block[1], values);
    std::uint64_t codes = 0;
    for (int i = 5; i >= 0; --i) codes = codes << 8 | block[2 + i];
    for (UINT p = 0; p < kBlockPixels; ++p, codes >>= 3) out[p].a = values[codes & 7];
}

void Unpremultiply(FloatColor* pixels) {
    for (UINT p = 0; p < kBlockPixels; ++p) {
        FloatColor& c = pixels[p];
        if (c.a == 0.0f) {
            c.r = c.g = c.b = 0.0f;
        } else if (c.a < 1.0f) {
            c.r = c.r < c.a ? c.r / c.a : 1.0f;
            c.g = c.g < c.a ? c.g / c.a : 1.0f;
            c.b = c.b < c.a ? c.b / c.a : 1.0f;
        }
    }
}

}  // namespace

void InterpolatedAlphaValues(UINT alpha0, UINT alpha1, float* values) {
    const float a0 = static_cast<float>(alpha0) / 255.0f;
    const float a1 = static_cast<float>(alpha1) / 255.0f;
    values[0] = a0;
    values[1] = a1;
    if (alpha0 > alpha1) {
        for (int k = 2; k < 8; ++k) values[k] = (static_cast<float>(8 - k) * a0 + static_cast<float>(k - 1) * a1) / 7.0f;
    } else {
        for (int k = 2; k < 6; ++k) values[k] = (static_cast<float>(6 - k) * a0 + static_cast<float>(k - 1) * a1) / 5.0f;
        values[6] = 0.0f;
        values[7] = 1.0f;
    }
}

void DecodeDxt1Block(const BYTE* block, FloatColor* out) { DecodeColors(block, out, false); }

void DecodeDxt3Block(const BYTE* block, FloatColor* out) {
    DecodeColors(block + 8, out, true);
    DecodeExplicitAlpha(block, out);
}

void DecodeDxt5Block(const BYTE* block, FloatColor* out) {
    DecodeColors(block + 8, out, true);
    DecodeInterpolatedAlpha(block, out);
}

void DecodeDxt2Block(const BYTE* block, FloatColor* out) {
    DecodeDxt3Block(block, out);
    Unpremultiply(out);
}

void DecodeDxt4Block(const BYTE* block, FloatColor* out) {
    DecodeDxt5Block(block, out);
    Unpremultiply(out);
}

BlockFunctions BlockFunctionsOf(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_DXT1: return {DecodeDxt1Block, EncodeDxt1Blocks};
    case D3DFMT_DXT2: return {DecodeDxt2Block, EncodeDxt2Blocks};
    case D3DFMT_DXT3: return {DecodeDxt3Block, EncodeDxt3Blocks};
    case D3DFMT_DXT4: return {DecodeDxt4Block, EncodeDxt4Blocks};
    case D3DFMT_DXT5: return {DecodeDxt5Block, EncodeDxt5Blocks};
    default: return {nullptr, nullptr};
    }
}

}  // namespace quillmark
