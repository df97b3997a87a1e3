#include "app/batch/gallery_page.h"

#include "app/report_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quillmark::batch {
namespace {

namespace fs = std::filesystem;

// Device columns of a fixed width (their pictures' own), wrapping as the
// window allows; the page as wide as the window.
constexpr const char* kGalleryStyle =
    "<style>body{max-width:none}"
    ".devices{display:flex;flex-wrap:wrap;gap:1em 1.5em;align-items:flex-start;margin-bottom:1em}"
    ".devices>.device{flex:0 0 auto;max-width:100%}"
    ".devices img{display:block;margin-bottom:.5em;max-width:100%;height:auto}</style>\n";

// The level chosen per pixel, read from the level-choice frame.
std::vector<int> LevelsOf(const Picture& levels) {
    std::vector<int> out(levels.pixels.size());
    std::transform(levels.pixels.begin(), levels.pixels.end(), out.begin(), LevelOfPixel);
    return out;
}

// Of the pixels where either device chose a level, the share where both chose the same.
std::optional<double> OverallAgreement(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height) return std::nullopt;
    int same = 0, either = 0;
    for (const LevelAgreement& level : CompareLevels(LevelsOf(a), LevelsOf(b))) {
        same += level.same;
        either += level.pixelsA + level.pixelsB - level.same;
    }
    if (either == 0) return std::nullopt;
    return double(same) / either;
}

std::string CellHtml(const std::string& device, const GalleryCell& cell) {
    std::string html = "<div class=\"device\"><h3>" + Escaped(device) + "</h3>";
    if (!cell.result.drawn) return html + "<p>Not drawn: " + Escaped(cell.result.why) + "</p></div>\n";
    const GalleryPictures& p = cell.pictures;
    return html + PictureImage(p.frame, "Frame on " + device) +
           PictureImage(p.levelPlot, "Polar plot of the level chosen on " + device) +
           PictureImage(p.lodError, "Error map of the level of detail on " + device) + "</div>\n";
}

std::optional<double> Figure(const ResultCell& cell, const char* name) {
    const Json value = cell.figures.value(name, Json());
    if (!value.is_number()) return std::nullopt;
    return value.get<double>();
}

std::string FiguresTable(const std::vector<std::string>& devices, const std::vector<GalleryCell>& cells) {
    std::string html = "<table>\n<tr><th>device</th><th>within 1/16 level</th><th>within 1/2 level</th>"
                       "<th>inside the allowed band</th><th>mean Δλ</th><th>99th percentile |Δλ|</th>"
                       "<th>level chosen as on " + Escaped(devices.front()) + "</th></tr>\n";
    for (std::size_t d = 0; d < devices.size(); ++d) {
        html += "<tr><th>" + Escaped(devices[d]) + "</th>";
        const ResultCell& cell = cells[d].result;
        if (!cell.drawn) {
            html += "<td colspan=\"6\">not drawn</td></tr>\n";
            continue;
        }
        const std::optional<double> agreement =
            cells[0].result.drawn ? OverallAgreement(cells[0].pictures.levels, cells[d].pictures.levels)
                                  : std::nullopt;
        for (const std::string& value :
             {PercentText(Figure(cell, "within_1_16")), PercentText(Figure(cell, "within_1_2")),
              PercentText(Figure(cell, "within_allowed")), LevelsText(Figure(cell, "mean_error"), true),
              LevelsText(Figure(cell, "p99_abs_error"), false), PercentText(agreement)})
            html += "<td class=\"number\">" + value + "</td>";
        html += "</tr>\n";
    }
    return html + "</table>\n";
}

}  // namespace

GalleryPictures PicturesOf(const CompareRun& run) {
    const int width = run.lod.maps.width, height = run.lod.maps.height;
    return {Halved(PictureOfPixels(run.frame, width)), Halved(MipBandFigure(LevelBandPlot(run.levels, width, height))),
            Halved(LodErrorPicture(run.lod.maps)), PictureOfPixels(run.levelFrame, width)};
}

std::vector<std::pair<std::string, Picture GalleryPictures::*>> GalleryImageKeys() {
    return {{"frame", &GalleryPictures::frame},
            {"level_plot", &GalleryPictures::levelPlot},
            {"lod_error", &GalleryPictures::lodError},
            {"levels", &GalleryPictures::levels}};
}

std::string GalleryImageFile(int setting, const std::string& device, const std::string& key) {
    char number[16];
    std::snprintf(number, sizeof number, "%02d", setting);
    return std::string(kGalleryImagesFolder) + "/" + number + "-" + DeviceFileName(device) + "-" + key + ".png";
}

bool WriteGalleryPictures(const fs::path& directory, int setting, GalleryCell* cell, std::string* error) {
    Json images = Json::object();
    for (const auto& [key, member] : GalleryImageKeys()) {
        const std::string file = GalleryImageFile(setting, cell->result.device, key);
        if (!WritePng(cell->pictures.*member, directory / file, error)) return false;
        images[key] = file;
    }
    cell->result.images = std::move(images);
    return true;
}

bool ReadGalleryPictures(const fs::path& directory, const ResultCell& result, GalleryPictures* pictures,
                         std::string* error) {
    for (const auto& [key, member] : GalleryImageKeys()) {
        const Json file = result.images.value(key, Json());
        if (!file.is_string()) {
            *error = "the cell of " + result.device + ", " + result.title + " names no " + key + " picture";
            return false;
        }
        // Only a file inside the folder: a results file names no other.
        const fs::path relative = fs::path(file.get<std::string>()).lexically_normal();
        if (relative.empty() || relative.is_absolute() || *relative.begin() == "..") {
            *error = "the cell of " + result.device + ", " + result.title + " names a picture outside its folder: " +
                     file.get<std::string>();
            return false;
        }
        if (!ReadPicture(directory / file.get<std::string>(), &(pictures->*member), error)) return false;
    }
    return true;
}

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

std::string GalleryPage(const std::string& first, const std::vector<DeviceIdentity>& devices,
                        const std::vector<std::pair<std::string, std::string>>& failures, const std::string& sections) {
    return Page("Quillmark gallery",
                kGalleryStyle + first + IdentityBlock(devices) + FailuresSection(failures) +
                    "<p>Per setting and device: the frame, the polar plot of the mip level chosen per pixel "
                    "(as MipBand.bmp, from a frame whose levels are solid colours under a point mip filter) and "
                    "the error map of the level of detail against the ideal (blue finer than the rule, red "
                    "coarser, grey clamped; docs/level-of-detail.md). All with min filter anisotropic and mag "
                    "filter linear.</p>\n" +
                    sections);
}

}  // namespace quillmark::batch
