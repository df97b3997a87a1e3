#include "app/save_analysis.h"

#include "app/analysis.h"
#include "app/app_state.h"
#include "app/probe_state.h"
#include "app/batch/analyze_command.h"
#include "app/batch/batch_command.h"
#include "app/batch/report_html.h"
#include "app/batch/result_document.h"
#include "app/polar_plot.h"
#include "app/probe.h"
#include "app/scene.h"
#include "app/shell.h"

#include "devices/select/d3d9_select.h"
#include "platform/win32/shlobj.h"

#include <fstream>

namespace quillmark {
namespace {

namespace fs = std::filesystem;

// Whether the item was last shown enabled; -1 before it was shown at all.
int g_shownEnabled = -1;

bool RunFinished() {
    const ProbeState& probe = ActiveProbe();
    return probe.run.running && probe.run.level >= kLevelsDone && probe.plotSurface && probe.device;
}

}  // namespace

bool SaveFinishedAnalysis(const fs::path& directory, std::string* error) {
    if (!RunFinished()) {
        *error = "no finished analysis is on screen";
        return false;
    }
    const fs::path heatMap = directory / batch::kHeatMapFileName, plot = directory / kPlotFileName,
                   page = directory / batch::kReportPageName, json = directory / kFiguresFileName;
    RenderFrame();  // the back buffer holds the heat map of the finished run
    if (const HRESULT result = batch::WriteBackBufferHeatMap(heatMap); FAILED(result)) {
        *error = batch::WriteFailure(heatMap.string(), result);
        return false;
    }
    if (const HRESULT result = WritePlotCopy(plot.string()); FAILED(result)) {
        *error = batch::WriteFailure(plot.string(), result);
        return false;
    }
    const AnalysisFigures figures = CurrentAnalysisFigures();
    batch::ResultCell cell = batch::CellOf(SelectedDeviceName(), CurrentProbeSettings());
    cell.figures = batch::FiguresObject(figures);
    std::ofstream(json, std::ios::binary)
        << batch::ResultText(batch::ResultDocument("analyze", {batch::IdentifyDevice(cell.device)}, {cell}));
    if (!std::ifstream(json)) {
        *error = "cannot write " + json.string();
        return false;
    }
    // The report's level-of-detail frames show the scene: the finished run
    // paints its heat map over every frame only while it is active.
    Probe probe{Probe::Running{}};
    ActiveProbe().run.running = false;
    const bool written = batch::WriteReportPage(probe, page, figures, heatMap, plot, {}, error);
    ActiveProbe().run.running = true;
    ShowSaveAnalysisState();  // the frames above showed no finished run
    RequestFrame();
    return written;
}

void AddSaveAnalysisMenu() {
    const HMENU bar = MainMenuBar();
    const HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING | MF_GRAYED, kSaveAnalysisCommand, "&Save Analysis...");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
    g_shownEnabled = 0;
}

void ShowSaveAnalysisState() {
    const HMENU bar = g_app.mainWindow ? GetMenu(g_app.mainWindow) : nullptr;
    const int enabled = RunFinished() ? 1 : 0;
    if (!bar || enabled == g_shownEnabled) return;
    EnableMenuItem(bar, kSaveAnalysisCommand, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    g_shownEnabled = enabled;
}

bool OnSaveAnalysisCommand(UINT id) {
    if (id != kSaveAnalysisCommand) return false;
    char name[MAX_PATH] = "";
    BROWSEINFOA request{};
    request.hwndOwner = g_app.mainWindow;
    request.pszDisplayName = name;
    request.lpszTitle = "Save the analysis in";
    request.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    const PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&request);
    if (!chosen) return true;
    char folder[MAX_PATH] = "";
    const bool named = SHGetPathFromIDListA(chosen, folder);
    CoTaskMemFree(chosen);
    std::string error;
    if (!named) error = "the folder's path is too long";
    if (named && SaveFinishedAnalysis(folder, &error)) return true;
    MessageBoxA(nullptr, ("Could not save the analysis: " + error + ".").c_str(), "Quillmark", MB_OK | MB_ICONWARNING);
    return true;
}

}  // namespace quillmark
