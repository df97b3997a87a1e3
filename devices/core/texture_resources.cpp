#include "devices/core/texture_resources.h"

#include <atomic>

#include "devices/core/device.h"

namespace quillmark::core {

template <class Interface>
bool TextureBase<Interface>::LevelsLockable() const {
    if (traits_.usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) return false;
    return traits_.pool != D3DPOOL_DEFAULT || (traits_.usage & D3DUSAGE_DYNAMIC) != 0;
}

template <class Interface>
HRESULT TextureBase<Interface>::QueryFor(REFIID riid, REFIID own, void** object) {
    if (!object) return E_INVALIDARG;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DBaseTexture9 ||
        riid == own) {
        AddRef();
        *object = static_cast<Interface*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

std::uint64_t NextTextureSerial() {
    static std::atomic<std::uint64_t> next{1};
    return next++;
}

TextureInternals* InternalsOf(IDirect3DBaseTexture9* texture) {
    return texture ? dynamic_cast<TextureInternals*>(texture) : nullptr;
}

// ---- 2-D textures -------------------------------------------------------------

Texture::Texture(Device* device, const TextureTraits& traits) : TextureBase(device, traits) {
    for (std::uint32_t level = 0; level < traits.levels; ++level) {
        const SurfaceTraits surface{traits.format, LevelSize(traits.width, level), LevelSize(traits.height, level),
                                    traits.usage, traits.pool, LevelsLockable()};
        levels_.push_back(std::make_unique<Surface>(device, surface, static_cast<IDirect3DTexture9*>(this),
                                                    &contentVersion_));
    }
}

HRESULT Texture::QueryInterface(REFIID riid, void** object) { return QueryFor(riid, IID_IDirect3DTexture9, object); }

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (level >= levels_.size()) return D3DERR_INVALIDCALL;
    return levels_[level]->GetDesc(desc);
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
    if (!surface || level >= levels_.size()) return D3DERR_INVALIDCALL;
    AddRef();
    *surface = levels_[level].get();
    return S_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (level >= levels_.size()) return D3DERR_INVALIDCALL;
    return levels_[level]->LockRect(locked, rect, flags);
}

HRESULT Texture::UnlockRect(UINT level) {
    if (level >= levels_.size()) return D3DERR_INVALIDCALL;
    return levels_[level]->UnlockRect();
}

bool Texture::AnyLevelLocked() const {
    return std::any_of(levels_.begin(), levels_.end(), [](const auto& level) { return level->IsLocked(); });
}

// ---- cube textures ------------------------------------------------------------

CubeTexture::CubeTexture(Device* device, const TextureTraits& traits) : TextureBase(device, traits) {
    for (std::uint32_t face = 0; face < 6; ++face) {
        for (std::uint32_t level = 0; level < traits.levels; ++level) {
            const std::uint32_t edge = LevelSize(traits.width, level);
            const SurfaceTraits surface{traits.format, edge, edge, traits.usage, traits.pool, LevelsLockable()};
            surfaces_.push_back(std::make_unique<Surface>(
                device, surface, static_cast<IDirect3DCubeTexture9*>(this), &contentVersion_));
        }
    }
}

HRESULT CubeTexture::QueryInterface(REFIID riid, void** object) {
    return QueryFor(riid, IID_IDirect3DCubeTexture9, object);
}

Surface* CubeTexture::Find(D3DCUBEMAP_FACES face, UINT level) {
    if (face > D3DCUBEMAP_FACE_NEGATIVE_Z || level >= traits_.levels) return nullptr;
    return surfaces_[face * traits_.levels + level].get();
}

PixelStore& CubeTexture::Store(std::uint32_t face, std::uint32_t level) {
    return surfaces_[face * traits_.levels + level]->Pixels();
}

HRESULT CubeTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    Surface* surface = Find(D3DCUBEMAP_FACE_POSITIVE_X, level);
    return surface ? surface->GetDesc(desc) : D3DERR_INVALIDCALL;
}

HRESULT CubeTexture::GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** out) {
    Surface* surface = Find(face, level);
    if (!out || !surface) return D3DERR_INVALIDCALL;
    AddRef();
    *out = surface;
    return S_OK;
}

HRESULT CubeTexture::LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                              DWORD flags) {
    Surface* surface = Find(face, level);
    return surface ? surface->LockRect(locked, rect, flags) : D3DERR_INVALIDCALL;
}

HRESULT CubeTexture::UnlockRect(D3DCUBEMAP_FACES face, UINT level) {
    Surface* surface = Find(face, level);
    return surface ? surface->UnlockRect() : D3DERR_INVALIDCALL;
}

bool CubeTexture::AnyLevelLocked() const {
    return std::any_of(surfaces_.begin(), surfaces_.end(), [](const auto& level) { return level->IsLocked(); });
}

// ---- volume textures ------------------------------------------------------------

VolumeTexture::VolumeTexture(Device* device, const TextureTraits& traits)
    : TextureBase(device, traits) {
    for (std::uint32_t level = 0; level < traits.levels; ++level) {
        const VolumeTraits volume{traits.format,  LevelSize(traits.width, level), LevelSize(traits.height, level),
                                  LevelSize(traits.depth, level), traits.usage, traits.pool, LevelsLockable()};
        levels_.push_back(std::make_unique<Volume>(device, volume, static_cast<IDirect3DVolumeTexture9*>(this),
                                                   &contentVersion_));
    }
}

HRESULT VolumeTexture::QueryInterface(REFIID riid, void** object) {
    return QueryFor(riid, IID_IDirect3DVolumeTexture9, object);
}

HRESULT VolumeTexture::GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) {
    if (level >= levels_.size()) return D3DERR_INVALIDCALL;
    return levels_[level]->GetDesc(desc);
}

HRESULT VolumeTexture::GetVolumeLevel(UINT level, IDirect3DVolume9** volume) {
    if (!volume || level >= levels_.size()) return D3DERR_INVALIDCALL;
    AddRef();
    *volume = levels_[level].get();
    return S_OK;
}

HRESULT VolumeTexture::LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) {
    if (level >= levels_.size()) return D3DERR_INVALIDCALL;
    return levels_[level]->LockBox(locked, box, flags);
}

HRESULT VolumeTexture::UnlockBox(UINT level) {
    if (level >= levels_.size()) return D3DERR_INVALIDCALL;
    return levels_[level]->UnlockBox();
}

bool VolumeTexture::AnyLevelLocked() const {
    return std::any_of(levels_.begin(), levels_.end(), [](const auto& level) { return level->IsLocked(); });
}

template class TextureBase<IDirect3DTexture9>;
template class TextureBase<IDirect3DCubeTexture9>;
template class TextureBase<IDirect3DVolumeTexture9>;

}  // namespace quillmark::core
