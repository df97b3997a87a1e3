// Bitmap decode and encode of a 2048 x 2048 24-bit image, in memory.
#include "bitmap_2048.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace quillmark {
namespace {

using bench::BitmapPixels;
using bench::DescribeBitmap;
constexpr UINT kSide = bench::kBitmapSide;

void BM_BmpDecode24(benchmark::State& state) {
    const std::vector<BYTE> file = bench::EncodedBitmap();
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
    std::vector<BYTE> pixels = BitmapPixels();
    for (auto _ : state) {
        DecodedImage image;
        DescribeBitmap(image, pixels);
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
