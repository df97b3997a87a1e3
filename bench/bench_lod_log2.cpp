// The level of detail's log2: LibraryLog2 against the C library's log2f on
// footprint lengths spread as in the default tunnel (log2 from -1 to 9,
// evenly), each in a throughput loop (independent inputs) and a latency
// loop (each input waits for the previous result, as a quad's texel
// addresses wait for its level). Counter `library` is the share of inputs
// that LibraryLog2 hands to log2f.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "library_log2.h"

namespace {

using quillmark::reference::BracketLog2;
using quillmark::reference::LibraryLog2;

const std::vector<float>& TunnelLengths() {
    static const std::vector<float> lengths = [] {
        constexpr int kCount = 4096;
        constexpr float kLowest = -1.0f, kSpan = 10.0f;
        std::vector<float> out(kCount);
        std::uint32_t state = 12345;
        for (float& length : out) {
            state = state * 1664525u + 1013904223u;
            length = std::exp2(kLowest + kSpan * float(state >> 8) / float(1u << 24));
        }
        return out;
    }();
    return lengths;
}

float SystemLog2(float x) { return std::log2(x); }

template <float (*log2)(float)>
void Throughput(benchmark::State& state) {
    const std::vector<float>& lengths = TunnelLengths();
    for (auto _ : state) {
        float sum = 0.0f;
        for (float length : lengths) sum += log2(length);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(lengths.size()));
}

// Each input times (1 + 0 · the previous result): the same bits, but not
// known before the previous log2 is done.
template <float (*log2)(float)>
void Latency(benchmark::State& state) {
    const std::vector<float>& lengths = TunnelLengths();
    for (auto _ : state) {
        float previous = 0.0f;
        for (float length : lengths) previous = log2(length * (1.0f + 0.0f * previous));
        benchmark::DoNotOptimize(previous);
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(lengths.size()));
}

void CountLibraryShare(benchmark::State& state) {
    std::int64_t asked = 0;
    for (float length : TunnelLengths()) asked += !BracketLog2(length).Known();
    state.counters["library"] = double(asked) / double(TunnelLengths().size());
}

void BM_Log2Throughput_LibraryLog2(benchmark::State& state) {
    Throughput<LibraryLog2>(state);
    CountLibraryShare(state);
}
void BM_Log2Throughput_log2f(benchmark::State& state) { Throughput<SystemLog2>(state); }
void BM_Log2Latency_LibraryLog2(benchmark::State& state) {
    Latency<LibraryLog2>(state);
    CountLibraryShare(state);
}
void BM_Log2Latency_log2f(benchmark::State& state) { Latency<SystemLog2>(state); }

BENCHMARK(BM_Log2Throughput_LibraryLog2);
BENCHMARK(BM_Log2Throughput_log2f);
BENCHMARK(BM_Log2Latency_LibraryLog2);
BENCHMARK(BM_Log2Latency_log2f);

}  // namespace

BENCHMARK_MAIN();
