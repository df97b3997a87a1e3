// A DDS file's header as it is stored, for a description of the file: every
// field a reader decides by, and what in them does not hold together (a
// pitch that disagrees with the width, more levels than the size holds).
#pragma once

#include "platform/d3d9/d3d9types.h"

#include <string>
#include <vector>

namespace quillmark {

struct DdsHeaderFacts {
    DWORD flags = 0;
    DWORD width = 0;
    DWORD height = 0;
    DWORD depth = 0;
    DWORD pitchOrLinearSize = 0;
    DWORD mipMapCount = 0;
    DWORD pixelFormatFlags = 0;
    DWORD fourCC = 0;
    DWORD bitCount = 0;
    DWORD masks[4] = {};  // red, green, blue, alpha
    DWORD caps = 0;
    DWORD caps2 = 0;
    bool hasDx10 = false;  // the fields below are read only when it is there
    DWORD dxgiFormat = 0;
    std::string dxgiName;  // "DXGI_FORMAT_BC7_UNORM"
    DWORD dimension = 0;
    DWORD miscFlags = 0;
    DWORD arraySize = 0;
    // Each a clause: "the pitch 40 disagrees with the width 12 (48 bytes a row)".
    std::vector<std::string> inconsistencies;
};

// The header of the DDS file in `bytes`; false when they do not start with
// a whole one (the DX10 header, when the FourCC announces it, included).
bool ReadDdsHeaderFacts(const BYTE* bytes, UINT byteCount, DdsHeaderFacts& facts);

}  // namespace quillmark
