// report.html of "quillmark analyze": one page a person reads, or shares
// with the run's folder. Every figure of the JSON output is shown in an
// element marked data-figure="<its JSON name>".
#include "app/batch/analyze_command.h"
#include "app/batch/report_html.h"
#include "app/batch/settings_flags.h"

#include "app/analysis.h"
#include "app/probe_state.h"
#include "app/probe.h"
#include "app/report_figures.h"

#include "devices/select/d3d9_select.h"

namespace quillmark::batch {
namespace {

namespace fs = std::filesystem;


std::string HeatMap(const AnalysisFigures& figures, const fs::path& heatMap) {
    if (!ActiveProbe().run.hitCounts) return "<h2>Heat map</h2>\n<p>No hits were recorded.</p>\n";
    const int width = ActiveProbe().windowWidth;
    const Picture picture = HeatMapFigure(width, ActiveProbe().windowHeight, figures.maxHits, [width](int x, int y) {
        return int(ActiveProbe().run.hitCounts[std::size_t(y) * std::size_t(width) + std::size_t(x)]);
    });
    return HeatMapSection("Heat map", picture, figures.maxHits, heatMap.filename().string());
}

// The λ meter on the device the analysis ran on; a note instead when it cannot run.
std::string LodPart(Probe& probe) {
    LodMeasurement lod;
    std::string error;
    if (!MeasureLod(probe, &lod, &error)) return "<h2>Level of detail</h2>\n<p>Not measured: " + Escaped(error) + ".</p>\n";
    return LodSection("Level of detail against the ideal", lod);
}

}  // namespace

bool WriteReportPage(Probe& probe, const fs::path& page, const AnalysisFigures& figures, const fs::path& heatMap,
                     const fs::path& plot, const std::string& explanation, std::string* error) {
    error->clear();
    const std::string plotSection = MipBandSection("Polar plot", plot, error);
    if (!error->empty()) return false;
    const std::string body = "<p>" +
                             std::string(figures.done ? "All ten mip levels were measured"
                                                      : "The run was interrupted; the figures cover the frames "
                                                        "measured") +
                             " in " + std::to_string(figures.framesDone) + " frames.</p>\n" +
                             IdentityBlock({IdentifyDevice(SelectedDeviceName())}) + SettingsTable(SettingValues(probe.Settings()), SettingsInEffect(probe.Settings())) +
                             FiguresTable(figures) + LevelsTable(figures) + HeatMap(figures, heatMap) +
                             plotSection + LodPart(probe) + explanation;
    return WritePage(page, Page("Quillmark texel analysis", body), error);
}

}  // namespace quillmark::batch
