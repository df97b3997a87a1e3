#include "texfile/mip_chain.h"

#include "texfile/com_holder.h"
#include "imagecodec/decoded_image.h"
#include "pixel/surface_desc.h"
#include "texfile/surface_load.h"
#include "texfile/texture_constants.h"

#include <bit>

namespace quillmark {
namespace {

constexpr DWORD kFilterKindLowBits = 0xFF;
constexpr UINT kCubeFaceCount = 6;

bool BuildsFromLevelAbove(DWORD filter) {
    const DWORD kind = filter & kFilterKindLowBits;
    return kind == RESAMPLE_POINT || kind == RESAMPLE_BOX;
}

bool IsTextureType(D3DRESOURCETYPE type) {
    return type == D3DRTYPE_TEXTURE || type == D3DRTYPE_VOLUMETEXTURE || type == D3DRTYPE_CUBETEXTURE;
}

// One level of one face of a texture resource: a surface, or a volume for a
// volume texture. The holder owns its reference.
class ResourceLevel {
public:
    HRESULT Open(IDirect3DBaseTexture9* resource, D3DRESOURCETYPE type, UINT face, UINT level) {
        switch (type) {
        case D3DRTYPE_VOLUMETEXTURE:
            return static_cast<IDirect3DVolumeTexture9*>(resource)->GetVolumeLevel(level, volume_.Out());
        case D3DRTYPE_CUBETEXTURE:
            return static_cast<IDirect3DCubeTexture9*>(resource)->GetCubeMapSurface(
                static_cast<D3DCUBEMAP_FACES>(face), level, surface_.Out());
        default:
            return static_cast<IDirect3DTexture9*>(resource)->GetSurfaceLevel(level, surface_.Out());
        }
    }

    HRESULT Load(const DecodedImage& image, const MipChainSource& source) const {
        const D3DBOX& box = image.box;
        if (volume_) {
            return CopyMemoryToVolume(volume_.Get(), source.resourcePalette, nullptr, image.pixels, image.format,
                                      image.rowPitch, image.slicePitch, source.imagePalette, &box, source.filter,
                                      source.colorKey);
        }
        const RECT rect{static_cast<LONG>(box.Left), static_cast<LONG>(box.Top), static_cast<LONG>(box.Right),
                        static_cast<LONG>(box.Bottom)};
        return CopyMemoryToSurface(surface_.Get(), source.resourcePalette, nullptr, image.pixels, image.format,
                                   image.rowPitch, source.imagePalette, &rect, source.filter, source.colorKey);
    }

    HRESULT CopyFrom(const ResourceLevel& above, const PALETTEENTRY* palette, DWORD filter) const {
        if (volume_)
            return CopyVolumeToVolume(volume_.Get(), palette, nullptr, above.volume_.Get(), palette, nullptr, filter,
                                      0);
        return CopySurfaceToSurface(surface_.Get(), palette, nullptr, above.surface_.Get(), palette, nullptr, filter,
                                    0);
    }

