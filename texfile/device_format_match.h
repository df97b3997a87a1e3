// The closest pixel format a device supports.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "pixel/format_match.h"

namespace quillmark {

// The closest table format the device accepts for the usage and resource
// type (every row counts as accepted with no device). 0 when none fits.
D3DFORMAT MatchFormatOnDevice(IDirect3DDevice9* device, DWORD usage, D3DRESOURCETYPE resourceType,
                              const PixelFormatInfo& wanted);

}  // namespace quillmark
