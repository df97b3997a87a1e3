#include "app/ab_flip.h"

#include "app/app_state.h"
#include "app/batch/comparison.h"
#include "app/batch/level_frames.h"
#include "app/device_menu.h"
#include "app/picture_window.h"
#include "app/probe.h"
#include "app/probe_state.h"
#include "app/shell.h"
#include "app/tool_turn.h"

#include "devices/select/d3d9_select.h"

#include <cstdio>

namespace quillmark {
namespace {

struct AbState {
    std::string a, b;
    bool showingB = false;
};

AbState& State() {
    static AbState state;
    return state;
}

// The devices the menu lists, in the order of its items.
std::vector<std::string>& MenuDevices() {
    static std::vector<std::string> devices;
    return devices;
}

PictureWindow& Window() {
    static PictureWindow window;
    return window;
}

std::optional<AbDifference>& Shown() {
    static std::optional<AbDifference> shown;
    return shown;
}

void CheckSecondDevice() {
    const HMENU bar = g_app.mainWindow ? GetMenu(g_app.mainWindow) : nullptr;
    if (!bar) return;
    for (std::size_t i = 0; i < MenuDevices().size(); ++i)
        CheckMenuItem(bar, kSecondDeviceFirst + UINT(i),
                      MF_BYCOMMAND | (MenuDevices()[i] == State().b ? MF_CHECKED : MF_UNCHECKED));
}

void ShowWhichInTitle() {
    const std::string title = DeviceWindowTitle(SelectedDeviceName()) + (State().showingB ? " (B)" : " (A)");
    SetWindowTextA(g_app.mainWindow, title.c_str());
}

void Complain(const std::string& what, const std::string& error) {
    MessageBoxA(nullptr, (what + ": " + error + ".").c_str(), "Quillmark", MB_OK);
}

std::string Share(int count, std::size_t of) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f%%", of ? 100.0 * count / double(of) : 0.0);
    return text;
}

Picture DifferencePicture(const AbDifference& d) {
    constexpr int kMargin = 10, kLine = 20;
    const std::vector<std::string> heading = {
        "A: " + d.a, "B: " + d.b,
        "PIXELS THAT DIFFER: " + std::to_string(d.differing) + " (" + Share(d.differing, d.frameA.size()) +
            "), DIFFERENCES " + std::to_string(batch::kDifferenceGain) + " TIMES AS BRIGHT"};
    const Picture difference = PictureOfPixels(batch::DifferenceImage(d.frameA, d.frameB), ActiveProbe().windowWidth);
    Picture picture(difference.width, kMargin + int(heading.size()) * kLine + difference.height, 0x181818);
    int y = kMargin;
    for (const std::string& line : heading) {
        DrawText(picture, kMargin, y, line, 0xE0E0E0);
        y += kLine;
    }
    picture.Paste(difference, 0, y);
    return picture;
}

}  // namespace

void AddAbMenu() {
    MenuDevices() = DeviceNames();
    const HMENU bar = MainMenuBar();
    const HMENU popup = CreatePopupMenu();
    for (std::size_t i = 0; i < MenuDevices().size(); ++i)
        AppendMenuA(popup, MF_STRING, kSecondDeviceFirst + i, ("B: " + MenuDevices()[i]).c_str());
    AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(popup, MF_STRING, kFlipCommand, "&Flip A / B\tB");
    AppendMenuA(popup, MF_STRING, kDifferenceCommand, "&Difference A / B\tD");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), "&A/B");
    DrawMenuBar(g_app.mainWindow);
    CheckSecondDevice();
}

bool SetSecondDevice(const std::string& device, std::string* error) {
    if (!IsDeviceName(device)) {
        *error = DeviceNameError(device);
        return false;
    }
    State().b = device;
    CheckSecondDevice();
    return true;
}

std::string SecondDevice() { return State().b; }

bool ShowingSecondDevice() { return State().showingB && SelectedDeviceName() == State().b; }

bool FlipDevices(std::string* error) {
    AbState& state = State();
    if (state.b.empty()) {
        *error = "no second device is chosen (the A/B menu lists them)";
        return false;
    }
    if (ActiveProbe().run.running) {
        *error = "the device cannot change while an analysis runs";
        return false;
    }
    // The device in use is A unless B is on show (the Device menu may have
    // chosen another since).
    if (!ShowingSecondDevice()) state.a = SelectedDeviceName(), state.showingB = false;
    const bool toB = !state.showingB;
    if (!SwitchDevice(toB ? state.b : state.a, error)) {
        ShowWhichInTitle();
        return false;
    }
    state.showingB = toB;
    ShowWhichInTitle();
    return true;
}

bool ShowDifference(std::string* error) {
    const AbState& state = State();
    Probe probe{Probe::Running{}};
    std::vector<std::uint32_t> first, second;
    const bool startedOnB = ShowingSecondDevice();
    bool drawn = probe.DrawFrame() && !(first = batch::BackBufferPixels()).empty();
    if (drawn && FlipDevices(error)) {
        drawn = probe.DrawFrame() && !(second = batch::BackBufferPixels()).empty();
        std::string back;
        if (!FlipDevices(&back) && drawn) *error = back, drawn = false;
        probe.DrawFrame();
    } else {
        drawn = false;
    }
    if (!drawn) {
        if (error->empty()) *error = "a frame could not be drawn";
        return false;
    }
    AbDifference d;
    d.a = state.a;
    d.b = state.b;
    d.frameA = std::move(startedOnB ? second : first);
    d.frameB = std::move(startedOnB ? first : second);
    for (std::size_t i = 0; i < d.frameA.size() && i < d.frameB.size(); ++i)
        d.differing += ((d.frameA[i] ^ d.frameB[i]) & 0xFFFFFF) != 0;
    d.picture = DifferencePicture(d);
    Shown() = std::move(d);
    Window().Show(Shown()->picture, "Difference A / B - Quillmark");
    return true;
}

const AbDifference* ShownDifference() { return Shown() ? &*Shown() : nullptr; }

HWND DifferenceWindow() { return Window().Handle(); }

bool OnAbCommand(UINT id) {
    std::string error;
    if (id == kFlipCommand || id == kDifferenceCommand) {
        const ToolTurn turn;
        if (!turn.Taken()) return true;
        if (id == kFlipCommand && !FlipDevices(&error)) Complain("Could not flip to the other device", error);
        if (id == kDifferenceCommand && !ShowDifference(&error))
            Complain("Could not show the difference between A and B", error);
        return true;
    }
    if (id < kSecondDeviceFirst || id >= kSecondDeviceFirst + MenuDevices().size()) return false;
    SetSecondDevice(MenuDevices()[id - kSecondDeviceFirst], &error);
    return true;
}

bool OnAbKey(WPARAM key) {
    if (key == kFlipKey) return OnAbCommand(kFlipCommand);
    if (key == kDifferenceKey) return OnAbCommand(kDifferenceCommand);
    return false;
}

}  // namespace quillmark
