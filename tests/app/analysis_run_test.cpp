// The analysis run on the whole probe (headless backend, reference device):
// Start and Stop through the dialog, the marked texture of a frame, the pass
// lengths and the figures the dialog shows.
#include "app/analysis.h"
#include "analysis_test_support.h"
#include "app/polar_plot.h"
#include "app/readback.h"
#include "app/test_textures.h"

#include "platform/win32/commctrl.h"
#include "platform/win32/headless_dialogs.h"

namespace quillmark {
namespace {

using test::AnalysisFixture;
using test::ImageFacts;
using test::ReadImageFacts;

std::uint32_t Texel(int level, int x, int y) {
    D3DLOCKED_RECT locked;
    EXPECT_EQ(ActiveProbe().mipTexture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), S_OK);
    std::uint32_t value;
    std::memcpy(&value, static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch + 4 * x, 4);
    ActiveProbe().mipTexture->UnlockRect(level);
    return value;
}

// Marks a frame as presented, as RenderFrame does after a good Present.
void Presented() { ++ActiveProbe().run.framesDone; }

TEST_F(AnalysisFixture, StartPreparesTheRun) {
    PressStart();
    EXPECT_TRUE(ActiveProbe().run.running);
    EXPECT_FALSE(IsWindowEnabled(Control(kStartButton)));
    EXPECT_TRUE(IsWindowEnabled(Control(kStopButton)));
    EXPECT_EQ(ActiveProbe().run.totalFrames, 992);
    EXPECT_EQ(ActiveProbe().run.level, 0);
    EXPECT_EQ(ActiveProbe().run.rowPeriod, -1);
    ASSERT_TRUE(ActiveProbe().run.hitCounts && ActiveProbe().run.pixelSpans);
    EXPECT_EQ(ActiveProbe().run.pixelSpans[799 * 600 - 1].first, -1);
    ASSERT_NE(ActiveProbe().plotSurface, nullptr);
    EXPECT_EQ(ActiveProbe().plotWidth, 720);
    EXPECT_EQ(ActiveProbe().plotHeight, 501);
    EXPECT_NE(ActiveProbe().plotBits, nullptr);
}

TEST_F(AnalysisFixture, StartWithoutMemoryTellsTheUserAndDoesNotRun) {
    win32::ClearMessageBoxes();
    ActiveProbe().windowWidth = 0;  // no pixel array can be made for this window
    PressStart();
    ActiveProbe().windowWidth = 800;
    EXPECT_FALSE(ActiveProbe().run.running);
    EXPECT_TRUE(IsWindowEnabled(Control(kStartButton)));
    ASSERT_EQ(win32::MessageBoxesShown().size(), 1u);
    EXPECT_EQ(win32::MessageBoxesShown()[0].caption, "Quillmark");
    EXPECT_EQ(ActiveProbe().plotSurface, nullptr);
}

TEST_F(AnalysisFixture, FrameMarksThreeRowsAndBlackensTheOtherLevels) {
    PressStart();
    ActiveProbe().run.phase = 510;
    ASSERT_EQ(BuildMarkedTexture(), S_OK);
    EXPECT_EQ(ActiveProbe().run.phase, 513);
    EXPECT_EQ(ActiveProbe().run.levelSize, 512);
    EXPECT_EQ(Texel(0, 0, 510), 0xFF0000u);
    EXPECT_EQ(Texel(0, 511, 510), 0xFF0000u);
    EXPECT_EQ(Texel(0, 17, 511), 0x00FF00u);
    EXPECT_EQ(Texel(0, 17, 509), 0u);
    EXPECT_EQ(Texel(0, 17, 0), 0u);
    EXPECT_EQ(Texel(1, 0, 0), 0u);
    EXPECT_EQ(Texel(9, 0, 0), 0u);
    Presented();
    ASSERT_EQ(BuildMarkedTexture(), S_OK);  // p = 513 > 512: blank, and the row pass ends
    EXPECT_EQ(Texel(0, 0, 511), 0u);
    EXPECT_EQ(ActiveProbe().run.rowPeriod, 0);
    EXPECT_EQ(ActiveProbe().run.phase, 0);
}

TEST_F(AnalysisFixture, CellPassMarksEveryTileAtOnce) {
    PressStart();
    ActiveProbe().run.level = 3;
    ActiveProbe().run.rowPeriod = 2;
    ActiveProbe().run.columnPeriod = 3;
    ActiveProbe().run.phase = 3;  // cells 3 (red), 4 (green), 5 (blue)
    ASSERT_EQ(BuildMarkedTexture(), S_OK);
    for (int y = 0; y < 64; y += 7)
        for (int x = 0; x < 64; x += 5) {
            const int cell = 2 * (x % 3) + (y % 2);
            const std::uint32_t expected = cell == 3 ? 0xFF0000 : cell == 4 ? 0x00FF00 : cell == 5 ? 0x0000FF : 0;
            ASSERT_EQ(Texel(3, x, y), expected) << x << "," << y;
        }
    EXPECT_EQ(Texel(0, 1, 1), 0u);
}

TEST_F(AnalysisFixture, SixCellPassTakesFourFrames) {
    PressStart();
    ActiveProbe().run.level = 3;
    ActiveProbe().run.rowPeriod = 2;
    ActiveProbe().run.columnPeriod = 3;
    int frames = 0;
    while (ActiveProbe().run.level == 3 && frames < 10) {
        ASSERT_EQ(BuildMarkedTexture(), S_OK);
        Presented();
        ++frames;
    }
    EXPECT_EQ(frames, 4);
    EXPECT_EQ(ActiveProbe().run.rowPeriod, -1);
}

TEST_F(AnalysisFixture, LevelZeroRowPassTakes172Frames) {
    ShowThinPlane();  // few pixels to draw
    PressStart();
    int frames = 0;
    while (ActiveProbe().run.rowPeriod == -1 && frames < 300) {
        RenderFrame();
        UpdateRunDisplay();
        ++frames;
    }
    EXPECT_EQ(frames, 172);
    EXPECT_EQ(ActiveProbe().run.framesDone, 172);
}

// A read-back frame is held until the run knows it was presented: only
// applying it counts its hits, once; a dropped one never counts.
TEST_F(AnalysisFixture, HeldFrameCountsOnlyWhenApplied) {
    PressStart();
    ActiveProbe().run.rowPeriod = ActiveProbe().run.columnPeriod = 1;  // a cell pass: coloured channels are hits
    ActiveProbe().run.phase = 3;                           // red belongs to cell 0
    IDirect3DSurface9* backBuffer = nullptr;
    ASSERT_EQ(ActiveProbe().device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer), S_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(backBuffer->LockRect(&locked, nullptr, 0), S_OK);
    for (int y = 0; y < ActiveProbe().windowHeight; ++y)
        std::memset(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch, 0, 4 * ActiveProbe().windowWidth);
    std::uint32_t red = 0x00FF0000u;
    std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + 10 * locked.Pitch + 4 * 20, &red, 4);
    backBuffer->UnlockRect();
    backBuffer->Release();

