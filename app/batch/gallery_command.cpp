// "quillmark gallery [-o DIR] [--device D ...]": every device over a fixed
// set of settings, on one page (DIR/gallery.html) to attach to a driver bug
// report: per setting, each device's frame, the polar plot of the level it
// chose per pixel and the error map of its level of detail, and a table of
// the λ figures and of its level agreement with the first device.
#include "app/batch/baseline.h"
#include "app/batch/batch_command.h"
#include "app/batch/batch_runner.h"
#include "app/batch/comparison.h"
#include "app/batch/level_frames.h"
#include "app/batch/lod_command.h"
#include "app/batch/output_folder.h"
#include "app/batch/report_html.h"
#include "app/batch/settings_flags.h"
#include "app/probe.h"

#include "app/app_state.h"
#include "app/report_figures.h"

#include "devices/select/d3d9_select.h"

#include <algorithm>
#include <cstdio>

namespace quillmark::batch {
namespace {

namespace fs = std::filesystem;

int Fail(const std::string& message, int code) {
    return ReportError("cannot make the gallery: " + message, code);
}

struct GallerySetting {
    std::string title;
    std::vector<std::string> flags;
};

// Tunnel and plane at 60°; anisotropy 1, 2, 4, 16; trilinear and point mip.
std::vector<GallerySetting> GallerySettings() {
    std::vector<GallerySetting> settings;
    const std::pair<const char*, std::vector<std::string>> objects[] = {
        {"tunnel", {"--object", "tunnel"}}, {"plane at 60°", {"--object", "plane", "--angle", "60"}}};
    const std::pair<const char*, const char*> mips[] = {{"trilinear", "linear"}, {"point mip", "point"}};
    for (const auto& [object, objectFlags] : objects)
        for (const char* anisotropy : {"1", "2", "4", "16"})
            for (const auto& [mip, mipFlag] : mips) {
                GallerySetting setting{std::string(object) + ", " + anisotropy + "x, " + mip, objectFlags};
                setting.flags.insert(setting.flags.end(), {"--min-filter", "anisotropic", "--mag-filter", "linear",
                                                           "--mip-filter", mipFlag, "--anisotropy", anisotropy});
                settings.push_back(setting);
            }
    return settings;
}

// One device under one setting; `drawn` false when it could not be.
struct Cell {
    bool drawn = false;
    std::string why;
    CompareRun run;
    ResultCell result;
};

// The setting's flags parsed, and its cell of the results file.
ResultCell ResultOf(const std::string& device, const GallerySetting& setting, BatchSettings* parsed) {
    std::string error;
    ParseSettingsFlags(setting.flags, parsed, &error);  // the fixed set parses
    ResultCell cell = CellOf(device, parsed->probe);
    cell.title = setting.title;
    return cell;
}

Cell DrawCell(const std::string& device, const GallerySetting& setting) {
    Cell cell;
    BatchSettings parsed;
    std::string error;
    cell.result = ResultOf(device, setting, &parsed);
    if (!SelectDevice(device, &error)) {
        cell.why = cell.result.why = error;
        cell.result.drawn = false;
        return cell;
    }
    const int code = RunOnHeadlessProbe(parsed, [&](Probe& probe) {
        CompareRun& run = cell.run;
        run.frame = BackBufferPixels();
        if (run.frame.empty() || !DrawLevelColouredFrame(probe, LevelMarkColor, D3DTEXF_POINT, &run.levelFrame)) {
            error = "no frame could be drawn";
            return kExitFailure;
        }
        run.levels.resize(run.levelFrame.size());
        std::transform(run.levelFrame.begin(), run.levelFrame.end(), run.levels.begin(), LevelOfPixel);
        return MeasureLod(probe, &run.lod, &error) ? kExitSuccess : kExitFailure;
    });
    cell.drawn = code == kExitSuccess;
    cell.why = cell.drawn ? "" : error.empty() ? "the device refused the settings (see the messages above)" : error;
    cell.result.drawn = cell.drawn;
    cell.result.why = cell.why;
    if (cell.drawn) cell.result.figures = LodFiguresObject(cell.run.lod.figures);
    return cell;
}

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

std::string CellHtml(const std::string& device, const Cell& cell) {
    std::string html = "<div><h3>" + Escaped(device) + "</h3>";
    if (!cell.drawn) return html + "<p>Not drawn: " + Escaped(cell.why) + "</p></div>\n";
    const int width = cell.run.lod.maps.width, height = cell.run.lod.maps.height;
    return html + PictureImage(Halved(PictureOfPixels(cell.run.frame, width)), "Frame on " + device) +
           PictureImage(Halved(MipBandFigure(LevelBandPlot(cell.run.levels, width, height))),
                        "Polar plot of the level chosen on " + device) +
           PictureImage(Halved(LodErrorPicture(cell.run.lod.maps)), "Error map of the level of detail on " + device) +
           "</div>\n";
}

std::string Levels(std::optional<double> value) {
    if (!value) return "–";
    char text[16];
    std::snprintf(text, sizeof text, "%+.3f", *value);
    return text;
}

std::string FiguresTable(const std::vector<std::string>& devices, const std::vector<Cell>& cells) {
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
             {PercentText(f.within116), PercentText(f.within12), PercentText(f.withinAllowed), Levels(f.meanError),
              Levels(f.p99AbsError), PercentText(agreement)})
            html += "<td class=\"number\">" + value + "</td>";
        html += "</tr>\n";
    }
    return html + "</table>\n";
}

