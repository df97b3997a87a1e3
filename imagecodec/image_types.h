// Identifiers and summaries shared by the image readers and writers: the
// file-format ids, the facts a caller gets back about a file, the kinds of
// destination a writer can fill, and the library's own result code for a file
// that cannot be read or created.
#pragma once

#include "platform/d3d9/d3d9types.h"

#include <cstdint>

// File cannot be opened, created or mapped, or no reader accepts its bytes.
#define TEXERR_UNREADABLE (static_cast<HRESULT>(0x88760B59L))

namespace quillmark {

enum class ImageFileFormat : std::uint32_t {
    Bmp = 0,
    Jpg = 1,
    Tga = 2,
    Png = 3,
    Dds = 4,
    Ppm = 5,
    Dib = 6,
    Hdr = 7,
    Pfm = 8,
};

// Destination of a writer: a file named by an 8-bit path, a file named by a
// UTF-16 path, or a place that receives a MemoryBuffer.
enum class OutputKind : std::uint32_t {
    AnsiPath = 0,
    WidePath = 1,
    Memory = 2,
};

// What ReadImage reports about a file.
struct ImageInfo {
    UINT Width;
    UINT Height;
    UINT Depth;
    UINT MipLevels;
    D3DFORMAT Format;
    D3DRESOURCETYPE ResourceType;
    quillmark::ImageFileFormat ImageFileFormat;
};

}  // namespace quillmark
