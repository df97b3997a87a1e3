// The probe started for analysis tests, in a directory of its own (Stop
// writes MipBand.bmp into the current directory), with helpers to act on the
// Settings dialog and to read image files back through ImageMagick.
#pragma once

#include "analysis.h"
#include "probe_fixture.h"
#include "scene.h"
#include "test_textures.h"

#include "user_input.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace quillmark::test {

// What ImageMagick reports of an image file.
struct ImageFacts {
    bool read = false;
    int width = 0;
    int height = 0;
    double maximum = -1;  // the largest channel value, 0 to 1
};

inline ImageFacts ReadImageFacts(const std::string& path) {
    ImageFacts facts;
    const std::string command = "convert '" + path + "' -format '%w %h %[fx:maxima]' info: 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return facts;
    facts.read = std::fscanf(pipe, "%d %d %lf", &facts.width, &facts.height, &facts.maximum) == 3;
    pclose(pipe);
    return facts;
}

class AnalysisFixture : public ProbeFixture {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        char pattern[] = "/tmp/quillmark-analysis-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
        std::filesystem::current_path(directory_);
        ProbeFixture::SetUp();
    }

    void TearDown() override {
        if (g_app.running) StopAnalysis();  // releases the plot
        ProbeFixture::TearDown();
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(directory_);
    }

    static HWND Control(int id) { return GetDlgItem(g_app.settingsDialog, id); }
    static std::string Text(int id) {
        char text[64] = "";
        GetDlgItemTextA(g_app.settingsDialog, id, text, sizeof(text));
        return text;
    }
    static void PressStart() { ASSERT_TRUE(win32::ClickButton(Control(kStartButton))); }
    static void PressStop() { ASSERT_TRUE(win32::ClickButton(Control(kStopButton))); }

    // A plane tilted almost edge-on: a thin band of pixels, quick to draw.
    static void ShowThinPlane() {
        g_app.showPlane = true;
        g_app.planeAngle = 88.0;
        g_app.distance = 20.0;
    }

    // Renders frame after frame, as the message loop does during a run, until
    // the run is done; `beforeFrame` runs before each one. Returns the frames.
    template <typename BeforeFrame>
    static int RunToTheEnd(BeforeFrame beforeFrame) {
        int frames = 0;
        while (g_app.level < kLevelsDone && frames < 20000) {
            beforeFrame(frames);
            RenderFrame();
            UpdateRunDisplay();
            ++frames;
        }
        return frames;
    }
    static int RunToTheEnd() {
        return RunToTheEnd([](int) {});
    }

    // The frame drawn with an all-white texture (every level), after which
    // the generated texture is put back: each drawn pixel is non-black.
    static std::vector<std::uint32_t> WhiteFramePixels() {
        for (int level = 0; level < kMipLevels; ++level) {
            D3DLOCKED_RECT locked;
            if (FAILED(g_app.mipTexture->LockRect(level, &locked, nullptr, 0))) return {};
            const int size = kMipTextureSize >> level;
            for (int y = 0; y < size; ++y)
                std::fill_n(reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) +
                                                             y * locked.Pitch),
                            size, 0xFFFFFFu);
            g_app.mipTexture->UnlockRect(level);
        }
        RenderFrame();
        std::vector<std::uint32_t> pixels = BackBufferPixels();
        BuildMipTexture();
        return pixels;
    }

    // Pixels drawn in a frame (any colour but black).
    static int Covered(const std::vector<std::uint32_t>& pixels) {
        return static_cast<int>(
            std::count_if(pixels.begin(), pixels.end(), [](std::uint32_t p) { return (p & 0xFFFFFF) != 0; }));
    }

    // The back buffer as it stands, row after row.
    static std::vector<std::uint32_t> BackBufferPixels() {
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(g_app.windowWidth) * g_app.windowHeight);
        IDirect3DSurface9* backBuffer = nullptr;
        if (FAILED(g_app.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer))) return {};
        D3DLOCKED_RECT locked;
        if (backBuffer->LockRect(&locked, nullptr, D3DLOCK_READONLY) == S_OK) {
            for (int y = 0; y < g_app.windowHeight; ++y)
                std::memcpy(&pixels[static_cast<std::size_t>(y) * g_app.windowWidth],
                            static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch,
                            static_cast<std::size_t>(g_app.windowWidth) * 4);
            backBuffer->UnlockRect();
        }
        backBuffer->Release();
        return pixels;
    }

    std::filesystem::path directory_;

private:
    std::filesystem::path previous_;
};

}  // namespace quillmark::test
