#include "app/explain/experiments.h"

#include "app/probe_state.h"
#include "app/batch/batch_runner.h"
#include "app/batch/level_frames.h"
#include "app/lod_meter.h"
#include "app/probe.h"

#include <algorithm>
#include <bit>

namespace quillmark::explain {
namespace {

constexpr int kRed = 16, kGreen = 8;

// Hands an experiment's settings to the probe and the user's back when it ends.
class ExperimentSettings {
public:
    ExperimentSettings(Probe& probe, const Setup& setup) : probe_(probe), user_(probe.Settings()) {
        ProbeSettings experiment = user_;
        experiment.showPlane = false;
        experiment.sceneRotation = 0;
        experiment.textureRotation = 0;
        experiment.lodBiasTenths = 0;
        experiment.magFilter = D3DTEXF_LINEAR;
        experiment.minFilter = D3DTEXTUREFILTERTYPE(setup.minFilter);
        experiment.mipFilter = D3DTEXTUREFILTERTYPE(setup.mipFilter);
        experiment.anisotropyStep = std::bit_width(unsigned(std::max(setup.maxAnisotropy, 1))) - 1;
        experiment.stage = std::clamp(setup.stage, 0, LastStage());
        probe_.Apply(experiment);
    }
    ~ExperimentSettings() { probe_.Apply(user_); }
    ExperimentSettings(const ExperimentSettings&) = delete;
    ExperimentSettings& operator=(const ExperimentSettings&) = delete;

private:
    Probe& probe_;
    const ProbeSettings user_;
};

}  // namespace

int LastStage() { return std::clamp(int(ActiveProbe().settings.stageSliderMax), 0, 7); }

bool ReadLevels(Probe& probe, const Setup& setup, LevelReading* out, std::string* error) {
    const ExperimentSettings settings(probe, setup);
    std::vector<std::uint32_t> frames[kLodFrames];
    for (int frame = 0; frame < kLodFrames; ++frame)
        if (!batch::DrawLevelColouredFrame(probe, [frame](int level) { return LodLevelColour(frame, level); }, std::nullopt,
                                           &frames[frame])) {
            *error = "the level frames could not be drawn";
            return false;
        }
    IdealScene scene;
    if (!SceneFromDevice(&scene, error)) return false;
    out->width = ActiveProbe().windowWidth;
    out->height = ActiveProbe().windowHeight;
    out->lastLevel = RuleFromSettings().lastLevel;
    out->footprints = ComputeFootprints(scene, out->width, out->height);
    out->measured.assign(frames[0].size(), std::nullopt);
    for (std::size_t p = 0; p < frames[0].size(); ++p) {
        const MeasuredLod lod = DecodeLod(frames[0][p], frames[1][p], out->lastLevel);
        if (lod.covered) out->measured[p] = lod.lambda;
    }
    out->first = std::move(frames[0]);
    return true;
}

bool DrawRamp(Probe& probe, std::vector<std::uint32_t>* frame, std::string* error) {
    const ExperimentSettings settings(probe, {D3DTEXF_LINEAR, D3DTEXF_NONE, 1, 0});
    const auto texel = [](int level, int x, int y) -> std::uint32_t {
        if (level > 0) return 0xFFu;
        return std::uint32_t(x & 1 ? 0xFF : 0) << kRed | std::uint32_t(y & 1 ? 0xFF : 0) << kGreen | 0xFFu;
    };
    if (!batch::DrawTexelColouredFrame(probe, texel, std::nullopt, frame)) {
        *error = "the ramp could not be drawn";
        return false;
    }
    return true;
}

bool DrawTextured(Probe& probe, const Setup& setup, std::vector<std::uint32_t>* frame, std::string* error) {
    const ExperimentSettings settings(probe, setup);
    ProbeSettings onGenerated = probe.Settings();
    onGenerated.useFileTexture = false;
    probe.Apply(onGenerated);
    const bool drawn = probe.DrawFrame();
    if (drawn) *frame = batch::BackBufferPixels();
    if (!drawn || frame->empty()) {
        *error = "the textured scene could not be drawn";
        return false;
    }
    return true;
}

}  // namespace quillmark::explain
