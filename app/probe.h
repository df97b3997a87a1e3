// The probe as the commands drive it: a started program (main window, device,
// scene, generated texture and Settings dialog) whose settings are applied as
// one ProbeSettings value, whose frames are drawn and whose analysis run is
// started, stepped and stopped by calls, with the run's figures as values.
// The Settings dialog hands its settings to the same ApplyProbeSettings.
//
// The probe owns its state (app/probe_state.h): the device, the scene, the
// textures, the settings and the analysis run. While it runs, the window
// procedure and the Settings dialog reach that state through ActiveProbe();
// one probe runs at a time.
#pragma once

#include "app/analysis.h"
#include "app/probe_settings.h"
#include "app/probe_state.h"
#include "app/shell.h"

#include "platform/win32/windows.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace quillmark {

// The settings the probe draws with now.
ProbeSettings CurrentProbeSettings();

// Makes `settings` the probe's: the sampler and scene settings take effect in
// the next frame; the tunnel and the generated texture are rebuilt when
// their settings changed, and the texture file is loaded when its name
// changed (a refused file leaves none loaded, and a message box says why).
void ApplyProbeSettings(const ProbeSettings& settings);

// Sets the settings without rebuilding anything: the Settings dialog's
// starting values, before the scene is built.
void StoreProbeSettings(const ProbeSettings& settings);

// What this device lets a setting reach.
struct DeviceLimits {
    int anisotropyStepMax;
    int stageMax;
};

class Probe {
public:
    // Starts the program on the window backend selected (StartProbe), with a
    // state of its own; on failure it has said why on stderr and Started()
    // is false.
    explicit Probe(HINSTANCE instance);
    // The program already started (the desktop's own): the probe drives it,
    // on the state of the probe that started it, and leaves it running when
    // it goes.
    struct Running {};
    explicit Probe(Running);
    ~Probe();  // closes the main window and the program it started
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    bool Started() const { return started_; }
    DeviceLimits Limits() const;
    // False while the device is lost and could not be rebuilt yet.
    bool HasDevice() const;

    ProbeSettings Settings() const { return CurrentProbeSettings(); }
    // As ApplyProbeSettings; false when a texture file was named and could
    // not be loaded (the load has said why).
    bool Apply(const ProbeSettings& settings);

    // Draws frames until none is due (the loop has handled every message),
    // without waiting for input; false when no frame can be drawn because
    // the device is gone.
    bool DrawFrame();

    // Starts an analysis run (the "Start" button); false when it could not
    // start (the user has been told why).
    bool StartAnalysis();
    // One pass of the message loop: a frame of the run, or a message; Quit
    // once the main window is gone.
    LoopStep Step();
    // True once every level has been measured.
    bool AnalysisDone();
    // Ends the run (the "Stop" button), writing the polar plot to `plot`.
    void StopAnalysis(const std::filesystem::path& plot);
    // The run's figures as they stand after the last frame.
    AnalysisFigures Figures() const;

private:
    // Its own state, or that of the program already started.
    ProbeState& State() const;

    HINSTANCE instance_ = nullptr;
    std::unique_ptr<ProbeState> state_;  // none when it drives the program already started
    std::optional<ActiveProbeScope> active_;
    bool started_ = false;
    bool owned_ = true;  // this probe started the program and ends it
};

}  // namespace quillmark
