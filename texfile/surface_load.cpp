#include "texfile/surface_load.h"

#include "texfile/debug_mute.h"
#include "pixel/resample.h"
#include "texfile/surface_lock.h"
#include "texfile/texture_constants.h"

#include <cstring>

namespace quillmark {
namespace {

constexpr DWORD kAutoFilter = RESAMPLE_TRIANGLE | RESAMPLE_DITHER;

DWORD ResolveFilter(DWORD filter) {
    return filter == TEX_AUTO ? kAutoFilter : filter;
}

bool IsOrderedRect(const RECT& r) { return r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom; }

bool IsOrderedBox(const D3DBOX& b) { return b.Left <= b.Right && b.Top <= b.Bottom && b.Front <= b.Back; }

bool IsEmpty(const D3DBOX& b) { return b.Left == b.Right || b.Top == b.Bottom || b.Front == b.Back; }

// An ordered, empty destination rectangle inside the surface: nothing to do.
bool IsEmptyDestination(IDirect3DSurface9* surface, const RECT* rect) {
    if (rect == nullptr || !IsOrderedRect(*rect) || (rect->left != rect->right && rect->top != rect->bottom))
        return false;
    D3DSURFACE_DESC desc{};
    return SUCCEEDED(surface->GetDesc(&desc)) && static_cast<UINT>(rect->right) <= desc.Width &&
           static_cast<UINT>(rect->bottom) <= desc.Height;
}

bool IsEmptyDestination(IDirect3DVolume9* volume, const D3DBOX* box) {
    if (box == nullptr || !IsOrderedBox(*box) || !IsEmpty(*box)) return false;
    D3DVOLUME_DESC desc{};
    return SUCCEEDED(volume->GetDesc(&desc)) && box->Right <= desc.Width && box->Bottom <= desc.Height &&
           box->Back <= desc.Depth;
}

SurfaceDesc MemorySource(const void* data, D3DFORMAT format, UINT rowPitch, UINT slicePitch,
                         const PALETTEENTRY* palette, const D3DBOX& box, D3DCOLOR colorKey) {
    SurfaceDesc source;
    source.Data = static_cast<BYTE*>(const_cast<void*>(data));
    source.Format = format;
    source.RowPitch = static_cast<INT>(rowPitch);
    source.SlicePitch = static_cast<INT>(slicePitch);
    source.Extent = box;
    source.Box = box;
    source.ColorKey = colorKey;
    source.Palette = palette;
    return source;
}

bool SamePalettes(const PALETTEENTRY* a, const PALETTEENTRY* b) {
    if (a == b) return true;
    return a != nullptr && b != nullptr && std::memcmp(a, b, 256 * sizeof(PALETTEENTRY)) == 0;
}

RECT WholeOr(const RECT* rect, const D3DSURFACE_DESC& desc) {
    return rect != nullptr ? *rect : RECT{0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
}

// StretchRect between two default-pool surfaces, UpdateSurface from system
// memory into the default pool; anything else has no device copy.
HRESULT TryDeviceCopy(IDirect3DSurface9* dest, const D3DSURFACE_DESC& destDesc, const RECT& destRect,
                      IDirect3DSurface9* src, const D3DSURFACE_DESC& srcDesc, const RECT& srcRect) {
    if (destRect.right - destRect.left != srcRect.right - srcRect.left ||
        destRect.bottom - destRect.top != srcRect.bottom - srcRect.top)
        return E_FAIL;
    if (destDesc.Pool != D3DPOOL_DEFAULT ||
        (srcDesc.Pool != D3DPOOL_DEFAULT && srcDesc.Pool != D3DPOOL_SYSTEMMEM))
        return E_FAIL;
    IDirect3DDevice9* device = nullptr;
    HRESULT result = src->GetDevice(&device);
    if (FAILED(result)) return result;
    {
        DebugMute mute;
        if (srcDesc.Pool == D3DPOOL_DEFAULT) {
            result = device->StretchRect(src, &srcRect, dest, &destRect, D3DTEXF_NONE);
        } else {
            const POINT topLeft{destRect.left, destRect.top};
            result = device->UpdateSurface(src, &srcRect, dest, &topLeft);
        }
    }
    device->Release();
    return result;
}

HRESULT DeviceState(IDirect3DSurface9* surface) {
    IDirect3DDevice9* device = nullptr;
    HRESULT result = surface->GetDevice(&device);
    if (FAILED(result)) return result;
    result = device->TestCooperativeLevel();
    device->Release();
    return result == S_OK ? S_OK : D3DERR_DEVICELOST;
}

}  // namespace

HRESULT CopyMemoryToSurface(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette, const RECT* destRect,
                            const void* srcData, D3DFORMAT srcFormat, UINT srcRowPitch,
                            const PALETTEENTRY* srcPalette, const RECT* srcRect, DWORD filter, D3DCOLOR colorKey) {
    if (destSurface == nullptr || srcData == nullptr || srcRect == nullptr) return D3DERR_INVALIDCALL;
    if (!IsOrderedRect(*srcRect)) return D3DERR_INVALIDCALL;
    if (IsEmptyDestination(destSurface, destRect)) return S_OK;
    SurfaceLock lock;
    SurfaceDesc destination;
    HRESULT result = lock.Lock(destination, destSurface, destPalette, destRect, 0, 0);
    if (FAILED(result)) return result;
    if (IsEmpty(destination.Box)) return S_OK;
    const D3DBOX box{static_cast<UINT>(srcRect->left), static_cast<UINT>(srcRect->top),
                     static_cast<UINT>(srcRect->right), static_cast<UINT>(srcRect->bottom), 0, 1};
    if (IsEmpty(box)) return D3DERR_INVALIDCALL;
    SurfaceDesc source = MemorySource(srcData, srcFormat, srcRowPitch, 0, srcPalette, box, colorKey);
    result = RunConversion(destination, source, ResolveFilter(filter));
    return FAILED(result) ? result : S_OK;
}

HRESULT CopySurfaceToSurface(IDirect3DSurface9* destSurface, const PALETTEENTRY* destPalette, const RECT* destRect,
                             IDirect3DSurface9* srcSurface, const PALETTEENTRY* srcPalette, const RECT* srcRect,
                             DWORD filter, D3DCOLOR colorKey) {
    if (destSurface == nullptr || srcSurface == nullptr) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC destDesc{}, srcDesc{};
    HRESULT result = destSurface->GetDesc(&destDesc);
    if (SUCCEEDED(result)) result = srcSurface->GetDesc(&srcDesc);
    if (FAILED(result)) return result;
    filter = ResolveFilter(filter);
    if ((filter & RESAMPLE_KIND_MASK) != RESAMPLE_BOX && colorKey == 0 && SamePalettes(destPalette, srcPalette) &&
        SUCCEEDED(TryDeviceCopy(destSurface, destDesc, WholeOr(destRect, destDesc), srcSurface, srcDesc,
                                WholeOr(srcRect, srcDesc))))
        return S_OK;

    SurfaceLock lock;
    SurfaceDesc source;
    const DWORD flags = LOCK_READ_ONLY | (srcSurface == destSurface ? LOCK_THROUGH_COPY : 0);
    result = lock.Lock(source, srcSurface, srcPalette, srcRect, 0, flags);
    if (FAILED(result)) return result;
    const RECT box{static_cast<LONG>(source.Box.Left), static_cast<LONG>(source.Box.Top),
                   static_cast<LONG>(source.Box.Right), static_cast<LONG>(source.Box.Bottom)};
    result = CopyMemoryToSurface(destSurface, destPalette, destRect, source.Data, source.Format,
                                 static_cast<UINT>(source.RowPitch), srcPalette, &box, filter, colorKey);
    if (SUCCEEDED(result) && srcDesc.Pool == D3DPOOL_DEFAULT && destDesc.Pool != D3DPOOL_DEFAULT)
        result = DeviceState(srcSurface);
    return result;
}

HRESULT CopyMemoryToVolume(IDirect3DVolume9* destVolume, const PALETTEENTRY* destPalette, const D3DBOX* destBox,
                           const void* srcData, D3DFORMAT srcFormat, UINT srcRowPitch, UINT srcSlicePitch,
                           const PALETTEENTRY* srcPalette, const D3DBOX* srcBox, DWORD filter, D3DCOLOR colorKey) {
    if (destVolume == nullptr || srcData == nullptr || srcBox == nullptr) return D3DERR_INVALIDCALL;
    if (!IsOrderedBox(*srcBox)) return D3DERR_INVALIDCALL;
    if (IsEmptyDestination(destVolume, destBox)) return S_OK;
    VolumeLock lock;
    SurfaceDesc destination;
    HRESULT result = lock.Lock(destination, destVolume, destPalette, destBox, 0, 0);
    if (FAILED(result)) return result;
    if (IsEmpty(destination.Box)) return S_OK;
    if (IsEmpty(*srcBox)) return D3DERR_INVALIDCALL;
    SurfaceDesc source = MemorySource(srcData, srcFormat, srcRowPitch, srcSlicePitch, srcPalette, *srcBox, colorKey);
    result = RunConversion(destination, source, ResolveFilter(filter));
    return FAILED(result) ? result : S_OK;
}

HRESULT CopyVolumeToVolume(IDirect3DVolume9* destVolume, const PALETTEENTRY* destPalette, const D3DBOX* destBox,
                           IDirect3DVolume9* srcVolume, const PALETTEENTRY* srcPalette, const D3DBOX* srcBox,
                           DWORD filter, D3DCOLOR colorKey) {
    if (destVolume == nullptr || srcVolume == nullptr) return D3DERR_INVALIDCALL;
    VolumeLock lock;
    SurfaceDesc source;
    HRESULT result = lock.Lock(source, srcVolume, srcPalette, srcBox, 0, LOCK_READ_ONLY);
    if (FAILED(result)) return result;
    return CopyMemoryToVolume(destVolume, destPalette, destBox, source.Data, source.Format,
                              static_cast<UINT>(source.RowPitch), static_cast<UINT>(source.SlicePitch), srcPalette,
                              &source.Box, filter, colorKey);
}

}  // namespace quillmark
