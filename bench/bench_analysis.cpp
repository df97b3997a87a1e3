// The analysis run's own work in each frame, apart from drawing: writing the
// ten levels of marked texels, and classifying a read-back frame (spans in a
// measuring pass, hits in a cell pass) or painting the heat map. A frame of
// the default tunnel draws in tens of milliseconds on the reference device
// (bench_render); this work should stay a small part of that.
#include "app/analysis.h"
#include "app/app_state.h"
#include "app/probe_state.h"
#include "app/readback.h"
#include "app/shell.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

namespace {

using quillmark::g_app;

bool StartOnce() {
    static const bool started = [] {
        ::setenv("QUILLMARK_DEVICE", "reference", 0);
        static quillmark::ProbeState state;
        static quillmark::ActiveProbeScope active(state);
        return quillmark::StartProbe(GetModuleHandleA(nullptr));
    }();
    return started;
}

// A run in the given pass of level 0, every frame counted as presented.
bool PrepareRun(int rowPeriod, int columnPeriod) {
    if (!StartOnce()) return false;
    if (!quillmark::ActiveProbe().run.running) quillmark::StartAnalysis();
    quillmark::ActiveProbe().run.level = 0;
    quillmark::ActiveProbe().run.rowPeriod = rowPeriod;
    quillmark::ActiveProbe().run.columnPeriod = columnPeriod;
    quillmark::ActiveProbe().run.phase = 0;
    return quillmark::ActiveProbe().run.running;
}

// Every pixel coloured, as a tunnel frame of a measuring pass can be.
std::vector<std::uint32_t> BusyFrame() {
    std::vector<std::uint32_t> pixels(800 * 600);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = 0xFF000000u | (i % 3 == 0 ? 0xFF0000 : 0x00FF40);
    return pixels;
}

void BM_BuildMarkedTexture(benchmark::State& state) {
    if (!PrepareRun(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)))) {
        state.SkipWithError("the probe could not start");
        return;
    }
    for (auto _ : state) {
        quillmark::ActiveProbe().run.phase = 3;
        ++quillmark::ActiveProbe().run.framesDone;  // as if presented
        benchmark::DoNotOptimize(quillmark::BuildMarkedTexture());
    }
}
BENCHMARK(BM_BuildMarkedTexture)->Args({-1, -1})->Args({4, -1})->Args({4, 4})->Unit(benchmark::kMicrosecond);

void BM_MeasureSpans(benchmark::State& state) {
    if (!PrepareRun(-1, -1)) return state.SkipWithError("the probe could not start");
    quillmark::ActiveProbe().run.levelSize = 512;
    std::vector<std::uint32_t> pixels = BusyFrame();
    const quillmark::PixelView frame{reinterpret_cast<std::uint8_t*>(pixels.data()), 800 * 4, 800, 600};
    for (auto _ : state) {
        quillmark::ActiveProbe().run.phase = 6;
        quillmark::MeasureSpans(frame);
    }
}
BENCHMARK(BM_MeasureSpans)->Unit(benchmark::kMicrosecond);

void BM_RecordHits(benchmark::State& state) {
    if (!PrepareRun(2, 2)) return state.SkipWithError("the probe could not start");
    std::vector<std::uint32_t> pixels = BusyFrame();
    const quillmark::PixelView frame{reinterpret_cast<std::uint8_t*>(pixels.data()), 800 * 4, 800, 600};
    for (auto _ : state) quillmark::RecordHits(frame);
}
BENCHMARK(BM_RecordHits)->Unit(benchmark::kMicrosecond);

void BM_DrawHeatMap(benchmark::State& state) {
    if (!PrepareRun(-1, -1)) return state.SkipWithError("the probe could not start");
    quillmark::ActiveProbe().run.maxHits = 7;
    std::vector<std::uint32_t> pixels(800 * 600);
    const quillmark::PixelView frame{reinterpret_cast<std::uint8_t*>(pixels.data()), 800 * 4, 800, 600};
    for (auto _ : state) quillmark::DrawHeatMap(frame);
}
BENCHMARK(BM_DrawHeatMap)->Unit(benchmark::kMicrosecond);

// ReadBack of a drawn frame: the one lock and the copy kept until Present.
void BM_ReadBack(benchmark::State& state) {
    if (!PrepareRun(-1, -1)) return state.SkipWithError("the probe could not start");
    for (auto _ : state) quillmark::ReadBack();
}
BENCHMARK(BM_ReadBack)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
