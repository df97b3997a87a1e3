// "quillmark analyze [settings] [-o DIR] [--json]": a whole texel analysis run
// on the headless backend, with progress on stderr, the polar plot
// (DIR/MipBand.bmp) and the final heat map (DIR/heatmap.bmp), and the
// figures on stdout.
#pragma once

#include "app/analysis.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

namespace quillmark::batch {

// The files analyze writes besides the polar plot (kPlotFileName).
inline constexpr const char* kHeatMapFileName = "heatmap.bmp";
inline constexpr const char* kReportPageName = "report.html";

// The figures of a run as they stand in g_app and the level results.
struct AnalysisFigures {
    std::int64_t hitTotal;
    int maxHits;
    std::uint64_t levelTexelSum;
    std::int32_t framesDone;
    bool done;  // all ten levels measured (not interrupted)
    std::array<LevelResult, kLevelsDone> levels;  // periods and hits, level by level
};

AnalysisFigures CurrentFigures(bool done);

// The figures as text lines ("SUM: ...", "MAX: ...", "P: ...", one line per
// level) or as one JSON object.
std::string FiguresText(const AnalysisFigures& figures);
std::string FiguresJson(const AnalysisFigures& figures);

// Writes DIR/report.html, a page that stands alone (no network resources):
// the program and device, the settings, the figures, the per-level periods
// and hits, the heat map and polar plot with their scales and legends, and
// the level of detail measured on the device (the λ meter runs for it), all
// pictures carried inside the page as PNG data. False with a message in
// *error when it cannot.
bool WriteReportPage(const std::filesystem::path& directory, const AnalysisFigures& figures,
                     const std::filesystem::path& heatMap, const std::filesystem::path& plot, std::string* error);
// Presses Start and renders until the dialog shows "DONE" (or Ctrl-C),
// with progress on stderr; false with the reason when the run could not be
// started or finished.
bool RunWholeAnalysis(std::string* error);

// Presses Stop with `directory` as the current directory, where Stop saves
// MipBand.bmp.
bool StopIn(const std::filesystem::path& directory, std::string* error);

// One progress report: frames done of the estimate, the remaining time shown
// by the dialog and the three figures.
std::string ProgressLine(int barWidth);

}  // namespace quillmark::batch
