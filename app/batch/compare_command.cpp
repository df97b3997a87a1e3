// "quillmark compare": runs the probe once per device with the same settings.
// On each it keeps the frame, then draws the level-choice frame (every mip
// level of the generated texture one solid colour, point mip filter, so
// that each pixel shows the level the device chose) and, with --analyze,
// runs a whole analysis. It writes both frames, a difference image and both
// level frames, and prints the share of pixels on which the devices chose
// the same level, per level.
#include "app/batch/compare_command.h"
#include "app/batch/comparison.h"

#include "app/analysis.h"
#include "app/batch/analyze_command.h"
#include "app/probe_state.h"
#include "app/batch/batch_command.h"
#include "app/batch/batch_runner.h"
#include "app/batch/explain_page.h"
#include "app/batch/isolated_run.h"
#include "app/batch/run_transfer.h"
#include "app/batch/level_frames.h"
#include "app/batch/output_folder.h"
#include "app/batch/result_document.h"
#include "app/report_figures.h"
#include "app/test_textures.h"
#include "app/batch/settings_flags.h"
#include "app/probe.h"

#include "devices/select/d3d9_select.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace quillmark::batch {
namespace {

namespace fs = std::filesystem;

int Fail(const std::string& message, int code) {
    return ReportError(message, code);
}

constexpr double kCompareTimeout = 120;  // seconds, as --timeout's help says

struct Options {
    fs::path directory;
    bool analyze = false;
    bool explain = false;
    bool json = false;
    double timeout = kCompareTimeout;
};

// The work on one device's probe, in the device's own process; `first` is
// the other device's run when this is the second and the first was drawn
// (the difference image is written then: writing an image takes a device).
int RunOnDevice(Probe& probe, CompareRun& run, const Options& options, const CompareRun* first) {
    run.settings = SettingValues(probe.Settings());
    run.settingsInEffect = SettingsInEffect(probe.Settings());
    run.frame = BackBufferPixels();
    std::vector<std::uint32_t>& levelFrame = run.levelFrame;
    if (run.frame.empty() || !DrawLevelColouredFrame(probe, LevelMarkColor, D3DTEXF_POINT, &levelFrame))
        return Fail(run.name + ": no frame could be drawn", 1);
    run.levels.resize(levelFrame.size());
    std::transform(levelFrame.begin(), levelFrame.end(), run.levels.begin(), LevelOfPixel);
    std::string error;
    if (!MeasureLod(probe, &run.lod, &error)) return Fail(run.name + ": " + error, 1);
    const fs::path frame = options.directory / ("frame-" + run.fileName + ".bmp");
    const fs::path levels = options.directory / ("levels-" + run.fileName + ".bmp");
    if (!WritePixels(frame, run.frame) || !WritePixels(levels, levelFrame))
        return Fail("cannot write " + frame.string(), 1);
    if (first && !WritePixels(options.directory / "difference.bmp", DifferenceImage(first->frame, run.frame)))
        return Fail("cannot write the difference image", 1);
    if (!options.analyze) return kExitSuccess;

    std::fprintf(stderr, "quillmark: analysing on %s (%s)\n", run.name.c_str(), run.description.c_str());
    if (!RunWholeAnalysis(probe, &error)) return Fail(run.name + ": " + error, 1);
    run.figures = probe.Figures();
    run.analyzed = true;
    const int width = ActiveProbe().windowWidth;
    if (ActiveProbe().run.hitCounts)
        run.heatMap = HeatMapFigure(width, ActiveProbe().windowHeight, run.figures.maxHits, [width](int x, int y) {
            return int(ActiveProbe().run.hitCounts[std::size_t(y) * std::size_t(width) + std::size_t(x)]);
        });
    const fs::path plot = options.directory / ("MipBand-" + run.fileName + ".bmp");
    run.plot = plot;
    std::error_code code;
    fs::remove(plot, code);  // so that a stale plot is never taken for this run's
    probe.StopAnalysis(plot);
    return fs::exists(plot) ? kExitSuccess : Fail("cannot write " + plot.string(), 1);
}

// The device as its own process described it.
DeviceIdentity IdentityOf(const CompareRun& run) { return {run.name, run.description, run.notes}; }

// Every file compare writes into its folder; `fileNames` the devices' names in file names.
std::vector<std::string> CompareFileNames(const std::vector<std::string>& fileNames, bool analyze) {
    std::vector<std::string> names = {"difference.bmp", "report.html"};
    for (const std::string& device : fileNames) {
        names.insert(names.end(), {"frame-" + device + ".bmp", "levels-" + device + ".bmp"});
        if (analyze) names.push_back("MipBand-" + device + ".bmp");
    }
    return names;
}

// Describes and draws the device in a child process (isolated_run.h) and
// takes its run back; with --explain the child explains the device first.
// Returns the run's exit code; kExitFailure with run->failure set when the
// process crashed, hung or exited.
int DrawDevice(const BatchSettings& settings, const Options& options, CompareRun* run, const CompareRun* first) {
    const IsolatedOutcome outcome = RunIsolated(
        [&](Json& answer) {
            std::string error;
            if (options.explain) {
                BatchSettings one = settings;
                one.device = run->name;
                one.devices = {run->name};
                explain::Explanation e;
                const int result = explain::ExplainDevice(one, &e, &error);
                if (result != kExitSuccess) return error.empty() ? result : Fail(run->name + ": " + error, result);
                run->explanation = ExplanationSection("Explanation of " + run->name, e);
            }
            if (!DescribeDevice(run->name, &run->description, &error))
                return Fail(run->name + ": " + error, kExitFailure);
            run->notes = DeviceNotes(run->name);
            const int code = RunOnHeadlessProbe(settings, [&](Probe& probe) { return RunOnDevice(probe, *run, options, first); });
            if (code == kExitSuccess) answer = RunToTransfer(*run);
            return code;
        },
        options.timeout);
    if (!outcome.answered) {
        run->failure = outcome.failure;
        run->failureRecord = FailureRecord(run->name, outcome);
        std::fprintf(stderr, "quillmark: compare: %s %s\n", run->name.c_str(), run->failure.c_str());
        return kExitFailure;
    }
    if (outcome.code != kExitSuccess) return outcome.code;
    const std::string name = run->name, fileName = run->fileName;
    if (!RunFromTransfer(outcome.answer, run)) return Fail(name + ": the drawing could not be handed back", 1);
    run->fileName = fileName;
    return kExitSuccess;
}

// The output when a device's process failed: what each device did, and the
// level of detail of the one drawn; with --json the results document whose
// one cell is not drawn and says why, keeping the drawn device's figures.
void PrintFailed(const CompareRun (&runs)[2], const ProbeSettings& settings, bool json) {
    if (json) {
        ResultCell cell = CellOf(runs[0].name, settings);
        cell.devices = {runs[0].name, runs[1].name};
        cell.drawn = false;
        Json lod = Json::array();
        for (const CompareRun& run : runs) {
            if (!run.failure.empty()) {
                cell.why += (cell.why.empty() ? "" : "; ") + run.name + " " + run.failure;
                cell.failures.push_back(run.failureRecord);
            }
            lod.push_back(run.failure.empty() ? LodFiguresObject(run.lod.figures) : Json(nullptr));
        }
        cell.figures = {{"lod", std::move(lod)}};
        std::fputs(ResultText(ResultDocument("compare", {IdentityOf(runs[0]), IdentityOf(runs[1])}, {cell})).c_str(),
                   stdout);
        return;
    }
    for (int i = 0; i < 2; ++i) {
        const CompareRun& run = runs[i];
        if (run.failure.empty())
            std::printf("%c: %s (%s)\n", "AB"[i], run.name.c_str(), run.description.c_str());
        else
            std::printf("%c: %s: %s\n", "AB"[i], run.name.c_str(), run.failure.c_str());
    }
    for (const CompareRun& run : runs)
        if (run.failure.empty())
            std::printf("level of detail on %s against the ideal:\n%s", run.name.c_str(),
                        LodFiguresText(run.lod.figures).c_str());
}

void PrintText(const CompareRun& a, const CompareRun& b, const std::vector<LevelAgreement>& levels) {
    std::printf("A: %s (%s)\nB: %s (%s)\n", a.name.c_str(), a.description.c_str(), b.name.c_str(),
                b.description.c_str());
    const FrameAgreement agreement = CompareFrames(a.frame, b.frame);
    std::printf("frame: pixels whose every channel is within");
    for (std::size_t t = 0; t < kFrameTolerances.size(); ++t)
        std::printf("%s %d/255: %s", t ? "," : "", kFrameTolerances[t],
                    PercentText(agreement.Within(t)).c_str());
    std::printf("\nlevel choice (point mip filter; both / either: pixels where both chose the level, of those "
                "where either did):\nlevel  pixels A  pixels B      both  both / either\n");
    for (std::size_t l = 0; l < levels.size(); ++l)
        std::printf("%5zu %9d %9d %9d %14s\n", l, levels[l].pixelsA, levels[l].pixelsB, levels[l].same,
                    PercentText(levels[l].Share()).c_str());
    for (const CompareRun* run : {&a, &b})
        std::printf("level of detail on %s against the ideal:\n%s", run->name.c_str(),
                    LodFiguresText(run->lod.figures).c_str());
    if (!a.analyzed) return;
    std::printf("analysis: SUM %lld / %lld, MAX %d / %d\nlevel    hits A    hits B\n",
                static_cast<long long>(a.figures.hitTotal), static_cast<long long>(b.figures.hitTotal),
                a.figures.maxHits, b.figures.maxHits);
    for (std::size_t l = 0; l < a.figures.levels.size(); ++l)
        std::printf("%5zu %9lld %9lld\n", l, static_cast<long long>(a.figures.levels[l].hits),
                    static_cast<long long>(b.figures.levels[l].hits));
}

// A share as JSON: null when there were no pixels to take it of.
Json Share(std::optional<double> share) { return share ? Json(*share) : Json(nullptr); }

void PrintJson(const CompareRun& a, const CompareRun& b, const std::vector<LevelAgreement>& levels,
               const ProbeSettings& settings) {
    const FrameAgreement agreement = CompareFrames(a.frame, b.frame);
    Json json = {{"devices", {a.name, b.name}},
                 {"renderers", {a.description, b.description}},
                 {"pixels", a.frame.size()},
                 {"differing", agreement.pixels - agreement.within[0]}};
    Json within = Json::object();
    for (std::size_t t = 0; t < kFrameTolerances.size(); ++t)
        within[std::to_string(kFrameTolerances[t])] = Share(agreement.Within(t));
    json["frame_within"] = std::move(within);
    Json levelArray = Json::array();
    for (std::size_t l = 0; l < levels.size(); ++l)
        levelArray.push_back({{"level", l},
                              {"pixelsA", levels[l].pixelsA},
                              {"pixelsB", levels[l].pixelsB},
                              {"same", levels[l].same},
                              {"share", Share(levels[l].Share())}});
    json["levels"] = std::move(levelArray);
    json["lod"] = {LodFiguresObject(a.lod.figures), LodFiguresObject(b.lod.figures)};
    if (a.analyzed) json["analysis"] = {FiguresObject(a.figures), FiguresObject(b.figures)};
    ResultCell cell = CellOf(a.name, settings);
    cell.devices = {a.name, b.name};
    cell.figures = std::move(json);
    std::fputs(ResultText(ResultDocument("compare", {IdentityOf(a), IdentityOf(b)}, {cell})).c_str(),
               stdout);
}

int RunCompare(const BatchSettings& settings, const CommandOptions& given) {
    if (settings.devices.size() < 2) return Fail("needs two devices: --device A --device B", kExitUsage);
    if (settings.devices.size() > 2)
        return Fail("compares two devices, not " + std::to_string(settings.devices.size()) +
                        ": give --device twice (--device A --device B)",
                    kExitUsage);
    std::string error;
    Options options;
    options.analyze = given.Has("--analyze");
    options.explain = given.Has("--explain");
    options.json = given.Has("--json");
    const std::optional<double> timeout = TimeoutSeconds(given, kCompareTimeout, &error);
    if (!timeout) return Fail(error, kExitUsage);
    options.timeout = *timeout;

    CompareRun runs[2];
    for (int i = 0; i < 2; ++i) {
        runs[i].name = settings.devices[std::size_t(i)];
        runs[i].fileName = DeviceFileName(runs[i].name);
        if (!SelectDevice(runs[i].name, &error)) return Fail(runs[i].name + ": " + error, kExitFailure);
    }
    if (runs[0].fileName == runs[1].fileName && runs[0].name != runs[1].name) runs[1].fileName += "-B";
    OutputFolder folder;
    const std::optional<fs::path> directory = ClaimOutputFolder(
        given.Value("--output"), CompareFileNames({runs[0].fileName, runs[1].fileName}, options.analyze), &folder,
        &error);
    if (!directory) return Fail(error, kExitFailure);
    options.directory = *directory;

    for (int i = 0; i < 2; ++i) {
        CompareRun& run = runs[i];
        const CompareRun* first = i == 1 && runs[0].failure.empty() ? &runs[0] : nullptr;
        if (!SelectDevice(run.name, &error)) return Fail(run.name + ": " + error, kExitFailure);
        if (const int result = DrawDevice(settings, options, &run, first); result != kExitSuccess && run.failure.empty())
            return result;
    }
    if (!runs[0].failure.empty() || !runs[1].failure.empty()) {
        PrintFailed(runs, settings.probe, options.json);
        std::fflush(stdout);
        if (!WriteCompareReport(options.directory, runs[0], runs[1], &error)) Fail(error, kExitFailure);
        return kExitFailure;
    }
    const std::vector<LevelAgreement> levels = CompareLevels(runs[0].levels, runs[1].levels);
    if (options.json)
        PrintJson(runs[0], runs[1], levels, settings.probe);
    else
        PrintText(runs[0], runs[1], levels);
    std::fflush(stdout);
    return WriteCompareReport(options.directory, runs[0], runs[1], &error) ? kExitSuccess : Fail(error, kExitFailure);
}

}  // namespace

