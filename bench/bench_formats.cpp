// Decoding 2048 x 2048 TGA (raw and run-length), binary PPM and run-length
// HDR files from memory through ReadImage, beside stb_image's decoder of the
// same bytes (a peer for comparison only, when it is installed), both in
// the channels the file has (3 for TGA 24-bit, PPM and HDR) and, for the
// 8-bit files, in 4 channels as ReadImage delivers them. Rates are bytes of
// file per second.
#include "imagecodec/decoded_image.h"
#include "imagecodec/memory_buffer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#if QUILLMARK_HAVE_STB
#include <stb_image.h>
#endif

namespace quillmark {
namespace {

using Bytes = std::vector<BYTE>;
constexpr UINT kSide = 2048;

// A picture with flat areas (runs) and busy ones (literals): smooth bands
// in the left half, noise in the right.
BYTE Sample(UINT x, UINT y, UINT channel) {
    if (x < kSide / 2) return static_cast<BYTE>((y / 16) * 7 + channel * 40);
    return static_cast<BYTE>((x * 2654435761u ^ y * 40503u) >> (channel * 3 + 5));
}

Bytes TgaFile(bool runLength) {
    Bytes file = {0, 0, BYTE(runLength ? 10 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0,
                  BYTE(kSide & 0xFF), BYTE(kSide >> 8), BYTE(kSide & 0xFF), BYTE(kSide >> 8), 24, 0};
    for (UINT y = 0; y < kSide; ++y) {
        std::vector<std::uint32_t> row(kSide);
        for (UINT x = 0; x < kSide; ++x) row[x] = Sample(x, y, 0) | Sample(x, y, 1) << 8 | Sample(x, y, 2) << 16;
        const auto put = [&](std::uint32_t v) { file.insert(file.end(), {BYTE(v), BYTE(v >> 8), BYTE(v >> 16)}); };
        for (UINT x = 0; x < kSide;) {
            UINT n = 1;
            if (!runLength) n = kSide;
            else while (n < 128 && x + n < kSide && row[x + n] == row[x]) ++n;
            if (runLength && n > 1) {
                file.push_back(BYTE(0x80 | (n - 1)));
                put(row[x]);
            } else {
                if (runLength) {
                    while (n < 128 && x + n < kSide && row[x + n] != row[x + n - 1]) ++n;
                    file.push_back(BYTE(n - 1));
                }
                for (UINT i = 0; i < n; ++i) put(row[x + i]);
            }
            x += n;
        }
    }
    return file;
}

Bytes PpmFile() {
    const std::string header = "P6\n" + std::to_string(kSide) + " " + std::to_string(kSide) + "\n255\n";
    Bytes file(header.begin(), header.end());
    for (UINT y = 0; y < kSide; ++y)
        for (UINT x = 0; x < kSide; ++x)
            for (UINT c = 0; c < 3; ++c) file.push_back(Sample(x, y, c));
    return file;
}

Bytes HdrFile() {
    std::vector<float> pixels(std::size_t{kSide} * kSide * 4);
    for (UINT y = 0; y < kSide; ++y)
        for (UINT x = 0; x < kSide; ++x)
            for (UINT c = 0; c < 4; ++c)
                pixels[(std::size_t{y} * kSide + x) * 4 + c] =
                    c == 3 ? 1.0f : std::ldexp(Sample(x, y, c) / 64.0f, int(y % 8));
    DecodedImage image;
    image.format = D3DFMT_A32B32G32R32F;
    image.pixels = reinterpret_cast<BYTE*>(pixels.data());
    image.width = image.height = kSide;
    image.depth = 1;
    image.rowPitch = kSide * 16;
    image.box = D3DBOX{0, 0, kSide, kSide, 0, 1};
    MemoryBuffer* buffer = nullptr;
    if (FAILED(image.WriteImage(&buffer, ImageFileFormat::Hdr, OutputKind::Memory))) return {};
    const auto* bytes = static_cast<const BYTE*>(buffer->GetBufferPointer());
    Bytes file(bytes, bytes + buffer->GetBufferSize());
    buffer->Release();
    return file;
}

const Bytes& FileOf(int which) {
    static const Bytes files[] = {TgaFile(false), TgaFile(true), PpmFile(), HdrFile()};
    return files[which];
}

const char* const kNames[] = {"tga_raw", "tga_rle", "ppm_p6", "hdr_rle"};

void Report(benchmark::State& state, const Bytes& file) {
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
    state.SetLabel(kNames[state.range(0)]);
}

void BM_ReadImage(benchmark::State& state) {
    const Bytes& file = FileOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        DecodedImage image;
        if (FAILED(image.ReadImage(file.data(), static_cast<UINT>(file.size()), nullptr, TRUE)))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.pixels);
    }
    Report(state, file);
}
BENCHMARK(BM_ReadImage)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

#if QUILLMARK_HAVE_STB
void BM_StbImage(benchmark::State& state) {
    const Bytes& file = FileOf(static_cast<int>(state.range(0)));
    const bool isFloat = state.range(0) == 3;
    for (auto _ : state) {
        const int wanted = static_cast<int>(state.range(1));
        const auto* bytes = file.data();
        const int size = static_cast<int>(file.size());
        int w, h, channels;
        void* pixels = isFloat ? static_cast<void*>(stbi_loadf_from_memory(bytes, size, &w, &h, &channels, wanted))
                               : static_cast<void*>(stbi_load_from_memory(bytes, size, &w, &h, &channels, wanted));
        if (pixels == nullptr) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    Report(state, file);
}
BENCHMARK(BM_StbImage)
    ->ArgsProduct({{0, 1, 2, 3}, {0}})
    ->ArgsProduct({{0, 1, 2}, {4}})
    ->Unit(benchmark::kMillisecond);
#endif

}  // namespace
}  // namespace quillmark

BENCHMARK_MAIN();
