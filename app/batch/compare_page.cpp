// report.html of "quillmark compare": both devices' identity, the settings,
// the frames side by side, their difference, the level each chose and how
// far they agree, the level of detail of each against the ideal and, with
// --analyze, each device's heat map and polar plot.
#include "app/batch/compare_command.h"
#include "app/batch/report_html.h"

#include "app/test_textures.h"

namespace quillmark::batch {
namespace {

namespace fs = std::filesystem;

std::string Pair(const std::string& left, const std::string& right) {
    return "<div class=\"pair\">\n<div>" + left + "</div>\n<div>" + right + "</div>\n</div>\n";
}

// The picture of a run, captioned and described with the device's name;
// `file` the image written beside the page.
std::string RunImage(const std::vector<std::uint32_t>& pixels, int width, const std::string& what,
                     const CompareRun& run, const std::string& file) {
    return CaptionedImage(PictureOfPixels(pixels, width), what, run.name, file);
}

std::string FramesSection(const CompareRun& a, const CompareRun& b, int width) {
    const FrameAgreement agreement = CompareFrames(a.frame, b.frame);
    std::string html = "<h2>Frames</h2>\n" +
                       Pair(RunImage(a.frame, width, "Frame", a, "frame-" + a.fileName + ".bmp"),
                            RunImage(b.frame, width, "Frame", b, "frame-" + b.fileName + ".bmp")) +
                       "<h2>Difference</h2>\n<p>" +
                       PictureImage(PictureOfPixels(DifferenceImage(a.frame, b.frame), width), "Difference", "difference.bmp") +
                       "</p>\n<div class=\"legend\">0 <span class=\"ramp\" style=\"background:linear-gradient(to right,"
                       "#000000,#FFFFFF)\"></span> " +
                       std::to_string(255 / kDifferenceGain) + "/255 or more</div>\n<p>Each channel shows the "
                       "absolute difference of the two frames in that channel, " +
                       std::to_string(kDifferenceGain) + " times brighter: black where they are equal.</p>\n"
                       "<h2>Where the frames differ</h2>\n<p>" +
                       PictureImage(PictureOfPixels(DifferingPixels(a.frame, b.frame), width),
                                    "Pixels where the frames of " + a.name + " and " + b.name + " differ") +
                       "</p>\n<div class=\"legend\"><span class=\"swatch\" style=\"background:" +
                       ColourHex(kDifferingColour) + "\"></span> any channel differs, by 1/255 or more "
                       "<span class=\"swatch\" style=\"background:" + ColourHex(kEqualColour) +
                       "\"></span> every channel equal</div>\n<table>\n<tr><th>Pixels whose every channel differs by at most</th><th>share</th></tr>\n";
    for (std::size_t t = 0; t < kFrameTolerances.size(); ++t) {
        const std::optional<double> share = agreement.Within(t);
        html += FigureRow(std::to_string(kFrameTolerances[t]) + "/255", "frame_within_" + std::to_string(kFrameTolerances[t]),
                          PercentText(share));
    }
    return html + "</table>\n";
}

std::string LevelsSection(const CompareRun& a, const CompareRun& b, int width) {
    std::string legend = "<div class=\"legend\">";
    for (int level = 0; level < kMipLevels; ++level)
        legend += "<span class=\"swatch\" style=\"background:" + ColourHex(LevelMarkColor(level)) + "\"></span> " +
                  std::to_string(level) + " ";
    std::string html =
        "<h2>Level choice</h2>\n<p>The scene drawn with every mip level one solid colour under a point mip filter: "
        "each pixel shows the level the device chose.</p>\n" +
        Pair(RunImage(a.levelFrame, width, "Level chosen", a, "levels-" + a.fileName + ".bmp"),
             RunImage(b.levelFrame, width, "Level chosen", b, "levels-" + b.fileName + ".bmp")) +
        legend + "</div>\n<table data-figure=\"levels\">\n<tr><th>level</th><th>pixels on " + Escaped(a.name) +
        "</th><th>pixels on " + Escaped(b.name) +
        "</th><th>on both</th><th>both / either: pixels where both chose the level, of those where either did</th></tr>\n";
    const std::vector<LevelAgreement> levels = CompareLevels(a.levels, b.levels);
    for (std::size_t l = 0; l < levels.size(); ++l) {
        const std::optional<double> share = levels[l].Share();
        html += "<tr><td class=\"number\" data-figure=\"level\">" + std::to_string(l) +
                "</td><td class=\"number\" data-figure=\"pixelsA\">" + std::to_string(levels[l].pixelsA) +
                "</td><td class=\"number\" data-figure=\"pixelsB\">" + std::to_string(levels[l].pixelsB) +
                "</td><td class=\"number\" data-figure=\"same\">" + std::to_string(levels[l].same) +
                "</td><td class=\"number\" data-figure=\"share\">" + PercentText(share) +
                "</td></tr>\n";
    }
    return html + "</table>\n";
}

std::string AnalysisSection(const CompareRun& run, std::string* error) {
    if (!run.analyzed) return {};
    std::string html = "<h2>Analysis on " + Escaped(run.name) + "</h2>\n<table>\n" +
                       FigureRow("SUM: hits of marked texels, all levels", "sum", std::to_string(run.figures.hitTotal)) +
                       FigureRow("MAX: most hits on one pixel", "max", std::to_string(run.figures.maxHits)) +
                       FigureRow("Frames drawn", "frames", std::to_string(run.figures.framesDone)) + "</table>\n";
    if (!run.heatMap.pixels.empty())
        html += HeatMapSection("Heat map on " + run.name, run.heatMap, run.figures.maxHits, "");
    return html + MipBandSection("Polar plot on " + run.name, run.plot, error);
}

}  // namespace

bool WriteCompareReport(const fs::path& directory, const CompareRun& a, const CompareRun& b, std::string* error) {
    error->clear();
    const std::string title = "Quillmark comparison: " + a.name + " and " + b.name;
    if (!a.failure.empty() || !b.failure.empty()) {
        std::vector<std::pair<std::string, std::string>> failures;
        std::string drawn;
        for (const CompareRun* run : {&a, &b}) {
            if (!run->failure.empty())
                failures.emplace_back(run->name, run->failure);
            else
                drawn += LodSection("Level of detail on " + run->name + " against the ideal", run->lod, run->name);
        }
        const CompareRun& shown = a.failure.empty() ? a : b;
        return WritePage(directory / "report.html",
                         Page(title, IdentityBlock({{a.name, a.description, a.notes}, {b.name, b.description, b.notes}}) +
                                         FailuresSection(failures) +
                                         SettingsTable({{shown.name, shown.settings, shown.settingsInEffect}}) + drawn +
                                         shown.explanation),
                         error);
    }
    const int width = a.lod.maps.width;
    const std::string analysis = AnalysisSection(a, error) + (error->empty() ? AnalysisSection(b, error) : "");
    if (!error->empty()) return false;
    const std::string body = IdentityBlock({{a.name, a.description, a.notes}, {b.name, b.description, b.notes}}) +
                             SettingsTable({{a.name, a.settings, a.settingsInEffect}, {b.name, b.settings, b.settingsInEffect}}) +
                             FramesSection(a, b, width) + LevelsSection(a, b, width) +
                             LodSection("Level of detail on " + a.name + " against the ideal", a.lod, a.name) +
                             LodSection("Level of detail on " + b.name + " against the ideal", b.lod, b.name) + analysis +
                             a.explanation + b.explanation;
    return WritePage(directory / "report.html", Page(title, body), error);
}

}  // namespace quillmark::batch
