// Time of one RenderFrame of the default tunnel (200 faces, the generated
// texture, ANISOTROPIC minification, LINEAR mip filter) on the reference
// device, at max anisotropy 1 and 16.
#include "app/app_state.h"
#include "app/probe_state.h"
#include "app/shell.h"
#include "app/scene.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

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

void BM_RenderFrameTunnel(benchmark::State& state) {
    if (!StartOnce()) {
        state.SkipWithError("the probe could not start");
        return;
    }
    quillmark::ActiveProbe().settings.showPlane = false;
    quillmark::ActiveProbe().settings.faces = 200;
    quillmark::ActiveProbe().settings.minFilter = D3DTEXF_ANISOTROPIC;
    quillmark::ActiveProbe().settings.magFilter = D3DTEXF_ANISOTROPIC;
    quillmark::ActiveProbe().settings.mipFilter = D3DTEXF_LINEAR;
    quillmark::ActiveProbe().settings.maxAnisotropy = static_cast<int>(state.range(0));
    quillmark::BuildTunnel();
    quillmark::RenderFrame();  // warm the caches and the worker threads
    for (auto _ : state) quillmark::RenderFrame();
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderFrameTunnel)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
