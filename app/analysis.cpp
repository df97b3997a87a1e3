#include "app/analysis.h"

#include "app/app_state.h"
#include "app/probe_state.h"
#include "app/device_menu.h"
#include "app/polar_plot.h"
#include "app/readback.h"
#include "app/settings_dialog.h"
#include "app/test_textures.h"
#include "app/window_tools.h"

#include "platform/win32/commctrl.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace quillmark {
namespace {

// The run of the probe that runs now.
AnalysisRun& Run() { return ActiveProbe().run; }

constexpr std::uint32_t kMarkColours[3] = {0xFF0000, 0x00FF00, 0x0000FF};
constexpr int kFramesPerMeasuredLevelCorrection = 29;
constexpr int kFramesPerSkippedLevel = 30;

// The fields a marking step (and the pass change it may bring) changes.
struct RunCursor {
    std::int32_t phase, level, rowPeriod, columnPeriod;
    std::uint16_t levelSize, spanMax;
    std::int32_t totalFrames;
};

// The frame marked last, until it is known whether it was presented.
struct OpenFrame {
    bool open = false;
    std::int32_t framesDoneBefore = 0;
    RunCursor before{};
};
OpenFrame g_openFrame;

LevelResult g_levelResults[kLevelsDone];

RunCursor CurrentCursor() {
    const AnalysisRun& run = Run();
    return {run.phase, run.level, run.rowPeriod, run.columnPeriod, run.levelSize, run.spanMax, run.totalFrames};
}

void RestoreCursor(const RunCursor& cursor) {
    Run().phase = cursor.phase;
    Run().level = cursor.level;
    Run().rowPeriod = cursor.rowPeriod;
    Run().columnPeriod = cursor.columnPeriod;
    Run().levelSize = cursor.levelSize;
    Run().spanMax = cursor.spanMax;
    Run().totalFrames = cursor.totalFrames;
}

void OpenFrameRecord() {
    g_openFrame.open = true;
    g_openFrame.framesDoneBefore = Run().framesDone;
    g_openFrame.before = CurrentCursor();
}

bool PeriodsKnown() { return Run().rowPeriod != -1 && Run().columnPeriod != -1; }

void ResetPixelSpans() {
    const ProbeState& probe = ActiveProbe();
    const std::size_t count =
        static_cast<std::size_t>(probe.windowWidth) * static_cast<std::size_t>(probe.windowHeight);
    if (!Run().pixelSpans) return;
    for (std::size_t i = 0; i < count; ++i) Run().pixelSpans[i] = {-1, -1};
}

void EndLevel() {
    ++Run().level;
    Run().rowPeriod = -1;
    Run().columnPeriod = -1;
    Run().phase = 0;
}

// Mark colour of a cell in this frame: red, green, blue for phase, phase + 1,
// phase + 2; black otherwise.
inline std::uint32_t MarkColour(int cell, int phase) {
    const unsigned offset = static_cast<unsigned>(cell - phase);
    return offset < 3 ? kMarkColours[offset] : 0;
}

std::uint32_t* TexelRow(const D3DLOCKED_RECT& locked, int y) {
    return reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch);
}

void ClearLevel(const D3DLOCKED_RECT& locked, int size) {
    for (int y = 0; y < size; ++y) std::memset(TexelRow(locked, y), 0, static_cast<std::size_t>(size) * 4);
}

// Writes the marks of the level under analysis; every row is built once.
void WriteMarkedLevel(const D3DLOCKED_RECT& locked, int size) {
    const int phase = Run().phase;
    if (Run().rowPeriod == -1) {  // row pass: the cell is the row
        for (int y = 0; y < size; ++y) {
            const std::uint32_t colour = MarkColour(y, phase);
            std::uint32_t* row = TexelRow(locked, y);
            for (int x = 0; x < size; ++x) row[x] = colour;
        }
        return;
    }
    if (Run().columnPeriod == -1) {  // column pass: the cell is the column
        std::uint32_t* first = TexelRow(locked, 0);
        for (int x = 0; x < size; ++x) first[x] = MarkColour(x, phase);
        for (int y = 1; y < size; ++y) std::memcpy(TexelRow(locked, y), first, static_cast<std::size_t>(size) * 4);
        return;
    }
    const int rowPeriod = Run().rowPeriod, columnPeriod = Run().columnPeriod;
    for (int y = 0; y < size; ++y) {
        std::uint32_t* row = TexelRow(locked, y);
        const int rowCell = y % rowPeriod;
        for (int x = 0, column = 0; x < size; ++x) {
            row[x] = MarkColour(rowPeriod * column + rowCell, phase);
            if (++column == columnPeriod) column = 0;
        }
    }
}

