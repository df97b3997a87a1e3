// "quillmark gallery [-o DIR] [--device D ...]": every device over a fixed
// set of settings, on one page (DIR/gallery.html) to attach to a driver bug
// report: per setting, each device's frame, the polar plot of the level it
// chose per pixel and the error map of its level of detail, and a table of
// the λ figures and of its level agreement with the first device.
#include "app/batch/baseline.h"
#include "app/batch/batch_command.h"
#include "app/batch/batch_runner.h"
#include "app/batch/comparison.h"
#include "app/batch/gallery_merge.h"
#include "app/batch/gallery_page.h"
#include "app/batch/isolated_run.h"
#include "app/batch/level_frames.h"
#include "app/batch/lod_command.h"
#include "app/batch/output_folder.h"
#include "app/batch/report_html.h"
#include "app/batch/run_transfer.h"
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

constexpr double kGalleryTimeout = 120;  // seconds, as --timeout's help says

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

// The setting's flags parsed, and its cell of the results file.
ResultCell ResultOf(const std::string& device, const GallerySetting& setting, BatchSettings* parsed) {
    std::string error;
    ParseSettingsFlags(setting.flags, parsed, &error);  // the fixed set parses
    ResultCell cell = CellOf(device, parsed->probe);
    cell.title = setting.title;
    return cell;
}

// A cell not drawn, and why.
GalleryCell NotDrawn(GalleryCell cell, const std::string& why) {
    cell.result.drawn = false;
    cell.result.why = why;
    return cell;
}

// Draws in a child process (isolated_run.h), which hands the run back.
GalleryCell DrawCell(const std::string& device, const GallerySetting& setting, double timeout) {
    GalleryCell cell;
    BatchSettings parsed;
    std::string error;
    cell.result = ResultOf(device, setting, &parsed);
    if (!SelectDevice(device, &error)) return NotDrawn(std::move(cell), error);
    const IsolatedOutcome outcome = RunIsolated(
        [&](Json& answer) {
            CompareRun run;
            const int code = RunOnHeadlessProbe(parsed, [&](Probe& probe) {
                run.frame = BackBufferPixels();
                if (run.frame.empty() ||
                    !DrawLevelColouredFrame(probe, LevelMarkColor, D3DTEXF_POINT, &run.levelFrame)) {
                    error = "no frame could be drawn";
                    return kExitFailure;
                }
                run.levels.resize(run.levelFrame.size());
                std::transform(run.levelFrame.begin(), run.levelFrame.end(), run.levels.begin(), LevelOfPixel);
                return MeasureLod(probe, &run.lod, &error) ? kExitSuccess : kExitFailure;
            });
            answer = {{"error", error}};
            if (code == kExitSuccess) answer["run"] = RunToTransfer(run);
            return code;
        },
        timeout);
    if (!outcome.answered) {
        cell.failure = outcome.failure;
        cell.result.failures.push_back(FailureRecord(device, outcome));
        return NotDrawn(std::move(cell), outcome.failure);
    }
    error = outcome.answer.value("error", "");
    if (outcome.code != kExitSuccess)
        return NotDrawn(std::move(cell),
                        error.empty() ? "the device refused the settings (see the messages above)" : error);
    CompareRun run;
    if (!RunFromTransfer(outcome.answer.value("run", Json()), &run))
        return NotDrawn(std::move(cell), "the drawing could not be handed back");
    cell.result.figures = LodFiguresObject(run.lod.figures);
    cell.pictures = PicturesOf(run);
    return cell;
}

// What the device draws with, found in a child process: opening a driver may
// crash or hang as well. False with the reason in *why, and *failed true
// when that reason is how its process ended.
bool DescribeIsolated(const std::string& name, double timeout, DeviceIdentity* identity, std::string* why,
                      bool* failed) {
    const IsolatedOutcome outcome = RunIsolated(
        [&](Json& answer) {
            std::string description, error;
            const bool described = DescribeDevice(name, &description, &error);
            answer = {{"description", description}, {"notes", described ? DeviceNotes(name) : ""}, {"error", error}};
            return described ? kExitSuccess : kExitFailure;
        },
        timeout);
    *failed = !outcome.answered;
    if (!outcome.answered) {
        *why = outcome.failure;
        return false;
    }
    *why = outcome.answer.value("error", "");
    *identity = {name, outcome.answer.value("description", ""), outcome.answer.value("notes", "")};
    return outcome.code == kExitSuccess;
}