    ReadBack();
    EXPECT_EQ(ActiveProbe().run.hitTotal, 0);  // held, not yet counted
    ApplyHeldFrame();
    EXPECT_EQ(ActiveProbe().run.hitTotal, 1);
    EXPECT_EQ(ActiveProbe().run.hitCounts[10 * ActiveProbe().windowWidth + 20], 1);
    ApplyHeldFrame();  // applied once only
    EXPECT_EQ(ActiveProbe().run.hitTotal, 1);

    ReadBack();
    DropHeldFrame();
    ApplyHeldFrame();
    EXPECT_EQ(ActiveProbe().run.hitTotal, 1);
}

TEST_F(AnalysisFixture, LostFrameIsDrawnAgainWithTheSameMarks) {
    PressStart();
    ActiveProbe().run.phase = 510;
    ASSERT_EQ(BuildMarkedTexture(), S_OK);
    Presented();
    ASSERT_EQ(BuildMarkedTexture(), S_OK);  // ends the row pass ...
    EXPECT_EQ(ActiveProbe().run.rowPeriod, 0);
    ASSERT_EQ(BuildMarkedTexture(), S_OK);  // ... but was never presented: undone and repeated
    EXPECT_EQ(ActiveProbe().run.rowPeriod, 0);
    EXPECT_EQ(ActiveProbe().run.phase, 0);
    EXPECT_EQ(ActiveProbe().run.totalFrames, 992);
}

TEST_F(AnalysisFixture, DisplayShowsTheFigures) {
    PressStart();
    ActiveProbe().run.framesDone = 10;
    ActiveProbe().run.totalFrames = 100;
    ActiveProbe().run.phase = 3;
    ActiveProbe().run.maxHits = 7;
    ActiveProbe().run.hitTotal = 1234;
    ActiveProbe().run.levelTexelSum = 1572864000;
    ActiveProbe().run.startTick = GetTickCount() - 1000;  // 100 ms a frame, 90 frames left
    UpdateRunDisplay();
    EXPECT_EQ(Text(kRemainingTimeField), "  0:00:09");
    EXPECT_EQ(Text(kMaxHitsField), "7");
    EXPECT_EQ(Text(kHitTotalField), "1234");
    EXPECT_EQ(Text(kTexelSumField), "1.573 G");
    EXPECT_EQ(SendMessageA(Control(kRunProgressBar), PBM_GETPOS, 0, 0), 10);

    ActiveProbe().run.framesDone = 101;  // past the estimate: the time stays as it was
    UpdateRunDisplay();
    EXPECT_EQ(Text(kRemainingTimeField), "  0:00:09");
    ActiveProbe().run.level = kLevelsDone;
    UpdateRunDisplay();
    EXPECT_EQ(Text(kRemainingTimeField), "DONE");
}

