// Row codec throughput: decode and encode of one 1024-pixel row for the
// formats of every kind (byte, packed, palette, signed, 16-bit, float,
// pixel-pair and block layouts), encoding plain, with ordered dither and with error
// diffusion; and same-size conversions of a 1024 x 64 block between the
// direct pairs, through the direct routines and through the general path
// (decode to FloatColor, round back). Items are pixels.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "pixel/conversion_job.h"
#include "pixel/resample.h"
#include "pixel/row_codec.h"

namespace quillmark {
namespace {

constexpr UINT kWidth = 1024;
constexpr UINT kRows = 4;

enum class Mode { Plain, Ordered, Diffusion };

struct Setup {
    std::vector<BYTE> pixels;
    std::vector<PALETTEENTRY> palette = std::vector<PALETTEENTRY>(256, PALETTEENTRY{10, 20, 30, 255});
    std::vector<FloatColor> row;
    std::unique_ptr<RowCodec> codec;
};

Setup MakeSetup(D3DFORMAT format, Mode mode) {
    Setup s;
    s.pixels.resize(std::size_t{kWidth} * kRows * 16);
    std::mt19937 random(1);
    for (BYTE& b : s.pixels) b = static_cast<BYTE>(random());
    SurfaceDesc desc;
    desc.Data = s.pixels.data();
    desc.Format = format;
    desc.RowPitch = kWidth * 16;
    desc.Box = {0, 0, kWidth, kRows, 0, 1};
    desc.Palette = s.palette.data();  // read by the palette formats only
    desc.Dither = mode == Mode::Ordered;
    desc.DiffusionDither = mode == Mode::Diffusion;
    CreateRowCodec(desc, s.codec);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    s.row.resize(kWidth);
    for (FloatColor& c : s.row) c = {unit(random), unit(random), unit(random), unit(random)};
    return s;
}

void Decode(benchmark::State& state, D3DFORMAT format) {
    Setup s = MakeSetup(format, Mode::Plain);
    UINT y = 0;
    for (auto _ : state) {
        s.codec->DecodeRow(y++ % kRows, 0, s.row.data());
        benchmark::DoNotOptimize(s.row.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth);
}

void Encode(benchmark::State& state, D3DFORMAT format, Mode mode) {
    Setup s = MakeSetup(format, mode);
    // Diffusion adds its carried error into the row it encodes, so that
    // mode encodes a fresh copy each time (the copy is timed with it).
    std::vector<FloatColor> work = s.row;
    UINT y = 0;
    for (auto _ : state) {
        if (mode == Mode::Diffusion) std::memcpy(work.data(), s.row.data(), kWidth * sizeof(FloatColor));
        s.codec->EncodeRow(y++ % kRows, 0, work.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth);
}

struct Named {
    const char* name;
    D3DFORMAT format;
};

const Named kFormats[] = {
    {"A8R8G8B8", D3DFMT_A8R8G8B8},         {"X8R8G8B8", D3DFMT_X8R8G8B8},   {"R8G8B8", D3DFMT_R8G8B8},
    {"A8B8G8R8", D3DFMT_A8B8G8R8},         {"X8B8G8R8", D3DFMT_X8B8G8R8},   {"R5G6B5", D3DFMT_R5G6B5},
    {"X1R5G5B5", D3DFMT_X1R5G5B5},         {"A1R5G5B5", D3DFMT_A1R5G5B5},   {"A4R4G4B4", D3DFMT_A4R4G4B4},
    {"A2B10G10R10", D3DFMT_A2B10G10R10},   {"L8", D3DFMT_L8},               {"A8L8", D3DFMT_A8L8},
    {"A8", D3DFMT_A8},                     {"P8", D3DFMT_P8},               {"A8P8", D3DFMT_A8P8},
    {"V8U8", D3DFMT_V8U8},                 {"Q8W8V8U8", D3DFMT_Q8W8V8U8},   {"G16R16", D3DFMT_G16R16},
    {"A16B16G16R16", D3DFMT_A16B16G16R16}, {"L16", D3DFMT_L16},             {"UYVY", D3DFMT_UYVY},
    {"R16F", D3DFMT_R16F},                 {"G16R16F", D3DFMT_G16R16F},     {"A16B16G16R16F", D3DFMT_A16B16G16R16F},
    {"R32F", D3DFMT_R32F},                 {"A32B32G32R32F", D3DFMT_A32B32G32R32F},
    {"DXT1", D3DFMT_DXT1},                 {"DXT5", D3DFMT_DXT5},
};

constexpr UINT kBlockRows = 64;

// The general path alone, as RunConversion took it before the direct routines.
HRESULT GeneralConversion(const SurfaceDesc& destination, const SurfaceDesc& source) {
    ConversionJob job;
    job.filter = RESAMPLE_NONE;
    job.destinationDesc = destination;
    job.sourceDesc = source;
    HRESULT hr = CreateRowCodec(destination, job.destination);
    if (SUCCEEDED(hr)) hr = CreateRowCodec(source, job.source);
    if (FAILED(hr)) return hr;
    job.destination->AttachSource(*job.source);
    return SameSizeFilter(job);
}

void Convert(benchmark::State& state, D3DFORMAT from, D3DFORMAT to, bool direct) {
    std::vector<BYTE> source(std::size_t{kWidth} * kBlockRows * 8), destination(source.size());
    std::mt19937 random(1);
    for (BYTE& b : source) b = static_cast<BYTE>(random());
    std::vector<PALETTEENTRY> palette(256, PALETTEENTRY{10, 20, 30, 255});
    SurfaceDesc in, out;
    in.Data = source.data();
    in.Format = from;
    in.Palette = palette.data();
    out.Data = destination.data();
    out.Format = to;
    in.RowPitch = out.RowPitch = kWidth * 8;
    in.Box = out.Box = in.Extent = out.Extent = {0, 0, kWidth, kBlockRows, 0, 1};
    for (auto _ : state) {
        const HRESULT hr = direct ? RunConversion(out, in, RESAMPLE_NONE) : GeneralConversion(out, in);
        if (FAILED(hr)) state.SkipWithError("conversion failed");
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kWidth * kBlockRows);
}

const Named kConversionSources[] = {
    {"X8R8G8B8", D3DFMT_X8R8G8B8}, {"R8G8B8", D3DFMT_R8G8B8}, {"A8B8G8R8", D3DFMT_A8B8G8R8},
    {"R5G6B5", D3DFMT_R5G6B5},     {"L8", D3DFMT_L8},         {"A8L8", D3DFMT_A8L8},
    {"P8", D3DFMT_P8},             {"A16B16G16R16", D3DFMT_A16B16G16R16}, {"AL16", FORMAT_AL16},
    {"R16", FORMAT_R16},
};
const Named kConversionDestinations[] = {
    {"A8R8G8B8", D3DFMT_A8R8G8B8}, {"X8R8G8B8", D3DFMT_X8R8G8B8}, {"R5G6B5", D3DFMT_R5G6B5}, {"L8", D3DFMT_L8},
};

const int kRegistered = [] {
    for (const Named& from : kConversionSources) {
        for (const Named& to : kConversionDestinations) {
            if (from.format == to.format) continue;
            const std::string name = std::string("Convert/") + from.name + "/" + to.name;
            benchmark::RegisterBenchmark((name + "/direct").c_str(), Convert, from.format, to.format, true);
            benchmark::RegisterBenchmark((name + "/general").c_str(), Convert, from.format, to.format, false);
        }
    }
    for (const Named& f : kFormats) {
        const std::string name = f.name;
        benchmark::RegisterBenchmark(("Decode/" + name).c_str(), Decode, f.format);
        benchmark::RegisterBenchmark(("Encode/" + name + "/plain").c_str(), Encode, f.format, Mode::Plain);
        benchmark::RegisterBenchmark(("Encode/" + name + "/ordered").c_str(), Encode, f.format, Mode::Ordered);
        benchmark::RegisterBenchmark(("Encode/" + name + "/diffusion").c_str(), Encode, f.format, Mode::Diffusion);
    }
    return 0;
}();

}  // namespace
}  // namespace quillmark

BENCHMARK_MAIN();
