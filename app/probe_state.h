// What a probe owns: the device and its resources, the settings it draws
// with and the analysis run. The Probe (app/probe.h) that runs holds it; the
// window procedure, the Settings dialog and the operations of the scene, the
// textures and the analysis reach it through ActiveProbe(). One probe runs at
// a time, on one thread.
#pragma once

#include "platform/d3d9/d3d9.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quillmark {

// Per screen pixel, the smallest and largest marked index seen in a
// measuring pass; (-1, -1) when none.
struct PixelSpan {
    std::int16_t first;
    std::int16_t last;
};

// The analysis run's counters and per-pixel arrays.
struct AnalysisRun {
    bool running = false;
    std::int32_t phase = 0;
    std::int32_t savedPhase = 0;
    std::int32_t level = 0;
    std::int32_t rowPeriod = -1;
    std::int32_t columnPeriod = -1;
    std::uint16_t levelSize = 0;
    std::uint16_t spanMax = 0;
    std::unique_ptr<PixelSpan[]> pixelSpans;
    std::unique_ptr<std::uint16_t[]> hitCounts;
    std::uint16_t maxHits = 0;
    std::int64_t hitTotal = 0;  // a long run on a large level passes 2^31
    std::uint64_t levelTexelSum = 0;
    std::int32_t framesDone = 0;
    std::int32_t totalFrames = 0;
    std::uint32_t startTick = 0;
};

// The settings as the device and the scene take them: zero until the Settings
// dialog's initialisation (or a command's settings) sets them.
struct DrawSettings {
    std::int32_t maxAnisotropy = 0;
    std::int32_t anisotropySliderMax = 0;  // what this device lets the anisotropy step reach
    float lodBias = 0.0f;
    std::int32_t stage = 0;
    std::int32_t stageSliderMax = 0;  // the last stage this device has
    std::int32_t minFilter = 0;
    std::int32_t magFilter = 0;
    std::int32_t mipFilter = 0;
    bool useFileTexture = false;
    std::int32_t checkerShift = 0;
    std::int32_t tintMode = 0;
    bool showPlane = false;
    double distance = 0.0;
    double planeAngle = 0.0;
    std::int32_t faces = 0;
    float sceneRotation = 0.0f;
    float textureRotation = 0.0f;
};

struct ProbeState {
    // The main window's client area, which is the back buffer and the
    // frame the analysis reads; never changes.
    std::int32_t windowWidth = 800;
    std::int32_t windowHeight = 600;

    // The device.
    IDirect3D9* direct3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    D3DCAPS9 caps{};

    // Resources.
    IDirect3DTexture9* mipTexture = nullptr;
    IDirect3DTexture9* fileTexture = nullptr;
    std::string fileTexturePath;  // the file fileTexture was loaded from; empty when none
    IDirect3DVertexBuffer9* planeBuffer = nullptr;
    IDirect3DVertexBuffer9* tunnelBuffer = nullptr;
    IDirect3DSurface9* plotSurface = nullptr;
    std::int32_t plotPitch = 0;
    std::uint8_t* plotBits = nullptr;
    std::int32_t plotWidth = 0;
    std::int32_t plotHeight = 0;

    DrawSettings settings;
    AnalysisRun run;
};

namespace detail {
inline ProbeState* g_activeProbe = nullptr;
}

// The state of the probe that runs now. Only valid while one is active.
inline ProbeState& ActiveProbe() { return *detail::g_activeProbe; }

// Makes `state` the active probe's for this object's life and restores the
// one active before when it ends: a Probe holds one for its own state, and a
// test that works on the state without starting a program holds its own.
class ActiveProbeScope {
public:
    explicit ActiveProbeScope(ProbeState& state) : before_(detail::g_activeProbe) { detail::g_activeProbe = &state; }
    ~ActiveProbeScope() { detail::g_activeProbe = before_; }
    ActiveProbeScope(const ActiveProbeScope&) = delete;
    ActiveProbeScope& operator=(const ActiveProbeScope&) = delete;

private:
    ProbeState* before_;
};

}  // namespace quillmark
