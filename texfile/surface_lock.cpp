#include "texfile/surface_lock.h"

#include "texfile/debug_mute.h"
#include "pixel/pixel_format.h"

#include <algorithm>
#include <cstring>

namespace quillmark {
namespace {

template <typename T>
void SafeRelease(T*& object) {
    if (object != nullptr) object->Release();
    object = nullptr;
}

// Widens a rectangle inside the surface to whole blocks of its format (4x4
// compressed blocks, pixel pairs); block sides are powers of two.
RECT AlignToGroups(RECT r, D3DFORMAT format, UINT width, UINT height) {
    const PixelFormatInfo& info = LookupPixelFormat(format);
    const LONG across = static_cast<LONG>(info.blockWidth) - 1;
    const LONG down = static_cast<LONG>(info.blockHeight) - 1;
    r.left &= ~across;
    r.top &= ~down;
    r.right = std::min<LONG>((r.right + across) & ~across, static_cast<LONG>(width));
    r.bottom = std::min<LONG>((r.bottom + down) & ~down, static_cast<LONG>(height));
    return r;
}

bool InsideSurface(const RECT& r, UINT width, UINT height) {
    return r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom &&
           static_cast<std::int64_t>(r.right) <= width && static_cast<std::int64_t>(r.bottom) <= height;
}

// The copy texture's extra levels make its last level exactly W x H while
// keeping level 0 a multiple of the 4x4 block size.
UINT CopyLevelShift(D3DFORMAT format, UINT width, UINT height) {
    if (!LookupPixelFormat(format).IsBlockCompressed() || ((width | height) & 3) == 0) return 0;
    UINT shift = 1;
    while ((((width | height) << shift) & 3) != 0) ++shift;
    return shift;
}

HRESULT FetchThroughRenderTarget(IDirect3DDevice9* device, IDirect3DSurface9* surface, const D3DSURFACE_DESC& desc,
                                 IDirect3DSurface9* copy) {
    IDirect3DSurface9* target = nullptr;
    HRESULT result = device->CreateRenderTarget(desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE, 0, TRUE,
                                                &target, nullptr);
    if (SUCCEEDED(result)) result = device->StretchRect(surface, nullptr, target, nullptr, D3DTEXF_NONE);
    if (SUCCEEDED(result)) result = CopySurfaceRows(target, copy);
    SafeRelease(target);
    return result;
}

}  // namespace

HRESULT SurfaceLock::PrepareCopy(const D3DSURFACE_DESC& desc, IDirect3DSurface9* surface, bool wholeWrite) {
    const UINT shift = CopyLevelShift(desc.Format, desc.Width, desc.Height);
    const D3DPOOL pool = desc.Pool == D3DPOOL_SCRATCH ? D3DPOOL_SCRATCH : D3DPOOL_SYSTEMMEM;
    HRESULT result = surface->GetDevice(&device_);
    if (SUCCEEDED(result))
        result = device_->CreateTexture(desc.Width << shift, desc.Height << shift, shift + 1, 0, desc.Format, pool,
                                        &copyTexture_, nullptr);
    if (SUCCEEDED(result)) result = copyTexture_->GetSurfaceLevel(shift, &copySurface_);
    if (SUCCEEDED(result) && !wholeWrite) {
        DebugMute mute;
        result = CopySurfaceRows(surface, copySurface_);
        if (FAILED(result) && shift == 0) result = FetchThroughRenderTarget(device_, surface, desc, copySurface_);
    }
    if (FAILED(result)) {
        SafeRelease(copySurface_);
        SafeRelease(copyTexture_);
        SafeRelease(device_);
    }
    return result;
}

DWORD SurfaceLock::LockFlags(IDirect3DSurface9* surface, const D3DSURFACE_DESC& desc, DWORD requestFlags,
                             bool wholeWrite) const {
    DWORD flags = D3DLOCK_NOSYSLOCK;
    if (requestFlags & LOCK_READ_ONLY) flags |= D3DLOCK_READONLY;
    if (wholeWrite && copySurface_ == nullptr && (desc.Usage & D3DUSAGE_DYNAMIC)) {
        IDirect3DTexture9* container = nullptr;
        DebugMute mute;
        if (SUCCEEDED(surface->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(&container))) &&
            container != nullptr) {
            if (container->GetLevelCount() == 1) flags |= D3DLOCK_DISCARD;
            container->Release();
        }
    }
    return flags;
}

