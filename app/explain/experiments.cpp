#include "app/explain/experiments.h"

#include "app/app_state.h"
#include "app/batch/batch_runner.h"
#include "app/batch/level_frames.h"
#include "app/lod_meter.h"

#include <algorithm>

namespace quillmark::explain {
namespace {

constexpr int kRed = 16, kGreen = 8;

// Puts an experiment's settings into g_app and the user's back when it ends.
class ExperimentSettings {
public:
    explicit ExperimentSettings(const Setup& setup) : saved_(g_app) {
        g_app.showPlane = false;
        g_app.sceneRotation = 0;
        g_app.textureRotation = 0;
        g_app.lodBias = 0;
        g_app.magFilter = D3DTEXF_LINEAR;
        g_app.minFilter = setup.minFilter;
        g_app.mipFilter = setup.mipFilter;
        g_app.maxAnisotropy = setup.maxAnisotropy;
        g_app.stage = std::clamp(setup.stage, 0, LastStage());
    }
    ~ExperimentSettings() {
        g_app.showPlane = saved_.showPlane;
        g_app.sceneRotation = saved_.sceneRotation;
        g_app.textureRotation = saved_.textureRotation;
        g_app.lodBias = saved_.lodBias;
        g_app.magFilter = saved_.magFilter;
        g_app.minFilter = saved_.minFilter;
        g_app.mipFilter = saved_.mipFilter;
        g_app.maxAnisotropy = saved_.maxAnisotropy;
        g_app.stage = saved_.stage;
    }
    ExperimentSettings(const ExperimentSettings&) = delete;
    ExperimentSettings& operator=(const ExperimentSettings&) = delete;

private:
    struct Saved {
        explicit Saved(const AppState& a)
            : showPlane(a.showPlane), sceneRotation(a.sceneRotation), textureRotation(a.textureRotation),
              lodBias(a.lodBias), magFilter(a.magFilter), minFilter(a.minFilter), mipFilter(a.mipFilter),
              maxAnisotropy(a.maxAnisotropy), stage(a.stage) {}
        bool showPlane;
        float sceneRotation, textureRotation, lodBias;
        std::int32_t magFilter, minFilter, mipFilter, maxAnisotropy, stage;
    } saved_;
};

}  // namespace

int LastStage() { return std::clamp(int(g_app.stageSliderMax), 0, 7); }

bool ReadLevels(const Setup& setup, LevelReading* out, std::string* error) {
    const ExperimentSettings settings(setup);
    std::vector<std::uint32_t> frames[kLodFrames];
    for (int frame = 0; frame < kLodFrames; ++frame)
        if (!batch::DrawLevelColouredFrame([frame](int level) { return LodLevelColour(frame, level); }, std::nullopt,
                                           &frames[frame])) {
            *error = "the level frames could not be drawn";
            return false;
        }
    IdealScene scene;
    if (!SceneFromDevice(&scene, error)) return false;
    out->width = g_app.windowWidth;
    out->height = g_app.windowHeight;
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

bool DrawRamp(std::vector<std::uint32_t>* frame, std::string* error) {
    const ExperimentSettings settings({D3DTEXF_LINEAR, D3DTEXF_NONE, 1, 0});
    const auto texel = [](int level, int x, int y) -> std::uint32_t {
        if (level > 0) return 0xFFu;
        return std::uint32_t(x & 1 ? 0xFF : 0) << kRed | std::uint32_t(y & 1 ? 0xFF : 0) << kGreen | 0xFFu;
    };
    if (!batch::DrawTexelColouredFrame(texel, std::nullopt, frame)) {
        *error = "the ramp could not be drawn";
        return false;
    }
    return true;
}

bool DrawTextured(const Setup& setup, std::vector<std::uint32_t>* frame, std::string* error) {
    const ExperimentSettings settings(setup);
    const bool userFileTexture = g_app.useFileTexture;
    g_app.useFileTexture = false;
    PostMessageA(g_app.mainWindow, WM_USER, 0, 0);
    const bool drawn = batch::SettleMessageLoop();
    if (drawn) *frame = batch::BackBufferPixels();
    g_app.useFileTexture = userFileTexture;
    if (!drawn || frame->empty()) {
        *error = "the textured scene could not be drawn";
        return false;
    }
    return true;
}

}  // namespace quillmark::explain
