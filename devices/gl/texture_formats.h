// Direct3D 9 texture formats OpenGL can take as they lie in memory, and
// which of them a driver samples: those are uploaded as they are, so that a
// GPU's own sampling of the format is measured; every other format is
// decoded first.
#pragma once

#include <array>
#include <span>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9types.h"

namespace quillmark::gl {

struct GlTextureFormat {
    D3DFORMAT format;
    const char* name;
    unsigned internalFormat;
    unsigned dataFormat;  // 0 for block-compressed formats
    unsigned type;
    std::array<int, 4> swizzle;  // what red, green, blue and alpha read
    bool requiredByCore;         // every OpenGL 3.3 core driver samples it
};

// Every format of the table, in the order of D3DFORMAT.
std::span<const GlTextureFormat> GlTextureFormats();

// The entry for `format` when it is one of `native`, else null.
const GlTextureFormat* NativeFormatOf(D3DFORMAT format, const std::vector<D3DFORMAT>& native);

// The table's formats the current context's driver samples with every
// filter: asked of the driver (ARB_internalformat_query2, OpenGL 4.3) where
// it can answer, else those core OpenGL 3.3 requires; DXT1, DXT3 and DXT5
// where it has EXT_texture_compression_s3tc.
std::vector<D3DFORMAT> QueryNativeFormats(bool s3tc, bool internalFormatQuery);

}  // namespace quillmark::gl