TEST_F(AnalysisFixture, StopRestoresTheTextureAndClearsTheFigures) {
    PressStart();
    for (int frame = 0; frame < 5; ++frame) {
        RenderFrame();
        UpdateRunDisplay();
    }
    EXPECT_NE(Text(kHitTotalField), "");
    PressStop();
    EXPECT_FALSE(ActiveProbe().run.running);
    EXPECT_TRUE(IsWindowEnabled(Control(kStartButton)));
    EXPECT_FALSE(IsWindowEnabled(Control(kStopButton)));
    for (int field : {kRemainingTimeField, kMaxHitsField, kHitTotalField, kTexelSumField})
        EXPECT_EQ(Text(field), "") << field;
    EXPECT_EQ(SendMessageA(Control(kRunProgressBar), PBM_GETPOS, 0, 0), 5);
    EXPECT_EQ(Texel(0, 0, 0), 0xFEFEFEu);
    EXPECT_EQ(Texel(0, 300, 0), 0u);
    EXPECT_EQ(Texel(3, 1, 2), CheckerTexel(3, 1, 2, ActiveProbe().settings.checkerShift, ActiveProbe().settings.tintMode));
    EXPECT_EQ(Texel(9, 0, 0), CheckerTexel(9, 0, 0, ActiveProbe().settings.checkerShift, ActiveProbe().settings.tintMode));
    EXPECT_EQ(ActiveProbe().plotSurface, nullptr);
}

TEST_F(AnalysisFixture, StopWithoutHitsSavesABlackPlot) {
    PressStart();
    PressStop();
    const ImageFacts facts = ReadImageFacts(kPlotFileName);
    ASSERT_TRUE(facts.read) << "ImageMagick could not read " << kPlotFileName;
    EXPECT_EQ(facts.width, 720);
    EXPECT_EQ(facts.height, 501);
    EXPECT_EQ(facts.maximum, 0.0);
}

// A plot surface that can no longer be locked, as after a driver fault.
class UnlockableSurface : public IDirect3DSurface9 {
public:
    explicit UnlockableSurface(IDirect3DSurface9* inner) : inner_(inner) {}
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        if (--references_ == 0) inner_->Release();
        return references_;
    }
    HRESULT GetDevice(IDirect3DDevice9** device) override { return inner_->GetDevice(device); }
    DWORD SetPriority(DWORD) override { return 0; }
    DWORD GetPriority() override { return 0; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetContainer(REFIID, void**) override { return E_NOINTERFACE; }
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override { return inner_->GetDesc(desc); }
    HRESULT LockRect(D3DLOCKED_RECT*, const RECT*, DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT UnlockRect() override { return inner_->UnlockRect(); }
    ULONG references_ = 1;

private:
    IDirect3DSurface9* inner_;
};

TEST_F(AnalysisFixture, APlotThatCannotBeLockedAtStopIsReportedNotSaved) {
    PressStart();
    UnlockableSurface unlockable(ActiveProbe().plotSurface);
    ActiveProbe().plotSurface = &unlockable;
    win32::ClearMessageBoxes();
    PressStop();
    EXPECT_EQ(unlockable.references_, 0u);  // released all the same
    EXPECT_FALSE(std::filesystem::exists(kPlotFileName));
    ASSERT_EQ(win32::MessageBoxesShown().size(), 1u);
    EXPECT_EQ(win32::MessageBoxesShown()[0].text, PlotNotSavedText(D3DERR_INVALIDCALL));
    EXPECT_NE(win32::MessageBoxesShown()[0].text.find("MipBand.bmp"), std::string::npos);

    // A run whose plot could not be kept from the start says so at Stop too.
    PressStart();
    ActiveProbe().plotSurface->UnlockRect();
    ActiveProbe().plotSurface->Release();
    ActiveProbe().plotSurface = nullptr;
    ActiveProbe().plotBits = nullptr;
    win32::ClearMessageBoxes();
    PressStop();
    EXPECT_EQ(win32::MessageBoxesShown().size(), 1u);
}

}  // namespace
}  // namespace quillmark
