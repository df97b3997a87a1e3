// The texel analysis run: Start and Stop, the per-frame writing of the marked
// texture, the pass and level transitions, the frame estimate and the figures
// shown in the Settings dialog while a run is active.
//
// Each level of the generated texture is analysed in three passes: a row pass
// and a column pass measure how many rows and columns one pixel's footprint
// spans (the periods), and a cell pass marks texels a whole number of periods
// apart, three per frame (red, green, blue), so that every coloured pixel
// channel is one unambiguous hit.
//
// A frame's read-back counts only once that frame has been presented: if
// Present fails, the device is rebuilt and the frame is drawn again with the
// same marks, and the measurements and pass changes of the lost frame are
// undone, so a device loss never changes the figures of a run.
#pragma once

#include "platform/win32/windows.h"

#include <array>
#include <cstdint>
#include <string>

namespace quillmark {

inline constexpr int kStartButton = 1029;
inline constexpr int kStopButton = 1030;
inline constexpr int kRunProgressBar = 1031;
inline constexpr int kRemainingTimeField = 1032;
inline constexpr int kMaxHitsField = 1033;
inline constexpr int kHitTotalField = 1035;
inline constexpr int kTexelSumField = 1036;

// Frame estimate of a run before any level has been measured.
inline constexpr int kInitialFrameEstimate = 992;
// The level index that means "the run is done".
inline constexpr int kLevelsDone = 10;

// The "Start" button: resets the run, allocates the per-pixel arrays,
// creates the polar plot and lets the message loop render continuously.
// When the per-pixel arrays cannot be allocated the run does not start: the
// user is told with a message box and every field keeps its previous value.
void StartAnalysis();

// The "Stop" button: ends the run, restores the normal test texture and
// saves the polar plot as "MipBand.bmp" in the current directory.
void StopAnalysis();

// Stop with the polar plot saved as `plotPath`.
void StopAnalysis(const std::string& plotPath);

// Writes this frame's marked texels into mipTexture (every level black but
// the marks on the level under analysis) and advances `phase`; ends the pass
// after its blank last frame. E_FAIL when the texture cannot be created or
// locked (then `phase` is not advanced).
HRESULT BuildMarkedTexture();

// Ends the current pass: row pass -> column pass -> cell pass -> next level.
void AdvancePass();

// Shows progress, remaining time and the three figures in the dialog.
void UpdateRunDisplay();

// Brings the run's figures up to date with the last rendered frame: its
// measurements are applied when it was presented and dropped (with the pass
// changes of its marking step) when it was lost. Every entry point of the run
// does this first; callers only need it to read the figures between frames.
void SettleLastFrame();

// What a run found on one level: the measured row and column periods (the
// largest footprint spans; -1 while unmeasured) and the hits of its cell pass.
struct LevelResult {
    int rowPeriod = -1;
    int columnPeriod = -1;
    std::int64_t hits = 0;
};

// The results of the current (or last) run, by level 0 to 9.
const LevelResult& LevelResultOf(int level);

// Counts hits on the level under analysis (called for every recorded hit).
void CountLevelHits(int hits);

// Cell index of texel (row y, column x) of the level under analysis in the
// current pass, and the number of cells of that pass.
int CellIndex(int y, int x);
int CellCount();

// Frames the current pass still draws (its blank last frame included).
int FramesLeftInPass();

// The frame estimate of the run as a user should see it: totalFrames, or
// once the count has passed it, the frames done and those left in the pass;
// the frames done once the run is done.
int ShownFrameEstimate();

// The figures of the current (or last) run as values.
struct AnalysisFigures {
    std::int64_t hitTotal;
    int maxHits;
    std::uint64_t levelTexelSum;
    std::int32_t framesDone;
    bool done;  // all ten levels measured (not interrupted)
    std::array<LevelResult, kLevelsDone> levels;  // periods and hits, level by level
    int frameEstimate;          // ShownFrameEstimate
    int level;                  // the level under analysis (the last one once done)
    std::string remainingTime;  // as the dialog shows it: "DONE", the estimate, or empty while unknown
};

AnalysisFigures CurrentAnalysisFigures();

// "%3i:%02i:%02i" of a remaining time in milliseconds.
std::string FormatRemainingTime(std::int64_t milliseconds);

// "%.3f G" of a texel sum.
std::string FormatTexelSum(std::uint64_t texelSum);

}  // namespace quillmark
