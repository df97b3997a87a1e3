// What the software device knows about pixel formats: the memory layout it
// uses to hold a format, and which formats it can sample, render to or use
// as a depth buffer.
#pragma once

#include <cstdint>

#include "platform/d3d9/d3d9types.h"

namespace quillmark::core {

// A format is stored as a grid of blocks; plain formats have 1 x 1 blocks.
struct FormatLayout {
    std::uint32_t blockWidth = 1;
    std::uint32_t blockHeight = 1;
    std::uint32_t bytesPerBlock = 0;  // 0: the device cannot hold the format
};

FormatLayout LayoutOf(D3DFORMAT format);
bool CanHold(D3DFORMAT format);
bool IsDepthFormat(D3DFORMAT format);
bool IsLockableDepthFormat(D3DFORMAT format);
bool IsRenderTargetFormat(D3DFORMAT format);
// Formats the texture sampler reads (natively or through a row codec).
bool IsSampledFormat(D3DFORMAT format);

}  // namespace quillmark::core
