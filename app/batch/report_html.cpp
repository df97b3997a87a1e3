#include "app/batch/report_html.h"

#include "app/batch/result_document.h"
#include "app/analysis.h"
#include "app/polar_plot.h"
#include "app/report_figures.h"
#include "app/colour_scale.h"

#include "devices/select/d3d9_select.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace quillmark::batch {
namespace {

constexpr const char* kStyle =
    "body{font-family:sans-serif;margin:2em;max-width:72em;color:#222}"
    "table{border-collapse:collapse;margin-bottom:1em}"
    "th,td{border:1px solid #bbb;padding:.2em .6em;text-align:left;vertical-align:top}"
    "td.number{text-align:right;font-variant-numeric:tabular-nums}"
    "img{max-width:100%;height:auto;border:1px solid #888;image-rendering:pixelated}"
    ".pair{display:grid;grid-template-columns:1fr 1fr;gap:1em}"
    ".pair div{margin:0}.caption{margin:.2em 0 .8em}"
    ".legend{display:flex;align-items:center;gap:.5em;margin:.4em 0 1.5em;flex-wrap:wrap}"
    ".swatch{display:inline-block;width:1.2em;height:1.2em;border:1px solid #444;vertical-align:middle}"
    ".ramp{display:inline-block;width:16em;height:1em;border:1px solid #444}";

// Nothing but the page's own pictures (data: URIs) and style.
constexpr const char* kPolicy = "default-src 'none'; img-src data:; style-src 'unsafe-inline'";

}  // namespace

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

std::string ColourHex(std::uint32_t rgb) {
    char text[8];
    std::snprintf(text, sizeof(text), "#%06X", static_cast<unsigned>(rgb & 0xFFFFFF));
    return text;
}

std::string PictureImage(const Picture& picture, const std::string& alt, const std::string& file) {
    const std::string png = PngBytes(picture);
    const std::string described = file.empty() ? alt : alt + " (" + file + ")";
    if (png.empty()) return "<p>(" + Escaped(described) + ": the picture could not be encoded)</p>\n";
    return "<img src=\"data:image/png;base64," + Base64(png) + "\" alt=\"" + Escaped(described) + "\" width=\"" +
           std::to_string(picture.width) + "\" height=\"" + std::to_string(picture.height) + "\"/>";
}

std::string Page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
           "<meta http-equiv=\"Content-Security-Policy\" content=\"" +
           std::string(kPolicy) + "\"/>\n<title>" + Escaped(title) + "</title>\n<style>" + kStyle +
           "</style>\n</head>\n<body>\n<h1>" + Escaped(title) + "</h1>\n" + body + "</body>\n</html>\n";
}

std::string FigureRow(const std::string& label, const std::string& name, const std::string& value) {
    return "<tr><th>" + label + "</th><td class=\"number\" data-figure=\"" + name + "\">" + Escaped(value) +
           "</td></tr>\n";
}

namespace {

// A setting's value, with the value in effect beside it where the devices draw otherwise.
std::string ShownSetting(const std::string& flag, const std::string& value,
                         const std::vector<std::pair<std::string, std::string>>& inEffect) {
    std::string shown = Escaped(value);
    for (const auto& [drawnFlag, drawn] : inEffect)
        if (drawnFlag == flag) shown += " (in effect: " + Escaped(drawn) + ")";
    return shown;
}

}  // namespace

std::string SettingsTable(const std::vector<std::pair<std::string, std::string>>& settings,
                          const std::vector<std::pair<std::string, std::string>>& inEffect) {
    std::string html = "<h2>Settings</h2>\n<table>\n";
    for (const auto& [flag, value] : settings)
        html += "<tr><th><code>" + Escaped(flag) + "</code></th><td>" + ShownSetting(flag, value, inEffect) +
                "</td></tr>\n";
    return html + "</table>\n";
}

std::string SettingsTable(const std::vector<DeviceSettings>& devices) {
    std::string html = "<h2>Settings</h2>\n<table>\n<tr><th>setting</th>";
    for (const DeviceSettings& device : devices) html += "<th>" + Escaped(device.device) + "</th>";
    html += "</tr>\n";
    std::vector<std::string> flags;
    for (const DeviceSettings& device : devices)
        for (const auto& setting : device.settings)
            if (std::find(flags.begin(), flags.end(), setting.first) == flags.end()) flags.push_back(setting.first);
    for (const std::string& flag : flags) {
        html += "<tr><th><code>" + Escaped(flag) + "</code></th>";
        for (const DeviceSettings& device : devices) {
            const auto found = std::find_if(device.settings.begin(), device.settings.end(),
                                            [&](const auto& setting) { return setting.first == flag; });
            html += "<td data-device=\"" + Escaped(device.device) + "\">" +
                    (found == device.settings.end() ? "–" : ShownSetting(flag, found->second, device.inEffect)) +
                    "</td>";
        }
        html += "</tr>\n";
    }
    return html + "</table>\n";
}

std::string IdentityBlock(const std::vector<DeviceIdentity>& devices) {
    std::string html = "<h2>Identity</h2>\n<table data-figure=\"identity\">\n<tr><th>Program</th><td>" +
                       Escaped("quillmark " + ProgramVersion()) + "</td></tr>\n<tr><th>Date</th><td>" + UtcNow() +
                       "</td></tr>\n<tr><th>Command line</th><td><code>" + Escaped(CommandLine()) +
                       "</code></td></tr>\n";
    for (const DeviceIdentity& device : devices)
        html += "<tr><th>Device <code>" + Escaped(device.name) + "</code></th><td data-device=\"" +
                Escaped(device.name) + "\">" + Escaped(device.description) + "</td></tr>\n";
    return html + "</table>\n";
}

