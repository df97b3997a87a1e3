#include "texfile/texture_from_file.h"

#include "texfile/com_holder.h"
#include "imagecodec/decoded_image.h"
#include "texfile/device_format_match.h"
#include "pixel/format_match.h"
#include "imagecodec/mapped_file.h"
#include "texfile/mip_chain.h"
#include "pixel/pixel_format.h"
#include "pixel/surface_desc.h"
#include "texfile/texture_constants.h"
#include "texfile/texture_fit.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace quillmark {
namespace {

constexpr DWORD kAutoLevelFilter = RESAMPLE_TRIANGLE | RESAMPLE_DITHER;
constexpr DWORD kAutoMipFilter = RESAMPLE_BOX;
// Creation takes the usage without its D3DUSAGE_QUERY_ bits.
constexpr DWORD kCreationUsageMask = 0xFFE07FFFu;
// An image side this large is taken as it is, never rounded up.
constexpr UINT kLargeImageSide = 0x80000000u;
constexpr UINT kCubeFaceCount = 6;
constexpr std::size_t kPaletteEntries = 256;
constexpr std::uint32_t kOpaqueAlpha = 0xFF000000u;
constexpr std::uint32_t kGreyStep = 0x010101u;
constexpr BYTE kLevels3[8] = {0, 36, 73, 109, 146, 182, 219, 255};
constexpr BYTE kLevels2[4] = {0, 85, 170, 255};

using Palette = std::array<PALETTEENTRY, kPaletteEntries>;

// A palette entry as the 32-bit value it is in memory: 0xAABBGGRR.
std::uint32_t EntryValue(const PALETTEENTRY& entry) {
    return entry.peRed | entry.peGreen << 8 | entry.peBlue << 16 | static_cast<std::uint32_t>(entry.peFlags) << 24;
}

// 0xAARRGGBB to 0xAABBGGRR: a colour in palette-entry order.
std::uint32_t SwapRedAndBlue(D3DCOLOR colour) {
    return (colour & 0xFF00FF00u) | (colour >> 16 & 0xFFu) | (colour & 0xFFu) << 16;
}

std::uint32_t GreyRampEntry(std::uint32_t i) { return kOpaqueAlpha + i * kGreyStep; }

std::uint32_t ThreeThreeTwoEntry(std::uint32_t i) {
    return kOpaqueAlpha | static_cast<std::uint32_t>(kLevels2[i & 3]) << 16 |
           static_cast<std::uint32_t>(kLevels3[(i >> 2) & 7]) << 8 | kLevels3[i >> 5];
}

bool PaletteIs(const Palette& palette, std::uint32_t (*layout)(std::uint32_t)) {
    for (std::uint32_t i = 0; i < kPaletteEntries; ++i)
        if (EntryValue(palette[i]) != layout(i)) return false;
    return true;
}

bool PaletteIsOpaque(const Palette& palette) {
    return std::all_of(palette.begin(), palette.end(), [](const PALETTEENTRY& e) { return e.peFlags == 0xFF; });
}

// What one call works with once the arguments are resolved.
struct Request {
    UINT width, height, depth, levels;
    DWORD usage;
    D3DFORMAT format;
    D3DPOOL pool;
    DWORD filter, mipFilter;
    D3DCOLOR colorKey;
    D3DRESOURCETYPE type;
};

UINT FaceCountOf(const DecodedImage& top) {
    UINT faces = 1;
    for (const DecodedImage* face = top.nextFace; face != nullptr; face = face->nextFace) ++faces;
    return faces;
}

UINT ResolveSide(UINT argument, UINT imageSide) {
    if (argument == TEX_IMAGE_SIZE || imageSide >= kLargeImageSide) return imageSide;
    if (argument == 0 || argument == TEX_AUTO) return std::bit_ceil(std::max(imageSide, 1u));
    return argument;
}

void ResolveSizesAndFilters(Request& r, const DecodedImage& image) {
    r.width = ResolveSide(r.width, image.width);
    r.height = ResolveSide(r.height, image.height);
    r.depth = ResolveSide(r.depth, image.depth);
    if (r.filter == TEX_AUTO) r.filter = kAutoLevelFilter;
    if (r.mipFilter == TEX_AUTO) r.mipFilter = kAutoMipFilter;
    if (r.type == D3DRTYPE_CUBETEXTURE) {
        r.filter |= RESAMPLE_MIRROR;
        r.mipFilter |= RESAMPLE_MIRROR;
    }
}

// Applies the colour key through the image's palette (the key is then
// spent) and reads an 8-bit palette of a fixed layout as plain pixel data.
void ApplyPalette(Request& r, DecodedImage& image, Palette& work) {
    if (image.palette == nullptr) {
        work.fill(PALETTEENTRY{0xFF, 0xFF, 0xFF, 0xFF});
        return;
    }
    const std::uint32_t key = SwapRedAndBlue(r.colorKey);
    for (std::size_t i = 0; i < kPaletteEntries; ++i)
        work[i] = EntryValue(image.palette[i]) == key ? PALETTEENTRY{} : image.palette[i];
    r.colorKey = 0;
    if (r.format == D3DFMT_P8 || image.format != D3DFMT_P8) return;
    if (PaletteIs(work, GreyRampEntry)) image.format = D3DFMT_L8;
    else if (PaletteIs(work, ThreeThreeTwoEntry)) image.format = D3DFMT_R3G3B2;
}

bool KeyWantsAlpha(const PixelFormatInfo& row) {
    const bool keyable =
        row.kind == PIXEL_KIND_RGB || row.kind == PIXEL_KIND_PALETTIZED || row.kind == PIXEL_KIND_LUMINANCE;
    return keyable && row.alphaBits == 0;
}

// The format for D3DFMT_UNKNOWN: the image's, with room for the colour key.
D3DFORMAT ImageFormatFor(const Request& r, const DecodedImage& image) {
    D3DFORMAT format = image.format;
    const PixelFormatInfo& row = LookupPixelFormat(format);
    if (r.colorKey != 0 && KeyWantsAlpha(row)) {
        PixelFormatInfo wanted = row;
        wanted.format = 0;
        wanted.alphaBits = 1;
        const D3DFORMAT keyed = MatchFormatOnDevice(nullptr, r.usage, r.type, wanted);
        if (keyed != 0) format = keyed;
    }
    format = MapInternalFormat(format);
    if (r.pool != D3DPOOL_SCRATCH && format == D3DFMT_R8G8B8) format = D3DFMT_X8R8G8B8;
    return format;
}

// A palettized texture only when the caller takes the palette of a
// palettized image; otherwise the palette is spent into true colour.
void ResolvePalettizedFormat(Request& r, const DecodedImage& image, const Palette& work, PALETTEENTRY* palette) {
    if (palette != nullptr) std::copy(work.begin(), work.end(), palette);
    if (palette != nullptr && image.palette != nullptr) return;
    if (r.format == D3DFMT_A8P8) r.format = D3DFMT_A8R8G8B8;
    else if (r.format == D3DFMT_P8) r.format = PaletteIsOpaque(work) ? D3DFMT_X8R8G8B8 : D3DFMT_A8R8G8B8;
}

HRESULT CreateResource(IDirect3DDevice9* device, const Request& r, DWORD usage, D3DPOOL pool,
                       ComHolder<IDirect3DBaseTexture9>& out) {
    HRESULT result = D3DERR_INVALIDCALL;
    if (r.type == D3DRTYPE_VOLUMETEXTURE) {
        IDirect3DVolumeTexture9* volume = nullptr;
        result = device->CreateVolumeTexture(r.width, r.height, r.depth, r.levels, usage, r.format, pool, &volume,
                                             nullptr);
        *out.Out() = volume;
    } else if (r.type == D3DRTYPE_CUBETEXTURE) {
        IDirect3DCubeTexture9* cube = nullptr;
        result = device->CreateCubeTexture(r.width, r.levels, usage, r.format, pool, &cube, nullptr);
        *out.Out() = cube;
    } else if (r.type == D3DRTYPE_TEXTURE) {
        IDirect3DTexture9* texture = nullptr;
        result = device->CreateTexture(r.width, r.height, r.levels, usage, r.format, pool, &texture, nullptr);
        *out.Out() = texture;
    }
    return FAILED(result) || out ? result : E_FAIL;
}

// A default-pool resource that is not dynamic cannot be locked: its levels
// are filled in a system-memory twin and uploaded.
HRESULT CreateAndFill(IDirect3DDevice9* device, const Request& r, const MipChainSource& source,
                      ComHolder<IDirect3DBaseTexture9>& resource) {
    HRESULT result = CreateResource(device, r, r.usage & kCreationUsageMask, r.pool, resource);
    if (FAILED(result)) return result;
    if (r.pool != D3DPOOL_DEFAULT || (r.usage & D3DUSAGE_DYNAMIC) != 0) return LoadMipChain(resource.Get(), source);
    ComHolder<IDirect3DBaseTexture9> twin;
    result = CreateResource(device, r, 0, D3DPOOL_SYSTEMMEM, twin);
    if (SUCCEEDED(result)) result = LoadMipChain(twin.Get(), source);
    if (SUCCEEDED(result)) result = device->UpdateTexture(twin.Get(), resource.Get());
    return result;
}

HRESULT BuildResource(IDirect3DDevice9* device, Request& r, DecodedImage& image, PALETTEENTRY* palette,
                      IDirect3DBaseTexture9** outResource) {
    const UINT faceCount = r.type == D3DRTYPE_CUBETEXTURE ? kCubeFaceCount : 1;
    if (r.type == D3DRTYPE_CUBETEXTURE && FaceCountOf(image) != kCubeFaceCount) return E_FAIL;
    ResolveSizesAndFilters(r, image);
    Palette work;
    ApplyPalette(r, image, work);
    if (r.format == D3DFMT_UNKNOWN) r.format = ImageFormatFor(r, image);
    ResolvePalettizedFormat(r, image, work, palette);
    HRESULT result =
        FitTextureToDevice(device, &r.width, &r.height, &r.depth, &r.levels, r.usage, &r.format, r.pool, r.type);
    if (FAILED(result)) return result;

    MipChainSource source;
    source.image = &image;
    source.imageLevels = LevelCount(image);
    source.faceCount = faceCount;
    source.filter = r.filter;
    source.mipFilter = r.mipFilter;
    source.colorKey = r.colorKey;
    source.imagePalette = work.data();
    source.resourcePalette = palette;
    ComHolder<IDirect3DBaseTexture9> resource;
    result = CreateAndFill(device, r, source, resource);
    if (FAILED(result)) return result;
    *outResource = resource.Detach();
    return S_OK;
}

}  // namespace

