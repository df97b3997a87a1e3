// How long the desktop window's λ view takes to follow a slider on the
// reference device: a changed LOD bias, then one pass of the loop's drawing
// (the frame, the two frames of the meter, the texture put back, the frame
// again and the error map over it). The tilted plane and the tunnel.
#include "app/app_state.h"
#include "app/lod_view.h"
#include "app/probe.h"
#include "app/scene.h"
#include "app/shell.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

bool StartOnce() {
    static const bool started = [] {
        ::setenv("QUILLMARK_DEVICE", "reference", 0);
        return quillmark::StartProbe(GetModuleHandleA(nullptr));
    }();
    return started;
}

void BM_LodViewFollowsASetting(benchmark::State& state) {
    if (!StartOnce()) {
        state.SkipWithError("the probe could not start");
        return;
    }
    quillmark::ProbeSettings settings;
    settings.showPlane = state.range(0) != 0;
    settings.planeAngle = 70;
    quillmark::ApplyProbeSettings(settings);
    if (!quillmark::LodViewShown()) quillmark::ToggleLodView();
    int step = 0;
    for (auto _ : state) {
        settings.lodBiasTenths = ++step % 2;  // a slider moved by one step, back and forth
        quillmark::ApplyProbeSettings(settings);
        quillmark::RenderFrame();
        quillmark::ShowLodView();
    }
}
BENCHMARK(BM_LodViewFollowsASetting)->ArgName("plane")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