    void Swap(ResourceLevel& other) {
        surface_.Swap(other.surface_);
        volume_.Swap(other.volume_);
    }

private:
    ComHolder<IDirect3DSurface9> surface_;
    ComHolder<IDirect3DVolume9> volume_;
};

HRESULT LoadLevel(IDirect3DBaseTexture9* resource, D3DRESOURCETYPE type, UINT face, UINT level,
                  const DecodedImage& image, const MipChainSource& source) {
    ResourceLevel target;
    const HRESULT result = target.Open(resource, type, face, level);
    return FAILED(result) ? result : target.Load(image, source);
}

// Face f's top record: the f-th along nextFace.
const DecodedImage* FaceOf(const DecodedImage* image, UINT face) {
    for (UINT f = 0; f < face && image != nullptr; ++f) image = image->nextFace;
    return image;
}

HRESULT LoadFace(IDirect3DBaseTexture9* resource, D3DRESOURCETYPE type, UINT face, UINT levelCount,
                 bool regenerate, const MipChainSource& source) {
    const DecodedImage* image = FaceOf(source.image, face);
    if (image == nullptr) return E_FAIL;
    UINT level = 0;
    while (level < levelCount) {
        const HRESULT result = LoadLevel(resource, type, face, level, *image, source);
        if (FAILED(result)) return result;
        if (++level >= source.imageLevels) break;
        image = image->nextLevel;
        if (image == nullptr) return E_FAIL;
    }
    for (; !regenerate && level < levelCount; ++level) {
        const HRESULT result = LoadLevel(resource, type, face, level, *image, source);
        if (FAILED(result)) return result;
    }
    return S_OK;
}

DWORD AutoRegenerationFilter(IDirect3DBaseTexture9* texture, D3DRESOURCETYPE type) {
    UINT width = 0, height = 0, depth = 1;
    if (type == D3DRTYPE_VOLUMETEXTURE) {
        D3DVOLUME_DESC desc{};
        static_cast<IDirect3DVolumeTexture9*>(texture)->GetLevelDesc(0, &desc);
        width = desc.Width, height = desc.Height, depth = desc.Depth;
    } else {
        D3DSURFACE_DESC desc{};
        if (type == D3DRTYPE_CUBETEXTURE) static_cast<IDirect3DCubeTexture9*>(texture)->GetLevelDesc(0, &desc);
        else static_cast<IDirect3DTexture9*>(texture)->GetLevelDesc(0, &desc);
        width = desc.Width, height = desc.Height;
    }
    const bool powersOfTwo = std::has_single_bit(width) && std::has_single_bit(height) && std::has_single_bit(depth);
    return powersOfTwo ? RESAMPLE_BOX : RESAMPLE_TRIANGLE | RESAMPLE_DITHER;
}

// All levels share one colour space: sRGB on both sides or on neither.
DWORD OneColourSpace(DWORD filter) {
    return (filter & RESAMPLE_SRGB_OUT) != 0 ? filter | RESAMPLE_SRGB_IN
                                              : filter & ~(RESAMPLE_SRGB_IN | RESAMPLE_SRGB_OUT);
}

HRESULT RegenerateFace(IDirect3DBaseTexture9* texture, D3DRESOURCETYPE type, UINT face, UINT sourceLevel,
                       UINT levelCount, const PALETTEENTRY* palette, DWORD filter) {
    const bool chained = BuildsFromLevelAbove(filter);
    ResourceLevel source;
    HRESULT result = source.Open(texture, type, face, sourceLevel);
    for (UINT level = sourceLevel + 1; SUCCEEDED(result) && level < levelCount; ++level) {
        ResourceLevel target;
        result = target.Open(texture, type, face, level);
        if (SUCCEEDED(result)) result = target.CopyFrom(source, palette, filter);
        if (chained) source.Swap(target);
    }
    return result;
}

}  // namespace

HRESULT LoadMipChain(IDirect3DBaseTexture9* resource, const MipChainSource& source) {
    if (resource == nullptr || source.image == nullptr || source.imageLevels == 0) return D3DERR_INVALIDCALL;
    const D3DRESOURCETYPE type = resource->GetType();
    if (!IsTextureType(type)) return D3DERR_INVALIDCALL;
    const UINT levelCount = resource->GetLevelCount();
    const bool regenerate =
        (source.filter & kFilterKindLowBits) == RESAMPLE_NONE || BuildsFromLevelAbove(source.mipFilter);
    for (UINT face = 0; face < source.faceCount; ++face) {
        const HRESULT result = LoadFace(resource, type, face, levelCount, regenerate, source);
        if (FAILED(result)) return result;
    }
    if (!regenerate || source.imageLevels >= levelCount) return S_OK;
    return RegenerateMipLevels(resource, source.imagePalette, source.imageLevels - 1, source.mipFilter);
}

HRESULT RegenerateMipLevels(IDirect3DBaseTexture9* texture, const PALETTEENTRY* palette, UINT sourceLevel,
                            DWORD filter) {
    if (texture == nullptr) return D3DERR_INVALIDCALL;
    const D3DRESOURCETYPE type = texture->GetType();
    if (!IsTextureType(type)) return D3DERR_INVALIDCALL;
    if (filter == TEX_AUTO) filter = AutoRegenerationFilter(texture, type);
    if (type == D3DRTYPE_CUBETEXTURE) filter |= RESAMPLE_MIRROR;
    filter = OneColourSpace(filter);
    const UINT levelCount = texture->GetLevelCount();
    if (sourceLevel == TEX_AUTO) sourceLevel = 0;
    if (sourceLevel >= levelCount) return D3DERR_INVALIDCALL;
    const UINT faces = type == D3DRTYPE_CUBETEXTURE ? kCubeFaceCount : 1;
    for (UINT face = 0; face < faces; ++face) {
        const HRESULT result = RegenerateFace(texture, type, face, sourceLevel, levelCount, palette, filter);
        if (FAILED(result)) return result;
    }
    return S_OK;
}

}  // namespace quillmark
