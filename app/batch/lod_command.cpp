// "quillmark lod": draws the λ meter's two frames (lod_meter.h), decodes the
// measured level per pixel, computes the ideal (lod_ideal.h), prints the
// figures and writes the pictures.
#include "app/batch/lod_command.h"

#include "app/probe_state.h"
#include "app/batch/baseline.h"
#include "app/batch/batch_command.h"
#include "app/batch/level_frames.h"
#include "app/batch/output_folder.h"
#include "app/batch/result_document.h"
#include "app/batch/settings_flags.h"
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

const FigureDeclaration<LodFigures> kLodFigures[] = {
    {"covered", "Pixels the device and the ideal cover", "pixels", [](const LodFigures& f) { return Json(f.covered); }},
    {"within_1_16", "Share within 1/16 level of the ideal", "share",
     [](const LodFigures& f) { return Rounded(f.within116); }},
    {"within_1_4", "Share within 1/4 level", "share", [](const LodFigures& f) { return Rounded(f.within14); }},
    {"within_1_2", "Share within 1/2 level", "share", [](const LodFigures& f) { return Rounded(f.within12); }},
    {"within_allowed", "Share inside the band the rules allow", "share",
     [](const LodFigures& f) { return Rounded(f.withinAllowed); }},
    {"mean_abs_error", "Mean |Δλ| (levels)", "levels", [](const LodFigures& f) { return Rounded(f.meanAbsError); }},
    {"p99_abs_error", "99th percentile of |Δλ| (levels)", "levels",
     [](const LodFigures& f) { return Rounded(f.p99AbsError); }},
    {"mean_error", "Mean Δλ (levels; negative: finer than the rule)", "levels",
     [](const LodFigures& f) { return Rounded(f.meanError); }},
    {"sectors", "Mean Δλ in 32 directions, clockwise from up", "levels",
     [](const LodFigures& f) {
         Json sectors = Json::array();
         for (const std::optional<double>& sector : f.sectors) sectors.push_back(Rounded(sector));
         return sectors;
     }},
    {"clamped", "Of the covered pixels, clamped (λ below 0 or beyond the last level)", "pixels",
     [](const LodFigures& f) { return Json(f.clamped); }},
    {"not_measured", "Why λ cannot be read from the frames (the mip filter is off)", "",
     [](const LodFigures& f) { return f.notMeasured.empty() ? Json(nullptr) : Json(f.notMeasured); }},
};

int RunLod(Probe& probe, const CommandOptions& options) {
    const bool json = options.Has("--json");
    std::string error;
    const LodPictureFiles names = LodPictureNames("");
    OutputFolder folder;
    const std::optional<fs::path> directory =
        ClaimOutputFolder(options.Value("--output"), {names.measured, names.ideal, names.error, names.polar}, &folder,
                          &error);
    if (!directory) return Fail(error, kExitFailure);
    const std::string device = SelectedDeviceName();
    ResultCell cell = CellOf(device, probe.Settings());
    BaselineRequest baseline;
    if (!ReadBaselineRequest(options, "lod", {cell.settings}, &baseline, &error)) return Fail(error, kExitRunFailed);
    const int failed = baseline.baseline || baseline.junit ? kExitRunFailed : kExitFailure;

    LodMeasurement lod;
    if (!MeasureLod(probe, &lod, &error)) return Fail(error, failed);
    if (!WriteLodPictures(lod, *directory, names, ImageProvenance(probe.Settings()), &error))
        return Fail(error, failed);
    cell.figures = LodFiguresObject(lod.figures);
    const std::vector<ResultCell> cells = {cell};
    std::fputs(json ? ResultText(ResultDocument("lod", {IdentifyDevice(device)}, cells)).c_str()
                    : LodFiguresText(lod.figures).c_str(),
               stdout);
    std::fflush(stdout);
    return ReportVerdicts(baseline, "lod", JudgeCells(baseline, cells, LodFigureRules()));
}

}  // namespace

bool LodMapsOfFrames(const LodFrames& frames, LodMaps* maps, std::string* error) {
    IdealScene scene;
    if (!SceneFromDevice(&scene, error)) return false;
    const LodRule rule = RuleFromSettings();
    *maps = LodMaps{};
    maps->width = ActiveProbe().windowWidth;
    maps->height = ActiveProbe().windowHeight;
    maps->lastLevel = rule.lastLevel;
    if (rule.mip == MipRule::None)
        maps->notMeasured = "the mip filter is off, so the device reads level 0 whatever λ is";
    if (const std::optional<int> bits = DevicePrecision(SelectedDeviceName()).mipmapBits; bits && *bits > 0)
        maps->bandTolerance += std::ldexp(1.0, -*bits);
    maps->measured.resize(frames[0].size());
    for (std::size_t p = 0; p < frames[0].size(); ++p)
        maps->measured[p] = DecodeLod(frames[0][p], frames[1][p], rule.lastLevel);
    maps->ideal = ComputeIdealLod(scene, rule, maps->width, maps->height);
    return true;
}

bool MeasureLod(Probe& probe, LodMeasurement* out, std::string* error) {
    LodFrames frames;
    for (int frame = 0; frame < kLodFrames; ++frame) {
        if (!DrawLevelColouredFrame(probe, [frame](int level) { return LodLevelColour(frame, level); }, std::nullopt,
                                    &frames[std::size_t(frame)])) {
            *error = "the meter's frames could not be drawn";
            return false;
        }
    }
    if (!LodMapsOfFrames(frames, &out->maps, error)) return false;
    out->figures = ComputeLodFigures(out->maps);
    return true;
}

std::span<const FigureDeclaration<LodFigures>> LodFigureDeclarations() { return kLodFigures; }

Json LodFiguresObject(const LodFigures& figures) { return FiguresObject<LodFigures>(kLodFigures, figures); }

FigureRules LodFigureRules() {
    FigureRules rules;
    for (const FigureDeclaration<LodFigures>& figure : kLodFigures)
        if (figure.unit == "levels" || figure.unit == "share")
            rules.emplace_back(figure.name, figure.unit == "levels" ? FigureRule::Levels : FigureRule::Share);
    return rules;
}

LodPictureFiles LodPictureNames(const std::string& device) {
    const std::string suffix = device.empty() ? "" : "-" + device;
    return {"lod-measured" + suffix + ".png", "lod-ideal" + suffix + ".png", "lod-error" + suffix + ".png",
            "lod-polar" + suffix + ".png"};
}

bool WriteLodPictures(const LodMeasurement& lod, const fs::path& directory, const LodPictureFiles& names,
                      const std::vector<PngText>& texts, std::string* error) {
    return WritePng(MeasuredLodPicture(lod.maps), directory / names.measured, error, texts) &&
           WritePng(IdealLodPicture(lod.maps), directory / names.ideal, error, texts) &&
           WritePng(LodErrorPicture(lod.maps), directory / names.error, error, texts) &&
           WritePng(LodPolarPicture(lod.figures), directory / names.polar, error, texts);
}

constexpr CommandOption kLodOptions[] = {
    {"-o", "--output", "DIR",
     "where lod-measured.png, lod-ideal.png, lod-error.png and\n"
     "lod-polar.png go (created if missing; default: the current directory)"},
    kJsonOption,
    kBaselineOption,
    kToleranceOption,
    kJunitOption,
};

extern const BatchCommand kLodCommand = {
    "lod",
    "measures the level of detail the device uses at every pixel and compares it with the ideal",
    "[settings] [--json] [-o DIR] [--baseline FILE [--tolerance SPEC]] [--junit FILE]",
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
