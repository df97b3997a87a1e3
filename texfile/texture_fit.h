// Fitting a texture request to a device: the format, size, depth and level
// count the device will accept for a texture, volume or cube texture.
#pragma once

#include "platform/d3d9/d3d9.h"

namespace quillmark {

// Each pointer may be null; non-null ones are read as requests and, on
// success only, overwritten with the accepted values. D3DERR_INVALIDCALL for
// a null device, bad usage bits or a bad pool; D3DERR_NOTAVAILABLE when the
// device supports no usable format.
HRESULT FitTextureToDevice(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* depth, UINT* levels,
                           DWORD usage, D3DFORMAT* format, D3DPOOL pool, D3DRESOURCETYPE resourceType);

}  // namespace quillmark
