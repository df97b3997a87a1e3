// RunConversion throughput on A8R8G8B8 images: box halving of 2048 x 2048
// (packed fast path with and without its vector form, and the general
// decode/average/encode path), tent resampling 1000 x 1000 -> 512 x 512,
// and a whole box-filtered mip chain of 1024 x 1024. Items are source
// pixels.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "platform/processor/processor_features.h"
#include "pixel/resample.h"

namespace quillmark {
namespace {

struct Image {
    Image(UINT width, UINT height) : pixels(std::size_t{width} * height) {
        desc.Data = reinterpret_cast<BYTE*>(pixels.data());
        desc.Format = D3DFMT_A8R8G8B8;
        desc.RowPitch = static_cast<INT>(width * 4);
        desc.Box = {0, 0, width, height, 0, 1};
        desc.Extent = desc.Box;
    }
    std::vector<std::uint32_t> pixels;
    SurfaceDesc desc;
};

Image RandomImage(UINT width, UINT height) {
    Image image(width, height);
    std::mt19937 random(3);
    for (std::uint32_t& p : image.pixels) p = random();
    return image;
}

void Resample(benchmark::State& state, UINT srcSize, UINT dstSize, DWORD filter) {
    const Image source = RandomImage(srcSize, srcSize);
    Image destination(dstSize, dstSize);
    for (auto _ : state) {
        if (RunConversion(destination.desc, source.desc, filter) != S_OK) state.SkipWithError("conversion failed");
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * srcSize * srcSize);
}

void BoxHalvingVector(benchmark::State& state) {
    processor::Allow(processor::kMmx);
    Resample(state, 2048, 1024, RESAMPLE_BOX);
}

void BoxHalvingScalar(benchmark::State& state) {
    processor::Disallow(processor::kMmx);
    Resample(state, 2048, 1024, RESAMPLE_BOX);
    processor::Allow(processor::kMmx);
}

// Ordered dithering rules out the packed path.
void BoxHalvingGeneral(benchmark::State& state) { Resample(state, 2048, 1024, RESAMPLE_BOX | RESAMPLE_DITHER); }

void Tent1000To512(benchmark::State& state) { Resample(state, 1000, 512, RESAMPLE_TRIANGLE); }

void MipChain1024(benchmark::State& state) {
    std::vector<Image> levels;
    levels.push_back(RandomImage(1024, 1024));
    for (UINT size = 512; size >= 1; size /= 2) levels.emplace_back(size, size);
    for (auto _ : state) {
        for (std::size_t i = 1; i < levels.size(); ++i) {
            if (RunConversion(levels[i].desc, levels[i - 1].desc, RESAMPLE_BOX) != S_OK) {
                state.SkipWithError("conversion failed");
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 1024 * 1024);
}

BENCHMARK(BoxHalvingVector)->Unit(benchmark::kMillisecond);
BENCHMARK(BoxHalvingScalar)->Unit(benchmark::kMillisecond);
BENCHMARK(BoxHalvingGeneral)->Unit(benchmark::kMillisecond);
BENCHMARK(Tent1000To512)->Unit(benchmark::kMillisecond);
BENCHMARK(MipChain1024)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillmark

BENCHMARK_MAIN();