void EnableRunButtons(bool running) {
    if (!g_app.settingsDialog) return;
    EnableWindow(GetDlgItem(g_app.settingsDialog, kStartButton), running ? FALSE : TRUE);
    EnableWindow(GetDlgItem(g_app.settingsDialog, kStopButton), running ? TRUE : FALSE);
    EnableSettingControls(g_app.settingsDialog, !running);
    EnableDeviceMenu(!running);
    EnableWindowTools(!running);
}

void SetFieldText(int id, const std::string& text) { SetDlgItemTextA(g_app.settingsDialog, id, text.c_str()); }

// The time the run still takes, extrapolated from the frames so far; empty
// while there is nothing to extrapolate from.
std::string RemainingTimeText() {
    if (Run().framesDone <= 0) return {};
    const std::uint32_t elapsed = GetTickCount() - Run().startTick;
    const double left = static_cast<double>(Run().totalFrames) - static_cast<double>(Run().framesDone);
    const double remaining = static_cast<double>(elapsed) / Run().framesDone * left;
    if (remaining < 0) return {};
    return FormatRemainingTime(static_cast<std::int64_t>(remaining));
}

void ShowRemainingTime() {
    const std::string text = RemainingTimeText();
    if (!text.empty()) SetFieldText(kRemainingTimeField, text);
}

void RequestRedraw() {
    if (g_app.mainWindow) PostMessageA(g_app.mainWindow, WM_USER, 0, 0);
}

}  // namespace

const LevelResult& LevelResultOf(int level) { return g_levelResults[level]; }

void CountLevelHits(int hits) {
    if (Run().level >= 0 && Run().level < kLevelsDone) g_levelResults[Run().level].hits += hits;
}

int CellIndex(int y, int x) {
    if (Run().rowPeriod == -1) return y;
    if (Run().columnPeriod == -1) return x;
    return Run().rowPeriod * (x % Run().columnPeriod) + (y % Run().rowPeriod);
}

int CellCount() { return PeriodsKnown() ? Run().rowPeriod * Run().columnPeriod : kMipTextureSize >> Run().level; }

int FramesLeftInPass() {
    const int framesOfPass = CellCount() / 3 + 2;
    const int framesMarked = Run().phase / 3;
    return framesOfPass > framesMarked ? framesOfPass - framesMarked : 0;
}

int ShownFrameEstimate() {
    if (Run().level >= kLevelsDone) return Run().framesDone;
    return std::max(Run().totalFrames, Run().framesDone + std::max(FramesLeftInPass(), 1));
}

AnalysisFigures CurrentAnalysisFigures() {
    const bool done = Run().level >= kLevelsDone;
    const AnalysisRun& run = Run();
    AnalysisFigures figures{run.hitTotal, run.maxHits,          run.levelTexelSum, run.framesDone, done,
                            {},           ShownFrameEstimate(), done ? kLevelsDone - 1 : run.level, {}};
    for (int level = 0; level < kLevelsDone; ++level) figures.levels[std::size_t(level)] = g_levelResults[level];
    figures.remainingTime = done ? "DONE" : RemainingTimeText();
    return figures;
}

std::string FormatRemainingTime(std::int64_t milliseconds) {
    char text[48];
    std::snprintf(text, sizeof(text), "%3i:%02i:%02i", static_cast<int>(milliseconds / 3600000),
                  static_cast<int>(milliseconds / 60000 % 60), static_cast<int>(milliseconds / 1000 % 60));
    return text;
}

std::string FormatTexelSum(std::uint64_t texelSum) {
    char text[48];
    std::snprintf(text, sizeof(text), "%.3f G", static_cast<double>(texelSum) * 1e-9);
    return text;
}

void SettleLastFrame() {
    if (!g_openFrame.open) return;
    g_openFrame.open = false;
    if (Run().framesDone > g_openFrame.framesDoneBefore) {
        ApplyHeldFrame();
    } else {
        // The frame was lost: it is drawn again from the state before it.
        RestoreCursor(g_openFrame.before);
        DropHeldFrame();
    }
}

// The arrays are allocated before anything else changes: when memory is
// short the run does not start, the user is told, and the previous run's
// figures and arrays stay as they were.
void StartAnalysis() {
    const ProbeState& probe = ActiveProbe();
    const std::size_t count = static_cast<std::size_t>(probe.windowWidth > 0 ? probe.windowWidth : 0) *
                              static_cast<std::size_t>(probe.windowHeight > 0 ? probe.windowHeight : 0);
    std::unique_ptr<std::uint16_t[]> hitCounts(count ? new (std::nothrow) std::uint16_t[count]() : nullptr);
    std::unique_ptr<PixelSpan[]> pixelSpans(count ? new (std::nothrow) PixelSpan[count] : nullptr);
    if (!hitCounts || !pixelSpans) {
        MessageBoxA(nullptr, "Not enough memory to start the analysis", "Quillmark", MB_OK);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) pixelSpans[i] = {-1, -1};

    EnableRunButtons(true);
    Run().running = true;
    Run().phase = 0;
    Run().savedPhase = 0;
    Run().framesDone = 0;
    Run().level = 0;
    Run().rowPeriod = -1;
    Run().columnPeriod = -1;
    Run().hitTotal = 0;
    Run().maxHits = 0;
    Run().levelTexelSum = 0;
    Run().spanMax = 0;
    Run().totalFrames = kInitialFrameEstimate;
    Run().startTick = GetTickCount();
    Run().hitCounts = std::move(hitCounts);
    Run().pixelSpans = std::move(pixelSpans);
    g_openFrame.open = false;
    DropHeldFrame();
    for (LevelResult& result : g_levelResults) result = LevelResult{};
    CreatePlotSurface();
    RequestRedraw();
}

