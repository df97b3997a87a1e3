// The probe started for analysis tests, in a directory of its own (Stop
// writes MipBand.bmp into the current directory), with helpers to act on the
// Settings dialog and to read image files back through ImageMagick.
#pragma once

#include "app/analysis.h"
#include "app/polar_plot.h"
#include "devices/core/direct3d.h"
#include "probe_fixture.h"
#include "app/scene.h"
#include "app/test_textures.h"

#include "platform/win32/user_input.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
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

// The figures and per-pixel results a run leaves behind.
struct RunRecord {
    std::int64_t hitTotal;
    std::int32_t framesDone, totalFrames;
    std::uint16_t maxHits;
    std::uint64_t levelTexelSum;
    std::vector<std::int64_t> periods;
    std::vector<std::uint16_t> counts;
    std::vector<std::uint32_t> plot;

    static RunRecord Take() {
        RunRecord record{ActiveProbe().run.hitTotal, ActiveProbe().run.framesDone, ActiveProbe().run.totalFrames, ActiveProbe().run.maxHits, ActiveProbe().run.levelTexelSum,
                         {}, std::vector<std::uint16_t>(ActiveProbe().run.hitCounts.get(), ActiveProbe().run.hitCounts.get() + 800 * 600),
                         {}};
        for (int level = 0; level < kLevelsDone; ++level) {
            const LevelResult& result = LevelResultOf(level);
            record.periods.insert(record.periods.end(), {result.rowPeriod, result.columnPeriod, result.hits});
        }
        for (int row = 0; row < ActiveProbe().plotHeight; ++row) {
            const auto* bits = reinterpret_cast<const std::uint32_t*>(ActiveProbe().plotBits + row * ActiveProbe().plotPitch);
            record.plot.insert(record.plot.end(), bits, bits + kPlotWidth);
        }
        return record;
    }
    bool operator==(const RunRecord&) const = default;
};

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
        if (directory_.empty()) return;  // skipped (no device) before the fixture was set up
        if (ActiveProbe().run.running) StopAnalysis();  // releases the plot
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
        ActiveProbe().settings.showPlane = true;
        ActiveProbe().settings.planeAngle = 88.0;
        ActiveProbe().settings.distance = 20.0;
    }

    // Renders frame after frame, as the message loop does during a run, until
    // the run is done; `beforeFrame` runs before each one. Returns the frames.
    template <typename BeforeFrame>
    static int RunToTheEnd(BeforeFrame beforeFrame) {
        int frames = 0;
        while (ActiveProbe().run.level < kLevelsDone && frames < 20000) {
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

    // Point filters on a thin slanted plane: every covered pixel is hit once
    // (the sum is the pixels drawn, the largest count 1), over several levels.
    static void ExpectPointFiltersHitEveryCoveredPixelOnce() {
        ShowThinPlane();
        ActiveProbe().settings.minFilter = D3DTEXF_POINT;
        ActiveProbe().settings.magFilter = D3DTEXF_POINT;
        ActiveProbe().settings.mipFilter = D3DTEXF_POINT;
        const int covered = Covered(WhiteFramePixels());
        ASSERT_GT(covered, 1000);
        PressStart();
        RunToTheEnd();
        EXPECT_EQ(ActiveProbe().run.hitTotal, covered);
        EXPECT_EQ(ActiveProbe().run.maxHits, 1);
        int levelsHit = 0;
        for (int level = 0; level < kLevelsDone; ++level) levelsHit += LevelResultOf(level).hits > 0;
        EXPECT_GE(levelsHit, 3) << "a plane seen at a slant shows several levels";
    }

    // A bilinear run of a thin plane, then the same run losing the device
    // again and again, must leave the same record.
    static void ExpectLostFramesChangeNothing() {
        ShowThinPlane();
        ActiveProbe().settings.minFilter = D3DTEXF_LINEAR;
        ActiveProbe().settings.magFilter = D3DTEXF_LINEAR;
        ActiveProbe().settings.mipFilter = D3DTEXF_LINEAR;
        PressStart();
        const int frames = RunToTheEnd();
        const RunRecord uninterrupted = RunRecord::Take();
        ASSERT_GT(uninterrupted.hitTotal, 0);
        PressStop();

        // Lose frames everywhere: inside passes, on the blank frames that end a
        // pass, the one that ends the run, and twice in a row.
        const std::set<int> losses = {0, 10, 171, 172, 343, 344, 400, 401, 550, frames - 1};
        PressStart();
        std::set<int> pending = losses;
        RunToTheEnd([&](int) {
            if (!pending.count(ActiveProbe().run.framesDone)) return;
            core::FailNextPresents(ActiveProbe().run.framesDone == 400 ? 2 : 1);
            pending.erase(ActiveProbe().run.framesDone);
        });
        EXPECT_TRUE(pending.empty());
        EXPECT_EQ(RunRecord::Take(), uninterrupted);
        EXPECT_EQ(ActiveProbe().run.framesDone, uninterrupted.framesDone);
    }

    // The frame drawn with an all-white texture (every level), after which
    // the generated texture is put back: each drawn pixel is non-black.
    static std::vector<std::uint32_t> WhiteFramePixels() {
        for (int level = 0; level < kMipLevels; ++level) {
            D3DLOCKED_RECT locked;
            if (FAILED(ActiveProbe().mipTexture->LockRect(level, &locked, nullptr, 0))) return {};
            const int size = kMipTextureSize >> level;
            for (int y = 0; y < size; ++y)
                std::fill_n(reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) +
                                                             y * locked.Pitch),
                            size, 0xFFFFFFu);
            ActiveProbe().mipTexture->UnlockRect(level);
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
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(ActiveProbe().windowWidth) * ActiveProbe().windowHeight);
        IDirect3DSurface9* backBuffer = nullptr;
        if (FAILED(ActiveProbe().device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer))) return {};
        D3DLOCKED_RECT locked;
        if (backBuffer->LockRect(&locked, nullptr, D3DLOCK_READONLY) == S_OK) {
            for (int y = 0; y < ActiveProbe().windowHeight; ++y)
                std::memcpy(&pixels[static_cast<std::size_t>(y) * ActiveProbe().windowWidth],
                            static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch,
                            static_cast<std::size_t>(ActiveProbe().windowWidth) * 4);
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
