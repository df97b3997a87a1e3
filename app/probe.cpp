#include "app/probe.h"

#include "app/app_state.h"
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
    ProbeSettings settings;
    settings.minFilter = static_cast<D3DTEXTUREFILTERTYPE>(g_app.minFilter);
    settings.magFilter = static_cast<D3DTEXTUREFILTERTYPE>(g_app.magFilter);
    settings.mipFilter = static_cast<D3DTEXTUREFILTERTYPE>(g_app.mipFilter);
    settings.anisotropyStep =
        g_app.maxAnisotropy > 0 ? std::countr_zero(static_cast<unsigned>(g_app.maxAnisotropy)) : 0;
    settings.lodBiasTenths = static_cast<int>(std::lround(g_app.lodBias * 10.0f));
    settings.stage = g_app.stage;
    settings.showPlane = g_app.showPlane;
    settings.distanceTenths = static_cast<int>(std::lround(g_app.distance));
    settings.planeAngle = static_cast<int>(std::lround(g_app.planeAngle));
    settings.sceneRotation = static_cast<int>(std::lround(g_app.sceneRotation));
    settings.textureRotation = static_cast<int>(std::lround(g_app.textureRotation));
    settings.faces = g_app.faces;
    settings.checkerShift = g_app.checkerShift;
    settings.tintMode = g_app.tintMode;
    settings.textureFile = g_app.fileTexturePath;
    settings.useFileTexture = g_app.useFileTexture;
    return settings;
}

void StoreProbeSettings(const ProbeSettings& settings) {
    g_app.minFilter = settings.minFilter;
    g_app.magFilter = settings.magFilter;
    g_app.mipFilter = settings.mipFilter;
    g_app.maxAnisotropy = 1 << settings.anisotropyStep;
    g_app.lodBias = static_cast<float>(settings.lodBiasTenths) * kLodBiasStep;
    g_app.stage = settings.stage;
    g_app.showPlane = settings.showPlane;
    g_app.distance = settings.distanceTenths;
    g_app.planeAngle = settings.planeAngle;
    g_app.sceneRotation = static_cast<float>(settings.sceneRotation);
    g_app.textureRotation = static_cast<float>(settings.textureRotation);
    g_app.faces = settings.faces;
    g_app.checkerShift = settings.checkerShift;
    g_app.tintMode = settings.tintMode;
    g_app.useFileTexture = settings.useFileTexture;
}

void ApplyProbeSettings(const ProbeSettings& settings) {
    const ProbeSettings before = CurrentProbeSettings();
    StoreProbeSettings(settings);
    if (settings.faces != before.faces) BuildTunnel();
    if (settings.checkerShift != before.checkerShift || settings.tintMode != before.tintMode) BuildMipTexture();
    if (settings.textureFile != before.textureFile && !settings.textureFile.empty())
        LoadFileTexture(settings.textureFile);
}

Probe::Probe(HINSTANCE instance) : instance_(instance) {
    g_app = AppState{};
    started_ = StartProbe(instance_);
}

Probe::Probe(Running) : started_(g_app.mainWindow != nullptr), owned_(false) {}

Probe::~Probe() {
    if (!started_ || !owned_) return;
    if (IsWindow(g_app.mainWindow)) DestroyWindow(g_app.mainWindow);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message != WM_QUIT) DispatchMessageA(&message);
    }
    FinishProbe(instance_);
}

DeviceLimits Probe::Limits() const { return {g_app.anisotropySliderMax, g_app.stageSliderMax}; }

bool Probe::Apply(const ProbeSettings& settings) {
    ApplyProbeSettings(settings);
    if (g_app.settingsDialog) ShowProbeSettings(g_app.settingsDialog, CurrentProbeSettings());
    return settings.textureFile.empty() || g_app.fileTexture != nullptr;
}

bool Probe::DrawFrame() {
    RequestFrame();
    for (int pass = 0; pass < kSettlePassLimit; ++pass) {
        const LoopStep step = RunLoopStep(false);
        if (step == LoopStep::Idle || step == LoopStep::Quit) return g_app.device != nullptr;
    }
    return false;
}

bool Probe::StartAnalysis() {
    quillmark::StartAnalysis();
    return g_app.running;
}

bool Probe::HasDevice() const { return g_app.device != nullptr; }

LoopStep Probe::Step() {
    const LoopStep step = RunLoopStep();
    return IsWindow(g_app.mainWindow) ? step : LoopStep::Quit;
}

bool Probe::AnalysisDone() {
    SettleLastFrame();
    return g_app.running && g_app.level >= kLevelsDone;
}

void Probe::StopAnalysis(const std::filesystem::path& plot) { quillmark::StopAnalysis(plot.string()); }

AnalysisFigures Probe::Figures() const { return CurrentAnalysisFigures(); }

}  // namespace quillmark
