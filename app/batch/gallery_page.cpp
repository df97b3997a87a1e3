#include "app/batch/gallery_page.h"

#include "app/report_figures.h"

#include <cmath>
#include <cstdio>

namespace quillmark::batch {
namespace {

// Device columns of a fixed width (their pictures' own), wrapping as the
// window allows; the page as wide as the window.
constexpr const char* kGalleryStyle =
    "<style>body{max-width:none}"
    ".devices{display:flex;flex-wrap:wrap;gap:1em 1.5em;align-items:flex-start;margin-bottom:1em}"
    ".devices>.device{flex:0 0 auto;max-width:100%}"
    ".devices img{display:block;margin-bottom:.5em;max-width:100%;height:auto}</style>\n";

// Of the pixels where either device chose a level, the share where both chose the same.
std::optional<double> OverallAgreement(const std::vector<int>& a, const std::vector<int>& b) {
    int same = 0, either = 0;
    for (const LevelAgreement& level : CompareLevels(a, b)) {
        same += level.same;
        either += level.pixelsA + level.pixelsB - level.same;
    }
    if (either == 0) return std::nullopt;
    return double(same) / either;
}

std::string CellHtml(const std::string& device, const GalleryCell& cell) {
    std::string html = "<div class=\"device\"><h3>" + Escaped(device) + "</h3>";
    if (!cell.drawn) return html + "<p>Not drawn: " + Escaped(cell.why) + "</p></div>\n";
    const int width = cell.run.lod.maps.width, height = cell.run.lod.maps.height;
    return html + PictureImage(Halved(PictureOfPixels(cell.run.frame, width)), "Frame on " + device) +
           PictureImage(Halved(MipBandFigure(LevelBandPlot(cell.run.levels, width, height))),
                        "Polar plot of the level chosen on " + device) +
           PictureImage(Halved(LodErrorPicture(cell.run.lod.maps)), "Error map of the level of detail on " + device) +
           "</div>\n";
}

std::string FiguresTable(const std::vector<std::string>& devices, const std::vector<GalleryCell>& cells) {
    std::string html = "<table>\n<tr><th>device</th><th>within 1/16 level</th><th>within 1/2 level</th>"
                       "<th>inside the allowed band</th><th>mean Δλ</th><th>99th percentile |Δλ|</th>"
                       "<th>level chosen as on " + Escaped(devices.front()) + "</th></tr>\n";
    for (std::size_t d = 0; d < devices.size(); ++d) {
        html += "<tr><th>" + Escaped(devices[d]) + "</th>";
        if (!cells[d].drawn) {
            html += "<td colspan=\"6\">not drawn</td></tr>\n";
            continue;
        }
        const LodFigures& f = cells[d].run.lod.figures;
        const std::optional<double> agreement =
            cells[0].drawn ? OverallAgreement(cells[0].run.levels, cells[d].run.levels) : std::nullopt;
        for (const std::string& value :
             {PercentText(f.within116), PercentText(f.within12), PercentText(f.withinAllowed), LevelsText(f.meanError, true),
              LevelsText(f.p99AbsError, false), PercentText(agreement)})
            html += "<td class=\"number\">" + value + "</td>";
        html += "</tr>\n";
    }
    return html + "</table>\n";
}

}  // namespace

std::string LevelsText(std::optional<double> value, bool withSign) {
    if (!value) return "–";
    char text[32];
    const double magnitude = std::abs(*value);
    std::snprintf(text, sizeof text, "%.3f", magnitude);
    if (!withSign || std::string_view(text) == "0.000") return text;
    return (*value < 0 ? "-" : "+") + std::string(text);
}

std::string GallerySection(const std::string& title, const std::vector<std::string>& devices,
                           const std::vector<GalleryCell>& cells) {
    std::string html = "<h2>" + Escaped(title) + "</h2>\n<div class=\"devices\">\n";
    for (std::size_t d = 0; d < devices.size(); ++d) html += CellHtml(devices[d], cells[d]);
    return html + "</div>\n" + FiguresTable(devices, cells);
}

std::string GalleryPage(const std::string& baseline, const std::vector<DeviceIdentity>& devices,
                        const std::vector<std::pair<std::string, std::string>>& failures, const std::string& sections) {
    return Page("Quillmark gallery",
                kGalleryStyle + baseline + IdentityBlock(devices) + FailuresSection(failures) +
                    "<p>Per setting and device: the frame, the polar plot of the mip level chosen per pixel "
                    "(as MipBand.bmp, from a frame whose levels are solid colours under a point mip filter) and "
                    "the error map of the level of detail against the ideal (blue finer than the rule, red "
                    "coarser, grey clamped; docs/level-of-detail.md). All with min filter anisotropic and mag "
                    "filter linear.</p>\n" +
                    sections);
}

}  // namespace quillmark::batch