HRESULT CreateResourceFromImageMemory(IDirect3DDevice9* device, const void* bytes, UINT byteCount, UINT width,
                                      UINT height, UINT depth, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                      D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                      ImageInfo* imageInfo, PALETTEENTRY* palette, D3DRESOURCETYPE resourceType,
                                      IDirect3DBaseTexture9** outResource) {
    if (device == nullptr || bytes == nullptr || byteCount == 0 || outResource == nullptr) return D3DERR_INVALIDCALL;
    ImageInfo localInfo{};
    ImageInfo* info = imageInfo != nullptr ? imageInfo : &localInfo;
    DecodedImage image;
    const HRESULT read = image.ReadImage(bytes, byteCount, info, TRUE);
    if (FAILED(read)) return read;

    // A usage left to the library is no special usage at all.
    Request r{width, height, depth, mipLevels, usage == TEX_AUTO ? 0 : usage, format, pool, filter, mipFilter,
              colorKey, resourceType};
    if (r.type == static_cast<D3DRESOURCETYPE>(TEX_AUTO)) r.type = info->ResourceType;
    return BuildResource(device, r, image, palette, outResource);
}

HRESULT TextureFromImageMemory(IDirect3DDevice9* device, const void* bytes, UINT byteCount, UINT width, UINT height,
                               UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                               DWORD mipFilter, D3DCOLOR colorKey, ImageInfo* imageInfo, PALETTEENTRY* palette,
                               IDirect3DTexture9** outTexture) {
    IDirect3DBaseTexture9* resource = nullptr;
    const HRESULT result =
        CreateResourceFromImageMemory(device, bytes, byteCount, width, height, 1, mipLevels, usage, format, pool,
                                      filter, mipFilter, colorKey, imageInfo, palette, D3DRTYPE_TEXTURE,
                                      outTexture != nullptr ? &resource : nullptr);
    if (SUCCEEDED(result)) *outTexture = static_cast<IDirect3DTexture9*>(resource);
    return result;
}

HRESULT TextureFromImageFile(IDirect3DDevice9* device, const char* path, UINT width, UINT height, UINT mipLevels,
                             DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                             D3DCOLOR colorKey, ImageInfo* imageInfo, PALETTEENTRY* palette,
                             IDirect3DTexture9** outTexture) {
    MappedFile file;
    const HRESULT opened = file.Open(path, false);
    if (FAILED(opened)) return opened;
    return TextureFromImageMemory(device, file.Data(), file.Size(), width, height, mipLevels, usage, format, pool,
                                  filter, mipFilter, colorKey, imageInfo, palette, outTexture);
}

}  // namespace quillmark
