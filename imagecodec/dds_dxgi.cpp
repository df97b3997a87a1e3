#include "imagecodec/dds_dxgi.h"

#include "pixel/block_functions.h"
#include "imagecodec/dds_bc6h_bc7.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace quillmark::dds {
namespace {

struct DxgiFormat {
    DWORD code;
    const char* name;
    StoredFormat stored;
};

using enum BlockDecode;

// The DXGI formats the reader knows by name; those with a Direct3D 9 twin or
// a decoding are read, the others are refused by name.
// clang-format off
constexpr DxgiFormat kDxgiFormats[] = {
    {2,  "R32G32B32A32_FLOAT",  {D3DFMT_A32B32G32R32F, None}},
    {6,  "R32G32B32_FLOAT",     {}},
    {10, "R16G16B16A16_FLOAT",  {D3DFMT_A16B16G16R16F, None}},
    {11, "R16G16B16A16_UNORM",  {D3DFMT_A16B16G16R16, None}},
    {24, "R10G10B10A2_UNORM",   {D3DFMT_A2B10G10R10, None}},
    {26, "R11G11B10_FLOAT",     {}},
    {28, "R8G8B8A8_UNORM",      {D3DFMT_A8B8G8R8, None}},
    {29, "R8G8B8A8_UNORM_SRGB", {D3DFMT_A8B8G8R8, None}},
    {31, "R8G8B8A8_SNORM",      {}},
    {16, "R32G32_FLOAT",        {D3DFMT_G32R32F, None}},
    {34, "R16G16_FLOAT",        {D3DFMT_G16R16F, None}},
    {35, "R16G16_UNORM",        {D3DFMT_G16R16, None}},
    {41, "R32_FLOAT",           {D3DFMT_R32F, None}},
    {49, "R8G8_UNORM",          {D3DFMT_A8R8G8B8, Rg8}},
    {54, "R16_FLOAT",           {D3DFMT_R16F, None}},
    {56, "R16_UNORM",           {D3DFMT_L16, None}},
    {61, "R8_UNORM",            {D3DFMT_L8, None}},
    {65, "A8_UNORM",            {D3DFMT_A8, None}},
    {67, "R9G9B9E5_SHAREDEXP",  {}},
    {70, "BC1_TYPELESS",        {D3DFMT_DXT1, None}},
    {71, "BC1_UNORM",           {D3DFMT_DXT1, None}},
    {72, "BC1_UNORM_SRGB",      {D3DFMT_DXT1, None}},
    {73, "BC2_TYPELESS",        {D3DFMT_DXT3, None}},
    {74, "BC2_UNORM",           {D3DFMT_DXT3, None}},
    {75, "BC2_UNORM_SRGB",      {D3DFMT_DXT3, None}},
    {76, "BC3_TYPELESS",        {D3DFMT_DXT5, None}},
    {77, "BC3_UNORM",           {D3DFMT_DXT5, None}},
    {78, "BC3_UNORM_SRGB",      {D3DFMT_DXT5, None}},
    {79, "BC4_TYPELESS",        {D3DFMT_L8, Bc4}},
    {80, "BC4_UNORM",           {D3DFMT_L8, Bc4}},
    {81, "BC4_SNORM",           {D3DFMT_V8U8, Bc4Signed}},
    {82, "BC5_TYPELESS",        {D3DFMT_A8R8G8B8, Bc5}},
    {83, "BC5_UNORM",           {D3DFMT_A8R8G8B8, Bc5}},
    {84, "BC5_SNORM",           {D3DFMT_V8U8, Bc5Signed}},
    {85, "B5G6R5_UNORM",        {D3DFMT_R5G6B5, None}},
    {86, "B5G5R5A1_UNORM",      {D3DFMT_A1R5G5B5, None}},
    {87, "B8G8R8A8_UNORM",      {D3DFMT_A8R8G8B8, None}},
    {88, "B8G8R8X8_UNORM",      {D3DFMT_X8R8G8B8, None}},
    {91, "B8G8R8A8_UNORM_SRGB", {D3DFMT_A8R8G8B8, None}},
    {93, "B8G8R8X8_UNORM_SRGB", {D3DFMT_X8R8G8B8, None}},
    {94, "BC6H_TYPELESS",       {D3DFMT_A16B16G16R16F, Bc6h}},
    {95, "BC6H_UF16",           {D3DFMT_A16B16G16R16F, Bc6h}},
    {96, "BC6H_SF16",           {D3DFMT_A16B16G16R16F, Bc6hSigned}},
    {97, "BC7_TYPELESS",        {D3DFMT_A8R8G8B8, Bc7}},
    {98, "BC7_UNORM",           {D3DFMT_A8R8G8B8, Bc7}},
    {99, "BC7_UNORM_SRGB",      {D3DFMT_A8R8G8B8, Bc7}},
    {115, "B4G4R4A4_UNORM",     {D3DFMT_A4R4G4B4, None}},
};
// clang-format on

constexpr UINT kBlockSide = 4;
constexpr UINT kChannelBlockBytes = 8;

// The eight values of one BC4 channel block, by code, in [-1, 1] when
// signed: eight interpolated values when the first endpoint is the larger,
// else six and the two ends of the range.
void SignedChannelValues(const BYTE* block, float* values) {
    const auto endpoint = [](BYTE b) { return std::fmax(static_cast<float>(static_cast<signed char>(b)), -127.0f) / 127.0f; };
    const float e0 = endpoint(block[0]), e1 = endpoint(block[1]);
    values[0] = e0;
    values[1] = e1;
    if (e0 > e1) {
        for (int k = 2; k < 8; ++k) values[k] = (static_cast<float>(8 - k) * e0 + static_cast<float>(k - 1) * e1) / 7.0f;
    } else {
        for (int k = 2; k < 6; ++k) values[k] = (static_cast<float>(6 - k) * e0 + static_cast<float>(k - 1) * e1) / 5.0f;
        values[6] = -1.0f;
        values[7] = 1.0f;
    }
}

// One BC4 channel block as 16 bytes in pixel order: unsigned values 0..255,
// signed ones as two's-complement bytes -127..127.
void DecodeChannel(const BYTE* block, bool isSigned, BYTE* out) {
    float values[8];
    if (isSigned) SignedChannelValues(block, values);
    else InterpolatedAlphaValues(block[0], block[1], values);
    const float scale = isSigned ? 127.0f : 255.0f;
    std::uint64_t codes = 0;
    for (int i = 5; i >= 0; --i) codes = codes << 8 | block[2 + i];
    for (UINT p = 0; p < kBlockPixels; ++p, codes >>= 3)
        out[p] = static_cast<BYTE>(static_cast<int>(std::lround(values[codes & 7] * scale)));
}

// Where the channels of a BC4 or BC5 pixel go in the output format.
struct ChannelLayout {
    int firstChannel;   // byte of the pixel that takes the first channel
    int secondChannel;  // byte that takes the second channel; -1 for none
    int opaqueByte;     // byte set to 255; -1 for none
};

ChannelLayout ChannelLayoutOf(BlockDecode decode) {
    switch (decode) {
    case Bc5: return {2, 1, 3};  // A8R8G8B8: red, green, blue 0, opaque
    case Bc5Signed: return {0, 1, -1};
    default: return {0, -1, -1};
    }
}

// One BC4 or BC5 block as 16 pixels of `pixelBytes` bytes.
void DecodeChannelBlock(BlockDecode decode, const BYTE* block, UINT pixelBytes, BYTE* out) {
    const ChannelLayout layout = ChannelLayoutOf(decode);
    const bool isSigned = decode == Bc4Signed || decode == Bc5Signed;
    BYTE first[kBlockPixels], second[kBlockPixels];
    DecodeChannel(block, isSigned, first);
    if (layout.secondChannel >= 0) DecodeChannel(block + kChannelBlockBytes, isSigned, second);
    std::fill(out, out + kBlockPixels * pixelBytes, BYTE{0});
    for (UINT p = 0; p < kBlockPixels; ++p) {
        BYTE* pixel = out + p * pixelBytes;
        pixel[layout.firstChannel] = first[p];
        if (layout.secondChannel >= 0) pixel[layout.secondChannel] = second[p];
        if (layout.opaqueByte >= 0) pixel[layout.opaqueByte] = 255;
    }
}

// Bytes of one pixel of the format a block format decodes to.
UINT PixelBytes(BlockDecode decode) {
    switch (decode) {
    case Bc4: return 1;
    case Bc4Signed:
    case Bc5Signed: return 2;
    case Bc5:
    case Bc7:
    case Rg8: return 4;
    case Bc6h:
    case Bc6hSigned: return 8;
    case None: break;
    }
    return 0;
}

// One block as 16 pixels of the format it decodes to, in pixel order.
void DecodeBlock(BlockDecode decode, const BYTE* block, BYTE* out) {
    switch (decode) {
    case Bc6h:
    case Bc6hSigned: DecodeBc6hBlock(block, decode == Bc6hSigned, out); return;
    case Bc7: DecodeBc7Block(block, out); return;
    default: DecodeChannelBlock(decode, block, PixelBytes(decode), out); return;
    }
}

// Red and green bytes as A8R8G8B8 pixels with blue 0 and opaque alpha, as
// BC5 blocks decode.
void DecodeRedGreen(const BYTE* source, UINT sourcePitch, UINT width, UINT height, BYTE* out, UINT outPitch) {
    const ChannelLayout layout = ChannelLayoutOf(Bc5);
    for (UINT y = 0; y < height; ++y) {
        const BYTE* from = source + std::size_t{y} * sourcePitch;
        BYTE* to = out + std::size_t{y} * outPitch;
        for (UINT x = 0; x < width; ++x, from += 2, to += 4) {
            to[0] = to[1] = to[2] = to[3] = 0;
            to[layout.firstChannel] = from[0];
            to[layout.secondChannel] = from[1];
            to[layout.opaqueByte] = 255;
        }
    }
}

}  // namespace

