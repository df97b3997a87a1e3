// Copies between the reference device's resources: UpdateTexture,
// UpdateSurface, GetRenderTargetData and StretchRect.
#include <algorithm>
#include <cmath>

#include "devices/core/device_formats.h"
#include "devices/core/device.h"
#include "devices/core/surface_resource.h"
#include "devices/core/texture_resources.h"

namespace quillmark::core {
namespace {

bool SameSize(const PixelStore& a, const PixelStore& b) {
    return a.width == b.width && a.height == b.height && a.depth == b.depth;
}

std::uint32_t Channel(std::uint32_t pixel, int shift) { return (pixel >> shift) & 0xFF; }

// Bilinear sample of a 32-bit surface at (x, y) in texel-centre coordinates,
// clamped to the edges, rounded to the nearest 8-bit value per channel.
std::uint32_t LinearSample(const PixelStore& store, const PixelBox& box, float x, float y) {
    const float fx = std::clamp(x, float(box.left), float(box.right - 1));
    const float fy = std::clamp(y, float(box.top), float(box.bottom - 1));
    const auto x0 = static_cast<std::uint32_t>(fx), y0 = static_cast<std::uint32_t>(fy);
    const std::uint32_t x1 = std::min(x0 + 1, box.right - 1), y1 = std::min(y0 + 1, box.bottom - 1);
    const float wx = fx - float(x0), wy = fy - float(y0);
    auto at = [&](std::uint32_t px, std::uint32_t py) {
        return *reinterpret_cast<const std::uint32_t*>(store.BlockAt(px, py));
    };
    const std::uint32_t p00 = at(x0, y0), p10 = at(x1, y0), p01 = at(x0, y1), p11 = at(x1, y1);
    std::uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const float top = float(Channel(p00, shift)) * (1 - wx) + float(Channel(p10, shift)) * wx;
        const float bottom = float(Channel(p01, shift)) * (1 - wx) + float(Channel(p11, shift)) * wx;
        const auto value = static_cast<std::uint32_t>(top * (1 - wy) + bottom * wy + 0.5f);
        result |= std::min(value, 255u) << shift;
    }
    return result;
}

// Scales `from` into `to` with point or linear filtering (32-bit formats).
void Stretch(const PixelStore& from, const PixelBox& src, PixelStore& to, const PixelBox& dst, bool linear) {
    const float scaleX = float(src.right - src.left) / float(dst.right - dst.left);
    const float scaleY = float(src.bottom - src.top) / float(dst.bottom - dst.top);
    for (std::uint32_t y = dst.top; y < dst.bottom; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(to.BlockAt(0, y));
        const float sy = (float(y - dst.top) + 0.5f) * scaleY;
        for (std::uint32_t x = dst.left; x < dst.right; ++x) {
            const float sx = (float(x - dst.left) + 0.5f) * scaleX;
            if (linear) {
                row[x] = LinearSample(from, src, src.left + sx - 0.5f, src.top + sy - 0.5f);
            } else {
                const auto px = std::min(src.left + static_cast<std::uint32_t>(sx), src.right - 1);
                const auto py = std::min(src.top + static_cast<std::uint32_t>(sy), src.bottom - 1);
                row[x] = *reinterpret_cast<const std::uint32_t*>(from.BlockAt(px, py));
            }
        }
    }
}

bool Overlaps(const PixelBox& a, const PixelBox& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace

Surface* Device::OwnSurface(IDirect3DSurface9* surface) const {
    auto* own = surface ? dynamic_cast<Surface*>(surface) : nullptr;
    return own && own->OwningDevice() == this ? own : nullptr;
}

// System-memory texture to a default-pool texture of the same kind and
// format; the destination's levels match the source's smallest levels.
HRESULT Device::UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination) {
    TextureInternals* from = InternalsOf(source);
    TextureInternals* to = InternalsOf(destination);
    if (!from || !to || from->Lifetime().OwningDevice() != this || to->Lifetime().OwningDevice() != this)
        return D3DERR_INVALIDCALL;
    const TextureTraits& a = from->Traits();
    const TextureTraits& b = to->Traits();
    if (from->Kind() != to->Kind() || a.format != b.format || a.pool != D3DPOOL_SYSTEMMEM ||
        b.pool != D3DPOOL_DEFAULT || a.levels < b.levels || from->AnyLevelLocked() || to->AnyLevelLocked())
        return D3DERR_INVALIDCALL;
    const std::uint32_t skipped = a.levels - b.levels;
    for (std::uint32_t face = 0; face < from->Faces(); ++face) {
        for (std::uint32_t level = 0; level < b.levels; ++level) {
            if (!SameSize(from->Store(face, level + skipped), to->Store(face, level))) return D3DERR_INVALIDCALL;
        }
    }
    for (std::uint32_t face = 0; face < from->Faces(); ++face) {
        for (std::uint32_t level = 0; level < b.levels; ++level) {
            to->Store(face, level).bytes = from->Store(face, level + skipped).bytes;
        }
    }
    to->MarkChanged();
    return S_OK;
}

HRESULT Device::UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect,
                                       IDirect3DSurface9* destination, const POINT* destPoint) {
    Surface* from = OwnSurface(source);
    Surface* to = OwnSurface(destination);
    if (!from || !to || from == to) return D3DERR_INVALIDCALL;
    const SurfaceTraits& a = from->Traits();
    const SurfaceTraits& b = to->Traits();
    if (a.pool != D3DPOOL_SYSTEMMEM || b.pool != D3DPOOL_DEFAULT || a.format != b.format ||
        IsDepthFormat(a.format) || from->IsLocked() || to->IsLocked())
        return D3DERR_INVALIDCALL;
    PixelBox box{};
    if (!BoxFromRect(from->Pixels(), sourceRect, &box)) return D3DERR_INVALIDCALL;
    const LONG x = destPoint ? destPoint->x : 0;
    const LONG y = destPoint ? destPoint->y : 0;
    if (x < 0 || y < 0) return D3DERR_INVALIDCALL;
    const PixelBox target{std::uint32_t(x), std::uint32_t(y), std::uint32_t(x) + box.right - box.left,
                          std::uint32_t(y) + box.bottom - box.top};
    if (!IsValidBox(to->Pixels(), target)) return D3DERR_INVALIDCALL;
    BringToMemory(*to);
    CopyBlocks(from->Pixels(), box, to->Pixels(), target.left, target.top, 0);
    to->MarkChanged();
    return S_OK;
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destination) {
    Surface* from = OwnSurface(renderTarget);
    Surface* to = OwnSurface(destination);
    if (!from || !to || from == to) return D3DERR_INVALIDCALL;
    if (!(from->Traits().usage & D3DUSAGE_RENDERTARGET) || to->Traits().pool != D3DPOOL_SYSTEMMEM ||
        from->Traits().format != to->Traits().format || !SameSize(from->Pixels(), to->Pixels()) || to->IsLocked())
        return D3DERR_INVALIDCALL;
    BringToMemory(*from);
    to->Pixels().bytes = from->Pixels().bytes;
    to->MarkChanged();
    return S_OK;
}

