// "quillmark explain": runs the experiments on the device, names the model
// device that has the properties found, draws the same scenes on that model
// and says how much of the device it reproduces (app/explain, docs/explain.md).
#include "app/batch/baseline.h"
#include "app/batch/batch_command.h"
#include "app/batch/explain_page.h"
#include "app/batch/output_folder.h"
#include "app/batch/report_html.h"
#include "app/batch/result_document.h"
#include "app/batch/isolated_run.h"
#include "app/batch/settings_flags.h"
#include "app/explain/explanation.h"

#include "devices/select/d3d9_select.h"

#include <cstdio>

namespace quillmark::batch {
namespace {

namespace fs = std::filesystem;

int Fail(const std::string& message, int code) { return ReportError("cannot explain the device: " + message, code); }

// The explained properties: a baseline reports any change in one of them.
const FigureRules kExplainedProperties = {
    {"model", FigureRule::Exact},          {"lod_offset", FigureRule::Exact},
    {"axes", FigureRule::Exact},           {"log2", FigureRule::Exact},
    {"anisotropy", FigureRule::Exact},     {"point_mip_anisotropy", FigureRule::Exact},
    {"blend_width", FigureRule::Exact},    {"blend_bits", FigureRule::Exact},
    {"subtexel_bits", FigureRule::Exact},  {"stages_differ", FigureRule::Exact},
};

constexpr double kExplainTimeout = 900;  // seconds, as --timeout's help says

int RunExplain(const BatchSettings& settings, const CommandOptions& options) {
    if (settings.devices.size() > 1) return Fail("explains one device at a time", kExitUsage);
    const bool json = options.Has("--json");
    std::string error;
    OutputFolder folder;
    const std::optional<std::filesystem::path> directory =
        ClaimOutputFolder(options.Value("--output"), {"explain.json", "report.html"}, &folder, &error);
    if (!directory) return Fail(error, kExitFailure);
    const std::string device = settings.device.value_or(SelectedDeviceName());
    ResultCell cell = CellOf(device, settings.probe);
    cell.title = GivenSettingsTitle({settings.given.begin(), settings.given.end()});
    BaselineRequest baseline;
    if (!ReadBaselineRequest(options, "explain", {cell.settings}, &baseline, &error)) return Fail(error, kExitRunFailed);

    const int failed = baseline.baseline || baseline.junit ? kExitRunFailed : kExitFailure;

    const std::optional<double> timeout = TimeoutSeconds(options, kExplainTimeout, &error);
    if (!timeout) return Fail(error, kExitUsage);
    if (settings.device && !SelectDevice(*settings.device, &error)) return Fail(error, kExitUsage);

    // The experiments, the proof and the page are made in a child process
    // (isolated_run.h): a driver that crashes or hangs there ends only the child.
    const IsolatedOutcome outcome = RunIsolated(
        [&](Json& answer) {
            explain::Explanation e;
            std::string why;
            const int result = explain::ExplainDevice(settings, &e, &why);
            answer = {{"error", why}};
            if (result == kExitSuccess) {
                const DeviceIdentity identity = IdentifyDevice(device);
                answer.update({{"text", explain::ExplanationText(e.findings, e.model, e.proof)},
                               {"figures", explain::ExplanationJson(e.findings, e.model, e.proof)},
                               {"description", identity.description},
                               {"notes", identity.notes},
                               {"page", ExplainPage(settings, e)}});
            }
            return result;
        },
        *timeout);
    DeviceIdentity identity{device, {}, {}};
    if (!outcome.answered) {
        std::fprintf(stderr, "quillmark: cannot explain the device: %s %s\n", device.c_str(), outcome.failure.c_str());
        cell.drawn = false;
        cell.why = outcome.failure;
        cell.failures.push_back(FailureRecord(device, outcome));
    } else {
        error = outcome.answer.value("error", "");
        if (outcome.code != kExitSuccess) {
            const int code = outcome.code == kExitFailure ? failed : outcome.code;
            return error.empty() ? code : Fail(error, code);
        }
        cell.figures = outcome.answer.value("figures", Json::object());
        identity.description = outcome.answer.value("description", "");
        identity.notes = outcome.answer.value("notes", "");
    }
    const std::vector<ResultCell> cells = {cell};
    const Json document = ResultDocument("explain", {identity}, cells);
    if (json || outcome.answered)
        std::fputs(json ? ResultText(document).c_str() : outcome.answer.value("text", "").c_str(), stdout);
    std::fflush(stdout);
    if (!WriteResultFile(*directory / "explain.json", document, &error)) return Fail(error, failed);
    const fs::path page = *directory / "report.html";
    if (outcome.answered) {
        if (!WritePage(page, outcome.answer.value("page", ""), &error)) return Fail(error, failed);
        std::fprintf(stderr, "quillmark: the explanation's report is %s\n", page.c_str());
    } else {
        std::error_code ignored;
        fs::remove(page, ignored);  // an earlier run's page is not this run's
    }
    return ReportVerdicts(baseline, "explain", JudgeCells(baseline, cells, kExplainedProperties));
}

}  // namespace

constexpr CommandOption kExplainOptions[] = {
    {"-o", "--output", "DIR", "where explain.json and report.html go (created if missing; default: the current directory)"},
    kJsonOption,
    kBaselineOption,
    kJunitOption,
    {"", "--timeout", "SECONDS",
     "how long the experiments and the proof may take before the device is\n"
     "taken for hung and ended (default: 900)"},
};

extern const BatchCommand kExplainCommand = {
    "explain",
    "names what the device does to textures and proves it by redrawing its frames on a model",
    "[settings] [--device D] [--json] [-o DIR] [--baseline FILE] [--junit FILE] [--timeout SECONDS]",
    kExplainOptions,
    "      Runs one experiment per property of the sampler (LOD offset and axis rule,\n"
    "      probe counts per requested anisotropy, blend width and bits, bilinear\n"
    "      weight bits, stages 1 to 7), names the model device with those\n"
    "      properties and draws the same scenes on it and on the device. See\n"
    "      docs/explain.md. The device draws in a process of its own: when it\n"
    "      crashes, hangs or exits, the message and explain.json say what\n"
    "      happened and the exit status is 1 (2 with --baseline or --junit).\n",
    nullptr,
    RunExplain,
    nullptr,
    false,
};

}  // namespace quillmark::batch
