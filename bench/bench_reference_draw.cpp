// Frame time of the reference device drawing the application's default
// tunnel (200 faces, 512 x 512 texture with 10 levels) through the device
// directly, per minification filter and maximum anisotropy.
#include <benchmark/benchmark.h>

#include "platform/processor/processor_features.h"
#include "platform/processor/scoped_allowance.h"
#include "devices/software/software_direct3d.h"
#include "tunnel_scene.h"

namespace {

using quillmark::bench::TunnelScene;
namespace processor = quillmark::processor;

void TunnelFrame(benchmark::State& state, DWORD minFilter) {
    TunnelScene scene(quillmark::software::CreateReferenceDirect3D());
    const auto anisotropy = DWORD(state.range(0));
    for (auto _ : state) scene.Frame(minFilter, anisotropy);
}

void BM_TunnelAnisotropic(benchmark::State& state) { TunnelFrame(state, D3DTEXF_ANISOTROPIC); }
void BM_TunnelLinear(benchmark::State& state) { TunnelFrame(state, D3DTEXF_LINEAR); }

// The same frames with the 128-bit quad sampler that CPUs without AVX2 use.
void BM_TunnelAnisotropicNarrow(benchmark::State& state) {
    const processor::ScopedAllowance narrow(processor::Allowed() & ~processor::kAvx2);
    TunnelFrame(state, D3DTEXF_ANISOTROPIC);
}

// The same frames with the 256-bit kernels' texels fetched by AVX2 gathers
// (second argument 1) and by ordinary loads (0), whichever the processor
// prefers (BM_TunnelAnisotropic runs its choice).
void BM_TunnelFetch(benchmark::State& state) {
    const std::uint32_t wide = processor::Preferred() | processor::kAvx2;
    const processor::ScopedAllowance fetch(state.range(1) != 0 ? wide | processor::kGather : wide & ~processor::kGather);
    if (fetch.Granted())
        TunnelFrame(state, D3DTEXF_ANISOTROPIC);
    else
        state.SkipWithError("the processor or QUILLMARK_CPU rules this path out");
}

// One and three frames on one drawing thread, for instruction counts
// (bench/frame_instructions.sh takes the difference under callgrind).
void BM_TunnelOneThread(benchmark::State& state) {
    quillmark::software::SetDrawThreads(1);
    TunnelFrame(state, D3DTEXF_ANISOTROPIC);
    quillmark::software::SetDrawThreads(0);
}

// The same with the texels fetched by loads, where the processor allows
// AVX2 (callgrind's processor may prefer gathers).
void BM_TunnelOneThreadLoads(benchmark::State& state) {
    const processor::ScopedAllowance loads(processor::Allowed() & ~processor::kGather);
    BM_TunnelOneThread(state);
}

BENCHMARK(BM_TunnelOneThread)->Arg(1)->Arg(16)->Iterations(1);
BENCHMARK(BM_TunnelOneThread)->Arg(1)->Arg(16)->Iterations(3);
BENCHMARK(BM_TunnelOneThreadLoads)->Arg(1)->Arg(16)->Iterations(1);
BENCHMARK(BM_TunnelOneThreadLoads)->Arg(1)->Arg(16)->Iterations(3);
BENCHMARK(BM_TunnelAnisotropic)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TunnelLinear)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TunnelFetch)->ArgsProduct({{1, 16}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TunnelAnisotropicNarrow)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
