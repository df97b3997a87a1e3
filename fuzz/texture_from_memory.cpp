// The texture-from-file worker on the reference device: the input as a file
// in memory, with the resource type, pool, format, colour key and size
// arguments picked from a hash of the input. A texture that comes back must
// be released to nothing; an image whose header claims more than a small
// texture's pixels is only read, not loaded (the device's size limits are
// the worker's business, not the fuzzer's time).
#include "fuzz_support.h"

#include "platform/d3d9/d3d9.h"
#include "devices/select/d3d9_select.h"
#include "pixel/surface_desc.h"
#include "texfile/texture_constants.h"
#include "texfile/texture_from_file.h"

#include <string>

using namespace quillmark;

namespace {

constexpr std::uint64_t kMaxLoadedPixels = 1 << 10;
constexpr D3DRESOURCETYPE kResourceTypes[] = {static_cast<D3DRESOURCETYPE>(TEX_AUTO), D3DRTYPE_TEXTURE,
                                              D3DRTYPE_VOLUMETEXTURE, D3DRTYPE_CUBETEXTURE};
constexpr D3DPOOL kPools[] = {D3DPOOL_MANAGED, D3DPOOL_SYSTEMMEM, D3DPOOL_SCRATCH, D3DPOOL_DEFAULT};
constexpr D3DFORMAT kFormats[] = {D3DFMT_UNKNOWN, D3DFMT_UNKNOWN, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5,
                                  D3DFMT_L8,      D3DFMT_P8,      D3DFMT_DXT1,     D3DFMT_A16B16G16R16F};
// Sizes the caller may ask for: small ones (a side that is not a power of
// two among them), since each texel of a level costs a filter pass, a
// conversion and a mip chain; a large requested depth would make every input
// a costly volume, whatever its bytes.
constexpr UINT kSizes[] = {TEX_AUTO, TEX_AUTO, TEX_IMAGE_SIZE, 0, 1, 7, 16, 33};
constexpr UINT kDepths[] = {TEX_AUTO, TEX_IMAGE_SIZE, 0, 1, 3};
constexpr DWORD kFilters[] = {TEX_AUTO, RESAMPLE_BOX, RESAMPLE_TRIANGLE | RESAMPLE_DITHER, RESAMPLE_LINEAR,
                              RESAMPLE_POINT | RESAMPLE_MIRROR, RESAMPLE_NONE, 0, 7};

IDirect3D9* gDirect3D = nullptr;
IDirect3DDevice9* gDevice = nullptr;

template <typename T, std::size_t N>
T Pick(const T (&choices)[N], std::uint32_t& hash) {
    const T choice = choices[hash % N];
    hash = hash / N + hash * 2654435761u;
    return choice;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string error;
    if (!SelectDevice("reference", &error)) fuzz::Fail(error.c_str());
    gDirect3D = Direct3DCreate9(31);
    D3DPRESENT_PARAMETERS parameters{};
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.Windowed = TRUE;
    if (gDirect3D == nullptr ||
        gDirect3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                &parameters, &gDevice) != S_OK)
        fuzz::Fail("no reference device");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > fuzz::kMaxInputSize) return 0;
    const fuzz::CpuTimeLimit limit;
    const fuzz::ExactInput input(data, size);
    ImageInfo info{};
    if (!fuzz::HeaderWithin(input, kMaxLoadedPixels, info)) return 0;

    std::uint32_t hash = fuzz::HashOf(data, size);
    const D3DRESOURCETYPE type = Pick(kResourceTypes, hash);
    const UINT width = Pick(kSizes, hash), height = Pick(kSizes, hash), depth = Pick(kDepths, hash);
    const UINT levels = Pick(kSizes, hash);
    const D3DFORMAT format = Pick(kFormats, hash);
    const D3DPOOL pool = Pick(kPools, hash);
    const DWORD filter = Pick(kFilters, hash), mipFilter = Pick(kFilters, hash);
    const D3DCOLOR colorKey = hash % 3 == 0 ? 0 : 0xFF000000u | hash;
    PALETTEENTRY palette[256];
    ImageInfo loaded{};
    IDirect3DBaseTexture9* resource = nullptr;
    const HRESULT result = CreateResourceFromImageMemory(gDevice, input.Data(), input.Size(), width, height, depth,
                                                         levels, 0, format, pool, filter, mipFilter, colorKey,
                                                         &loaded, (hash >> 7) & 1 ? palette : nullptr, type, &resource);
    if (FAILED(result)) {
        fuzz::Require(resource == nullptr, "a failed load handed out a resource");
        return 0;
    }
    fuzz::Require(resource != nullptr, "a load succeeded without a resource");
    fuzz::Require(loaded.Width == info.Width && loaded.Height == info.Height, "image summary differs from ReadImage's");
    fuzz::Require(resource->Release() == 0, "the loaded resource is still referenced");
    return 0;
}
