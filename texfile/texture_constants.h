// Values the texture-file services accept in place of a size, level count,
// usage or filter.
#pragma once

#include "platform/win32/wintypes.h"

namespace quillmark {

// Let the library choose (a size, a level count, a usage or a filter).
inline constexpr UINT TEX_AUTO = 0xFFFFFFFFu;
// Exactly the image's size.
inline constexpr UINT TEX_IMAGE_SIZE = 0xFFFFFFFEu;

}  // namespace quillmark