int RunGallery(const BatchSettings& settings, const CommandOptions& options) {
    std::string error;
    if (!settings.given.empty()) return Fail("takes no settings: it draws its own set", kExitUsage);
    OutputFolder folder;
    const std::optional<fs::path> directory =
        ClaimOutputFolder(options.Value("--output"), {"gallery.html", kResultsFileName}, &folder, &error);
    if (!directory) return Fail(error, kExitFailure);
    const std::vector<GallerySetting> gallery = GallerySettings();
    std::vector<std::vector<std::pair<std::string, std::string>>> planned;
    for (const GallerySetting& setting : gallery) {
        BatchSettings parsed;
        planned.push_back(ResultOf("", setting, &parsed).settings);
    }
    BaselineRequest baseline;
    if (!ReadBaselineRequest(options, "gallery", planned, &baseline, &error)) return Fail(error, kExitRunFailed);
    const int failed = baseline.baseline || baseline.junit ? kExitRunFailed : kExitFailure;

    std::vector<DeviceIdentity> identities;
    for (const std::string& name : settings.devices.empty() ? DeviceNames() : settings.devices) {
        std::string description;
        if (!DescribeDevice(name, &description, &error)) {
            std::fprintf(stderr, "quillmark: the gallery leaves out %s: %s\n", name.c_str(), error.c_str());
            continue;
        }
        // Several names may reach one driver (gl and gl:0, vulkan and lavapipe): it is drawn once.
        const auto same = std::find_if(identities.begin(), identities.end(),
                                       [&](const DeviceIdentity& known) { return known.description == description; });
        if (same == identities.end())
            identities.push_back({name, description});
        else
            std::fprintf(stderr, "quillmark: the gallery leaves out %s: it is the driver %s already draws\n",
                         name.c_str(), same->name.c_str());
    }
    if (identities.empty()) return Fail("no device can be opened", failed);
    std::vector<std::string> devices;
    for (const DeviceIdentity& identity : identities) devices.push_back(identity.name);

    std::string body = IdentityBlock(identities) +
                       "<p>Per setting and device: the frame, the polar plot of the mip level chosen per pixel "
                       "(as MipBand.bmp, from a frame whose levels are solid colours under a point mip filter) and "
                       "the error map of the level of detail against the ideal (blue finer than the rule, red "
                       "coarser, grey clamped; docs/level-of-detail.md). All with min filter anisotropic and mag "
                       "filter linear.</p>\n";
    std::size_t done = 0;
    std::vector<ResultCell> results;
    for (const GallerySetting& setting : gallery) {
        std::vector<Cell> cells;
        for (const std::string& device : devices) {
            std::fprintf(stderr, "quillmark: gallery: %s on %s (%zu of %zu)\n", setting.title.c_str(), device.c_str(),
                         ++done, gallery.size() * devices.size());
            cells.push_back(DrawCell(device, setting));
        }
        body += "<h2>" + Escaped(setting.title) + "</h2>\n<div class=\"row\">\n";
        for (std::size_t d = 0; d < devices.size(); ++d) body += CellHtml(devices[d], cells[d]);
        body += "</div>\n" + FiguresTable(devices, cells);
        for (const Cell& cell : cells) results.push_back(cell.result);
    }
    const std::vector<CellVerdict> verdicts = JudgeCells(baseline, results, LodFigureRules());
    body.insert(0, BaselineSection(baseline, verdicts));
    std::vector<DeviceIdentity> identified;
    for (const DeviceIdentity& identity : identities) identified.push_back(IdentifyDevice(identity.name));
    if (!WriteResultFile(*directory / kResultsFileName, ResultDocument("gallery", identified, results), &error))
        return Fail(error, failed);
    const fs::path page = *directory / "gallery.html";
    if (!WritePage(page, Page("Quillmark gallery", body), &error)) return Fail(error, failed);
    std::printf("%s\n", page.string().c_str());
    std::fflush(stdout);
    return ReportVerdicts(baseline, "gallery", verdicts);
}

constexpr CommandOption kGalleryOptions[] = {
    {"-o", "--output", "DIR", "where gallery.html and results.json go (default: the current directory)"},
    {"", "--device", "D", "only these devices (default: every device that can be opened)", true},
    kBaselineOption,
    kToleranceOption,
    kJunitOption,
};

}  // namespace

extern const BatchCommand kGalleryCommand = {
    "gallery",
    "draws every device over a fixed set of settings and writes one page of frames, plots and figures",
    "[-o DIR] [--device D ...] [--baseline FILE [--tolerance SPEC]] [--junit FILE]",
    kGalleryOptions,
    "      Settings: tunnel and plane at 60 degrees; anisotropy 1, 2, 4, 16; trilinear\n"
    "      and point mip filter. Per setting and device: the frame, the polar plot of\n"
    "      the level chosen per pixel and the error map of the level of detail.\n",
    nullptr,
    RunGallery,
};

}  // namespace quillmark::batch
