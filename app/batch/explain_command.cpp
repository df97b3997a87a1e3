// "quillmark explain": runs the experiments on the device, names the model
// device that has the properties found, draws the same scenes on that model
// and says how much of the device it reproduces (app/explain, docs/explain.md).
#include "app/batch/batch_command.h"
#include "app/batch/explain_page.h"
#include "app/batch/report_html.h"
#include "app/batch/settings_flags.h"
#include "app/explain/explanation.h"

#include <cstdio>
#include <fstream>

namespace quillmark::batch {
namespace {

namespace fs = std::filesystem;

int Fail(const std::string& message, int code) { return ReportError("cannot explain the device: " + message, code); }

int RunExplain(const BatchSettings& settings, const CommandOptions& options) {
    if (settings.devices.size() > 1) return Fail("explains one device at a time", kExitUsage);
    const bool json = options.Has("--json");
    std::string error;
    const std::optional<std::filesystem::path> directory = MakeOutputDirectory(options.Value("--output"), &error);
    if (!directory) return Fail(error, kExitFailure);

    explain::Explanation e;
    const int result = explain::ExplainDevice(settings, &e, &error);
    if (result != kExitSuccess) return error.empty() ? result : Fail(error, result);
    const std::string text = explain::ExplanationText(e.findings, e.model, e.proof);
    const std::string jsonText = explain::ExplanationJson(e.findings, e.model, e.proof) + "\n";
    std::fputs(json ? jsonText.c_str() : text.c_str(), stdout);
    std::ofstream file(*directory / "explain.json");
    file << jsonText;
    if (!file) return Fail("cannot write " + (*directory / "explain.json").string(), kExitFailure);
    const fs::path page = *directory / "report.html";
    if (!WritePage(page, ExplainPage(settings, e), &error)) return Fail(error, kExitFailure);
    std::fprintf(stderr, "quillmark: the explanation's report is %s\n", page.c_str());
    return kExitSuccess;
}

}  // namespace

constexpr CommandOption kExplainOptions[] = {
    {"-o", "--output", "DIR", "where explain.json and report.html go (created if missing; default: the current directory)"},
    {"", "--json", "", "print the explanation as one JSON object"},
};

extern const BatchCommand kExplainCommand = {
    "explain",
    "names what the device does to textures and proves it by redrawing its frames on a model",
    "[settings] [--device D] [--json] [-o DIR]",
    kExplainOptions,
    "      Runs one experiment per property of the sampler (LOD offset and axis rule,\n"
    "      probe counts per requested anisotropy, blend width and bits, bilinear\n"
    "      weight bits, stages 1 to 7), names the model device with those\n"
    "      properties and draws the same scenes on it and on the device. See\n"
    "      docs/explain.md.\n",
    nullptr,
    RunExplain,
    nullptr,
    false,
};

}  // namespace quillmark::batch