constexpr CommandOption kCompareOptions[] = {
    {"-o", "--output", "DIR",
     "where frame-NAME.bmp and levels-NAME.bmp of each device (NAME\n"
     "as given to --device, each character other than a letter, digit,\n"
     "'.', '-' or '_' as '_'), difference.bmp and report.html go\n"
     "(default: the current directory)"},
    {"", "--analyze", "", "also run a whole analysis on each (MipBand-NAME.bmp)"},
    {"", "--explain", "", "also explain each device (as quillmark explain does) in report.html"},
    kJsonOption,
    {"", "--timeout", "SECONDS",
     "how long one device may take before it is taken for hung and ended\n"
     "(default: 120)"},
};

extern const BatchCommand kCompareCommand = {
    "compare",
    "draws the same frame on two devices (optionally runs the same analysis) and compares them",
    "--device A --device B [settings] [-o DIR] [--analyze] [--explain] [--json] [--timeout SECONDS]",
    kCompareOptions,
    "      Frames: the share of pixels whose every channel differs by at most 0, 1, 2\n"
    "      and 8 of 255. Per mip level, from frames whose levels are solid colours under\n"
    "      a point mip filter: the pixels where both devices chose that level divided by\n"
    "      the pixels where either did (\"no pixels\" when neither did). On each device the\n"
    "      level of detail against the ideal, as \"quillmark lod\" measures it.\n"
    "      Each device draws in a process of its own: when one crashes, hangs or\n"
    "      exits, the other's figures and files are kept, the report says what\n"
    "      happened and the exit status is 1.\n",
    nullptr,
    RunCompare,
};

}  // namespace quillmark::batch
