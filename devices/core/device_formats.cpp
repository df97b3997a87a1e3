#include "devices/core/device_formats.h"

#include <map>
#include <mutex>

#include "pixel/pixel_format.h"
#include "devices/core/sampled_texture.h"

namespace quillmark::core {

FormatLayout LayoutOf(D3DFORMAT format) {
    // Library-private formats never reach the device.
    if (format == FORMAT_AL16 || format == FORMAT_R16) return {};
    const PixelFormatInfo& info = LookupPixelFormat(format);
    if (&info == &UnknownPixelFormat) return {};
    return {info.blockWidth, info.blockHeight, info.blockBytes};
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

}  // namespace quillmark::core
