// Loading a 2048 x 2048 24-bit bitmap as a texture with its full mip chain on
// the reference device, beside the work it cannot avoid: decoding the file
// and building the chain (level 0 converted to X8R8G8B8, then eleven box
// halvings) in plain memory.
#include "bitmap_2048.h"
#include "platform/d3d9/d3d9.h"
#include "pixel/resample.h"
#include "texfile/texture_constants.h"
#include "texfile/texture_from_file.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace quillmark {
namespace {

constexpr UINT kSide = bench::kBitmapSide;
constexpr DWORD kLevelFilter = RESAMPLE_TRIANGLE | RESAMPLE_DITHER;

SurfaceDesc Block(BYTE* data, D3DFORMAT format, UINT side, UINT bytesPerPixel) {
    SurfaceDesc desc;
    desc.Data = data;
    desc.Format = format;
    desc.RowPitch = static_cast<INT>(side * bytesPerPixel);
    desc.Extent = desc.Box = D3DBOX{0, 0, side, side, 0, 1};
    return desc;
}

// Decode, level 0 in X8R8G8B8, and each level halved from the one above.
HRESULT DecodeAndChain(const std::vector<BYTE>& file, std::vector<std::vector<BYTE>>& levels) {
    DecodedImage image;
    HRESULT result = image.ReadImage(file.data(), static_cast<UINT>(file.size()), nullptr, TRUE);
    if (FAILED(result)) return result;
    SurfaceDesc source = Block(image.pixels, image.format, kSide, 3);
    source.RowPitch = static_cast<INT>(image.rowPitch);
    DWORD filter = kLevelFilter;
    for (UINT level = 0, side = kSide; SUCCEEDED(result) && side >= 1; ++level, side /= 2) {
        levels[level].resize(std::size_t{side} * side * 4);
        const SurfaceDesc destination = Block(levels[level].data(), D3DFMT_X8R8G8B8, side, 4);
        result = RunConversion(destination, source, filter);
        source = destination;
        filter = RESAMPLE_BOX;
    }
    return result;
}

void BM_DecodeAndBoxChain(benchmark::State& state) {
    const std::vector<BYTE> file = bench::EncodedBitmap();
    std::vector<std::vector<BYTE>> levels(12);
    for (auto _ : state) {
        if (FAILED(DecodeAndChain(file, levels))) state.SkipWithError("decode or chain failed");
        benchmark::DoNotOptimize(levels.back().data());
    }
}
BENCHMARK(BM_DecodeAndBoxChain)->Unit(benchmark::kMillisecond)->UseRealTime();

class Device {
public:
    Device() {
        direct3d_ = Direct3DCreate9(31);
        D3DPRESENT_PARAMETERS p{};
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.Windowed = TRUE;
        if (direct3d_ != nullptr)
            direct3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                    D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device_);
    }
    ~Device() {
        if (device_ != nullptr) device_->Release();
        if (direct3d_ != nullptr) direct3d_->Release();
    }
    IDirect3DDevice9* Get() const { return device_; }

private:
    IDirect3D9* direct3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
};

// What "Browse..." does once the file is mapped: every choice left to the library.
void BM_TextureFromBitmapWithFullChain(benchmark::State& state) {
    const std::vector<BYTE> file = bench::EncodedBitmap();
    Device device;
    if (device.Get() == nullptr) {
        state.SkipWithError("no device");
        return;
    }
    for (auto _ : state) {
        IDirect3DTexture9* texture = nullptr;
        if (FAILED(TextureFromImageMemory(device.Get(), file.data(), static_cast<UINT>(file.size()), TEX_AUTO,
                                          TEX_AUTO, TEX_AUTO, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, TEX_AUTO, TEX_AUTO,
                                          0, nullptr, nullptr, &texture)))
            state.SkipWithError("load failed");
        else
            texture->Release();
    }
}
BENCHMARK(BM_TextureFromBitmapWithFullChain)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace quillmark

BENCHMARK_MAIN();
