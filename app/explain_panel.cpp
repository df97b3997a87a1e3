#include "app/explain_panel.h"

#include "app/ab_flip.h"
#include "app/app_state.h"
#include "app/picture_window.h"
#include "app/probe.h"
#include "app/probe_state.h"
#include "app/shell.h"
#include "app/status_line.h"
#include "app/tool_turn.h"

#include "devices/select/d3d9_select.h"

#include <optional>

namespace quillmark {
namespace {

constexpr int kMargin = 10, kLine = 18, kColumns = 96;
constexpr std::uint32_t kBackground = 0x181818, kText = 0xE0E0E0, kHint = 0xFFD000;

PictureWindow& Window() {
    static PictureWindow window;
    return window;
}

std::optional<DeviceExplanation>& Shown() {
    static std::optional<DeviceExplanation> shown;
    return shown;
}

// The text in the picture font's characters: λ as "LOD", a semicolon as a
// comma, each line wrapped
// at a space to kColumns characters.
std::vector<std::string> PanelLines(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\xCE\xBB") == 0) plain += "LOD", ++i;
        else plain += text[i] == ';' ? ',' : text[i];
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= plain.size()) {
        std::size_t end = plain.find('\n', start);
        if (end == std::string::npos) end = plain.size();
        std::string line = plain.substr(start, end - start);
        while (line.size() > std::size_t(kColumns)) {
            std::size_t cut = line.rfind(' ', kColumns);
            if (cut == std::string::npos || cut == 0) cut = kColumns;
            lines.push_back(line.substr(0, cut));
            line = "    " + line.substr(cut + (line[cut] == ' ' ? 1 : 0));
        }
        lines.push_back(line);
        start = end + 1;
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

void ShowPanel() {
    const DeviceExplanation& e = *Shown();
    std::vector<std::string> lines = PanelLines(e.text);
    const bool onModel = ShowingSecondDevice() && SecondDevice() == e.model;
    const std::string hint = std::string("SHOWN NOW: ") + (onModel ? "THE MODEL" : "THE DEVICE") +
                             ". CLICK HERE (OR PRESS B IN THE MAIN WINDOW) TO FLIP TO THE " +
                             (onModel ? "DEVICE." : "MODEL.");
    int width = TextWidth(hint, 1);
    for (const std::string& line : lines) width = std::max(width, TextWidth(line, 1));
    Picture picture(width + 2 * kMargin, 2 * kMargin + int(lines.size() + 2) * kLine, kBackground);
    DrawText(picture, kMargin, kMargin, hint, kHint, 1);
    int y = kMargin + 2 * kLine;
    for (const std::string& line : lines) {
        DrawText(picture, kMargin, y, line, kText, 1);
        y += kLine;
    }
    Window().Show(picture, "Explanation of " + e.device + " - Quillmark");
}

void FlipFromPanel() {
    const ToolTurn turn;
    if (!turn.Taken()) return;
    std::string error;
    if (!FlipDevices(&error)) MessageBoxA(nullptr, ("Could not flip to the other device: " + error + ".").c_str(), "Quillmark", MB_OK);
    if (Shown()) ShowPanel();
}

}  // namespace

void AddExplainMenu() {
    const HMENU bar = MainMenuBar();
    const HMENU popup = CreatePopupMenu();
    AppendMenuA(popup, MF_STRING, kExplainCommand, "&Explain This Device\tE");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), "&Explain");
    DrawMenuBar(g_app.mainWindow);
}

bool ExplainDeviceInUse(std::string* error) {
    if (ActiveProbe().run.running) {
        *error = "an analysis run is drawing the frames; press Stop first";
        return false;
    }
    Probe probe{Probe::Running{}};
    // The experiments draw a few hundred frames (seconds on a fast device);
    // the window keeps answering meanwhile, and says what it is doing.
    ShowStatus("Explaining " + SelectedDeviceName() + ": drawing its experiments, then the same scenes on the model...");
    DeviceExplanation e;
    explain::Scenes onDevice, onModel;
    bool done = probe.HasDevice() && explain::Investigate(probe, &e.findings, &onDevice, error);
    if (done) {
        e.device = e.findings.device;
        e.model = explain::ModelName(e.findings.model);
        // The proof: the same scenes on the model, which becomes B (on the
        // device in use when that is the model itself).
        done = SetSecondDevice(e.model, error);
        if (done && e.model == SelectedDeviceName()) {
            done = explain::DrawScenes(probe, &onModel, error);
        } else if (done && FlipDevices(error)) {
            done = explain::DrawScenes(probe, &onModel, error);
            std::string back;
            if (!FlipDevices(&back) && done) *error = back, done = false;
        } else {
            done = false;
        }
        if (done) e.proof = explain::CompareScenes(onDevice, onModel);
    } else if (error->empty()) {
        *error = "the device is missing";
    }
    if (!done) {
        ShowStatus("");
        return false;
    }
    ShowStatus("Explained " + e.device + " as " + e.model + "; a click on the panel flips between the two.");
    e.text = explain::ExplanationText(e.findings, e.model, e.proof);
    Shown() = std::move(e);
    Window().OnClick([](int, int) { FlipFromPanel(); });
    ShowPanel();
    return true;
}

const DeviceExplanation* ShownExplanation() { return Shown() ? &*Shown() : nullptr; }

HWND ExplainPanelWindow() { return Window().Handle(); }

bool OnExplainCommand(UINT id) {
    if (id != kExplainCommand) return false;
    const ToolTurn turn;
    if (!turn.Taken()) return true;
    std::string error;
    if (!ExplainDeviceInUse(&error))
        MessageBoxA(nullptr, ("Could not explain the device: " + error + ".").c_str(), "Quillmark", MB_OK);
    return true;
}

bool OnExplainKey(WPARAM key) { return key == kExplainKey && OnExplainCommand(kExplainCommand); }

}  // namespace quillmark