// Between default-pool surfaces of one format, into a render target or an
// offscreen plain surface. Equal sizes copy any format; scaling needs a
// 32-bit render-target format. Depth surfaces and overlapping rectangles of
// one surface are refused.
HRESULT Device::StretchRect(IDirect3DSurface9* source, const RECT* sourceRect,
                                     IDirect3DSurface9* destination, const RECT* destRect,
                                     D3DTEXTUREFILTERTYPE filter) {
    Surface* from = OwnSurface(source);
    Surface* to = OwnSurface(destination);
    if (!from || !to || filter > D3DTEXF_LINEAR || inScene_) return D3DERR_INVALIDCALL;
    const SurfaceTraits& a = from->Traits();
    const SurfaceTraits& b = to->Traits();
    const bool targetKind = (b.usage & D3DUSAGE_RENDERTARGET) != 0 || (b.usage == 0 && to->IsStandalone());
    if (a.pool != D3DPOOL_DEFAULT || b.pool != D3DPOOL_DEFAULT || a.format != b.format || !targetKind ||
        IsDepthFormat(a.format) || from->IsLocked() || to->IsLocked())
        return D3DERR_INVALIDCALL;
    PixelBox src{}, dst{};
    if (!BoxFromRect(from->Pixels(), sourceRect, &src) || !BoxFromRect(to->Pixels(), destRect, &dst))
        return D3DERR_INVALIDCALL;
    if (from == to && Overlaps(src, dst)) return D3DERR_INVALIDCALL;
    BringToMemory(*from);
    BringToMemory(*to);
    const bool sameSize = src.right - src.left == dst.right - dst.left && src.bottom - src.top == dst.bottom - dst.top;
    if (sameSize) {
        CopyBlocks(from->Pixels(), src, to->Pixels(), dst.left, dst.top, 0);
    } else {
        if (!IsRenderTargetFormat(a.format)) return D3DERR_INVALIDCALL;
        Stretch(from->Pixels(), src, to->Pixels(), dst, filter == D3DTEXF_LINEAR);
    }
    to->MarkChanged();
    return S_OK;
}

}  // namespace quillmark::core
