// DDS: texture files with every mip level, cube face and volume slice, in
// any Direct3D format including block-compressed and floating-point ones.
// The reader chains one record per level and face whose pixels point into
// the file's bytes (nothing is copied); the writer writes such a chain back.
// Both work from one table pairing each format with its pixel-format block.
#include "imagecodec/dds_dxgi.h"
#include "imagecodec/dds_header_facts.h"
#include "imagecodec/decoded_image.h"
#include "imagecodec/image_codec.h"
#include "imagecodec/image_limits.h"
#include "imagecodec/image_output.h"
#include "pixel/pixel_format.h"
#include "pixel/pixel_format_names.h"
#include "imagecodec/read_failure.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <new>
#include <string>

namespace quillmark {
namespace {

// File layout: the magic, then a header of 31 little-endian 32-bit fields,
// then the palette of palettized formats, then the levels (face by face, each
// face's levels from the largest, each level slice by slice).
constexpr DWORD kMagic = 0x20534444;  // "DDS "
constexpr UINT kMagicSize = 4;
constexpr UINT kHeaderFields = 31;
constexpr UINT kHeaderSize = kHeaderFields * 4;
constexpr UINT kPaletteSize = 1024;
// The DX10 header after the header when the FourCC is "DX10": DXGI format,
// resource dimension, flags (kDx10Cube), array size, more flags.
constexpr DWORD kDx10FourCC = MAKEFOURCC('D', 'X', '1', '0');
constexpr UINT kDx10Fields = 5;
constexpr UINT kDx10Size = kDx10Fields * 4;
constexpr DWORD kDx10Texture3D = 4;
constexpr DWORD kDx10Cube = 0x4;

// Header field indices.
enum Field : UINT {
    kSize = 0,
    kFlags = 1,
    kHeight = 2,
    kWidth = 3,
    kPitchOrLinearSize = 4,
    kDepth = 5,
    kMipMapCount = 6,
    kPixelFormat = 18,  // eight fields: size, flags, FourCC, bit count, red, green, blue, alpha masks
    kCaps = 26,
    kCaps2 = 27,
};
constexpr UINT kPixelFormatFields = 8;
constexpr DWORD kPixelFormatSize = 32;

constexpr DWORD DDSD_CAPS_HEIGHT_WIDTH_PIXELFORMAT = 0x1007;
constexpr DWORD DDSD_PITCH = 0x8;
constexpr DWORD DDSD_LINEARSIZE = 0x80000;
constexpr DWORD DDSD_MIPMAPCOUNT = 0x20000;
constexpr DWORD DDSD_DEPTH = 0x800000;
constexpr DWORD DDSCAPS_ALPHA = 0x2;
constexpr DWORD DDSCAPS_COMPLEX = 0x8;
constexpr DWORD DDSCAPS_PALETTE = 0x100;
constexpr DWORD DDSCAPS_TEXTURE = 0x1000;
constexpr DWORD DDSCAPS_MIPMAP = 0x400000;
constexpr DWORD DDSCAPS2_CUBEMAP_ALLFACES = 0xFE00;
constexpr DWORD DDSCAPS2_CUBE_FACES = 0xFC00;
constexpr DWORD DDSCAPS2_VOLUME = 0x200000;
constexpr UINT kCubeFaces = 6;

constexpr DWORD DDPF_ALPHAPIXELS = 0x1;
constexpr DWORD DDPF_ALPHA = 0x2;
constexpr DWORD DDPF_FOURCC = 0x4;
constexpr DWORD DDPF_PALETTEINDEXED8 = 0x20;
// Which pixel-format flags make the bit count and each mask count.
constexpr DWORD kBitCountFlags = 0xC4462;
constexpr DWORD kRedMaskFlags = 0xE4040;
constexpr DWORD kGreenMaskFlags = 0xC4440;
constexpr DWORD kBlueMaskFlags = 0xC4040;
constexpr DWORD kAlphaMaskFlags = 0x80003;

struct DdsFormat {
    D3DFORMAT format;
    DWORD flags;
    DWORD fourCC;  // a four-character code, or the D3DFORMAT number of formats without one
    DWORD bitCount;
    DWORD red, green, blue, alpha;
};

// Searched from the top. The 10-bit rows carry red and blue exchanged with
// respect to their format names; reader and writer both use them as listed.
// clang-format off
constexpr DdsFormat DdsFormatTable[] = {
    {D3DFMT_R8G8B8,          0x40,    0, 24, 0xFF0000,   0xFF00,     0xFF,     0},
    {D3DFMT_A8R8G8B8,        0x41,    0, 32, 0xFF0000,   0xFF00,     0xFF,     0xFF000000},
    {D3DFMT_X8R8G8B8,        0x40,    0, 32, 0xFF0000,   0xFF00,     0xFF,     0},
    {D3DFMT_R5G6B5,          0x40,    0, 16, 0xF800,     0x7E0,      0x1F,     0},
    {D3DFMT_X1R5G5B5,        0x40,    0, 16, 0x7C00,     0x3E0,      0x1F,     0},
    {D3DFMT_A1R5G5B5,        0x41,    0, 16, 0x7C00,     0x3E0,      0x1F,     0x8000},
    {D3DFMT_A4R4G4B4,        0x41,    0, 16, 0xF00,      0xF0,       0xF,      0xF000},
    {D3DFMT_R3G3B2,          0x40,    0,  8, 0xE0,       0x1C,       0x3,      0},
    {D3DFMT_A8,              0x2,     0,  8, 0,          0,          0,        0xFF},
    {D3DFMT_A8R3G3B2,        0x41,    0, 16, 0xE0,       0x1C,       0x3,      0xFF00},
    {D3DFMT_X4R4G4B4,        0x40,    0, 16, 0xF00,      0xF0,       0xF,      0},
    {D3DFMT_A2B10G10R10,     0x41,    0, 32, 0x3FF00000, 0xFFC00,    0x3FF,    0xC0000000},
    {D3DFMT_A8B8G8R8,        0x41,    0, 32, 0xFF,       0xFF00,     0xFF0000, 0xFF000000},
    {D3DFMT_X8B8G8R8,        0x40,    0, 32, 0xFF,       0xFF00,     0xFF0000, 0},
    {D3DFMT_G16R16,          0x40,    0, 32, 0xFFFF,     0xFFFF0000, 0,        0},
    {D3DFMT_A2R10G10B10,     0x41,    0, 32, 0x3FF,      0xFFC00,    0x3FF00000, 0xC0000000},
    {D3DFMT_A8P8,            0x21,    0, 16, 0,          0,          0,        0xFF00},
    {D3DFMT_P8,              0x20,    0,  8, 0,          0,          0,        0},
    {D3DFMT_L8,              0x20000, 0,  8, 0xFF,       0,          0,        0},
    {D3DFMT_A8L8,            0x20001, 0, 16, 0xFF,       0,          0,        0xFF00},
    {D3DFMT_A4L4,            0x20001, 0,  8, 0xF,        0,          0,        0xF0},
    {D3DFMT_L16,             0x20000, 0, 16, 0xFFFF,     0,          0,        0},
    {D3DFMT_V8U8,            0x80000, 0, 16, 0xFF,       0xFF00,     0,        0},
    {D3DFMT_L6V5U5,          0x40000, 0, 16, 0x1F,       0x3E0,      0xFC00,   0},
    {D3DFMT_X8L8V8U8,        0x40000, 0, 32, 0xFF,       0xFF00,     0xFF0000, 0},
    {D3DFMT_Q8W8V8U8,        0x80000, 0, 32, 0xFF,       0xFF00,     0xFF0000, 0xFF000000},
    {D3DFMT_V16U16,          0x80000, 0, 32, 0xFFFF,     0xFFFF0000, 0,        0},
    {D3DFMT_A2W10V10U10,     0x80001, 0, 32, 0x3FF00000, 0xFFC00,    0x3FF,    0xC0000000},
    {D3DFMT_UYVY,            0x4, D3DFMT_UYVY,      0, 0, 0, 0, 0},
    {D3DFMT_R8G8_B8G8,       0x4, D3DFMT_R8G8_B8G8, 0, 0, 0, 0, 0},
    {D3DFMT_YUY2,            0x4, D3DFMT_YUY2,      0, 0, 0, 0, 0},
    {D3DFMT_G8R8_G8B8,       0x4, D3DFMT_G8R8_G8B8, 0, 0, 0, 0, 0},
    {D3DFMT_DXT1,            0x4, D3DFMT_DXT1,      0, 0, 0, 0, 0},
    {D3DFMT_DXT2,            0x4, D3DFMT_DXT2,      0, 0, 0, 0, 0},
    {D3DFMT_DXT3,            0x4, D3DFMT_DXT3,      0, 0, 0, 0, 0},
    {D3DFMT_DXT4,            0x4, D3DFMT_DXT4,      0, 0, 0, 0, 0},
    {D3DFMT_DXT5,            0x4, D3DFMT_DXT5,      0, 0, 0, 0, 0},
    {D3DFMT_D16_LOCKABLE,    0x400,   0, 16, 0,          0xFFFF,     0,        0},
    {D3DFMT_D32F_LOCKABLE,   0x4, D3DFMT_D32F_LOCKABLE,   0, 0, 0, 0, 0},
    {D3DFMT_A16B16G16R16,    0x4, D3DFMT_A16B16G16R16,    0, 0, 0, 0, 0},
    {D3DFMT_Q16W16V16U16,    0x4, D3DFMT_Q16W16V16U16,    0, 0, 0, 0, 0},
    {D3DFMT_R16F,            0x4, D3DFMT_R16F,            0, 0, 0, 0, 0},
    {D3DFMT_G16R16F,         0x4, D3DFMT_G16R16F,         0, 0, 0, 0, 0},
    {D3DFMT_A16B16G16R16F,   0x4, D3DFMT_A16B16G16R16F,   0, 0, 0, 0, 0},
    {D3DFMT_R32F,            0x4, D3DFMT_R32F,            0, 0, 0, 0, 0},
    {D3DFMT_G32R32F,         0x4, D3DFMT_G32R32F,         0, 0, 0, 0, 0},
    {D3DFMT_A32B32G32R32F,   0x4, D3DFMT_A32B32G32R32F,   0, 0, 0, 0, 0},
    {D3DFMT_CxV8U8,          0x4, D3DFMT_CxV8U8,          0, 0, 0, 0, 0},
};
// clang-format on

// What the writer takes: every format of the table, in table order.
constexpr auto kDdsFormats = [] {
    std::array<D3DFORMAT, std::size(DdsFormatTable) + 1> formats{};
    for (std::size_t i = 0; i < std::size(DdsFormatTable); ++i) formats[i] = DdsFormatTable[i].format;
    formats.back() = D3DFMT_UNKNOWN;
    return formats;
}();

constexpr const char* kDdsExtensions[] = {".dds", nullptr};

using Header = std::array<DWORD, kHeaderFields>;

DWORD ReadU32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 | static_cast<DWORD>(p[2]) << 16 |
           static_cast<DWORD>(p[3]) << 24;
}

void PutU32(BYTE* p, DWORD value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(value >> (8 * i));
}

const DdsFormat* FindByFormat(D3DFORMAT format) {
    for (const DdsFormat& row : DdsFormatTable)
        if (row.format == format) return &row;
    return nullptr;
}

bool Matches(const DdsFormat& row, const Header& h, DWORD flags) {
    const DWORD* pf = &h[kPixelFormat];
    if (pf[0] != kPixelFormatSize || row.flags != flags) return false;
    return (!(flags & DDPF_FOURCC) || pf[2] == row.fourCC) && (!(flags & kBitCountFlags) || pf[3] == row.bitCount) &&
           (!(flags & kRedMaskFlags) || pf[4] == row.red) && (!(flags & kGreenMaskFlags) || pf[5] == row.green) &&
           (!(flags & kBlueMaskFlags) || pf[6] == row.blue) && (!(flags & kAlphaMaskFlags) || pf[7] == row.alpha);
}

const DdsFormat* FindByPixelFormat(const Header& h) {
    DWORD flags = h[kPixelFormat + 1];
    if (flags & DDPF_FOURCC) flags = DDPF_FOURCC;
    for (const DdsFormat& row : DdsFormatTable)
        if (Matches(row, h, flags)) return &row;
    return nullptr;
}

// The stored format of a file without the DX10 header, or D3DFMT_UNKNOWN.
dds::StoredFormat LegacyStoredFormat(const Header& h) {
    const DdsFormat* row = FindByPixelFormat(h);
    if (row != nullptr) return {row->format, dds::BlockDecode::None};
    return (h[kPixelFormat + 1] & DDPF_FOURCC) != 0 ? dds::FromBlockFourCC(h[kPixelFormat + 2]) : dds::StoredFormat{};
}

// Row and slice pitch of a level, shared by reader and writer.
struct LevelSize {
    std::uint64_t rowPitch;
    std::uint64_t slicePitch;
};

LevelSize SizeOfLevel(D3DFORMAT format, std::uint64_t width, std::uint64_t height) {
    const PixelFormatInfo& info = LookupPixelFormat(format);
    const std::uint64_t rowPitch = info.RowBytes(width);
    return {rowPitch, rowPitch * info.BlockRows(height)};
}

// Levels past 1 x 1 x 1 do not exist, whatever the file claims.
UINT FullChainLength(UINT width, UINT height, UINT depth) {
    UINT levels = 1;
    for (UINT side = std::max({width, height, depth}); side > 1; side /= 2) ++levels;
    return levels;
}

bool IsPalettized(D3DFORMAT format) { return LookupPixelFormat(format).kind == PIXEL_KIND_PALETTIZED; }

// Where the reader is in the file's bytes.
struct Cursor {
    const BYTE* next;
    std::uint64_t left;
};

// Fills `record` with one level at the cursor, or fails when the file ends
// (E_FAIL) or memory runs out. Levels of a decoded block format are decoded
// into a block of the record's own when pixels are asked for.
HRESULT TakeLevel(DecodedImage& record, const dds::StoredFormat& stored, UINT width, UINT height, UINT depth,
                  Cursor& cursor) {
    const bool decoded = stored.decode != dds::BlockDecode::None;
    const dds::StoredLevel storedSize = dds::StoredLevelSize(stored.decode, width, height);
    const LevelSize size = decoded ? LevelSize{storedSize.rowBytes, storedSize.rowBytes * storedSize.rows}
                                   : SizeOfLevel(stored.format, width, height);
    const std::uint64_t bytes = size.slicePitch * depth;  // below 2^63: each factor is below 2^31
    if (bytes > cursor.left) return E_FAIL;
    record.format = stored.format;
    record.width = width;
    record.height = height;
    record.depth = depth;
    record.rowPitch = static_cast<UINT>(size.rowPitch);
    record.slicePitch = static_cast<UINT>(size.slicePitch);
    record.pixels = const_cast<BYTE*>(cursor.next);
    record.ownsPixels = FALSE;
    record.ownsPalette = FALSE;
    if (decoded) {
        const LevelSize out = SizeOfLevel(stored.format, width, height);
        record.rowPitch = static_cast<UINT>(out.rowPitch);
        record.slicePitch = static_cast<UINT>(out.slicePitch);
        record.pixels = nullptr;
        if (record.decodePixels) {
            if (!FitsImageBytes(out.slicePitch, depth)) return E_FAIL;
            record.pixels = static_cast<BYTE*>(std::malloc(out.slicePitch * depth));
            if (record.pixels == nullptr) return E_OUTOFMEMORY;
            record.ownsPixels = TRUE;
            for (UINT s = 0; s < depth; ++s)
                dds::DecodeBlocks(stored.decode, cursor.next + s * size.slicePitch, static_cast<UINT>(size.rowPitch),
                                  width, height, record.pixels + s * out.slicePitch, record.rowPitch);
        }
    }
    cursor.next += bytes;
    cursor.left -= bytes;
    return S_OK;
}

// A chained record like `like`, or null when memory runs out.
DecodedImage* NewRecord(const DecodedImage& like) {
    auto* record = new (std::nothrow) DecodedImage;
    if (record == nullptr) return nullptr;
    record->palette = like.palette;
    record->resourceType = like.resourceType;
    record->fileFormat = like.fileFormat;
    record->decodePixels = like.decodePixels;
    return record;
}

struct Shape {
    UINT width, height, depth, levels, faces;
};

HRESULT ReadChains(DecodedImage& top, const dds::StoredFormat& stored, const Shape& shape, Cursor cursor) {
    DecodedImage* face = &top;
    for (UINT f = 0; f < shape.faces; ++f) {
        if (f > 0) {
            face->nextFace = NewRecord(top);
            if (face->nextFace == nullptr) return E_OUTOFMEMORY;
            face = face->nextFace;
        }
        UINT width = shape.width, height = shape.height, depth = shape.depth;
        DecodedImage* level = face;
        for (UINT l = 0; l < shape.levels; ++l) {
            if (l > 0) {
                level->nextLevel = NewRecord(top);
                if (level->nextLevel == nullptr) return E_OUTOFMEMORY;
                level = level->nextLevel;
            }
            const HRESULT taken = TakeLevel(*level, stored, width, height, depth, cursor);
            if (FAILED(taken)) return taken;
            width = std::max(width / 2, 1u);
            height = std::max(height / 2, 1u);
            depth = std::max(depth / 2, 1u);
        }
    }
    return S_OK;
}

Header BuildHeader(const DecodedImage& image, const DdsFormat& row, UINT levels) {
    Header h{};
    h[kSize] = kHeaderSize;
    h[kFlags] = DDSD_CAPS_HEIGHT_WIDTH_PIXELFORMAT;
    h[kHeight] = image.height;
    h[kWidth] = image.width;
    const DWORD pixelFormat[kPixelFormatFields] = {kPixelFormatSize, row.flags, row.fourCC, row.bitCount,
                                                   row.red, row.green, row.blue, row.alpha};
    std::copy(std::begin(pixelFormat), std::end(pixelFormat), h.begin() + kPixelFormat);
    h[kCaps] = DDSCAPS_TEXTURE;
    if (row.flags & (DDPF_ALPHAPIXELS | DDPF_ALPHA)) h[kCaps] |= DDSCAPS_ALPHA;
    if (row.flags & DDPF_PALETTEINDEXED8) h[kCaps] |= DDSCAPS_PALETTE;
    if (image.nextLevel != nullptr) {
        h[kFlags] |= DDSD_MIPMAPCOUNT;
        h[kMipMapCount] = levels;
        h[kCaps] |= DDSCAPS_MIPMAP | DDSCAPS_COMPLEX;
    }
    if (image.nextFace != nullptr) {
        h[kCaps] |= DDSCAPS_COMPLEX;
        h[kCaps2] |= DDSCAPS2_CUBEMAP_ALLFACES;
    }
    if (image.depth > 1) {
        h[kFlags] |= DDSD_DEPTH;
        h[kCaps2] |= DDSCAPS2_VOLUME;
        h[kDepth] = image.depth;
    }
    return h;
}

// The level's rows (rows of blocks for block formats) from the top of its box.
void WriteLevel(const DecodedImage& level, CheckedWriter& out) {
    const PixelFormatInfo& info = LookupPixelFormat(level.format);
    const D3DBOX& box = level.box;
    const std::uint64_t rowBytes = SizeOfLevel(level.format, level.width, 1).rowPitch;
    const std::uint64_t leftBytes = std::uint64_t{box.Left} / info.blockWidth * info.blockBytes;
    for (UINT s = 0; s < level.depth; ++s) {
        for (UINT y = 0; y < level.height; y += info.blockHeight) {
            const BYTE* row = level.pixels + std::uint64_t{s + box.Front} * level.slicePitch +
                              std::uint64_t{(y + box.Top) / info.blockHeight} * level.rowPitch + leftBytes;
            out.Put(row, static_cast<DWORD>(rowBytes));
        }
    }
}

bool RecogniseDds(const BYTE* bytes, UINT byteCount) { return byteCount >= kMagicSize && ReadU32(bytes) == kMagic; }

HRESULT ReadDds(DecodedImage& image, const BYTE* bytes, UINT byteCount) {
    if (byteCount < kMagicSize + kHeaderSize || ReadU32(bytes) != kMagic) return E_FAIL;
    Header h;
    for (UINT i = 0; i < kHeaderFields; ++i) h[i] = ReadU32(bytes + kMagicSize + 4 * i);
    Cursor cursor{bytes + kMagicSize + kHeaderSize, byteCount - std::uint64_t{kMagicSize + kHeaderSize}};

    bool volume = (h[kFlags] & DDSD_DEPTH) != 0;
    const DWORD cubeFaces = h[kCaps2] & DDSCAPS2_CUBE_FACES;
    bool cube = cubeFaces != 0;
    dds::StoredFormat stored;
    const bool fourCC = (h[kPixelFormat + 1] & DDPF_FOURCC) != 0;
    if (fourCC && h[kPixelFormat + 2] == kDx10FourCC) {
        if (cursor.left < kDx10Size) return Refuse("its DX10 header is cut short");
        DWORD dx10[kDx10Fields];
        for (UINT i = 0; i < kDx10Fields; ++i) dx10[i] = ReadU32(cursor.next + 4 * i);
        cursor.next += kDx10Size;
        cursor.left -= kDx10Size;
        stored = dds::FromDxgi(dx10[0]);
        char name[40];
        if (stored.format == D3DFMT_UNKNOWN)
            return Refuse(std::string("it holds ") + dds::DxgiName(dx10[0], name) + " pixels, which Quillmark does not read");
        if (dx10[3] == 0) return Refuse("its DX10 header gives an array size of 0");
        if (dx10[3] > 1) return Refuse("it is an array of " + std::to_string(dx10[3]) + " textures");
        volume = dx10[1] == kDx10Texture3D;
        cube = (dx10[2] & kDx10Cube) != 0;
        if (volume && cube) return Refuse("its DX10 header marks it both a volume and a cube map");
    } else {
        if (volume && cube) return Refuse("its header marks it both a volume (depth) and a cube map");
        if (cubeFaces != 0 && cubeFaces != DDSCAPS2_CUBE_FACES) return Refuse("it is a cube map without all six faces");
        stored = LegacyStoredFormat(h);
        if (stored.format == D3DFMT_UNKNOWN) return Refuse("its pixel format is not one Quillmark reads");
    }

    Shape shape{h[kWidth], h[kHeight], volume ? std::max<DWORD>(h[kDepth], 1) : 1, 1, cube ? kCubeFaces : 1};
    if (!IsSaneImageSize(shape.width, shape.height) || shape.depth > kMaxImageDimension)
        return Refuse("its sizes are beyond what Quillmark reads");
    shape.levels = std::min(std::max<DWORD>(h[kMipMapCount], 1), FullChainLength(shape.width, shape.height, shape.depth));

    image.resourceType = volume ? D3DRTYPE_VOLUMETEXTURE : (cube ? D3DRTYPE_CUBETEXTURE : D3DRTYPE_TEXTURE);
    image.palette = nullptr;
    if (IsPalettized(stored.format)) {
        if (cursor.left < kPaletteSize) return Refuse("its palette is cut short");
        image.palette = reinterpret_cast<PALETTEENTRY*>(const_cast<BYTE*>(cursor.next));
        cursor.next += kPaletteSize;
        cursor.left -= kPaletteSize;
    }
    const HRESULT result = ReadChains(image, stored, shape, cursor);
    return result == E_FAIL ? Refuse("it ends before its last level") : result;
}

HRESULT WriteDds(const DecodedImage& image, ImageOutput& output) {
    const DdsFormat* row = FindByFormat(image.format);
    if (row == nullptr || image.pixels == nullptr) return E_FAIL;
    if (IsPalettized(image.format) && image.palette == nullptr) return E_FAIL;
    // The header gives one level count and either one face or all six.
    const UINT levels = LevelCount(image);
    UINT faces = 0;
    for (const DecodedImage* face = &image; face != nullptr; face = face->nextFace, ++faces)
        if (LevelCount(*face) != levels) return E_FAIL;
    if (faces != 1 && faces != kCubeFaces) return E_FAIL;

    CheckedWriter out(output);
    BYTE prefix[kMagicSize + kHeaderSize];
    PutU32(prefix, kMagic);
    const Header h = BuildHeader(image, *row, levels);
    for (UINT i = 0; i < kHeaderFields; ++i) PutU32(prefix + kMagicSize + 4 * i, h[i]);
    out.Put(prefix, sizeof prefix);
    if (IsPalettized(image.format)) out.Put(image.palette, kPaletteSize);
    for (const DecodedImage* face = &image; face != nullptr; face = face->nextFace)
        for (const DecodedImage* level = face; level != nullptr; level = level->nextLevel) {
            if (level->format != image.format || level->pixels == nullptr) return E_FAIL;
            WriteLevel(*level, out);
        }
    return out.Ok() ? S_OK : E_FAIL;
}

// Bytes a row and the top level's bytes (one slice) of the stored format.
LevelSize StoredTopLevel(const dds::StoredFormat& stored, DWORD width, DWORD height) {
    if (stored.decode == dds::BlockDecode::None) return SizeOfLevel(stored.format, width, height);
    const dds::StoredLevel level = dds::StoredLevelSize(stored.decode, width, height);
    return {level.rowBytes, level.rowBytes * level.rows};
}

void FindInconsistencies(const Header& h, const dds::StoredFormat& stored, DdsHeaderFacts& facts) {
    auto& found = facts.inconsistencies;
    const std::string size = std::to_string(facts.width) + " x " + std::to_string(facts.height);
    const bool volume = facts.hasDx10 ? facts.dimension == kDx10Texture3D : (facts.flags & DDSD_DEPTH) != 0;
    const DWORD depth = volume ? std::max<DWORD>(facts.depth, 1) : 1;
    if (stored.format == D3DFMT_UNKNOWN) {
        found.push_back("its pixel format is not one Quillmark reads");
    } else {
        const LevelSize top = StoredTopLevel(stored, facts.width, facts.height);
        const std::string name = PixelFormatName(stored.format);
        if ((facts.flags & DDSD_PITCH) != 0 && facts.pitchOrLinearSize != top.rowPitch)
            found.push_back("the pitch " + std::to_string(facts.pitchOrLinearSize) + " disagrees with the width " +
                            std::to_string(facts.width) + " (" + std::to_string(top.rowPitch) + " bytes a row in " +
                            name + ")");
        if ((facts.flags & DDSD_LINEARSIZE) != 0 && facts.pitchOrLinearSize != top.slicePitch)
            found.push_back("the linear size " + std::to_string(facts.pitchOrLinearSize) + " disagrees with the " +
                            size + " top level's " + std::to_string(top.slicePitch) + " bytes in " + name);
    }
    const UINT most = FullChainLength(facts.width, facts.height, depth);
    if (facts.mipMapCount > most)
        found.push_back("it gives " + std::to_string(facts.mipMapCount) + " levels, but " + size +
                        (depth > 1 ? " x " + std::to_string(depth) : std::string()) + " holds at most " +
                        std::to_string(most));
    if (facts.mipMapCount > 1 && (facts.flags & DDSD_MIPMAPCOUNT) == 0)
        found.push_back("it gives " + std::to_string(facts.mipMapCount) + " levels without the flag that counts them");
    const bool cube = facts.hasDx10 ? (facts.miscFlags & kDx10Cube) != 0 : (h[kCaps2] & DDSCAPS2_CUBE_FACES) != 0;
    if (volume && cube) found.push_back("it is marked both a volume and a cube map");
    if (!facts.hasDx10 && cube && (h[kCaps2] & DDSCAPS2_CUBE_FACES) != DDSCAPS2_CUBE_FACES)
        found.push_back("it is a cube map without all six faces");
    if (facts.hasDx10 && facts.arraySize != 1)
        found.push_back("its array size is " + std::to_string(facts.arraySize) + ", not 1");
}

}  // namespace

