#include "texfile/surface_save.h"

#include "imagecodec/decoded_image.h"
#include "texfile/surface_lock.h"

namespace quillmark {
namespace {

// D3DERR_DEVICELOST when the device of a D3DPOOL_DEFAULT surface is not
// operational (its pixels may not be valid), else S_OK.
HRESULT CheckDefaultPoolDevice(IDirect3DSurface9* surface) {
    D3DSURFACE_DESC desc{};
    if (FAILED(surface->GetDesc(&desc)) || desc.Pool != D3DPOOL_DEFAULT) return S_OK;
    IDirect3DDevice9* device = nullptr;
    if (FAILED(surface->GetDevice(&device))) return S_OK;
    const HRESULT state = device->TestCooperativeLevel();
    device->Release();
    return state == S_OK ? S_OK : D3DERR_DEVICELOST;
}

}  // namespace

HRESULT WriteSurfaceToImageFile(const char* path, ImageFileFormat fileFormat, IDirect3DSurface9* surface,
                                const PALETTEENTRY* palette, const RECT* rect) {
    return WriteSurfaceToDestination(path, fileFormat, surface, palette, rect, OutputKind::AnsiPath);
}

HRESULT WriteSurfaceToDestination(const void* destination, ImageFileFormat fileFormat, IDirect3DSurface9* surface,
                                  const PALETTEENTRY* palette, const RECT* rect, OutputKind outputKind) {
    if (destination == nullptr || surface == nullptr) return D3DERR_INVALIDCALL;
    SurfaceLock lock;
    SurfaceDesc desc;
    HRESULT result = lock.Lock(desc, surface, palette, rect, 0, LOCK_READ_ONLY);
    if (FAILED(result)) return result;
    DecodedImage image;
    image.FromSurface(desc);
    result = image.WriteImage(destination, fileFormat, outputKind);
    if (FAILED(result)) return result;
    return CheckDefaultPoolDevice(surface);
}

}  // namespace quillmark