// The devices to draw: each driver once, under its most specific name
// (llvmpipe rather than gl:0 rather than gl). Those whose process failed
// while they were opened go to *failures, and are listed after the others
// with what happened as their description: their cells are recorded as not
// drawn.
std::vector<DeviceIdentity> GalleryDevices(const std::vector<std::string>& names, double timeout,
                                           std::vector<std::pair<std::string, std::string>>* failures) {
    std::vector<DeviceIdentity> identities, failed;
    for (const std::string& name : names) {
        DeviceIdentity identity;
        std::string why;
        bool processFailed = false;
        if (!DescribeIsolated(name, timeout, &identity, &why, &processFailed)) {
            std::fprintf(stderr, "quillmark: the gallery leaves out %s: %s\n", name.c_str(), why.c_str());
            if (processFailed) {
                failures->emplace_back(name, why + " while it was opened");
                failed.push_back({name, "not known: its process " + why + " while it was opened"});
            }
            continue;
        }
        identities.push_back(identity);
    }
    std::vector<NamedDriver> described;
    for (const DeviceIdentity& identity : identities) described.push_back({identity.name, identity.description});
    std::vector<std::pair<std::string, std::string>> leftOut;
    std::vector<DeviceIdentity> kept;
    for (const NamedDriver& driver : OneNamePerDriver(described, &leftOut))
        kept.push_back(*std::find_if(identities.begin(), identities.end(),
                                     [&](const DeviceIdentity& identity) { return identity.name == driver.name; }));
    for (const auto& [name, keptName] : leftOut)
        std::fprintf(stderr, "quillmark: the gallery leaves out %s: it is the driver %s draws\n", name.c_str(),
                     keptName.c_str());
    kept.insert(kept.end(), failed.begin(), failed.end());
    return kept;
}

