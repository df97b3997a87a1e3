// Frame time, read-back included, of the default tunnel at 1x and 16x
// anisotropy on each device named on the command line, the devices taking
// turns round after round so that they share the machine's ups and downs.
//
//   bench_device_frames [--rounds R] [--frames N] DEVICE...
//
// Prints one line per round, device and anisotropy: "DEVICE ANISO MS".
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "devices/select/d3d9_select.h"
#include "tunnel_scene.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kAnisotropies[] = {1, 16};
constexpr int kWarmUpFrames = 2;

// Milliseconds per frame over `frames` frames.
double TimeFrames(quillmark::bench::TunnelScene& scene, DWORD anisotropy, int frames, std::uint32_t* sink) {
    for (int i = 0; i < kWarmUpFrames; ++i) {
        scene.Frame(D3DTEXF_ANISOTROPIC, anisotropy);
        *sink += scene.ReadBack();
    }
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < frames; ++i) {
        scene.Frame(D3DTEXF_ANISOTROPIC, anisotropy);
        *sink += scene.ReadBack();
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / frames;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 3, frames = 10;
    std::vector<std::string> devices;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--rounds" && i + 1 < argc)
            rounds = std::stoi(argv[++i]);
        else if (argument == "--frames" && i + 1 < argc)
            frames = std::stoi(argv[++i]);
        else
            devices.push_back(argument);
    }
    if (devices.empty()) devices = {"reference", "llvmpipe", "softpipe"};
    std::uint32_t sink = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const std::string& name : devices) {
            std::string error;
            IDirect3D9* direct3d = quillmark::CreateNamedDirect3D(name, &error);
            if (!direct3d) {
                std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
                return 1;
            }
            quillmark::bench::TunnelScene scene(direct3d);
            for (DWORD anisotropy : kAnisotropies)
                std::printf("%s %lu %.3f\n", name.c_str(), static_cast<unsigned long>(anisotropy),
                            TimeFrames(scene, anisotropy, frames, &sink));
            std::fflush(stdout);
        }
    }
    return sink == 1 ? 2 : 0;  // keeps the read-back from being left out
}
