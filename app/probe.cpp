#include "app/probe.h"

#include "app/app_state.h"
#include "app/probe_state.h"
#include "app/scene.h"
#include "app/settings_dialog.h"
#include "app/test_textures.h"
#include "app/texture_file.h"

#include <bit>
#include <cmath>

namespace quillmark {
namespace {

// A loop that does not settle within this many passes (a device that cannot
// be rebuilt) draws no frame.
constexpr int kSettlePassLimit = 10000;

// The LOD bias is the setting in tenths times this, in single precision.
constexpr float kLodBiasStep = 0.1f;

}  // namespace

ProbeSettings CurrentProbeSettings() {
    ProbeState& probe = ActiveProbe();
    ProbeSettings settings;
    settings.minFilter = static_cast<D3DTEXTUREFILTERTYPE>(probe.settings.minFilter);
    settings.magFilter = static_cast<D3DTEXTUREFILTERTYPE>(probe.settings.magFilter);
    settings.mipFilter = static_cast<D3DTEXTUREFILTERTYPE>(probe.settings.mipFilter);
    settings.anisotropyStep =
        probe.settings.maxAnisotropy > 0 ? std::countr_zero(static_cast<unsigned>(probe.settings.maxAnisotropy)) : 0;
    settings.lodBiasTenths = static_cast<int>(std::lround(probe.settings.lodBias * 10.0f));
    settings.stage = probe.settings.stage;
    settings.showPlane = probe.settings.showPlane;
    settings.distanceTenths = static_cast<int>(std::lround(probe.settings.distance));
    settings.planeAngle = static_cast<int>(std::lround(probe.settings.planeAngle));
    settings.sceneRotation = static_cast<int>(std::lround(probe.settings.sceneRotation));
    settings.textureRotation = static_cast<int>(std::lround(probe.settings.textureRotation));
    settings.faces = probe.settings.faces;
    settings.checkerShift = probe.settings.checkerShift;
    settings.tintMode = probe.settings.tintMode;
    settings.textureFile = probe.fileTexturePath;
    settings.useFileTexture = probe.settings.useFileTexture;
    return settings;
}

void StoreProbeSettings(const ProbeSettings& settings) {
    ProbeState& probe = ActiveProbe();
    probe.settings.minFilter = settings.minFilter;
    probe.settings.magFilter = settings.magFilter;
    probe.settings.mipFilter = settings.mipFilter;
    probe.settings.maxAnisotropy = 1 << settings.anisotropyStep;
    probe.settings.lodBias = static_cast<float>(settings.lodBiasTenths) * kLodBiasStep;
    probe.settings.stage = settings.stage;
    probe.settings.showPlane = settings.showPlane;
    probe.settings.distance = settings.distanceTenths;
    probe.settings.planeAngle = settings.planeAngle;
    probe.settings.sceneRotation = static_cast<float>(settings.sceneRotation);
    probe.settings.textureRotation = static_cast<float>(settings.textureRotation);
    probe.settings.faces = settings.faces;
    probe.settings.checkerShift = settings.checkerShift;
    probe.settings.tintMode = settings.tintMode;
    probe.settings.useFileTexture = settings.useFileTexture;
}

void ApplyProbeSettings(const ProbeSettings& settings) {
    const ProbeSettings before = CurrentProbeSettings();
    StoreProbeSettings(settings);
    if (settings.faces != before.faces) BuildTunnel();
    if (settings.checkerShift != before.checkerShift || settings.tintMode != before.tintMode) BuildMipTexture();
    if (settings.textureFile != before.textureFile && !settings.textureFile.empty())
        LoadFileTexture(settings.textureFile);
}

Probe::Probe(HINSTANCE instance) : instance_(instance), state_(std::make_unique<ProbeState>()) {
    active_.emplace(*state_);
    g_app = AppState{};
    started_ = StartProbe(instance_);
}

Probe::Probe(Running) : started_(g_app.mainWindow != nullptr), owned_(false) {}

ProbeState& Probe::State() const { return state_ ? *state_ : ActiveProbe(); }

Probe::~Probe() {
    if (!started_ || !owned_) return;
    if (IsWindow(g_app.mainWindow)) DestroyWindow(g_app.mainWindow);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message != WM_QUIT) DispatchMessageA(&message);
    }
    FinishProbe(instance_);
}

DeviceLimits Probe::Limits() const {
    return {State().settings.anisotropySliderMax, State().settings.stageSliderMax};
}

bool Probe::Apply(const ProbeSettings& settings) {
    ApplyProbeSettings(settings);
    if (g_app.settingsDialog) ShowProbeSettings(g_app.settingsDialog, CurrentProbeSettings());
    return settings.textureFile.empty() || State().fileTexture != nullptr;
}

bool Probe::DrawFrame() {
    RequestFrame();
    for (int pass = 0; pass < kSettlePassLimit; ++pass) {
        const LoopStep step = RunLoopStep(false);
        if (step == LoopStep::Idle || step == LoopStep::Quit) return State().device != nullptr;
    }
    return false;
}

bool Probe::StartAnalysis() {
    quillmark::StartAnalysis();
    return State().run.running;
}

bool Probe::HasDevice() const { return State().device != nullptr; }

LoopStep Probe::Step() {
    const LoopStep step = RunLoopStep();
    return IsWindow(g_app.mainWindow) ? step : LoopStep::Quit;
}

bool Probe::AnalysisDone() {
    ProbeState& probe = State();
    SettleLastFrame();
    return probe.run.running && probe.run.level >= kLevelsDone;
}

void Probe::StopAnalysis(const std::filesystem::path& plot) { quillmark::StopAnalysis(plot.string()); }

AnalysisFigures Probe::Figures() const { return CurrentAnalysisFigures(); }

}  // namespace quillmark
