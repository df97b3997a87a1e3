// "quillmark analyze [settings] [-o DIR] [--json]": starts a run on the
// probe, steps it until every level is measured, writes the heat map from
// the back buffer, stops the run with the polar plot saved in DIR and prints
// the figures. Ctrl-C, SIGTERM and SIGHUP stop the run at the next frame
// boundary and still write what was measured, under names of their own.
#include "app/batch/analyze_command.h"

#include "app/analysis.h"
#include "app/probe_state.h"
#include "app/batch/batch_command.h"
#include "app/batch/batch_runner.h"
#include "app/batch/explain_page.h"
#include "app/batch/output_folder.h"
#include "app/batch/result_document.h"
#include "app/polar_plot.h"
#include "app/probe.h"
#include "app/readback.h"

#include "devices/select/d3d9_select.h"
#include "texfile/surface_save.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace quillmark::batch {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kExitSignalBase = 128;  // exit status 128 + the signal, as shells report it
constexpr int kBarWidth = 30;
constexpr auto kLogInterval = std::chrono::seconds(5);
constexpr auto kLiveInterval = std::chrono::milliseconds(200);
constexpr int kDeviceRetryLimit = 50;  // passes without a device before giving up

// Ctrl-C, and the requests to end that `timeout`, `kill` and a closing
// terminal or desktop session send: each ends the run the same way.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The signal that asked the run to stop; 0 while none did.
volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int signal) { g_interrupted = signal; }

// The stop signals set a flag for the length of the run; the previous
// handlers return after.
class InterruptFlag {
public:
    InterruptFlag() {
        g_interrupted = 0;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kStopSignals); ++i) sigaction(kStopSignals[i], &action, &previous_[i]);
    }
    ~InterruptFlag() {
        for (std::size_t i = 0; i < std::size(kStopSignals); ++i) sigaction(kStopSignals[i], &previous_[i], nullptr);
    }
    InterruptFlag(const InterruptFlag&) = delete;
    InterruptFlag& operator=(const InterruptFlag&) = delete;

private:
    struct sigaction previous_[std::size(kStopSignals)] {};
};

constexpr auto Fail = ReportError;

// Progress on stderr: a live bar on a terminal, otherwise a line now and then.
class ProgressReporter {
public:
    explicit ProgressReporter(const Probe& probe) : probe_(probe), live_(isatty(STDERR_FILENO) == 1) {}

    void Report(bool force) {
        const Clock::time_point now = Clock::now();
        if (!force && now - last_ < (live_ ? kLiveInterval : kLogInterval)) return;
        last_ = now;
        if (live_)
            std::fprintf(stderr, "\r%s\033[K", ProgressLine(probe_.Figures(), kBarWidth).c_str());
        else
            std::fprintf(stderr, "%s\n", ProgressLine(probe_.Figures(), 0).c_str());
        std::fflush(stderr);
    }

    void Finish() {
        if (live_) std::fputc('\n', stderr);
    }

private:
    const Probe& probe_;
    bool live_;
    Clock::time_point last_ = Clock::now();
};

// Steps the probe until every level is measured or Ctrl-C; false when the
// device is gone for good or the window closed.
bool RunUntilDone(Probe& probe, ProgressReporter& progress, std::string* error) {
    int passesWithoutDevice = 0;
    while (!g_interrupted && !probe.AnalysisDone()) {
        if (probe.Step() == LoopStep::Quit) {
            *error = "the main window closed during the run";
            return false;
        }
        passesWithoutDevice = probe.HasDevice() ? 0 : passesWithoutDevice + 1;
        if (passesWithoutDevice > kDeviceRetryLimit) {
            *error = "the device could not be recreated";
            return false;
        }
        progress.Report(false);
    }
    progress.Report(true);
    return true;
}

HRESULT WriteSurface(const fs::path& path, IDirect3DSurface9* surface) {
    return WriteSurfaceToImageFile(path.string().c_str(), ImageFileFormat::Bmp, surface, nullptr, nullptr);
}