bool ReadDdsHeaderFacts(const BYTE* bytes, UINT byteCount, DdsHeaderFacts& facts) {
    facts = {};
    if (byteCount < kMagicSize + kHeaderSize || ReadU32(bytes) != kMagic) return false;
    Header h;
    for (UINT i = 0; i < kHeaderFields; ++i) h[i] = ReadU32(bytes + kMagicSize + 4 * i);
    facts.flags = h[kFlags];
    facts.width = h[kWidth];
    facts.height = h[kHeight];
    facts.depth = h[kDepth];
    facts.pitchOrLinearSize = h[kPitchOrLinearSize];
    facts.mipMapCount = h[kMipMapCount];
    facts.pixelFormatFlags = h[kPixelFormat + 1];
    facts.fourCC = h[kPixelFormat + 2];
    facts.bitCount = h[kPixelFormat + 3];
    std::copy(&h[kPixelFormat + 4], &h[kPixelFormat + 8], facts.masks);
    facts.caps = h[kCaps];
    facts.caps2 = h[kCaps2];
    dds::StoredFormat stored = LegacyStoredFormat(h);
    if ((facts.pixelFormatFlags & DDPF_FOURCC) != 0 && facts.fourCC == kDx10FourCC) {
        if (byteCount < kMagicSize + kHeaderSize + kDx10Size) return false;
        const BYTE* dx10 = bytes + kMagicSize + kHeaderSize;
        facts.hasDx10 = true;
        facts.dxgiFormat = ReadU32(dx10);
        facts.dimension = ReadU32(dx10 + 4);
        facts.miscFlags = ReadU32(dx10 + 8);
        facts.arraySize = ReadU32(dx10 + 12);
        char name[40];
        facts.dxgiName = dds::DxgiName(facts.dxgiFormat, name);
        stored = dds::FromDxgi(facts.dxgiFormat);
    }
    FindInconsistencies(h, stored, facts);
    return true;
}

extern const ImageCodec kDdsCodec = {ImageFileFormat::Dds, "DDS", kDdsExtensions, RecogniseDds, ReadDds,
                                     WriteDds, kDdsFormats.data()};

}  // namespace quillmark
