#include "texfile/level_floats.h"

#include "pixel/resample.h"
#include "pixel/surface_desc.h"

#include <new>

namespace quillmark {

HRESULT LevelAsFloats(const DecodedImage& level, std::vector<float>& rgba) {
    constexpr UINT kChannels = 4;
    const std::size_t rowFloats = std::size_t{level.width} * kChannels;
    try {
        rgba.assign(rowFloats * level.height * level.depth, 0.0f);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    SurfaceDesc source = level.Describe();
    SurfaceDesc destination;
    destination.Data = reinterpret_cast<BYTE*>(rgba.data());
    destination.Format = D3DFMT_A32B32G32R32F;
    destination.RowPitch = static_cast<INT>(rowFloats * sizeof(float));
    destination.SlicePitch = static_cast<INT>(rowFloats * level.height * sizeof(float));
    destination.Extent = destination.Box = D3DBOX{0, 0, level.width, level.height, 0, level.depth};
    return RunConversion(destination, source, RESAMPLE_NONE);
}

}  // namespace quillmark