StoredFormat FromDxgi(DWORD code) {
    for (const DxgiFormat& row : kDxgiFormats)
        if (row.code == code) return row.stored;
    return {};
}

StoredFormat FromBlockFourCC(DWORD fourCC) {
    switch (fourCC) {
    case MAKEFOURCC('A', 'T', 'I', '1'):
    case MAKEFOURCC('B', 'C', '4', 'U'): return FromDxgi(80);
    case MAKEFOURCC('B', 'C', '4', 'S'): return FromDxgi(81);
    case MAKEFOURCC('A', 'T', 'I', '2'):
    case MAKEFOURCC('B', 'C', '5', 'U'): return FromDxgi(83);
    case MAKEFOURCC('B', 'C', '5', 'S'): return FromDxgi(84);
    default: return {};
    }
}

const char* DxgiName(DWORD code, char (&buffer)[40]) {
    for (const DxgiFormat& row : kDxgiFormats) {
        if (row.code == code) {
            std::snprintf(buffer, sizeof buffer, "DXGI_FORMAT_%s", row.name);
            return buffer;
        }
    }
    std::snprintf(buffer, sizeof buffer, "DXGI format %u", static_cast<unsigned>(code));
    return buffer;
}

StoredLevel StoredLevelSize(BlockDecode decode, std::uint64_t width, std::uint64_t height) {
    if (decode == Rg8) return {2 * width, height};
    const std::uint64_t blockBytes = decode == Bc4 || decode == Bc4Signed ? kChannelBlockBytes : 2 * kChannelBlockBytes;
    return {(width + kBlockSide - 1) / kBlockSide * blockBytes, (height + kBlockSide - 1) / kBlockSide};
}

