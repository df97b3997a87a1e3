// "quillmark analyze [settings] [-o DIR] [--json]": presses Start, lets the
// message loop render until the dialog shows "DONE", writes the heat map from
// the back buffer, presses Stop in DIR (which saves MipBand.bmp there) and
// prints the figures. Ctrl-C, SIGTERM and SIGHUP stop the run at the next
// frame boundary and still write what was measured.
#include "app/batch/analyze_command.h"

#include "app/analysis.h"
#include "app/app_state.h"
#include "app/batch/batch_command.h"
#include "app/batch/output_folder.h"
#include "app/polar_plot.h"
#include "app/readback.h"
#include "app/shell.h"

#include "texfile/surface_save.h"
#include "platform/win32/user_input.h"

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

bool DoneShown() {
    char text[16] = "";
    GetDlgItemTextA(g_app.settingsDialog, kRemainingTimeField, text, sizeof(text));
    return std::strcmp(text, "DONE") == 0;
}

bool PressButton(int id) { return win32::ClickButton(GetDlgItem(g_app.settingsDialog, id)); }

// Progress on stderr: a live bar on a terminal, otherwise a line now and then.
class ProgressReporter {
public:
    ProgressReporter() : live_(isatty(STDERR_FILENO) == 1) {}

    void Report(bool force) {
        const Clock::time_point now = Clock::now();
        if (!force && now - last_ < (live_ ? kLiveInterval : kLogInterval)) return;
        last_ = now;
        if (live_)
            std::fprintf(stderr, "\r%s\033[K", ProgressLine(kBarWidth).c_str());
        else
            std::fprintf(stderr, "%s\n", ProgressLine(0).c_str());
        std::fflush(stderr);
    }

    void Finish() {
        if (live_) std::fputc('\n', stderr);
    }

private:
    bool live_;
    Clock::time_point last_ = Clock::now();
};

// Renders until the dialog shows "DONE" or Ctrl-C; false when the device is
// gone for good or the window closed.
bool RunUntilDone(ProgressReporter& progress, std::string* error) {
    int passesWithoutDevice = 0;
    while (!g_interrupted && !DoneShown()) {
        if (RunLoopStep() == LoopStep::Quit || !IsWindow(g_app.mainWindow)) {
            *error = "the main window closed during the run";
            return false;
        }
        passesWithoutDevice = g_app.device ? 0 : passesWithoutDevice + 1;
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

// The finished run's heat map is the frame in the back buffer.
HRESULT WriteBackBufferHeatMap(const fs::path& path) {
    IDirect3DSurface9* backBuffer = nullptr;
    HRESULT result = g_app.device ? g_app.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer)
                                  : D3DERR_INVALIDCALL;
    if (FAILED(result)) return result;
    result = WriteSurface(path, backBuffer);
    backBuffer->Release();
    return result;
}

// An interrupted run has no heat-map frame: the map of the hits so far is
// drawn into a surface of the window's size.
HRESULT WriteDrawnHeatMap(const fs::path& path) {
    if (!g_app.device) return D3DERR_INVALIDCALL;
    IDirect3DSurface9* surface = nullptr;
    HRESULT result = g_app.device->CreateOffscreenPlainSurface(static_cast<UINT>(g_app.windowWidth),
                                                              static_cast<UINT>(g_app.windowHeight),
                                                              D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &surface, nullptr);
    if (FAILED(result)) return result;
    D3DLOCKED_RECT locked{};
    result = surface->LockRect(&locked, nullptr, 0);
    if (SUCCEEDED(result)) {
        DrawHeatMap({static_cast<std::uint8_t*>(locked.pBits), locked.Pitch, g_app.windowWidth, g_app.windowHeight});
        surface->UnlockRect();
        result = WriteSurface(path, surface);
    }
    surface->Release();
    return result;
}

}  // namespace

// Stop saves MipBand.bmp in the current directory, so it is pressed in DIR.
bool StopIn(const fs::path& directory, std::string* error) {
    std::error_code code;
    const fs::path previous = fs::current_path(code);
    fs::current_path(directory, code);
    if (code) {
        *error = "cannot enter " + directory.string() + ": " + code.message();
        return false;
    }
    const bool pressed = PressButton(kStopButton);
    fs::current_path(previous, code);
    if (!pressed) *error = "the Stop button could not be pressed";
    return pressed;
}

