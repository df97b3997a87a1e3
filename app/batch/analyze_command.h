// "quillmark analyze [settings] [-o DIR] [--json]": a whole texel analysis run
// on the headless backend, with progress on stderr, the polar plot
// (DIR/MipBand.bmp) and the final heat map (DIR/heatmap.bmp), and the
// figures on stdout.
#pragma once

#include "app/analysis.h"
#include "app/batch/figure_table.h"

#include <filesystem>
#include <string>

namespace quillmark {
class Probe;
}

namespace quillmark::batch {

// The files analyze writes besides the polar plot (kPlotFileName).
inline constexpr const char* kHeatMapFileName = "heatmap.bmp";
inline constexpr const char* kReportPageName = "report.html";

// The name an interrupted run gives one of those files, so that it never
// replaces a complete run's: "MipBand-interrupted.bmp" for "MipBand.bmp".
std::string InterruptedFileName(const std::string& name);

// The figures as text lines ("SUM: ...", "MAX: ...", "P: ...", one line per
// level), as one JSON object, and as a report's tables of the figures and of
// the levels.
std::string FiguresText(const AnalysisFigures& figures);
Json FiguresObject(const AnalysisFigures& figures);
std::string FiguresTable(const AnalysisFigures& figures);
std::string LevelsTable(const AnalysisFigures& figures);

// Writes `page`, a page that stands alone (no network resources): the
// program and device, the settings, the figures, the per-level periods and
// hits, the heat map and polar plot with their scales and legends, and the
// level of detail measured on the device (the λ meter runs for it), then
// `explanation` (an HTML section; empty for none), all
// pictures carried inside the page as PNG data. False with a message in
// *error when it cannot.
bool WriteReportPage(Probe& probe, const std::filesystem::path& page, const AnalysisFigures& figures,
                     const std::filesystem::path& heatMap, const std::filesystem::path& plot,
                     const std::string& explanation, std::string* error);

// Writes the frame in the back buffer (a finished run's heat map) to `path`
// as BMP.
HRESULT WriteBackBufferHeatMap(const std::filesystem::path& path);

// Starts a run and steps the probe until every level is measured (or
// Ctrl-C), with progress on stderr; false with the reason when the run could
// not be started or finished.
bool RunWholeAnalysis(Probe& probe, std::string* error);

// One progress report: frames done of the estimate, the remaining time and
// the three figures.
std::string ProgressLine(const AnalysisFigures& figures, int barWidth);

}  // namespace quillmark::batch
