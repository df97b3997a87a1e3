// Creation of the reference device's resources, with the argument checks of
// a real device, and Clear.
#include <algorithm>
#include <bit>

#include "devices/core/device_formats.h"
#include "devices/core/entry_guard.h"
#include "devices/core/pixel_store.h"
#include "devices/core/device.h"
#include "devices/core/renderer.h"
#include "devices/core/surface_resource.h"
#include "devices/core/texture_resources.h"
#include "devices/core/vertex_buffer.h"

namespace quillmark::core {
namespace {

constexpr std::uint32_t kMaxTextureSize = 8192;
constexpr std::uint32_t kMaxVolumeExtent = 2048;
constexpr DWORD kTextureUsages = D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_DYNAMIC |
                                 D3DUSAGE_AUTOGENMIPMAP | D3DUSAGE_SOFTWAREPROCESSING;

std::uint32_t FullChainLength(std::uint32_t largest) { return static_cast<std::uint32_t>(std::bit_width(largest)); }

// The largest resource the device allocates, every level and face together.
constexpr std::uint64_t kMaxResourceBytes = std::uint64_t{1} << 32;

// Hands out a new object; running out of memory while making it gives
// E_OUTOFMEMORY and leaves nothing behind.
template <class T, class Make>
HRESULT HandOut(Make make, T** out) {
    return OutOfMemoryAsResult([&] {
        *out = make();
        return S_OK;
    });
}

// Whether `levels` levels (each `faces` times) of the format, halving from
// the given size, can be handed out: D3DERR_INVALIDCALL when a lock could
// not state a pitch, E_OUTOFMEMORY beyond kMaxResourceBytes. Every size is
// computed in 64 bits.
HRESULT CheckStorage(D3DFORMAT format, std::uint32_t width, std::uint32_t height, std::uint32_t depth,
                     std::uint32_t levels, std::uint32_t faces) {
    std::uint64_t total = 0;
    for (std::uint32_t level = 0; level < levels; ++level) {
        const StoreExtent extent =
            ExtentOf(format, LevelSize(width, level), LevelSize(height, level), LevelSize(depth, level));
        if (extent.rowPitch > kMaxPitch || (depth > 1 && extent.slicePitch > kMaxPitch)) return D3DERR_INVALIDCALL;
        if (extent.bytes > kMaxResourceBytes) return E_OUTOFMEMORY;
        total += extent.bytes * faces;  // at most 32 levels of 6 faces of 2^32 bytes: no wrap
    }
    return total > kMaxResourceBytes ? E_OUTOFMEMORY : S_OK;
}

}  // namespace

HRESULT Device::CheckTextureRequest(const TextureTraits& t, D3DRESOURCETYPE type) const {
    if (t.width == 0 || t.height == 0 || t.depth == 0 || t.pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if (t.usage & ~kTextureUsages) return D3DERR_INVALIDCALL;
    const std::uint32_t limit = type == D3DRTYPE_VOLUMETEXTURE ? kMaxVolumeExtent : kMaxTextureSize;
    if (t.pool != D3DPOOL_SCRATCH && std::max({t.width, t.height, t.depth}) > limit) return D3DERR_INVALIDCALL;
    if (t.levels > FullChainLength(std::max({t.width, t.height, t.depth}))) return D3DERR_INVALIDCALL;
    const bool renderTarget = (t.usage & D3DUSAGE_RENDERTARGET) != 0;
    const bool dynamic = (t.usage & D3DUSAGE_DYNAMIC) != 0;
    if (renderTarget && (dynamic || t.pool != D3DPOOL_DEFAULT || type == D3DRTYPE_VOLUMETEXTURE))
        return D3DERR_INVALIDCALL;
    if (dynamic && t.pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    if (t.usage & (D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_AUTOGENMIPMAP)) return D3DERR_NOTAVAILABLE;
    const bool held = renderTarget                 ? IsRenderTargetFormat(t.format)
                      : t.pool == D3DPOOL_SCRATCH ? CanHold(t.format) && !IsDepthFormat(t.format)
                                                   : IsSampledFormat(t.format);
    if (!held) return D3DERR_NOTAVAILABLE;
    const std::uint32_t levels = t.levels ? t.levels : FullChainLength(std::max({t.width, t.height, t.depth}));
    return CheckStorage(t.format, t.width, t.height, t.depth, levels, type == D3DRTYPE_CUBETEXTURE ? 6 : 1);
}

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                       D3DPOOL pool, IDirect3DTexture9** out, HANDLE* sharedHandle) {
    if (!out || sharedHandle) return D3DERR_INVALIDCALL;
    TextureTraits traits{format, width, height, 1, levels, usage, pool};
    if (const HRESULT checked = CheckTextureRequest(traits, D3DRTYPE_TEXTURE); FAILED(checked)) return checked;
    if (traits.levels == 0) traits.levels = FullChainLength(std::max(width, height));
    return HandOut<IDirect3DTexture9>([&] { return new Texture(this, traits); }, out);
}

HRESULT Device::CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                           IDirect3DCubeTexture9** out, HANDLE* sharedHandle) {
    if (!out || sharedHandle) return D3DERR_INVALIDCALL;
    TextureTraits traits{format, edge, edge, 1, levels, usage, pool};
    if (const HRESULT checked = CheckTextureRequest(traits, D3DRTYPE_CUBETEXTURE); FAILED(checked)) return checked;
    if (traits.levels == 0) traits.levels = FullChainLength(edge);
    return HandOut<IDirect3DCubeTexture9>([&] { return new CubeTexture(this, traits); }, out);
}

HRESULT Device::CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                                             D3DFORMAT format, D3DPOOL pool, IDirect3DVolumeTexture9** out,
                                             HANDLE* sharedHandle) {
    if (!out || sharedHandle) return D3DERR_INVALIDCALL;
    TextureTraits traits{format, width, height, depth, levels, usage, pool};
    if (const HRESULT checked = CheckTextureRequest(traits, D3DRTYPE_VOLUMETEXTURE); FAILED(checked))
        return checked;
    if (traits.levels == 0) traits.levels = FullChainLength(std::max({width, height, depth}));
    return HandOut<IDirect3DVolumeTexture9>([&] { return new VolumeTexture(this, traits); }, out);
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                            IDirect3DVertexBuffer9** out, HANDLE* sharedHandle) {
    if (!out || sharedHandle || length == 0 || pool > D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    const D3DVERTEXBUFFER_DESC desc{D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage, pool, length, fvf};
    return HandOut<IDirect3DVertexBuffer9>([&] { return new VertexBuffer(this, desc); }, out);
}

HRESULT Device::CreateStandaloneSurface(const SurfaceTraits& traits, IDirect3DSurface9** out) {
    if (traits.width == 0 || traits.height == 0) return D3DERR_INVALIDCALL;
    if (traits.pool != D3DPOOL_SCRATCH && std::max(traits.width, traits.height) > kMaxTextureSize)
        return D3DERR_INVALIDCALL;
    if (const HRESULT checked = CheckStorage(traits.format, traits.width, traits.height, 1, 1, 1); FAILED(checked))
        return checked;
    return HandOut<IDirect3DSurface9>([&] { return new Surface(this, traits); }, out);
}

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                            D3DMULTISAMPLE_TYPE multiSample, DWORD, BOOL lockable,
                                            IDirect3DSurface9** out, HANDLE* sharedHandle) {
    if (!out || sharedHandle) return D3DERR_INVALIDCALL;
    if (multiSample != D3DMULTISAMPLE_NONE || !IsRenderTargetFormat(format)) return D3DERR_NOTAVAILABLE;
    const SurfaceTraits traits{format, width, height, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, lockable != FALSE};
    return CreateStandaloneSurface(traits, out);
}

