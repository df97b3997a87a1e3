// DXT encoding and decoding: our encoder (one thread, block row by block
// row, and a whole-surface conversion on all cores) beside stb_dxt and
// libsquish on the same 1024 x 1024 images (a photograph from the shared
// corpus scaled by ImageMagick, a gradient, noise), with the PSNR of each
// result; DXT1 decoding through the block codec. Items are pixels. The two
// peers are here for comparison only.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#define STB_DXT_IMPLEMENTATION
#include <stb/stb_dxt.h>
#include <squish.h>

#include "pixel/block_functions.h"
#include "pixel/resample.h"

namespace quillmark {
namespace {

constexpr UINT kSide = 1024;
constexpr UINT kBlocks = kSide / 4;
constexpr std::size_t kPixels = std::size_t{kSide} * kSide;

using Rgba = std::vector<BYTE>;  // r, g, b, a per pixel

Rgba Photograph() {
    const std::string command = "convert '" QUILLMARK_CORPUS_DIR "/jpg/3.jpg' -resize 1024x1024! -alpha set "
                                "-channel A -fx 'i/w' -depth 8 rgba:- 2>/dev/null";
    Rgba image(kPixels * 4);
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {};
    const bool ok = std::fread(image.data(), 1, image.size(), pipe) == image.size();
    pclose(pipe);
    return ok ? image : Rgba{};
}

Rgba Gradient() {
    Rgba image(kPixels * 4);
    for (UINT y = 0; y < kSide; ++y)
        for (UINT x = 0; x < kSide; ++x) {
            BYTE* p = &image[(std::size_t{y} * kSide + x) * 4];
            p[0] = static_cast<BYTE>(x / 4), p[1] = static_cast<BYTE>(y / 4), p[2] = static_cast<BYTE>((x + y) / 8);
            p[3] = static_cast<BYTE>(255 - y / 4);
        }
    return image;
}

Rgba Noise() {
    Rgba image(kPixels * 4);
    std::mt19937 random(5);
    for (BYTE& b : image) b = static_cast<BYTE>(random());
    return image;
}

// DXT1 keeps one bit of alpha: its images are opaque, so that every encoder
// is measured on its colours.
Rgba Opaque(Rgba image) {
    for (std::size_t i = 3; i < image.size(); i += 4) image[i] = 255;
    return image;
}

const Rgba& Image(int which, bool dxt5 = true) {
    static const std::map<int, Rgba> images = {{0, Photograph()}, {1, Gradient()}, {2, Noise()}};
    static const std::map<int, Rgba> opaque = {{0, Opaque(images.at(0))}, {1, Opaque(images.at(1))},
                                               {2, Opaque(images.at(2))}};
    return (dxt5 ? images : opaque).at(which);
}

const char* const kImageNames[] = {"photo", "gradient", "noise"};

// The 4 x 4 block at (bx, by), 64 bytes.
void Gather(const Rgba& image, UINT bx, UINT by, BYTE* block) {
    for (UINT row = 0; row < 4; ++row)
        std::memcpy(block + 16 * row, &image[((std::size_t{by} * 4 + row) * kSide + bx * 4) * 4], 16);
}

UINT BlockBytes(bool dxt5) { return dxt5 ? 16 : 8; }

double Psnr(const Rgba& image, const std::vector<BYTE>& blocks, bool dxt5) {
    const DecodeBlockFunction decode = dxt5 ? DecodeDxt5Block : DecodeDxt1Block;
    double squares = 0;
    FloatColor pixels[16];
    for (UINT by = 0; by < kBlocks; ++by)
        for (UINT bx = 0; bx < kBlocks; ++bx) {
            decode(&blocks[(std::size_t{by} * kBlocks + bx) * BlockBytes(dxt5)], pixels);
            BYTE original[64];
            Gather(image, bx, by, original);
            for (UINT p = 0; p < 16; ++p) {
                const float got[4] = {pixels[p].r, pixels[p].g, pixels[p].b, pixels[p].a};
                for (UINT c = 0; c < (dxt5 ? 4u : 3u); ++c) {
                    const double d = std::floor(got[c] * 255.0f + 0.5f) - original[4 * p + c];
                    squares += d * d;
                }
            }
        }
    const double mse = squares / (double(kPixels) * (dxt5 ? 4 : 3));
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

using Encoder = void (*)(const Rgba& image, std::vector<BYTE>& blocks, bool dxt5);

HRESULT ConvertRows(const Rgba& image, std::vector<BYTE>& blocks, bool dxt5, UINT top, UINT bottom) {
    SurfaceDesc from, to;
    from.Data = const_cast<BYTE*>(image.data());
    from.Format = D3DFMT_A8B8G8R8;  // bytes r, g, b, a
    from.RowPitch = kSide * 4;
    to.Data = blocks.data();
    to.Format = dxt5 ? D3DFMT_DXT5 : D3DFMT_DXT1;
    to.RowPitch = static_cast<INT>(kBlocks * BlockBytes(dxt5));
    from.Extent = to.Extent = {0, 0, kSide, kSide, 0, 1};
    from.Box = to.Box = {0, top, kSide, bottom, 0, 1};
    return RunConversion(to, from, RESAMPLE_NONE);
}

// One thread: each block row is its own conversion, too small to share out.
void OursOneThread(const Rgba& image, std::vector<BYTE>& blocks, bool dxt5) {
    for (UINT top = 0; top < kSide; top += 4) ConvertRows(image, blocks, dxt5, top, top + 4);
}

void OursAllCores(const Rgba& image, std::vector<BYTE>& blocks, bool dxt5) {
    ConvertRows(image, blocks, dxt5, 0, kSide);
}

void StbDxt(const Rgba& image, std::vector<BYTE>& blocks, bool dxt5) {
    BYTE block[64];
    for (UINT by = 0; by < kBlocks; ++by)
        for (UINT bx = 0; bx < kBlocks; ++bx) {
            Gather(image, bx, by, block);
            stb_compress_dxt_block(&blocks[(std::size_t{by} * kBlocks + bx) * BlockBytes(dxt5)], block, dxt5,
                                   STB_DXT_NORMAL);
        }
}

void Squish(const Rgba& image, std::vector<BYTE>& blocks, bool dxt5) {
    squish::CompressImage(image.data(), kSide, kSide, blocks.data(), dxt5 ? squish::kDxt5 : squish::kDxt1);
}

void SquishRangeFit(const Rgba& image, std::vector<BYTE>& blocks, bool dxt5) {
    squish::CompressImage(image.data(), kSide, kSide, blocks.data(),
                          (dxt5 ? squish::kDxt5 : squish::kDxt1) | squish::kColourRangeFit);
}

void Encode(benchmark::State& state, Encoder encoder) {
    const bool dxt5 = state.range(1) != 0;
    const Rgba& image = Image(static_cast<int>(state.range(0)), dxt5);
    if (image.size() != kPixels * 4) {
        state.SkipWithError("no photograph (shared corpus or ImageMagick missing)");
        return;
    }
    std::vector<BYTE> blocks(std::size_t{kBlocks} * kBlocks * BlockBytes(dxt5));
    for (auto _ : state) {
        encoder(image, blocks, dxt5);
        benchmark::DoNotOptimize(blocks.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPixels));
    state.counters["PSNR"] = Psnr(image, blocks, dxt5);
    state.SetLabel(std::string(kImageNames[state.range(0)]) + (dxt5 ? " DXT5" : " DXT1"));
}

void EncodeArguments(benchmark::internal::Benchmark* b) {
    for (int image = 0; image < 3; ++image)
        for (int dxt5 = 0; dxt5 < 2; ++dxt5) b->Args({image, dxt5});
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(Encode, ours_one_thread, OursOneThread)->Apply(EncodeArguments);
BENCHMARK_CAPTURE(Encode, ours_all_cores, OursAllCores)->Apply(EncodeArguments)->UseRealTime();
BENCHMARK_CAPTURE(Encode, stb_dxt, StbDxt)->Apply(EncodeArguments);
BENCHMARK_CAPTURE(Encode, squish_cluster_fit, Squish)->Apply(EncodeArguments);
BENCHMARK_CAPTURE(Encode, squish_range_fit, SquishRangeFit)->Apply(EncodeArguments);

// The photograph (or, without it, the gradient) in DXT1.
std::vector<BYTE> Dxt1Blocks() {
    std::vector<BYTE> blocks(std::size_t{kBlocks} * kBlocks * 8);
    StbDxt(Image(0, false).size() == kPixels * 4 ? Image(0, false) : Image(1, false), blocks, false);
    return blocks;
}

// Block decoder alone, into 16 FloatColor per block.
void DecodeBlocks(benchmark::State& state) {
    const std::vector<BYTE> blocks = Dxt1Blocks();
    FloatColor pixels[16];
    for (auto _ : state) {
        for (std::size_t at = 0; at < blocks.size(); at += 8) {
            DecodeDxt1Block(&blocks[at], pixels);
            benchmark::DoNotOptimize(pixels);
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPixels));
}
BENCHMARK(DecodeBlocks)->Unit(benchmark::kMillisecond);

// The block codec's rows, as a conversion reads them.
void DecodeRows(benchmark::State& state) {
    std::vector<BYTE> blocks = Dxt1Blocks();
    SurfaceDesc desc;
    desc.Data = blocks.data();
    desc.Format = D3DFMT_DXT1;
    desc.RowPitch = kBlocks * 8;
    desc.Extent = desc.Box = {0, 0, kSide, kSide, 0, 1};
    std::vector<FloatColor> row(kSide);
    for (auto _ : state) {
        std::unique_ptr<RowCodec> codec;
        CreateRowCodec(desc, codec);
        for (UINT y = 0; y < kSide; ++y) codec->DecodeRow(y, 0, row.data());
        benchmark::DoNotOptimize(row.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPixels));
}
BENCHMARK(DecodeRows)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillmark

BENCHMARK_MAIN();
