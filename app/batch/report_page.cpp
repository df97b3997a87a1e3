// report.html of "quillmark analyze": one page a person reads, or shares
// with the run's folder. Every figure of the JSON output is shown in an
// element marked data-figure="<its JSON name>".
#include "analyze_command.h"
#include "settings_flags.h"

#include "analysis.h"
#include "polar_plot.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace quillmark::batch {
namespace {

namespace fs = std::filesystem;

constexpr const char* kReportName = "report.html";

constexpr const char* kStyle =
    "body{font-family:sans-serif;margin:2em;max-width:60em;color:#222}"
    "table{border-collapse:collapse;margin-bottom:1em}"
    "th,td{border:1px solid #bbb;padding:.2em .6em;text-align:left}"
    "td.number{text-align:right;font-variant-numeric:tabular-nums}"
    "img{max-width:100%;height:auto;border:1px solid #888;image-rendering:pixelated}"
    ".legend{display:flex;align-items:center;gap:.5em;margin:.4em 0 1.5em}"
    ".swatch{display:inline-block;width:1.2em;height:1.2em;border:1px solid #444;vertical-align:middle}"
    ".ramp{width:16em;height:1em;border:1px solid #444;background:linear-gradient(to right,#ff0000,#00ff00)}";

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Base64(const std::string& bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = group << 8 | (k < count ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k) out += k <= count ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

// The media type of an image file the program writes, by its extension.
std::string MediaType(const fs::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".png") return "image/png";
    if (extension == ".jpg" || extension == ".jpeg") return "image/jpeg";
    return "image/bmp";
}

bool ImageData(const fs::path& file, std::string* uri) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    if (!in.good() && !in.eof()) return false;
    if (bytes.empty()) return false;
    *uri = "data:" + MediaType(file) + ";base64," + Base64(bytes);
    return true;
}

std::string FigureRow(const std::string& label, const std::string& name, const std::string& value) {
    return "<tr><th>" + label + "</th><td class=\"number\" data-figure=\"" + name + "\">" + Escaped(value) +
           "</td></tr>\n";
}

std::string SettingsTable() {
    std::string html = "<h2>Settings</h2>\n<table>\n";
    for (const auto& [flag, value] : CurrentSettingValues())
        html += "<tr><th><code>" + Escaped(flag) + "</code></th><td>" + Escaped(value) + "</td></tr>\n";
    return html + "</table>\n";
}

std::string FiguresTable(const AnalysisFigures& figures) {
    return "<h2>Figures</h2>\n<table>\n" +
           FigureRow("SUM: hits of marked texels, all levels", "sum", std::to_string(figures.hitTotal)) +
           FigureRow("MAX: most hits on one pixel", "max", std::to_string(figures.maxHits)) +
           FigureRow("P: hits weighted by their level's texel count", "p", std::to_string(figures.levelTexelSum)) +
           FigureRow("P as the dialog shows it", "p_text", FormatTexelSum(figures.levelTexelSum)) +
           FigureRow("Frames drawn", "frames", std::to_string(figures.framesDone)) +
           FigureRow("All ten levels measured", "done", figures.done ? "true" : "false") + "</table>\n";
}

std::string LevelsTable(const AnalysisFigures& figures) {
    std::string html =
        "<h2>Levels</h2>\n<table data-figure=\"levels\">\n"
        "<tr><th>level</th><th>row period</th><th>column period</th><th>hits</th></tr>\n";
    for (int level = 0; level < kLevelsDone; ++level) {
        const LevelResult& result = figures.levels[std::size_t(level)];
        html += "<tr><td class=\"number\" data-figure=\"level\">" + std::to_string(level) +
                "</td><td class=\"number\" data-figure=\"row_period\">" + std::to_string(result.rowPeriod) +
                "</td><td class=\"number\" data-figure=\"column_period\">" + std::to_string(result.columnPeriod) +
                "</td><td class=\"number\" data-figure=\"hits\">" + std::to_string(result.hits) + "</td></tr>\n";
    }
    return html + "</table>\n";
}

std::string ColourHex(std::uint32_t rgb) {
    char text[8];
    std::snprintf(text, sizeof(text), "#%06X", static_cast<unsigned>(rgb & 0xFFFFFF));
    return text;
}

std::string HeatMapLegend(const AnalysisFigures& figures) {
    return "<div class=\"legend\">0 hits <span class=\"ramp\"></span> " + std::to_string(figures.maxHits) +
           " hits (MAX)</div>\n<p>Each pixel of the frame, coloured by how many marked texels reached it: red "
           "where none did, green where the most did.</p>\n";
}

std::string PlotLegend() {
    std::string html = "<div class=\"legend\">";
    for (int level = 0; level < 3; ++level) {
        html += "<span class=\"swatch\" style=\"background:" + ColourHex(PlotLevelColour(level)) +
                "\"></span> levels";
        for (int shown = level; shown < kLevelsDone; shown += 3) html += " " + std::to_string(shown);
        html += level < 2 ? "; " : "";
    }
    return html +
           "</div>\n<p>Across: the direction from the screen centre, in four quarters of the width: up to "
           "right, left to up, down to left, right to down. Down: the distance from the centre, which lies on "
           "the bottom row. Where levels of different colours were hit, the colours add up (cyan, magenta, "
           "yellow, white).</p>\n";
}

std::string ImageSection(const std::string& title, const fs::path& file, const std::string& legend,
                         std::string* error) {
    std::string uri;
    if (!ImageData(file, &uri)) {
        *error = "cannot read " + file.string() + " back for the report";
        return {};
    }
    return "<h2>" + title + "</h2>\n<p><img src=\"" + uri + "\" alt=\"" + title + " (" +
           Escaped(file.filename().string()) + ")\"/></p>\n" + legend;
}

}  // namespace

bool WriteReportPage(const fs::path& directory, const AnalysisFigures& figures, const fs::path& heatMap,
                     const fs::path& plot, std::string* error) {
    error->clear();
    const std::string heatMapSection = ImageSection("Heat map", heatMap, HeatMapLegend(figures), error);
    const std::string plotSection = error->empty() ? ImageSection("Polar plot", plot, PlotLegend(), error) : "";
    if (!error->empty()) return false;
    const std::string page = std::string("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n") +
                             "<title>Quillmark texel analysis</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n" +
                             "<h1>Quillmark texel analysis</h1>\n<p>" +
                             (figures.done ? "All ten mip levels were measured"
                                           : "The run was interrupted; the figures cover the frames measured") +
                             " in " + std::to_string(figures.framesDone) + " frames.</p>\n" + SettingsTable() +
                             FiguresTable(figures) + LevelsTable(figures) + heatMapSection + plotSection + "</body>\n</html>\n";
    const fs::path target = directory / kReportName;
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out << page;
    out.close();
    if (!out) {
        *error = "cannot write " + target.string() + ": the file cannot be created or filled";
        return false;
    }
    return true;
}

}  // namespace quillmark::batch