HRESULT SurfaceLock::Lock(SurfaceDesc& out, IDirect3DSurface9* surface, const PALETTEENTRY* palette,
                          const RECT* rect, D3DCOLOR colorKey, DWORD requestFlags) {
    Unlock();
    if (surface == nullptr) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc{};
    HRESULT result = surface->GetDesc(&desc);
    if (FAILED(result)) return result;
    const RECT whole{0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
    RECT box = rect != nullptr ? *rect : whole;
    if (!InsideSurface(box, desc.Width, desc.Height)) return D3DERR_INVALIDCALL;
    bool partial = std::memcmp(&box, &whole, sizeof(RECT)) != 0;
    const bool wholeWrite = !(requestFlags & LOCK_READ_ONLY) && !partial;

    if (requestFlags & LOCK_THROUGH_COPY) {
        result = PrepareCopy(desc, surface, wholeWrite);
        if (FAILED(result)) return result;
    }
    IDirect3DSurface9* target = copySurface_ != nullptr ? copySurface_ : surface;
    const DWORD flags = LockFlags(surface, desc, requestFlags, wholeWrite);
    const RECT lockRect = AlignToGroups(box, desc.Format, desc.Width, desc.Height);
    if (std::memcmp(&lockRect, &whole, sizeof(RECT)) == 0) partial = false;

    D3DLOCKED_RECT locked{};
    if (copySurface_ == nullptr) {
        {
            DebugMute mute;
            result = surface->LockRect(&locked, partial ? &lockRect : nullptr, flags);
        }
        if (FAILED(result)) return Lock(out, surface, palette, rect, colorKey, requestFlags | LOCK_THROUGH_COPY);
    } else {
        result = target->LockRect(&locked, partial ? &lockRect : nullptr, flags);
        if (FAILED(result)) {
            ReleaseAll();
            return result;
        }
    }
    locked_ = true;
    if (partial) {
        box.left -= lockRect.left, box.right -= lockRect.left;
        box.top -= lockRect.top, box.bottom -= lockRect.top;
    }
    out = SurfaceDesc{};
    out.Data = static_cast<BYTE*>(locked.pBits);
    out.Format = desc.Format;
    out.RowPitch = locked.Pitch;
    out.Extent = D3DBOX{0, 0, desc.Width, desc.Height, 0, 1};
    out.Box = D3DBOX{static_cast<UINT>(box.left), static_cast<UINT>(box.top), static_cast<UINT>(box.right),
                     static_cast<UINT>(box.bottom), 0, 1};
    out.Dither = 1;
    out.ColorKey = colorKey;
    out.Palette = palette;
    requestFlags_ = requestFlags;
    surface_ = surface;
    surface_->AddRef();
    return S_OK;
}

void SurfaceLock::Unlock() {
    if (locked_) LockedSurface()->UnlockRect();
    locked_ = false;
    if (copySurface_ != nullptr && device_ != nullptr && surface_ != nullptr && !(requestFlags_ & LOCK_READ_ONLY)) {
        DebugMute mute;
        const POINT origin{0, 0};
        if (FAILED(device_->UpdateSurface(copySurface_, nullptr, surface_, &origin)))
            CopySurfaceRows(copySurface_, surface_);
    }
    ReleaseAll();
}

void SurfaceLock::ReleaseAll() {
    SafeRelease(copySurface_);
    SafeRelease(copyTexture_);
    SafeRelease(device_);
    SafeRelease(surface_);
    requestFlags_ = 0;
    locked_ = false;
}

HRESULT VolumeLock::Lock(SurfaceDesc& out, IDirect3DVolume9* volume, const PALETTEENTRY* palette, const D3DBOX* box,
                         D3DCOLOR colorKey, DWORD requestFlags) {
    Unlock();
    if (volume == nullptr) return D3DERR_INVALIDCALL;
    D3DVOLUME_DESC desc{};
    HRESULT result = volume->GetDesc(&desc);
    if (FAILED(result)) return result;
    const D3DBOX whole{0, 0, desc.Width, desc.Height, 0, desc.Depth};
    D3DBOX region = box != nullptr ? *box : whole;
    if (region.Left > region.Right || region.Right > desc.Width || region.Top > region.Bottom ||
        region.Bottom > desc.Height || region.Front > region.Back || region.Back > desc.Depth)
        return D3DERR_INVALIDCALL;
    if (desc.Pool == D3DPOOL_DEFAULT && !(desc.Usage & D3DUSAGE_DYNAMIC)) return D3DERR_INVALIDCALL;
    bool partial = std::memcmp(&region, &whole, sizeof(D3DBOX)) != 0;
    const bool wholeWrite = !(requestFlags & LOCK_READ_ONLY) && !partial;

    DWORD flags = D3DLOCK_NOSYSLOCK | ((requestFlags & LOCK_READ_ONLY) ? D3DLOCK_READONLY : 0);
    if (wholeWrite && (desc.Usage & D3DUSAGE_DYNAMIC)) {
        IDirect3DVolumeTexture9* container = nullptr;
        DebugMute mute;
        if (SUCCEEDED(volume->GetContainer(IID_IDirect3DVolumeTexture9, reinterpret_cast<void**>(&container))) &&
            container != nullptr) {
            if (container->GetLevelCount() == 1) flags |= D3DLOCK_DISCARD;
            container->Release();
        }
    }
    const RECT aligned = AlignToGroups(RECT{static_cast<LONG>(region.Left), static_cast<LONG>(region.Top),
                                            static_cast<LONG>(region.Right), static_cast<LONG>(region.Bottom)},
                                       desc.Format, desc.Width, desc.Height);
    const D3DBOX lockBox{static_cast<UINT>(aligned.left), static_cast<UINT>(aligned.top),
                         static_cast<UINT>(aligned.right), static_cast<UINT>(aligned.bottom), region.Front,
                         region.Back};
    if (std::memcmp(&lockBox, &whole, sizeof(D3DBOX)) == 0) partial = false;
    D3DLOCKED_BOX locked{};
    result = volume->LockBox(&locked, partial ? &lockBox : nullptr, flags);
    if (FAILED(result)) return result;
    if (partial) {
        region.Left -= lockBox.Left, region.Right -= lockBox.Left;
        region.Top -= lockBox.Top, region.Bottom -= lockBox.Top;
        region.Front -= lockBox.Front, region.Back -= lockBox.Front;
    }
    out = SurfaceDesc{};
    out.Data = static_cast<BYTE*>(locked.pBits);
    out.Format = desc.Format;
    out.RowPitch = locked.RowPitch;
    out.SlicePitch = locked.SlicePitch;
    out.Extent = whole;
    out.Box = region;
    out.Dither = 1;
    out.ColorKey = colorKey;
    out.Palette = palette;
    volume_ = volume;
    volume_->AddRef();
    return S_OK;
}

void VolumeLock::Unlock() {
    if (volume_ == nullptr) return;
    volume_->UnlockBox();
    SafeRelease(volume_);
}

HRESULT CopySurfaceRows(IDirect3DSurface9* source, IDirect3DSurface9* destination) {
    if (source == nullptr || destination == nullptr) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC from{}, to{};
    HRESULT result = source->GetDesc(&from);
    if (SUCCEEDED(result)) result = destination->GetDesc(&to);
    if (FAILED(result)) return result;
    if (from.Format != to.Format || from.Width != to.Width || from.Height != to.Height) return D3DERR_INVALIDCALL;
    D3DLOCKED_RECT in{}, out{};
    result = source->LockRect(&in, nullptr, 0);
    if (FAILED(result)) return result;
    result = destination->LockRect(&out, nullptr, 0);
    if (FAILED(result)) {
        source->UnlockRect();
        return result;
    }
    const auto rows = static_cast<UINT>(LookupPixelFormat(from.Format).BlockRows(from.Height));
    const std::size_t bytes = static_cast<std::size_t>(std::min(in.Pitch, out.Pitch));
    const auto* read = static_cast<const BYTE*>(in.pBits);
    auto* write = static_cast<BYTE*>(out.pBits);
    for (UINT row = 0; row < rows; ++row, read += in.Pitch, write += out.Pitch) std::memcpy(write, read, bytes);
    destination->UnlockRect();
    source->UnlockRect();
    return S_OK;
}

}  // namespace quillmark
