// JPEG and PNG decode of a 2048 x 2048 colour image, in memory: through
// ReadImage (which tries the readers before them first) and straight through
// libjpeg-turbo and libpng into the same X8R8G8B8 layout, as the yardstick.
#include "imagecodec/decoded_image.h"
#include "imagecodec/memory_buffer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace quillmark {
namespace {

constexpr UINT kSide = 2048;
constexpr UINT kPitch = kSide * 4;

// Smooth shading with a little noise, compressible as photographs are.
std::vector<BYTE> EncodedFile(ImageFileFormat fileFormat) {
    std::vector<DWORD> pixels(std::size_t{kSide} * kSide);
    DWORD noise = 1;
    for (UINT y = 0; y < kSide; ++y) {
        for (UINT x = 0; x < kSide; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const DWORD grain = (noise >> 28) & 7;
            pixels[y * kSide + x] = ((x / 8 + grain) & 0xFF) << 16 | ((y / 8 + grain) & 0xFF) << 8 | (((x + y) / 16) & 0xFF);
        }
    }
    DecodedImage image;
    image.format = D3DFMT_X8R8G8B8;
    image.pixels = reinterpret_cast<BYTE*>(pixels.data());
    image.width = image.height = kSide;
    image.depth = 1;
    image.rowPitch = kPitch;
    image.box = D3DBOX{0, 0, kSide, kSide, 0, 1};
    MemoryBuffer* buffer = nullptr;
    if (FAILED(image.WriteImage(&buffer, fileFormat, OutputKind::Memory))) return {};
    const auto* bytes = static_cast<const BYTE*>(buffer->GetBufferPointer());
    std::vector<BYTE> file(bytes, bytes + buffer->GetBufferSize());
    buffer->Release();
    return file;
}

void Report(benchmark::State& state, std::size_t fileBytes) {
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fileBytes));
    state.counters["Mpixel/s"] = benchmark::Counter(double(kSide) * kSide * state.iterations() / 1e6,
                                                    benchmark::Counter::kIsRate);
}

void ReadImageOf(benchmark::State& state, ImageFileFormat fileFormat) {
    const std::vector<BYTE> file = EncodedFile(fileFormat);
    for (auto _ : state) {
        DecodedImage image;
        if (FAILED(image.ReadImage(file.data(), static_cast<UINT>(file.size()), nullptr, TRUE)))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.pixels);
    }
    Report(state, file.size());
}

void BM_JpegReadImage(benchmark::State& state) { ReadImageOf(state, ImageFileFormat::Jpg); }
BENCHMARK(BM_JpegReadImage)->Unit(benchmark::kMillisecond);

void BM_PngReadImage(benchmark::State& state) { ReadImageOf(state, ImageFileFormat::Png); }
BENCHMARK(BM_PngReadImage)->Unit(benchmark::kMillisecond);

// libjpeg-turbo's own memory source, blue-green-red-x output, rows straight
// into the block. The yardstick files are well formed: errors are fatal.
void BM_JpegDirect(benchmark::State& state) {
    const std::vector<BYTE> file = EncodedFile(ImageFileFormat::Jpg);
    for (auto _ : state) {
        jpeg_decompress_struct info;
        jpeg_error_mgr error;
        info.err = jpeg_std_error(&error);
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, file.data(), file.size());
        jpeg_read_header(&info, TRUE);
        info.out_color_space = JCS_EXT_BGRX;
        jpeg_start_decompress(&info);
        auto* pixels = static_cast<BYTE*>(std::malloc(std::size_t{kPitch} * kSide));
        while (info.output_scanline < info.output_height) {
            JSAMPROW rows[4];
            for (int i = 0; i < 4; ++i) rows[i] = pixels + std::size_t{info.output_scanline + i} * kPitch;
            jpeg_read_scanlines(&info, rows, std::min<JDIMENSION>(4, info.output_height - info.output_scanline));
        }
        jpeg_finish_decompress(&info);
        jpeg_destroy_decompress(&info);
        benchmark::DoNotOptimize(pixels);
        std::free(pixels);
    }
    Report(state, file.size());
}
BENCHMARK(BM_JpegDirect)->Unit(benchmark::kMillisecond);

struct MemoryInput {
    const BYTE* next;
    std::size_t left;
};

void ReadMemory(png_structp png, png_bytep out, png_size_t count) {
    auto* input = static_cast<MemoryInput*>(png_get_io_ptr(png));
    if (count > input->left) png_error(png, "read error");
    std::copy(input->next, input->next + count, out);
    input->next += count;
    input->left -= count;
}

// libpng with the transformations the reader asks for on an 8-bit RGB file.
void BM_PngDirect(benchmark::State& state) {
    const std::vector<BYTE> file = EncodedFile(ImageFileFormat::Png);
    for (auto _ : state) {
        MemoryInput input{file.data(), file.size()};
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png))) std::abort();
        png_set_read_fn(png, &input, ReadMemory);
        png_read_info(png, info);
        png_set_bgr(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        png_read_update_info(png, info);
        auto* pixels = static_cast<BYTE*>(std::malloc(std::size_t{kPitch} * kSide));
        auto* rows = static_cast<png_bytep*>(std::malloc(kSide * sizeof(png_bytep)));
        for (UINT y = 0; y < kSide; ++y) rows[y] = pixels + std::size_t{y} * kPitch;
        png_read_image(png, rows);
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(pixels);
        std::free(rows);
        std::free(pixels);
    }
    Report(state, file.size());
}
BENCHMARK(BM_PngDirect)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillmark

BENCHMARK_MAIN();