void DecodeBlocks(BlockDecode decode, const BYTE* blocks, UINT sourcePitch, UINT width, UINT height, BYTE* out,
                  UINT outPitch) {
    if (decode == Rg8) {
        DecodeRedGreen(blocks, sourcePitch, width, height, out, outPitch);
        return;
    }
    constexpr UINT kMaxPixelBytes = 8;
    const UINT blockBytes = static_cast<UINT>(StoredLevelSize(decode, kBlockSide, kBlockSide).rowBytes);
    const UINT pixelBytes = PixelBytes(decode);
    BYTE pixels[kBlockPixels * kMaxPixelBytes];
    for (UINT by = 0; by < height; by += kBlockSide) {
        const BYTE* block = blocks + std::size_t{by / kBlockSide} * sourcePitch;
        const UINT rows = std::min(kBlockSide, height - by);
        for (UINT bx = 0; bx < width; bx += kBlockSide, block += blockBytes) {
            DecodeBlock(decode, block, pixels);
            const UINT rowBytes = std::min(kBlockSide, width - bx) * pixelBytes;
            for (UINT y = 0; y < rows; ++y)
                std::memcpy(out + std::size_t{by + y} * outPitch + std::size_t{bx} * pixelBytes,
                            pixels + y * kBlockSide * pixelBytes, rowBytes);
        }
    }
}

}  // namespace quillmark::dds
