// Saving a surface, or a rectangle of it, to an image file or to memory.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "imagecodec/image_types.h"
#include "platform/win32/wintypes.h"

namespace quillmark {

// Writes `surface` (or `rect` of it; null for all) to the file `path` in the
// given file format, e.g.
//   WriteSurfaceToImageFile("MipBand.bmp", ImageFileFormat::Bmp, surface, nullptr, nullptr)
// An existing file is replaced only once the new one is complete. Returns
// S_OK; D3DERR_INVALIDCALL for a null path or surface, a rectangle outside
// the surface or a format the file type cannot be written in; E_ACCESSDENIED
// (the file untouched) when an existing file is read-only or the caller may
// not write it; TEXERR_UNREADABLE when the file cannot be created;
// D3DERR_DEVICELOST (after writing) when a
// D3DPOOL_DEFAULT surface's device is lost; the writer's failure otherwise.
HRESULT WriteSurfaceToImageFile(const char* path, ImageFileFormat fileFormat, IDirect3DSurface9* surface,
                                const PALETTEENTRY* palette, const RECT* rect);

// The same for any destination: a char path (AnsiPath), a WCHAR path
// (WidePath), or a MemoryBuffer** that receives a new buffer (Memory).
HRESULT WriteSurfaceToDestination(const void* destination, ImageFileFormat fileFormat, IDirect3DSurface9* surface,
                                  const PALETTEENTRY* palette, const RECT* rect, OutputKind outputKind);

}  // namespace quillmark
