#include "pixel/pixel_format.h"

namespace quillmark {

namespace {
constexpr std::uint32_t kRgb = PIXEL_KIND_RGB;
constexpr std::uint32_t kPal = PIXEL_KIND_PALETTIZED;
constexpr std::uint32_t kLum = PIXEL_KIND_LUMINANCE;
constexpr std::uint32_t kSgn = PIXEL_KIND_SIGNED;
constexpr std::uint32_t kDep = PIXEL_KIND_DEPTH;
constexpr std::uint32_t kOne = PIXEL_BLOCK_SINGLE;
constexpr std::uint32_t kPair = PIXEL_BLOCK_PAIR;
constexpr std::uint32_t kDxt = PIXEL_BLOCK_COMPRESSED;
}  // namespace

// clang-format off
const PixelFormatInfo PixelFormatTable[PIXEL_FORMAT_COUNT] = {
    // format                 kind bpp extra  A   R   G   B  subst  block   w  h  bytes
    {D3DFMT_R8G8B8,           kRgb, 24,  0,    0,  8,  8,  8, 0, kOne, 1, 1,  3},
    {D3DFMT_A8R8G8B8,         kRgb, 32,  0,    8,  8,  8,  8, 1, kOne, 1, 1,  4},
    {D3DFMT_X8R8G8B8,         kRgb, 32,  0,    0,  8,  8,  8, 1, kOne, 1, 1,  4},
    {D3DFMT_R5G6B5,           kRgb, 16,  0,    0,  5,  6,  5, 1, kOne, 1, 1,  2},
    {D3DFMT_X1R5G5B5,         kRgb, 16,  0,    0,  5,  5,  5, 1, kOne, 1, 1,  2},
    {D3DFMT_A8P8,             kPal, 16,  0,    8,  8,  8,  8, 1, kOne, 1, 1,  2},
    {D3DFMT_P8,               kPal,  8,  0,    8,  8,  8,  8, 1, kOne, 1, 1,  1},
    {D3DFMT_A1R5G5B5,         kRgb, 16,  0,    1,  5,  5,  5, 1, kOne, 1, 1,  2},
    {D3DFMT_A4R4G4B4,         kRgb, 16,  0,    4,  4,  4,  4, 1, kOne, 1, 1,  2},
    {D3DFMT_R3G3B2,           kRgb,  8,  0,    0,  3,  3,  2, 1, kOne, 1, 1,  1},
    {D3DFMT_A8,               kRgb,  8,  0,    8,  0,  0,  0, 1, kOne, 1, 1,  1},
    {D3DFMT_A8R3G3B2,         kRgb, 16,  0,    8,  3,  3,  2, 1, kOne, 1, 1,  2},
    {D3DFMT_X4R4G4B4,         kRgb, 16,  0,    0,  4,  4,  4, 1, kOne, 1, 1,  2},
    {D3DFMT_A2B10G10R10,      kRgb, 32,  0,    2, 10, 10, 10, 1, kOne, 1, 1,  4},
    {D3DFMT_A8B8G8R8,         kRgb, 32,  0,    8,  8,  8,  8, 1, kOne, 1, 1,  4},
    {D3DFMT_X8B8G8R8,         kRgb, 32,  0,    0,  8,  8,  8, 1, kOne, 1, 1,  4},
    {D3DFMT_G16R16,           kRgb, 32,  0,    0, 16, 16,  0, 1, kOne, 1, 1,  4},
    {D3DFMT_A2R10G10B10,      kRgb, 32,  0,    2, 10, 10, 10, 1, kOne, 1, 1,  4},
    {D3DFMT_A16B16G16R16,     kRgb, 64,  0,   16, 16, 16, 16, 1, kOne, 1, 1,  8},
    {D3DFMT_L8,               kLum,  8,  0,    0,  8,  8,  8, 1, kOne, 1, 1,  1},
    {D3DFMT_A8L8,             kLum, 16,  0,    8,  8,  8,  8, 1, kOne, 1, 1,  2},
    {D3DFMT_A4L4,             kLum,  8,  0,    4,  4,  4,  4, 1, kOne, 1, 1,  1},
    {D3DFMT_L16,              kLum, 16,  0,    0, 16, 16, 16, 1, kOne, 1, 1,  2},
    {D3DFMT_V8U8,             kSgn, 16,  0,    0,  0,  8,  8, 1, kOne, 1, 1,  2},
    {D3DFMT_L6V5U5,           kSgn, 16,  6,    0,  0,  5,  5, 1, kOne, 1, 1,  2},
    {D3DFMT_X8L8V8U8,         kSgn, 32,  8,    0,  0,  8,  8, 1, kOne, 1, 1,  4},
    {D3DFMT_Q8W8V8U8,         kSgn, 32,  0,    8,  8,  8,  8, 1, kOne, 1, 1,  4},
    {D3DFMT_V16U16,           kSgn, 32,  0,    0,  0, 16, 16, 1, kOne, 1, 1,  4},
    {D3DFMT_A2W10V10U10,      kSgn, 32,  2,    0, 10, 10, 10, 1, kOne, 1, 1,  4},
    {D3DFMT_Q16W16V16U16,     kSgn, 64,  0,   16, 16, 16, 16, 1, kOne, 1, 1,  8},
    {D3DFMT_CxV8U8,           kSgn, 16,  8,    0,  0,  8,  8, 0, kOne, 1, 1,  2},
    {D3DFMT_UYVY,             kRgb, 16,  0,    0,  8,  8,  8, 0, kPair, 2, 1,  4},
    {D3DFMT_R8G8_B8G8,        kRgb, 16,  0,    0,  8,  8,  8, 0, kPair, 2, 1,  4},
    {D3DFMT_YUY2,             kRgb, 16,  0,    0,  8,  8,  8, 0, kPair, 2, 1,  4},
    {D3DFMT_G8R8_G8B8,        kRgb, 16,  0,    0,  8,  8,  8, 0, kPair, 2, 1,  4},
    {D3DFMT_DXT1,             kRgb, 16,  0,    1,  5,  6,  5, 0, kDxt, 4, 4,  8},
    {D3DFMT_DXT2,             kRgb, 16,  0,    4,  5,  6,  5, 0, kDxt, 4, 4, 16},
    {D3DFMT_DXT3,             kRgb, 16,  0,    4,  5,  6,  5, 0, kDxt, 4, 4, 16},
    {D3DFMT_DXT4,             kRgb, 16,  0,    8,  5,  6,  5, 0, kDxt, 4, 4, 16},
    {D3DFMT_DXT5,             kRgb, 16,  0,    8,  5,  6,  5, 0, kDxt, 4, 4, 16},
    {D3DFMT_D16_LOCKABLE,     kDep, 16,  1,    0,  0,  0, 16, 1, kOne, 1, 1,  2},
    {D3DFMT_D32F_LOCKABLE,    kDep, 32,  1,    0,  0,  0, 32, 0, kOne, 1, 1,  4},
    {D3DFMT_D32,              kDep, 32,  0,    0,  0,  0, 32, 1, kOne, 1, 1,  4},
    {D3DFMT_D15S1,            kDep, 16,  0,    0,  0,  1, 15, 1, kOne, 1, 1,  2},
    {D3DFMT_D24S8,            kDep, 32,  0,    0,  0,  8, 24, 1, kOne, 1, 1,  4},
    {D3DFMT_D16,              kDep, 16,  0,    0,  0,  0, 16, 1, kOne, 1, 1,  2},
    {D3DFMT_D24X8,            kDep, 32,  0,    0,  0,  0, 24, 1, kOne, 1, 1,  4},
    {D3DFMT_D24X4S4,          kDep, 32,  0,    0,  0,  4, 24, 1, kOne, 1, 1,  4},
    {D3DFMT_D24FS8,           kDep, 32,  0,    0,  0,  8, 24, 0, kOne, 1, 1,  4},
    {D3DFMT_R16F,             kRgb, 16,  0,    0, 16,  0,  0, 0, kOne, 1, 1,  2},
    {D3DFMT_G16R16F,          kRgb, 32,  0,    0, 16, 16,  0, 0, kOne, 1, 1,  4},
    {D3DFMT_A16B16G16R16F,    kRgb, 64,  0,   16, 16, 16, 16, 0, kOne, 1, 1,  8},
    {D3DFMT_R32F,             kRgb, 32,  0,    0, 32,  0,  0, 0, kOne, 1, 1,  4},
    {D3DFMT_G32R32F,          kRgb, 64,  0,    0, 32, 32,  0, 0, kOne, 1, 1,  8},
    {D3DFMT_A32B32G32R32F,    kRgb,128,  0,   32, 32, 32, 32, 0, kOne, 1, 1, 16},
    {FORMAT_AL16,             kLum, 32,  0,   16, 16, 16, 16, 0, kOne, 1, 1,  4},
    {FORMAT_R16,              kRgb, 48,  0,    0, 16, 16, 16, 0, kOne, 1, 1,  6},
};

const PixelFormatInfo UnknownPixelFormat = {D3DFMT_UNKNOWN, kRgb, 32, 0, 8, 8, 8, 8, 0, kOne, 1, 1, 4};

const std::uint32_t KindCompatibility[PIXEL_KIND_COUNT][PIXEL_KIND_COUNT] = {
    // candidate: RGB PAL LUM SGN DEP
    {1, 0, 0, 0, 0},  // wanted RGB
    {1, 1, 0, 0, 0},  // wanted palettized
    {1, 0, 1, 0, 0},  // wanted luminance
    {0, 0, 0, 1, 0},  // wanted signed
    {0, 0, 0, 0, 1},  // wanted depth
};
// clang-format on

const PixelFormatInfo& LookupPixelFormat(std::uint32_t format) {
    for (const PixelFormatInfo& row : PixelFormatTable) {
        if (row.format == format) return row;
    }
    return UnknownPixelFormat;
}

}  // namespace quillmark