// Offscreen plain surfaces are lockable in every pool.
HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                     IDirect3DSurface9** out, HANDLE* sharedHandle) {
    if (!out || sharedHandle || pool == D3DPOOL_MANAGED || pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if (!CanHold(format) || IsDepthFormat(format)) return D3DERR_NOTAVAILABLE;
    return CreateStandaloneSurface({format, width, height, 0, pool, true}, out);
}

// ---- Clear --------------------------------------------------------------------------

// Clears the given rectangles (all of the viewport when there are none),
// always limited to the viewport.
HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD) {
    if ((count > 0 && !rects) || flags == 0 || (flags & ~DWORD{D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL}))
        return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_STENCIL) || ((flags & D3DCLEAR_ZBUFFER) && !depthBuffer_)) return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_ZBUFFER) && !(z >= 0.0f && z <= 1.0f)) return D3DERR_INVALIDCALL;
    const D3DVIEWPORT9& vp = state_.viewport;
    const D3DRECT viewport{static_cast<LONG>(vp.X), static_cast<LONG>(vp.Y), static_cast<LONG>(vp.X + vp.Width),
                           static_cast<LONG>(vp.Y + vp.Height)};
    const DWORD pieces = count == 0 ? 1 : count;
    for (DWORD i = 0; i < pieces; ++i) {
        D3DRECT r = count == 0 ? viewport : rects[i];
        r = {std::max(r.x1, viewport.x1), std::max(r.y1, viewport.y1), std::min(r.x2, viewport.x2),
             std::min(r.y2, viewport.y2)};
        if (r.x1 >= r.x2 || r.y1 >= r.y2) continue;
        renderer_->Clear(r, flags, color, z);
    }
    return S_OK;
}

}  // namespace quillmark::core
