// "quillmark lod": draws the λ meter's two frames (lod_meter.h), decodes the
// measured level per pixel, computes the ideal (lod_ideal.h), prints the
// figures and writes the pictures.
#include "app/batch/lod_command.h"

#include "app/app_state.h"
#include "app/batch/batch_command.h"
#include "app/batch/level_frames.h"
#include "app/probe.h"
#include "devices/select/d3d9_select.h"

#include <cmath>

#include <cstdio>

namespace quillmark::batch {
namespace {

namespace fs = std::filesystem;

int Fail(const std::string& message, int code) {
    return ReportError("cannot measure the level of detail: " + message, code);
}

int RunLod(Probe& probe, const CommandOptions& options) {
    const bool json = options.Has("--json");
    std::string error;
    const std::optional<fs::path> directory = MakeOutputDirectory(options.Value("--output"), &error);
    if (!directory) return Fail(error, kExitFailure);

    LodMeasurement lod;
    if (!MeasureLod(probe, &lod, &error)) return Fail(error, kExitFailure);
    if (!WriteLodPictures(lod, *directory, LodPictureNames(""), &error)) return Fail(error, kExitFailure);
    std::fputs(json ? (LodFiguresJson(lod.figures) + "\n").c_str() : LodFiguresText(lod.figures).c_str(), stdout);
    return kExitSuccess;
}

}  // namespace

bool MeasureLod(Probe& probe, LodMeasurement* out, std::string* error) {
    std::vector<std::uint32_t> frames[kLodFrames];
    for (int frame = 0; frame < kLodFrames; ++frame) {
        if (!DrawLevelColouredFrame(probe, [frame](int level) { return LodLevelColour(frame, level); }, std::nullopt,
                                    &frames[frame])) {
            *error = "the meter's frames could not be drawn";
            return false;
        }
    }
    IdealScene scene;
    if (!SceneFromDevice(&scene, error)) return false;
    const LodRule rule = RuleFromSettings();
    LodMaps& maps = out->maps;
    maps.width = g_app.windowWidth;
    maps.height = g_app.windowHeight;
    maps.lastLevel = rule.lastLevel;
    if (rule.mip == MipRule::None)
        maps.notMeasured = "the mip filter is off, so the device reads level 0 whatever λ is";
    if (const std::optional<int> bits = DevicePrecision(SelectedDeviceName()).mipmapBits; bits && *bits > 0)
        maps.bandTolerance += std::ldexp(1.0, -*bits);
    maps.measured.resize(frames[0].size());
    for (std::size_t p = 0; p < frames[0].size(); ++p)
        maps.measured[p] = DecodeLod(frames[0][p], frames[1][p], rule.lastLevel);
    maps.ideal = ComputeIdealLod(scene, rule, maps.width, maps.height);
    out->figures = ComputeLodFigures(maps);
    return true;
}

LodPictureFiles LodPictureNames(const std::string& device) {
    const std::string suffix = device.empty() ? "" : "-" + device;
    return {"lod-measured" + suffix + ".png", "lod-ideal" + suffix + ".png", "lod-error" + suffix + ".png",
            "lod-polar" + suffix + ".png"};
}

bool WriteLodPictures(const LodMeasurement& lod, const fs::path& directory, const LodPictureFiles& names,
                      std::string* error) {
    return WritePng(MeasuredLodPicture(lod.maps), directory / names.measured, error) &&
           WritePng(IdealLodPicture(lod.maps), directory / names.ideal, error) &&
           WritePng(LodErrorPicture(lod.maps), directory / names.error, error) &&
           WritePng(LodPolarPicture(lod.figures), directory / names.polar, error);
}

constexpr CommandOption kLodOptions[] = {
    {"-o", "--output", "DIR",
     "where lod-measured.png, lod-ideal.png, lod-error.png and\n"
     "lod-polar.png go (created if missing; default: the current directory)"},
    kJsonOption,
};

extern const BatchCommand kLodCommand = {
    "lod",
    "measures the level of detail the device uses at every pixel and compares it with the ideal",
    "[settings] [--json] [-o DIR]",
    kLodOptions,
    "      Draws the scene twice with every mip level one flat colour and reads the\n"
    "      level of detail (lambda) per pixel from the colours; the ideal comes from the\n"
    "      same triangles in double precision. The error is measured - ideal; clamped\n"
    "      pixels (lambda below 0 or beyond the last level) are counted apart. See\n"
    "      docs/level-of-detail.md.\n",
    RunLod,
    nullptr,
    nullptr,
    false,
};

}  // namespace quillmark::batch
