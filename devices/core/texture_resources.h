// Textures of the reference device: 2-D, cube and volume, each holding all
// of its levels (and faces) in memory. Levels share the texture's reference
// count; `content version` counts every change so that decoded copies can
// be refreshed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "devices/core/device_object.h"
#include "devices/core/surface_resource.h"
#include "devices/core/volume_resource.h"

namespace quillmark::core {

// Level sizes halve down to 1.
inline std::uint32_t LevelSize(std::uint32_t size, std::uint32_t level) { return std::max(1u, size >> level); }

struct TextureTraits {
    D3DFORMAT format;
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t depth;  // 1 except for volume textures
    std::uint32_t levels;
    DWORD usage;
    D3DPOOL pool;
};

// What the device needs of any of its textures, whatever the interface.
class TextureInternals {
public:
    virtual const TextureTraits& Traits() const = 0;
    virtual D3DRESOURCETYPE Kind() const = 0;
    virtual std::uint32_t Faces() const = 0;
    virtual PixelStore& Store(std::uint32_t face, std::uint32_t level) = 0;
    virtual bool AnyLevelLocked() const = 0;
    virtual std::uint64_t ContentVersion() const = 0;
    virtual void MarkChanged() = 0;
    // Unique among all textures the process ever created.
    virtual std::uint64_t Serial() const = 0;
    virtual DeviceObject& Lifetime() = 0;

protected:
    ~TextureInternals() = default;
};

std::uint64_t NextTextureSerial();

// A texture interface's operations that do not depend on its kind.
template <class Interface>
class TextureBase : public Interface, public DeviceObject, public TextureInternals {
public:
    ULONG AddRef() override { return AddPublicReference(); }
    ULONG Release() override { return ReleasePublicReference(); }
    HRESULT GetDevice(IDirect3DDevice9** device) override { return GetDeviceReference(device); }
    DWORD SetPriority(DWORD priority) override {
        if (traits_.pool != D3DPOOL_MANAGED) return 0;
        return std::exchange(priority_, priority);
    }
    DWORD GetPriority() override { return traits_.pool == D3DPOOL_MANAGED ? priority_ : 0; }
    void PreLoad() override {}
    DWORD SetLOD(DWORD lod) override {
        if (traits_.pool != D3DPOOL_MANAGED) return 0;
        return std::exchange(lod_, std::min<DWORD>(lod, traits_.levels - 1));
    }
    DWORD GetLOD() override { return traits_.pool == D3DPOOL_MANAGED ? lod_ : 0; }
    DWORD GetLevelCount() override { return traits_.levels; }
    HRESULT SetAutoGenFilterType(D3DTEXTUREFILTERTYPE) override { return D3DERR_INVALIDCALL; }
    D3DTEXTUREFILTERTYPE GetAutoGenFilterType() override { return D3DTEXF_NONE; }
    void GenerateMipSubLevels() override {}

    const TextureTraits& Traits() const override { return traits_; }
    std::uint64_t ContentVersion() const override { return contentVersion_; }
    void MarkChanged() override { ++contentVersion_; }
    std::uint64_t Serial() const override { return serial_; }
    DeviceObject& Lifetime() override { return *this; }

protected:
    TextureBase(Device* device, const TextureTraits& traits)
        : DeviceObject(device), traits_(traits), serial_(NextTextureSerial()) {}

    bool LevelsLockable() const;
    HRESULT QueryFor(REFIID riid, REFIID own, void** object);

    TextureTraits traits_;
    std::uint64_t contentVersion_ = 0;

private:
    std::uint64_t serial_;
    DWORD priority_ = 0;
    DWORD lod_ = 0;
};

class Texture final : public TextureBase<IDirect3DTexture9> {
public:
    Texture(Device* device, const TextureTraits& traits);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;
    HRESULT AddDirtyRect(const RECT*) override { return S_OK; }

    D3DRESOURCETYPE Kind() const override { return D3DRTYPE_TEXTURE; }
    std::uint32_t Faces() const override { return 1; }
    PixelStore& Store(std::uint32_t, std::uint32_t level) override { return levels_[level]->Pixels(); }
    bool AnyLevelLocked() const override;

private:
    std::vector<std::unique_ptr<Surface>> levels_;
};

class CubeTexture final : public TextureBase<IDirect3DCubeTexture9> {
public:
    CubeTexture(Device* device, const TextureTraits& traits);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_CUBETEXTURE; }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                     DWORD flags) override;
    HRESULT UnlockRect(D3DCUBEMAP_FACES face, UINT level) override;
    HRESULT AddDirtyRect(D3DCUBEMAP_FACES, const RECT*) override { return S_OK; }

    D3DRESOURCETYPE Kind() const override { return D3DRTYPE_CUBETEXTURE; }
    std::uint32_t Faces() const override { return 6; }
    PixelStore& Store(std::uint32_t face, std::uint32_t level) override;
    bool AnyLevelLocked() const override;

private:
    Surface* Find(D3DCUBEMAP_FACES face, UINT level);
    std::vector<std::unique_ptr<Surface>> surfaces_;  // face-major
};

class VolumeTexture final : public TextureBase<IDirect3DVolumeTexture9> {
public:
    VolumeTexture(Device* device, const TextureTraits& traits);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VOLUMETEXTURE; }
    HRESULT GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) override;
    HRESULT GetVolumeLevel(UINT level, IDirect3DVolume9** volume) override;
    HRESULT LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) override;
    HRESULT UnlockBox(UINT level) override;
    HRESULT AddDirtyBox(const D3DBOX*) override { return S_OK; }

    D3DRESOURCETYPE Kind() const override { return D3DRTYPE_VOLUMETEXTURE; }
    std::uint32_t Faces() const override { return 1; }
    PixelStore& Store(std::uint32_t, std::uint32_t level) override { return levels_[level]->Pixels(); }
    bool AnyLevelLocked() const override;

private:
    std::vector<std::unique_ptr<Volume>> levels_;
};

// The device's view of a texture interface, or null when it is not one of
// this device family's textures.
TextureInternals* InternalsOf(IDirect3DBaseTexture9* texture);

}  // namespace quillmark::core