int RunGallery(const BatchSettings& settings, const CommandOptions& options) {
    std::string error;
    if (options.Has("--merge")) {
        for (const char* drawing : {"--baseline", "--tolerance", "--junit", "--timeout"})
            if (options.Has(drawing))
                return Fail(std::string(drawing) + " is not used with --merge: merging draws nothing", kExitUsage);
        if (!settings.given.empty() || !settings.devices.empty())
            return Fail("--merge takes no settings and no --device: it merges what the folders hold", kExitUsage);
        return MergeGalleries(options.Values("--merge"), options.Value("--output"));
    }
    if (!settings.given.empty()) return Fail("takes no settings: it draws its own set", kExitUsage);
    const std::optional<double> timeout = TimeoutSeconds(options, kGalleryTimeout, &error);
    if (!timeout) return Fail(error, kExitUsage);
    OutputFolder folder;
    const std::optional<fs::path> directory =
        ClaimOutputFolder(options.Value("--output"), {"gallery.html", kResultsFileName}, &folder, &error);
    if (!directory) return Fail(error, kExitFailure);
    std::error_code created;
    fs::create_directories(*directory / kGalleryImagesFolder, created);
    if (created) return Fail("cannot create " + (*directory / kGalleryImagesFolder).string() + ": " + created.message(), kExitFailure);
    const std::vector<GallerySetting> gallery = GallerySettings();
    std::vector<std::vector<std::pair<std::string, std::string>>> planned;
    for (const GallerySetting& setting : gallery) {
        BatchSettings parsed;
        planned.push_back(ResultOf("", setting, &parsed).settings);
    }
    BaselineRequest baseline;
    if (!ReadBaselineRequest(options, "gallery", planned, &baseline, &error)) return Fail(error, kExitRunFailed);
    const int failed = baseline.baseline || baseline.junit ? kExitRunFailed : kExitFailure;

    // Per device that failed: what happened, and under which setting.
    std::vector<std::pair<std::string, std::string>> failures;
    const std::vector<DeviceIdentity> identities =
        GalleryDevices(settings.devices.empty() ? DeviceNames() : settings.devices, *timeout, &failures);
    if (identities.empty()) return Fail("no device can be opened", failed);
    std::vector<std::string> devices;
    for (const DeviceIdentity& identity : identities) devices.push_back(identity.name);

    std::string sections;
    std::size_t done = 0;
    std::vector<ResultCell> results;
    for (std::size_t s = 0; s < gallery.size(); ++s) {
        const GallerySetting& setting = gallery[s];
        std::vector<GalleryCell> cells;
        for (const std::string& device : devices) {
            std::fprintf(stderr, "quillmark: gallery: %s on %s (%zu of %zu)\n", setting.title.c_str(), device.c_str(),
                         ++done, gallery.size() * devices.size());
            const auto failedBefore = std::find_if(failures.begin(), failures.end(),
                                                   [&](const auto& failure) { return failure.first == device; });
            if (failedBefore != failures.end()) {
                // A device whose process failed is not started again: a hang would cost the time limit each time.
                GalleryCell cell;
                BatchSettings parsed;
                cell.result = ResultOf(device, setting, &parsed);
                cells.push_back(NotDrawn(std::move(cell), "not drawn again after it failed: " + failedBefore->second));
                continue;
            }
            cells.push_back(DrawCell(device, setting, *timeout));
            if (cells.back().result.drawn && !WriteGalleryPictures(*directory, int(s + 1), &cells.back(), &error))
                return Fail(error, failed);
            if (const std::string& failure = cells.back().failure; !failure.empty()) {
                std::fprintf(stderr, "quillmark: gallery: %s %s\n", device.c_str(), failure.c_str());
                failures.emplace_back(device, failure + " under " + setting.title);
            }
        }
        sections += GallerySection(setting.title, devices, cells);
        for (const GalleryCell& cell : cells) results.push_back(cell.result);
    }
    const std::vector<CellVerdict> verdicts = JudgeCells(baseline, results, LodFigureRules());
    if (!WriteResultFile(*directory / kResultsFileName, ResultDocument("gallery", identities, results), &error))
        return Fail(error, failed);
    const fs::path page = *directory / "gallery.html";
    if (!WritePage(page, GalleryPage(BaselineSection(baseline, verdicts), identities, failures, sections), &error))
        return Fail(error, failed);
    std::printf("%s\n", page.string().c_str());
    std::fflush(stdout);
    return ReportVerdicts(baseline, "gallery", verdicts);
}

constexpr CommandOption kGalleryOptions[] = {
    {"-o", "--output", "DIR",
     "where gallery.html, results.json and the pictures (images/) go\n(default: the current directory)"},
    {.shortName = "",
     .name = "--merge",
     .argument = "DIR",
     .help = "draw nothing: merge the folders that galleries wrote (on several\n"
             "machines) into one page and one results.json in -o DIR",
     .severalValues = true},
    {"", "--device", "D", "only these devices (default: every device that can be opened)", true},
    kBaselineOption,
    kToleranceOption,
    kJunitOption,
    {"", "--timeout", "SECONDS",
     "how long one device may take over one setting before it is taken for\n"
     "hung and ended (default: 120)"},
};

}  // namespace

extern const BatchCommand kGalleryCommand = {
    "gallery",
    "draws every device over a fixed set of settings and writes one page of frames, plots and figures",
    "[-o DIR] [--device D ...] [--baseline FILE [--tolerance SPEC]] [--junit FILE] [--timeout SECONDS] | --merge DIR... [-o DIR]",
    kGalleryOptions,
    "      Settings: tunnel and plane at 60 degrees; anisotropy 1, 2, 4, 16; trilinear\n"
    "      and point mip filter. Per setting and device: the frame, the polar plot of\n"
    "      the level chosen per pixel and the error map of the level of detail.\n"
    "      Each device draws in a process of its own: one that crashes, hangs or\n"
    "      exits is named on the page and in results.json with what happened and\n"
    "      not drawn again, the others are drawn, and the exit status is 1 (2 with\n"
    "      --baseline or --junit). With --merge, the devices of the folders are\n"
    "      shown side by side, a device name found in several folders given its\n"
    "      machine's name (llvmpipe@build-7); the folders must hold galleries of\n"
    "      the same settings and a results format this quillmark reads.\n",
    nullptr,
    RunGallery,
};

}  // namespace quillmark::batch