bool RunWholeAnalysis(std::string* error) {
    if (!PressButton(kStartButton) || !g_app.running) {
        *error = "the analysis could not be started";
        return false;
    }
    ProgressReporter progress;
    const bool finished = RunUntilDone(progress, error);
    progress.Finish();
    return finished;
}

namespace {

// The run marks texels of the generated texture only; a texture file on the
// stage shows its own colours in every frame, and the run cannot tell them
// from marks.
void WarnOfFileTexture() {
    if (!g_app.useFileTexture || !g_app.fileTexture) return;
    std::fprintf(stderr,
                 "quillmark: warning: the analysis marks texels of the generated texture, so the colours "
                 "of the texture file \"%s\" are counted as hits\n",
                 g_app.fileTexturePath.c_str());
}

int RunAnalyze(const std::vector<std::string>& arguments) {
    std::vector<std::string> rest = arguments;
    std::string error;
    const std::optional<std::string> output = TakeOptionValue(rest, "-o", "--output", &error);
    if (!error.empty()) return Fail(error, kExitUsage);
    const bool json = TakeFlag(rest, "--json");
    if (!rest.empty()) return Fail(LeftoverArgumentsError(rest), kExitUsage);

    std::error_code code;
    const fs::path directory = fs::absolute(output ? fs::path(*output) : fs::path("."), code);
    if (code) return Fail("cannot find the folder " + *output + ": " + code.message(), kExitFailure);
    // Everything the run will write is checked before its first frame, and the
    // folder stays locked until the process ends.
    OutputFolder folder;
    InterruptFlag interruptFlag;
    if (!folder.Claim(directory, {kPlotFileName, kHeatMapFileName, kReportPageName}, &error))
        return Fail(error, kExitFailure);
    WarnOfFileTexture();
    if (!PressButton(kStartButton) || !g_app.running) return Fail("cannot start the analysis: the Start button could not be pressed", kExitFailure);
    ProgressReporter progress;
    const bool finished = RunUntilDone(progress, &error);
    progress.Finish();
    if (!finished) {
        StopIn(directory, &error);
        return Fail(error, kExitFailure);
    }
    const bool done = DoneShown();  // a stop request after the last level loses nothing
    const AnalysisFigures figures = CurrentFigures(done);
    const fs::path heatMap = directory / kHeatMapFileName, plot = directory / kPlotFileName;
    fs::remove(plot, code);  // so that a stale plot is never taken for this run's
    const HRESULT heatMapResult = done ? WriteBackBufferHeatMap(heatMap) : WriteDrawnHeatMap(heatMap);
    if (!StopIn(directory, &error)) return Fail(error, kExitFailure);

    std::fputs(json ? FiguresJson(figures).c_str() : FiguresText(figures).c_str(), stdout);
    std::fflush(stdout);
    if (FAILED(heatMapResult))
        return Fail(WriteFailure(heatMap.string(), heatMapResult), kExitFailure);
    if (!fs::exists(plot))
        return Fail("cannot write " + plot.string() + ": pressing Stop did not save the polar plot there",
                    kExitFailure);
    if (!WriteReportPage(directory, figures, heatMap, plot, &error)) return Fail(error, kExitFailure);
    if (!done) {
        std::fprintf(stderr, "quillmark: analysis interrupted (SIG%s): the figures cover the frames measured so far\n",
                     sigabbrev_np(g_interrupted));
        return kExitSignalBase + g_interrupted;
    }
    return kExitSuccess;
}

}  // namespace

extern const BatchCommand kAnalyzeCommand = {
    "analyze",
    "runs a whole texel analysis and writes the polar plot, the heat map, a report page and the figures",
    "[settings] [-o DIR] [--json]",
    "      -o, --output DIR    where MipBand.bmp, heatmap.bmp and report.html go (created\n"
    "                          if missing; default: the current directory)\n"
    "      --json              print the figures as one JSON object\n"
    "      Progress goes to stderr. Ctrl-C (or SIGTERM, SIGHUP) stops at the next frame,\n"
    "      writes what was measured and exits with status 128 + the signal (130 for Ctrl-C).\n"
    "      A second analysis into the same folder is refused while the first runs.\n"
    "      The run marks texels of the generated texture: with --texture FILE the file's\n"
    "      colours count as hits, and a warning on stderr says so.\n",
    RunAnalyze,
};

}  // namespace quillmark::batch
