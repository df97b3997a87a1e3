// Bitmap decode and encode of a 2048 x 2048 24-bit image, in memory.
#include "decoded_image.h"
#include "memory_buffer.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace quillmark {
namespace {

constexpr UINT kSide = 2048;
constexpr UINT kPitch = kSide * 3;

std::vector<BYTE> Pixels() {
    std::vector<BYTE> pixels(std::size_t{kPitch} * kSide);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<BYTE>(i * 31 + (i >> 12));
    return pixels;
}

void Describe(DecodedImage& image, std::vector<BYTE>& pixels) {
    image.format = D3DFMT_R8G8B8;
    image.pixels = pixels.data();
    image.width = image.height = kSide;
    image.depth = 1;
    image.rowPitch = kPitch;
    image.box = D3DBOX{0, 0, kSide, kSide, 0, 1};
}

// A bottom-up 24-bit file, as most writers store it.
std::vector<BYTE> EncodedFile() {
    std::vector<BYTE> pixels = Pixels();
    DecodedImage image;
    Describe(image, pixels);
    MemoryBuffer* buffer = nullptr;
    if (FAILED(image.WriteImage(&buffer, ImageFileFormat::Bmp, OutputKind::Memory))) return {};
    const auto* bytes = static_cast<const BYTE*>(buffer->GetBufferPointer());
    std::vector<BYTE> file(bytes, bytes + buffer->GetBufferSize());
    buffer->Release();
    return file;
}

void BM_BmpDecode24(benchmark::State& state) {
    const std::vector<BYTE> file = EncodedFile();
    for (auto _ : state) {
        DecodedImage image;
        const HRESULT result = image.ReadImage(file.data(), static_cast<UINT>(file.size()), nullptr, TRUE);
        if (FAILED(result)) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.pixels);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
    state.counters["Mpixel/s"] = benchmark::Counter(double(kSide) * kSide * state.iterations() / 1e6,
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BmpDecode24)->Unit(benchmark::kMillisecond);

void BM_BmpEncode24(benchmark::State& state) {
    std::vector<BYTE> pixels = Pixels();
    for (auto _ : state) {
        DecodedImage image;
        Describe(image, pixels);
        MemoryBuffer* buffer = nullptr;
        if (FAILED(image.WriteImage(&buffer, ImageFileFormat::Bmp, OutputKind::Memory)))
            state.SkipWithError("encode failed");
        else
            buffer->Release();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(pixels.size()));
    state.counters["Mpixel/s"] = benchmark::Counter(double(kSide) * kSide * state.iterations() / 1e6,
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BmpEncode24)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillmark

BENCHMARK_MAIN();