std::string FailuresSection(const std::vector<std::pair<std::string, std::string>>& failures) {
    if (failures.empty()) return {};
    std::string html = "<h2>Devices that failed</h2>\n<table data-figure=\"failures\">\n";
    for (const auto& [device, what] : failures)
        html += "<tr><th>" + Escaped(device) + "</th><td data-failure=\"" + Escaped(device) + "\">" + Escaped(what) +
                "</td></tr>\n";
    return html + "</table>\n";
}

namespace {

// The picture widened to `width` with the figure background on its right.
Picture Widened(const Picture& picture, int width) {
    if (picture.width >= width) return picture;
    Picture wide(width, picture.height, kFigureBackground);
    wide.Paste(picture, 0, 0);
    return wide;
}

}  // namespace

std::string CaptionedImage(const Picture& picture, const std::string& caption, const std::string& device,
                           const std::string& file) {
    const std::string described = device.empty() ? caption : caption + " on " + device;
    return "<div class=\"figure\">" + PictureImage(picture, described, file) + "<p class=\"caption\">" +
           Escaped(described) + "</p></div>";
}

std::string LodSection(const std::string& heading, const LodMeasurement& lod, const std::string& device) {
    std::string html = "<h2>" + Escaped(heading) + "</h2>\n<table data-figures=\"lod\">\n";
    for (const FigureDeclaration<LodFigures>& figure : LodFigureDeclarations())
        html += FigureRow(std::string(figure.meaning), std::string(figure.name), CellText(figure.value(lod.figures)));
    // The maps side by side at one scale: each as wide as the widest.
    Picture maps[] = {LodErrorPicture(lod.maps), LodErrorPicture(lod.maps, kFineErrorRange),
                      MeasuredLodPicture(lod.maps), IdealLodPicture(lod.maps)};
    int width = 0;
    for (const Picture& map : maps) width = std::max(width, map.width);
    for (Picture& map : maps) map = Widened(map, width);
    char fine[64];
    std::snprintf(fine, sizeof fine, "Error map, fine scale (±%g level)", kFineErrorRange);
    char coarse[64];
    std::snprintf(coarse, sizeof coarse, "Error map, coarse scale (±%g levels)", kErrorRange);
    html += "</table>\n<p>Δλ = measured − ideal level of detail. In the error maps blue marks pixels where the device "
            "takes a finer level than the rule (sharper, prone to aliasing), red a coarser one (blurrier), grey "
            "pixels where λ is clamped to the ends of the mip chain; the fine scale shows offsets of a few "
            "hundredths of a level that the coarse one leaves white. On the polar plot the black circle is "
            "Δλ = 0.</p>\n<div class=\"pair\">\n<div>" +
            CaptionedImage(maps[0], coarse, device) + "</div>\n<div>" + CaptionedImage(maps[1], fine, device) +
            "</div>\n<div>" + CaptionedImage(maps[2], "Measured level of detail", device) + "</div>\n<div>" +
            CaptionedImage(maps[3], "Ideal level of detail", device) + "</div>\n<div>" +
            CaptionedImage(LodPolarPicture(lod.figures), "Mean error by direction", device) + "</div>\n</div>\n";
    return html;
}

std::string HeatMapSection(const std::string& heading, const Picture& heatMap, int maxHits, const std::string& file) {
    return "<h2>" + Escaped(heading) + "</h2>\n<p>" + PictureImage(heatMap, "Heat map of hits per pixel") +
           "</p>\n<p>Each pixel of the frame, coloured by how many marked texels reached it, on a logarithmic "
           "scale from 0 (dark blue-violet) to MAX = " +
           std::to_string(maxHits) + " (yellow)." +
           (file.empty() ? std::string()
                         : " The file " + Escaped(file) +
                               " beside this page shows the same counts in the probe's own colours (red none, "
                               "green MAX).") +
           "</p>\n";
}

namespace {

std::string MipBandLegend() {
    std::string html = "<div class=\"legend\">";
    for (int level = 0; level < 3; ++level) {
        html += "<span class=\"swatch\" style=\"background:" + ColourHex(PlotLevelColour(level)) + "\"></span> levels";
        for (int shown = level; shown < kLevelsDone; shown += 3) html += " " + std::to_string(shown);
        html += "; ";
    }
    for (int level = 0; level < 3; ++level) {
        const std::uint32_t mixed = PlotLevelColour(level) | PlotLevelColour(level + 1);
        html += "<span class=\"swatch\" style=\"background:" + ColourHex(mixed) + "\"></span> levels " +
                std::to_string(level) + " and " + std::to_string(level + 1) + " (" + std::to_string(level + 3) +
                " and " + std::to_string(level + 4) + ", …)" + (level < 2 ? "; " : "");
    }
    return html + "</div>\n<p>Where neighbouring levels were both hit, their colours add up; white where three "
                  "were. A device that chooses the level the same way in every direction draws straight "
                  "horizontal band edges.</p>\n";
}

}  // namespace

std::string MipBandSection(const std::string& heading, const std::filesystem::path& plot, std::string* error) {
    Picture picture;
    if (!ReadPicture(plot, &picture, error)) return {};
    return "<h2>" + Escaped(heading) + "</h2>\n<p>" +
           PictureImage(MipBandFigure(picture), "Polar plot of the mip bands", plot.filename().string()) + "</p>\n" +
           MipBandLegend();
}

bool WritePage(const std::filesystem::path& target, const std::string& page, std::string* error) {
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