// An interrupted run has no heat-map frame: the map of the hits so far is
// drawn into a surface of the window's size.
HRESULT WriteDrawnHeatMap(const fs::path& path) {
    ProbeState& probe = ActiveProbe();
    if (!probe.device) return D3DERR_INVALIDCALL;
    IDirect3DSurface9* surface = nullptr;
    HRESULT result = probe.device->CreateOffscreenPlainSurface(static_cast<UINT>(probe.windowWidth),
                                                              static_cast<UINT>(probe.windowHeight),
                                                              D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &surface, nullptr);
    if (FAILED(result)) return result;
    D3DLOCKED_RECT locked{};
    result = surface->LockRect(&locked, nullptr, 0);
    if (SUCCEEDED(result)) {
        DrawHeatMap({static_cast<std::uint8_t*>(locked.pBits), locked.Pitch, probe.windowWidth, probe.windowHeight});
        surface->UnlockRect();
        result = WriteSurface(path, surface);
    }
    surface->Release();
    return result;
}

}  // namespace

// The finished run's heat map is the frame in the back buffer.
HRESULT WriteBackBufferHeatMap(const fs::path& path) {
    ProbeState& probe = ActiveProbe();
    IDirect3DSurface9* backBuffer = nullptr;
    HRESULT result = probe.device ? probe.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer)
                                  : D3DERR_INVALIDCALL;
    if (FAILED(result)) return result;
    result = WriteSurface(path, backBuffer);
    backBuffer->Release();
    return result;
}

bool RunWholeAnalysis(Probe& probe, std::string* error) {
    if (!probe.StartAnalysis()) {
        *error = "the analysis could not be started";
        return false;
    }
    ProgressReporter progress(probe);
    const bool finished = RunUntilDone(probe, progress, error);
    progress.Finish();
    return finished;
}

