#include "app/lod_view.h"

#include "app/app_state.h"
#include "app/batch/level_frames.h"
#include "app/batch/lod_command.h"
#include "app/lod_figures.h"
#include "app/lod_meter.h"
#include "app/picture.h"
#include "app/probe.h"
#include "app/probe_state.h"
#include "app/scene.h"
#include "app/shell.h"
#include "app/status_line.h"
#include "app/test_textures.h"

#include "devices/select/d3d9_select.h"
#include "platform/win32/window_image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

namespace quillmark {
namespace {

constexpr int kLegendHeight = 300;
constexpr int kLegendMargin = 8;

struct LodView {
    bool shown = false;
    // The settings and device of the last measurement, whether it succeeded
    // (maps hold it) or not (error says why).
    bool tried = false;
    ProbeSettings settings;
    std::string device;
    bool measured = false;
    LodMaps maps;
    std::string error;
    std::optional<POINT> pointer;  // where the pointer was last seen
};

LodView& View() {
    static LodView view;
    return view;
}

bool AnalysisOnScreen() { return ActiveProbe().run.running; }

bool UpToDate(const LodView& view) {
    return view.tried && view.settings == CurrentProbeSettings() && view.device == SelectedDeviceName();
}

// The meter's two frames with the settings in use on the generated
// texture, which is put back afterwards, and the frame of the settings
// drawn again.
void Measure(LodView& view) {
    const ProbeSettings user = CurrentProbeSettings();
    ProbeSettings generated = user;
    generated.useFileTexture = false;
    if (generated != user) StoreProbeSettings(generated);
    batch::LodFrames frames;
    bool drawn = true;
    for (int frame = 0; frame < kLodFrames && drawn; ++frame)
        drawn = batch::DrawLevelColouredFrameNow([frame](int level) { return LodLevelColour(frame, level); },
                                                 &frames[std::size_t(frame)]);
    if (generated != user) StoreProbeSettings(user);
    BuildMipTexture();
    view.error.clear();
    view.measured = drawn && batch::LodMapsOfFrames(frames, &view.maps, &view.error);
    if (!drawn) view.error = "the meter's frames could not be drawn";
    view.tried = true;
    view.settings = user;
    view.device = SelectedDeviceName();
    RenderFrame();
}

void ShowPointerStatus() {
    if (const std::optional<POINT> pointer = View().pointer) ShowStatus(PointerStatusText(pointer->x, pointer->y));
}

std::string Format(const char* format, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

void AddLodViewMenu() {
    const HMENU bar = MainMenuBar();
    const HMENU view = CreatePopupMenu();
    AppendMenuA(view, MF_STRING | (LodViewShown() ? MF_CHECKED : MF_UNCHECKED), kLodViewCommand, "&Lambda View\tL");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(view), "&View");
}

bool LodViewShown() { return View().shown; }

void ToggleLodView() {
    LodView& view = View();
    view.shown = !view.shown;
    if (view.shown) view.tried = false;  // turned on, it measures afresh
    if (const HMENU bar = GetMenu(g_app.mainWindow))
        CheckMenuItem(bar, kLodViewCommand, MF_BYCOMMAND | (view.shown ? MF_CHECKED : MF_UNCHECKED));
    ShowPointerStatus();
    PostMessageA(g_app.mainWindow, WM_USER, 0, 0);  // a frame with the view, or without it
}

bool OnLodViewCommand(UINT id) {
    if (id != kLodViewCommand) return false;
    ToggleLodView();
    return true;
}

bool OnLodViewKey(WPARAM key) {
    if (key != kLodViewKey) return false;
    ToggleLodView();
    return true;
}

void ShowLodView() {
    LodView& view = View();
    if (!view.shown || AnalysisOnScreen() || !ActiveProbe().device) return;
    if (!UpToDate(view)) {
        Measure(view);
        ShowPointerStatus();
    }
    if (!view.measured || !view.maps.notMeasured.empty()) return;
    const LodMaps& maps = view.maps;
    const std::vector<std::uint32_t> frame = batch::BackBufferPixels();
    if (frame.size() != maps.measured.size()) return;
    Picture shown = PictureOfPixels(frame, maps.width);
    for (std::size_t p = 0; p < shown.pixels.size(); ++p)
        if (const std::optional<std::uint32_t> colour = LodErrorColour(maps, p)) shown.pixels[p] = *colour;
    const Picture legend = LodErrorLegend(kLegendHeight);
    shown.Paste(legend, shown.width - legend.width - kLegendMargin, kLegendMargin);
    win32::ShowWindowImage(g_app.mainWindow, shown.pixels.data(), shown.width, shown.height, shown.width * 4);
}

void OnPointerMoved(int x, int y) {
    View().pointer = POINT{x, y};
    ShowPointerStatus();
}

std::string PointerStatusText(int x, int y) {
    const LodView& view = View();
    const std::string pixel = "Pixel (" + std::to_string(x) + ", " + std::to_string(y) + ")";
    if (!view.shown) return pixel;
    if (AnalysisOnScreen()) return pixel + ": the lambda view waits until the analysis is stopped";
    if (!view.measured) return pixel + ": lambda not measured: " + view.error;
    const LodMaps& maps = view.maps;
    if (!maps.notMeasured.empty()) return pixel + ": lambda not measured: the mip filter is off";
    if (x < 0 || y < 0 || x >= maps.width || y >= maps.height) return pixel;
    const std::size_t p = std::size_t(y) * std::size_t(maps.width) + std::size_t(x);
    const MeasuredLod& measured = maps.measured[p];
    const IdealLod& ideal = maps.ideal[p];
    if (!measured.covered) return pixel + ": the texture does not reach it";
    std::string text = pixel + ": lambda measured " + Format("%.3f", measured.lambda);
    if (ideal.covered)
        text += ", ideal " + Format("%.3f", ideal.level) + " (band " + Format("%.3f", ideal.low) + " to " +
                Format("%.3f", ideal.high) + ")";
    else
        text += ", no ideal (no triangle covers the pixel's centre)";
    // The level read and the share of the next one in the blend.
    const int level = std::min(int(std::floor(measured.lambda)), maps.lastLevel);
    text += ", level " + std::to_string(level) + " blend " +
            Format("%.3f", level < maps.lastLevel ? measured.lambda - level : 0.0);
    if (const std::optional<double> error = LodError(maps, p)) text += ", delta " + Format("%+.3f", *error);
    else if (ideal.covered) text += ", delta not counted: the ideal lies beyond the levels";
    return text;
}

}  // namespace quillmark
