#include "device_formats.h"

#include <map>
#include <mutex>

#include "pixel_format.h"
#include "sampled_texture.h"

namespace quillmark::reference {

bool IsBlockCompressed(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_DXT1:
        case D3DFMT_DXT2:
        case D3DFMT_DXT3:
        case D3DFMT_DXT4:
        case D3DFMT_DXT5:
            return true;
        default:
            return false;
    }
}

static bool IsPixelPair(D3DFORMAT format) {
    return format == D3DFMT_UYVY || format == D3DFMT_YUY2 || format == D3DFMT_R8G8_B8G8 ||
           format == D3DFMT_G8R8_G8B8;
}

FormatLayout LayoutOf(D3DFORMAT format) {
    if (IsBlockCompressed(format)) return {4, 4, format == D3DFMT_DXT1 ? 8u : 16u};
    if (IsPixelPair(format)) return {2, 1, 4};
    // Library-private formats never reach the device.
    if (format == D3DFMT_UNKNOWN || format == FORMAT_AL16 || format == FORMAT_R16) return {};
    const PixelFormatInfo& info = LookupPixelFormat(format);
    if (&info == &UnknownPixelFormat || info.bitsPerPixel % 8 != 0) return {};
    return {1, 1, info.bitsPerPixel / 8};
}

bool CanHold(D3DFORMAT format) { return LayoutOf(format).bytesPerBlock != 0; }

bool IsDepthFormat(D3DFORMAT format) { return format == D3DFMT_D16 || format == D3DFMT_D16_LOCKABLE; }

bool IsLockableDepthFormat(D3DFORMAT format) { return format == D3DFMT_D16_LOCKABLE; }

bool IsRenderTargetFormat(D3DFORMAT format) {
    return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8;
}

bool IsSampledFormat(D3DFORMAT format) {
    static std::mutex mutex;
    static std::map<D3DFORMAT, bool> known;
    const std::lock_guard lock(mutex);
    const auto found = known.find(format);
    if (found != known.end()) return found->second;
    return known[format] = CanSampleFormat(format);
}

std::uint32_t RowPitchOf(const FormatLayout& layout, std::uint32_t width) {
    const std::uint32_t blocks = (width + layout.blockWidth - 1) / layout.blockWidth;
    return (blocks * layout.bytesPerBlock + 3u) & ~3u;
}

std::uint32_t BlockRowsOf(const FormatLayout& layout, std::uint32_t height) {
    return (height + layout.blockHeight - 1) / layout.blockHeight;
}

}  // namespace quillmark::reference
