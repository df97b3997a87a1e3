// Lock objects that turn a Direct3D surface or volume into a SurfaceDesc for
// the conversion engine, and the plain row copy between two surfaces.
//
// A surface that cannot be locked directly (a D3DPOOL_DEFAULT render target,
// say) is locked through a system-memory copy: its contents are fetched
// unless the lock will overwrite it whole, and a writing lock sends the copy
// back on Unlock. Block-compressed and packed-pair formats are locked in
// whole blocks or pairs; the desc's Box is then relative to the locked area.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/win32/wintypes.h"
#include "pixel/surface_desc.h"

namespace quillmark {

// Request flags of the lock objects.
inline constexpr DWORD LOCK_READ_ONLY = 0x1;
inline constexpr DWORD LOCK_THROUGH_COPY = 0x10000;

class SurfaceLock {
public:
    SurfaceLock() = default;
    ~SurfaceLock() { Unlock(); }
    SurfaceLock(const SurfaceLock&) = delete;
    SurfaceLock& operator=(const SurfaceLock&) = delete;

    // rect null: the whole surface. D3DERR_INVALIDCALL for a null surface or
    // a rectangle that is not inside it with left <= right, top <= bottom.
    HRESULT Lock(SurfaceDesc& out, IDirect3DSurface9* surface, const PALETTEENTRY* palette, const RECT* rect,
                 D3DCOLOR colorKey, DWORD requestFlags);
    // Unlocks (writing a copy back after a writing lock) and releases.
    void Unlock();

    // The surface actually locked: the copy's level, or the surface itself.
    IDirect3DSurface9* LockedSurface() const { return copySurface_ != nullptr ? copySurface_ : surface_; }

private:
    HRESULT PrepareCopy(const D3DSURFACE_DESC& desc, IDirect3DSurface9* surface, bool wholeWrite);
    DWORD LockFlags(IDirect3DSurface9* surface, const D3DSURFACE_DESC& desc, DWORD requestFlags,
                    bool wholeWrite) const;
    void ReleaseAll();

    DWORD requestFlags_ = 0;
    IDirect3DSurface9* surface_ = nullptr;
    IDirect3DSurface9* copySurface_ = nullptr;
    IDirect3DTexture9* copyTexture_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    bool locked_ = false;
};

class VolumeLock {
public:
    VolumeLock() = default;
    ~VolumeLock() { Unlock(); }
    VolumeLock(const VolumeLock&) = delete;
    VolumeLock& operator=(const VolumeLock&) = delete;

    // box null: the whole volume. D3DERR_INVALIDCALL for a null volume, a box
    // outside it, or a volume in D3DPOOL_DEFAULT that is not dynamic.
    HRESULT Lock(SurfaceDesc& out, IDirect3DVolume9* volume, const PALETTEENTRY* palette, const D3DBOX* box,
                 D3DCOLOR colorKey, DWORD requestFlags);
    void Unlock();

private:
    IDirect3DVolume9* volume_ = nullptr;
};

// Copies whole rows (rows of blocks for DXT formats) from one surface to
// another of the same format and size. D3DERR_INVALIDCALL when they differ.
HRESULT CopySurfaceRows(IDirect3DSurface9* source, IDirect3DSurface9* destination);

}  // namespace quillmark
