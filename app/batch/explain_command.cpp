// "quillmark explain": runs the experiments on the device, names the model
// device that has the properties found, draws the same scenes on that model
// and says how much of the device it reproduces (app/explain, docs/explain.md).
#include "app/batch/batch_command.h"
#include "app/batch/isolated_run.h"
#include "app/batch/settings_flags.h"
#include "app/explain/explanation.h"

#include "devices/select/d3d9_select.h"

#include <cstdio>
#include <fstream>

namespace quillmark::batch {
namespace {

int Fail(const std::string& message, int code) { return ReportError("cannot explain the device: " + message, code); }

constexpr double kExplainTimeout = 900;  // seconds, as --timeout's help says

int RunExplain(const BatchSettings& settings, const CommandOptions& options) {
    if (settings.devices.size() > 1) return Fail("explains one device at a time", kExitUsage);
    const bool json = options.Has("--json");
    std::string error;
    const std::optional<std::filesystem::path> directory = MakeOutputDirectory(options.Value("--output"), &error);
    if (!directory) return Fail(error, kExitFailure);

    const std::optional<double> timeout = TimeoutSeconds(options, kExplainTimeout, &error);
    if (!timeout) return Fail(error, kExitUsage);
    if (settings.device && !SelectDevice(*settings.device, &error)) return Fail(error, kExitUsage);

    // The experiments and the proof run in a child process (isolated_run.h):
    // a driver that crashes or hangs there ends only the child.
    const IsolatedOutcome outcome = RunIsolated(
        [&](Json& answer) {
            explain::Explanation e;
            std::string why;
            const int result = explain::ExplainDevice(settings, &e, &why);
            answer = {{"error", why}};
            if (result == kExitSuccess)
                answer.update({{"text", explain::ExplanationText(e.findings, e.model, e.proof)},
                               {"json", explain::ExplanationJson(e.findings, e.model, e.proof) + "\n"}});
            return result;
        },
        *timeout);
    if (!outcome.answered) return Fail(SelectedDeviceName() + " " + outcome.failure, kExitFailure);
    error = outcome.answer.value("error", "");
    if (outcome.code != kExitSuccess) return error.empty() ? outcome.code : Fail(error, outcome.code);
    const std::string text = outcome.answer.value("text", "");
    const std::string jsonText = outcome.answer.value("json", "");
    std::fputs(json ? jsonText.c_str() : text.c_str(), stdout);
    std::ofstream file(*directory / "explain.json");
    file << jsonText;
    if (!file) return Fail("cannot write " + (*directory / "explain.json").string(), kExitFailure);
    return kExitSuccess;
}

}  // namespace

constexpr CommandOption kExplainOptions[] = {
    {"-o", "--output", "DIR", "where explain.json goes (created if missing; default: the current directory)"},
    {"", "--json", "", "print the explanation as one JSON object"},
    {"", "--timeout", "SECONDS",
     "how long the experiments and the proof may take before the device is\n"
     "taken for hung and ended (default: 900)"},
};

extern const BatchCommand kExplainCommand = {
    "explain",
    "names what the device does to textures and proves it by redrawing its frames on a model",
    "[settings] [--device D] [--json] [-o DIR] [--timeout SECONDS]",
    kExplainOptions,
    "      Runs one experiment per property of the sampler (LOD offset and axis rule,\n"
    "      probe counts per requested anisotropy, blend width and bits, bilinear\n"
    "      weight bits, stages 1 to 7), names the model device with those\n"
    "      properties and draws the same scenes on it and on the device. See\n"
    "      docs/explain.md. The device draws in a process of its own: when it\n"
    "      crashes, hangs or exits, the message says what happened and the exit\n"
    "      status is 1.\n",
    nullptr,
    RunExplain,
};

}  // namespace quillmark::batch