namespace {

// A run marks and samples the generated texture; a texture file on the
// stage shows again once the run ends.
void NoteFileTexture(const Probe& probe) {
    const ProbeSettings settings = probe.Settings();
    if (!settings.useFileTexture || settings.textureFile.empty()) return;
    std::fprintf(stderr,
                 "quillmark: note: the analysis marks and samples the generated texture, not the texture file "
                 "\"%s\"\n",
                 settings.textureFile.c_str());
}

// The files of one run in the output folder: the plain names for a complete
// run, the interrupted names for one that was stopped.
struct RunFiles {
    fs::path plot, heatMap, page;
};

RunFiles FilesIn(const fs::path& directory, bool complete) {
    const auto name = [complete](const char* plain) {
        return complete ? std::string(plain) : InterruptedFileName(plain);
    };
    return {directory / name(kPlotFileName), directory / name(kHeatMapFileName), directory / name(kReportPageName)};
}

// The analysis on the started probe, its files into `directory` (claimed
// already), `explanation` (a section, may be empty) on its page.
int AnalyzeInto(Probe& probe, const fs::path& directory, bool json, const std::string& explanation) {
    std::string error;
    std::error_code code;
    InterruptFlag interruptFlag;
    NoteFileTexture(probe);
    if (!probe.StartAnalysis())
        return Fail("cannot start the analysis: there is not enough memory for its per-pixel counts", kExitFailure);
    ProgressReporter progress(probe);
    const bool finished = RunUntilDone(probe, progress, &error);
    progress.Finish();
    if (!finished) {
        probe.StopAnalysis(FilesIn(directory, false).plot);
        return Fail(error, kExitFailure);
    }
    const AnalysisFigures figures = probe.Figures();  // a stop request after the last level loses nothing
    const RunFiles files = FilesIn(directory, figures.done);
    fs::remove(files.plot, code);  // so that a stale plot is never taken for this run's
    const HRESULT heatMapResult = figures.done ? WriteBackBufferHeatMap(files.heatMap) : WriteDrawnHeatMap(files.heatMap);
    probe.StopAnalysis(files.plot);

    ResultCell cell = CellOf(SelectedDeviceName(), probe.Settings());
    cell.figures = FiguresObject(figures);
    std::fputs(json ? ResultText(ResultDocument("analyze", {IdentifyDevice(cell.device)}, {cell})).c_str()
                    : FiguresText(figures).c_str(),
               stdout);
    std::fflush(stdout);
    if (FAILED(heatMapResult))
        return Fail(WriteFailure(files.heatMap.string(), heatMapResult), kExitFailure);
    if (!fs::exists(files.plot))
        return Fail("cannot write " + files.plot.string() + ": the polar plot could not be saved there", kExitFailure);
    if (!WriteReportPage(probe, files.page, figures, files.heatMap, files.plot, explanation, &error))
        return Fail(error, kExitFailure);
    if (!figures.done) {
        std::fprintf(stderr,
                     "quillmark: analysis interrupted (SIG%s): the figures cover the frames measured so far; "
                     "written as %s, %s and %s beside any complete analysis\n",
                     sigabbrev_np(g_interrupted), files.plot.filename().c_str(), files.heatMap.filename().c_str(),
                     files.page.filename().c_str());
        return kExitSignalBase + g_interrupted;
    }
    std::fprintf(stderr, "quillmark: wrote %s, %s and %s\n", files.page.c_str(), files.plot.filename().c_str(),
                 files.heatMap.filename().c_str());
    return kExitSuccess;
}

int RunAnalyze(const BatchSettings& settings, const CommandOptions& options) {
    if (const std::string unknown = DeviceChoiceError(settings.device); !unknown.empty())
        return ReportError(unknown, kExitUsage);
    // Everything the run may write is checked before its first frame, and the
    // folder stays locked until the process ends.
    OutputFolder folder;
    std::vector<std::string> names;
    for (bool complete : {true, false}) {
        const RunFiles files = FilesIn(".", complete);
        for (const fs::path& file : {files.plot, files.heatMap, files.page}) names.push_back(file.filename().string());
    }
    std::string error;
    const std::optional<fs::path> claimed = ClaimOutputFolder(options.Value("--output"), names, &folder, &error);
    if (!claimed) return Fail(error, kExitFailure);
    const fs::path directory = *claimed;
    std::string explanation;
    if (options.Has("--explain")) {
        explain::Explanation e;
        const int result = explain::ExplainDevice(settings, &e, &error);
        if (result != kExitSuccess)
            return error.empty() ? result : ReportError("cannot explain the device: " + error, result);
        explanation = ExplanationSection("Explanation of " + e.findings.device, e);
    }
    return RunOnChosenDevice(settings, [&](Probe& probe) {
        return AnalyzeInto(probe, directory, options.Has("--json"), explanation);
    });
}

constexpr CommandOption kAnalyzeOptions[] = {
    {"-o", "--output", "DIR",
     "where MipBand.bmp, heatmap.bmp and report.html go (created\n"
     "if missing; default: the current directory)"},
    kJsonOption,
    {"", "--explain", "",
     "also explain the device (as quillmark explain does) and show the\n"
     "explanation in report.html"},
};

}  // namespace

extern const BatchCommand kAnalyzeCommand = {
    "analyze",
    "runs a whole texel analysis and writes the polar plot, the heat map, a report page and the figures",
    "[settings] [-o DIR] [--json]",
    kAnalyzeOptions,
    "      Progress goes to stderr. Ctrl-C (or SIGTERM, SIGHUP) stops at the next frame,\n"
    "      writes what was measured as MipBand-interrupted.bmp, heatmap-interrupted.bmp\n"
    "      and report-interrupted.html (a complete analysis in DIR is kept) and exits\n"
    "      with status 128 + the signal (130 for Ctrl-C).\n"
    "      A second analysis into the same folder is refused while the first runs.\n"
    "      The run marks and samples the generated texture, also with --texture FILE\n"
    "      (a note on stderr says so).\n",
    nullptr,
    RunAnalyze,
};

}  // namespace quillmark::batch