void StopAnalysis() { StopAnalysis(kPlotFileName); }

void StopAnalysis(const std::string& plotPath) {
    SettleLastFrame();
    if (g_app.settingsDialog) {
        SendDlgItemMessageA(g_app.settingsDialog, kRunProgressBar, PBM_SETPOS, static_cast<WPARAM>(Run().framesDone),
                            0);
        for (int field : {kMaxHitsField, kHitTotalField, kTexelSumField, kRemainingTimeField}) SetFieldText(field, "");
    }
    EnableRunButtons(false);
    const bool wasRunning = Run().running;
    Run().running = false;
    BuildMipTexture();
    if (ActiveProbe().plotSurface || wasRunning) SavePlot(plotPath);
    RequestRedraw();
}

HRESULT BuildMarkedTexture() {
    SettleLastFrame();
    if (Run().level >= kLevelsDone) return S_OK;  // the run is done: nothing left to mark
    OpenFrameRecord();
    if (!ActiveProbe().mipTexture && FAILED(CreateMipTexture())) return E_FAIL;

    int cells = 0;
    for (int level = 0; level < kMipLevels; ++level) {
        D3DLOCKED_RECT locked;
        if (FAILED(ActiveProbe().mipTexture->LockRect(level, &locked, nullptr, 0))) return E_FAIL;
        const int size = kMipTextureSize >> level;
        if (level == Run().level) {
            if (!PeriodsKnown()) Run().levelSize = static_cast<std::uint16_t>(size);
            cells = CellCount();
            WriteMarkedLevel(locked, size);
        } else {
            ClearLevel(locked, size);
        }
        ActiveProbe().mipTexture->UnlockRect(level);
    }
    const int marked = Run().phase;
    Run().phase = marked + 3;
    if (marked > cells) AdvancePass();
    return S_OK;
}

void AdvancePass() {
    if (Run().level < 0 || Run().level >= kLevelsDone) return;
    LevelResult& result = g_levelResults[Run().level];
    if (Run().rowPeriod == -1) {
        Run().rowPeriod = Run().spanMax;
        result.rowPeriod = Run().spanMax;
        Run().spanMax = 0;
        ResetPixelSpans();
        Run().phase = 0;
        return;
    }
    if (Run().columnPeriod == -1) {
        Run().columnPeriod = Run().spanMax;
        result.columnPeriod = Run().spanMax;
        if (Run().rowPeriod == 0 && Run().columnPeriod == 0) {  // nothing of this level reached the screen
            Run().totalFrames -= kFramesPerSkippedLevel;
            EndLevel();
            return;
        }
        if (Run().rowPeriod == 0) Run().rowPeriod = Run().levelSize;
        if (Run().columnPeriod == 0) Run().columnPeriod = Run().levelSize;
        Run().spanMax = 0;
        ResetPixelSpans();
        Run().totalFrames += Run().rowPeriod * Run().columnPeriod / 3 - kFramesPerMeasuredLevelCorrection;
        Run().phase = 0;
        return;
    }
    EndLevel();
}

void UpdateRunDisplay() {
    SettleLastFrame();
    if (!Run().running || !g_app.settingsDialog) return;
    SendDlgItemMessageA(g_app.settingsDialog, kRunProgressBar, PBM_SETRANGE32, 0,
                        static_cast<LPARAM>(Run().totalFrames));
    SendDlgItemMessageA(g_app.settingsDialog, kRunProgressBar, PBM_SETPOS, static_cast<WPARAM>(Run().framesDone), 0);
    SetFieldText(kMaxHitsField, std::to_string(Run().maxHits));
    SetFieldText(kHitTotalField, std::to_string(Run().hitTotal));
    SetFieldText(kTexelSumField, FormatTexelSum(Run().levelTexelSum));
    if (Run().level >= kLevelsDone)
        SetFieldText(kRemainingTimeField, "DONE");
    else if (Run().phase != 0)
        ShowRemainingTime();
}

}  // namespace quillmark
