// The application's single global record: window handles, Direct3D objects,
// every setting of the Settings dialog, and the analysis run's counters and
// per-pixel arrays. One thread reads and writes it.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/win32/windows.h"

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

struct AppState {
    // Window and platform.
    std::int32_t windowWidth = 800;
    std::int32_t windowHeight = 600;
    HWND mainWindow = nullptr;
    HWND settingsDialog = nullptr;
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

    // Settings: zero until the dialog's initialisation sets them.
    std::int32_t maxAnisotropy = 0;
    std::int32_t anisotropySliderMax = 0;
    float lodBias = 0.0f;
    float lodBiasRange = 0.0f;
    std::int32_t stage = 0;
    std::int32_t stageSliderMax = 0;
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
    bool dialogRolledUp = false;
    RECT dialogRect{};

    // Analysis run.
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

// The one instance.
extern AppState g_app;

}  // namespace quillmark
