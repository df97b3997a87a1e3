// "quillmark analyze [settings] [-o DIR] [--json]": presses Start, lets the
// message loop render until the dialog shows "DONE", writes the heat map from
// the back buffer, presses Stop in DIR (which saves MipBand.bmp there) and
// prints the figures. Ctrl-C stops the run at the next frame boundary and
// still writes what was measured.
#include "analyze_command.h"

#include "analysis.h"
#include "app_state.h"
#include "batch_command.h"
#include "readback.h"
#include "shell.h"

#include "surface_save.h"
#include "user_input.h"

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

constexpr int kExitInterrupted = 130;  // 128 + SIGINT, as shells report it
constexpr int kBarWidth = 30;
constexpr auto kLogInterval = std::chrono::seconds(5);
constexpr auto kLiveInterval = std::chrono::milliseconds(200);
constexpr int kDeviceRetryLimit = 50;  // passes without a device before giving up

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) { g_interrupted = 1; }

// SIGINT sets a flag for the length of the run; the previous handler returns after.
class InterruptFlag {
public:
    InterruptFlag() {
        g_interrupted = 0;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_);
    }
    ~InterruptFlag() { sigaction(SIGINT, &previous_, nullptr); }
    InterruptFlag(const InterruptFlag&) = delete;
    InterruptFlag& operator=(const InterruptFlag&) = delete;

private:
    struct sigaction previous_ {};
};

int Fail(const std::string& message, int code) {
    std::fprintf(stderr, "quillmark analyze: %s\n", message.c_str());
    return code;
}

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

int RunAnalyze(const std::vector<std::string>& arguments) {
    std::vector<std::string> rest = arguments;
    std::string error;
    const std::optional<std::string> output = TakeOptionValue(rest, "-o", "--output", &error);
    if (!error.empty()) return Fail(error, kExitUsage);
    const bool json = TakeFlag(rest, "--json");
    if (!rest.empty()) return Fail(LeftoverArgumentsError(rest), kExitUsage);

    std::error_code code;
    const fs::path directory = fs::absolute(output ? fs::path(*output) : fs::path("."), code);
    if (!code) fs::create_directories(directory, code);
    if (!code && !fs::is_directory(directory)) code = std::make_error_code(std::errc::not_a_directory);
    if (code) return Fail("cannot create the directory " + directory.string() + ": " + code.message(), kExitFailure);

    InterruptFlag interruptFlag;
    if (!PressButton(kStartButton) || !g_app.running) return Fail("the analysis could not be started", kExitFailure);
    ProgressReporter progress;
    const bool finished = RunUntilDone(progress, &error);
    progress.Finish();
    if (!finished) {
        StopIn(directory, &error);
        return Fail(error, kExitFailure);
    }
    const bool done = !g_interrupted;
    const AnalysisFigures figures = CurrentFigures(done);
    const fs::path heatMap = directory / "heatmap.bmp", plot = directory / "MipBand.bmp";
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
        std::fprintf(stderr, "quillmark analyze: interrupted; the figures cover the frames measured so far\n");
        return kExitInterrupted;
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
    "      Progress goes to stderr. Ctrl-C stops at the next frame, writes what was\n"
    "      measured and exits with status 130.\n",
    RunAnalyze,
};

}  // namespace quillmark::batch
