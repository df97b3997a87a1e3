#include "texfile/texture_fit.h"

#include "texfile/device_format_match.h"
#include "texfile/texture_constants.h"

#include <algorithm>
#include <bit>

namespace quillmark {
namespace {

constexpr DWORD kForbiddenUsageBits = 0xFFE039ECu;
constexpr UINT kUnset = 0xFFFFFFFFu;

struct Request {
    UINT width;
    UINT height;
    UINT depth;
    UINT levels;
    D3DFORMAT format;
};

bool IsBlockCompressed(D3DFORMAT format) { return LookupPixelFormat(format).IsBlockCompressed(); }

UINT ReadOr(const UINT* value, UINT fallback) { return value != nullptr ? *value : fallback; }

void DefaultSizes(Request& r, D3DRESOURCETYPE type) {
    if (r.width == kUnset && r.height == kUnset) r.width = r.height = 256;
    else if (r.width == kUnset) r.width = r.height;
    else if (r.height == kUnset) r.height = r.width;
    r.width = std::max(r.width, 1u);
    r.height = std::max(r.height, 1u);
    if (type == D3DRTYPE_CUBETEXTURE) r.width = r.height = std::max(r.width, r.height);
    if (r.depth == kUnset || r.depth == 0) r.depth = 1;
}

UINT RoundUpToPowerOfTwo(UINT value) {
    return value > 0x80000000u ? 0x80000000u : std::bit_ceil(value);
}

DWORD PowerOfTwoBit(D3DRESOURCETYPE type) {
    if (type == D3DRTYPE_VOLUMETEXTURE) return D3DPTEXTURECAPS_VOLUMEMAP_POW2;
    if (type == D3DRTYPE_CUBETEXTURE) return D3DPTEXTURECAPS_CUBEMAP_POW2;
    return D3DPTEXTURECAPS_POW2;
}

DWORD MipmapBit(D3DRESOURCETYPE type) {
    if (type == D3DRTYPE_VOLUMETEXTURE) return D3DPTEXTURECAPS_MIPVOLUMEMAP;
    if (type == D3DRTYPE_CUBETEXTURE) return D3DPTEXTURECAPS_MIPCUBEMAP;
    return D3DPTEXTURECAPS_MIPMAP;
}

void ApplyCaps(Request& r, const D3DCAPS9& caps, D3DRESOURCETYPE type) {
    if (type == D3DRTYPE_VOLUMETEXTURE) {
        r.width = std::min<UINT>(r.width, caps.MaxVolumeExtent);
        r.height = std::min<UINT>(r.height, caps.MaxVolumeExtent);
        r.depth = std::min<UINT>(r.depth, caps.MaxVolumeExtent);
    } else {
        r.width = std::min<UINT>(r.width, caps.MaxTextureWidth);
        r.height = std::min<UINT>(r.height, caps.MaxTextureHeight);
        if (type == D3DRTYPE_TEXTURE) {
            const std::uint64_t ratio =
                (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) ? 1 : caps.MaxTextureAspectRatio;
            if (ratio != 0) {
                r.width = static_cast<UINT>(std::min<std::uint64_t>(r.width, ratio * r.height));
                r.height = static_cast<UINT>(std::min<std::uint64_t>(r.height, ratio * r.width));
            }
        }
    }
    const bool conditional = r.levels == 1 && (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) &&
                             !IsBlockCompressed(r.format);
    if (!conditional && (caps.TextureCaps & PowerOfTwoBit(type))) {
        r.width = RoundUpToPowerOfTwo(r.width);
        r.height = RoundUpToPowerOfTwo(r.height);
        r.depth = RoundUpToPowerOfTwo(r.depth);
    }
}

void FitLevels(Request& r, const D3DCAPS9* caps, D3DRESOURCETYPE type, DWORD usage) {
    if (caps != nullptr) {
        const bool anyNonPow2 = !std::has_single_bit(r.width) || !std::has_single_bit(r.height) ||
                                !std::has_single_bit(r.depth);
        if (!(caps->TextureCaps & MipmapBit(type)) ||
            ((caps->TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) && anyNonPow2)) {
            r.levels = 1;
            return;
        }
    }
    UINT largest = std::max(r.width, r.height);
    if (type == D3DRTYPE_VOLUMETEXTURE) largest = std::max(largest, r.depth);
    const UINT full = static_cast<UINT>(std::bit_width(largest));
    if (r.levels == 0 || r.levels > full) r.levels = full;
    if (r.levels != 1 && (usage & D3DUSAGE_AUTOGENMIPMAP)) r.levels = 0;
}

void WriteBack(const Request& r, UINT* width, UINT* height, UINT* depth, UINT* levels, D3DFORMAT* format) {
    if (width != nullptr) *width = r.width;
    if (height != nullptr) *height = r.height;
    if (depth != nullptr) *depth = r.depth;
    if (levels != nullptr) *levels = r.levels;
    if (format != nullptr) *format = r.format;
}

}  // namespace

HRESULT FitTextureToDevice(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* depth, UINT* levels,
                           DWORD usage, D3DFORMAT* format, D3DPOOL pool, D3DRESOURCETYPE resourceType) {
    if (device == nullptr) return D3DERR_INVALIDCALL;
    if (usage == TEX_AUTO) usage = 0;
    if (usage & kForbiddenUsageBits) return D3DERR_INVALIDCALL;
    if (pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    const bool scratch = pool == D3DPOOL_SCRATCH;

    Request r{ReadOr(width, kUnset), ReadOr(height, kUnset), ReadOr(depth, kUnset), ReadOr(levels, kUnset),
              format != nullptr ? *format : D3DFMT_UNKNOWN};
    if (!scratch) {
        r.format = MatchFormatOnDevice(device, usage, resourceType, LookupPixelFormat(r.format));
        if (r.format == D3DFMT_UNKNOWN) return D3DERR_NOTAVAILABLE;
    } else if (r.format == D3DFMT_UNKNOWN) {
        r.format = D3DFMT_A8R8G8B8;
    }
    DefaultSizes(r, resourceType);

    D3DCAPS9 caps{};
    if (!scratch) {
        const HRESULT result = device->GetDeviceCaps(&caps);
        if (FAILED(result)) return result;
        ApplyCaps(r, caps, resourceType);
    }
    if (IsBlockCompressed(r.format)) {
        r.width = (std::min(r.width, 0xFFFFFFFCu) + 3) & ~3u;
        r.height = (std::min(r.height, 0xFFFFFFFCu) + 3) & ~3u;
    }
    FitLevels(r, scratch ? nullptr : &caps, resourceType, usage);
    WriteBack(r, width, height, depth, levels, format);
    return S_OK;
}

}  // namespace quillmark
