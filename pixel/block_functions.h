// The block functions of the block-compressed formats DXT1 to DXT5: each
// decoder turns one 4 x 4 block (8 or 16 bytes) into 16 FloatColor values in
// pixel order (pixel p = 4 x row + column), each encoder turns 16 values in
// [0, 1] back into one block.
//
// Layouts (little-endian): a colour block is colour0, colour1 (5-6-5, red in
// the top bits) and 32 bits of 2-bit codes; an explicit alpha block is 64
// bits of 4-bit alpha; an interpolated alpha block is alpha0, alpha1 and 48
// bits of 3-bit codes. DXT1 is a colour block; DXT2/DXT3 an explicit alpha
// block and a colour block; DXT4/DXT5 an interpolated alpha block and a
// colour block. DXT2 and DXT4 store colours premultiplied by alpha.
#pragma once

#include "pixel/row_codec.h"

namespace quillmark {

inline constexpr UINT kBlockPixels = 16;

using DecodeBlockFunction = void (*)(const BYTE* block, FloatColor* out);
using EncodeBlockFunction = void (*)(const FloatColor* in, BYTE* block, bool dither);
// Encodes `count` blocks: in holds 16 values per block, blocks receives them
// one after another.
using EncodeBlocksFunction = void (*)(const FloatColor* in, BYTE* blocks, UINT count, bool dither);

struct BlockFunctions {
    DecodeBlockFunction decode;
    EncodeBlocksFunction encode;
};

// The pair for DXT1 to DXT5; both null for any other format.
BlockFunctions BlockFunctionsOf(D3DFORMAT format);

// The in-between colours of a colour block, one channel at a time and as
// written: c0 + (c1 - c0) / 3, c0 + (c1 - c0) x 2 / 3 and (c0 + c1) / 2. They
// divide where multiplying by 1/3 or 0.5 would land an ulp off.
inline float OneThirdAlong(float c0, float c1) { return c0 + (c1 - c0) / 3.0f; }
inline float TwoThirdsAlong(float c0, float c1) { return c0 + (c1 - c0) * 2.0f / 3.0f; }
inline float HalfwayBetween(float c0, float c1) { return (c0 + c1) / 2.0f; }

// The eight alpha values of an interpolated alpha block, by code: eight
// interpolated values when alpha0 > alpha1, else six with codes 6 and 7
// standing for 0 and 1.
void InterpolatedAlphaValues(UINT alpha0, UINT alpha1, float* values);

// The decoders.
void DecodeDxt1Block(const BYTE* block, FloatColor* out);
void DecodeDxt2Block(const BYTE* block, FloatColor* out);
void DecodeDxt3Block(const BYTE* block, FloatColor* out);
void DecodeDxt4Block(const BYTE* block, FloatColor* out);
void DecodeDxt5Block(const BYTE* block, FloatColor* out);

// The encoders; `dither` diffuses each pixel's rounding error inside the
// block (Floyd-Steinberg weights, nothing crosses into other blocks).
void EncodeDxt1Block(const FloatColor* in, BYTE* block, bool dither);
void EncodeDxt2Block(const FloatColor* in, BYTE* block, bool dither);
void EncodeDxt3Block(const FloatColor* in, BYTE* block, bool dither);
void EncodeDxt4Block(const FloatColor* in, BYTE* block, bool dither);
void EncodeDxt5Block(const FloatColor* in, BYTE* block, bool dither);

// The same over several blocks at once, each block's bytes as its encoder
// alone gives them (the endpoint fits of neighbouring blocks run side by
// side).
void EncodeDxt1Blocks(const FloatColor* in, BYTE* blocks, UINT count, bool dither);
void EncodeDxt2Blocks(const FloatColor* in, BYTE* blocks, UINT count, bool dither);
void EncodeDxt3Blocks(const FloatColor* in, BYTE* blocks, UINT count, bool dither);
void EncodeDxt4Blocks(const FloatColor* in, BYTE* blocks, UINT count, bool dither);
void EncodeDxt5Blocks(const FloatColor* in, BYTE* blocks, UINT count, bool dither);

}  // namespace quillmark
