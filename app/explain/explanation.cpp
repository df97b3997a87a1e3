#include "app/explain/explanation.h"

#include "app/batch/batch_command.h"
#include "app/batch/batch_runner.h"
#include "app/batch/settings_flags.h"
#include "app/lod_figures.h"
#include "devices/select/d3d9_select.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quillmark::explain {
namespace {

constexpr int kAnisotropic = 3;  // D3DTEXF_ANISOTROPIC
constexpr int kLinear = 2;
constexpr int kPoint = 1;
constexpr std::size_t kFitSamples = 3000;
constexpr double kOffsetSteps = 64;  // the LOD offset to 1/64 level
constexpr double kWidthSteps = 32;   // the blend width to 1/32
constexpr double kSameLevel = 1.0 / 16;    // two readings of one level
constexpr double kStagesAlike = 0.99;
constexpr double kAlikeMisfit = 0.01;      // levels: two fits that explain a reading as well      // share of alike readings for a stage to count as stage 0's

int Channel(std::uint32_t pixel, int shift) { return int((pixel >> shift) & 0xFF); }

// The values of one channel over the pixels the texture reached (blue set).
std::vector<std::uint8_t> ChannelValues(const std::vector<std::uint32_t>& frame, int shift) {
    std::vector<std::uint8_t> values;
    for (std::uint32_t pixel : frame)
        if (Channel(pixel, 0) >= 128) values.push_back(std::uint8_t(Channel(pixel, shift)));
    return values;
}

// The first frame's green between two levels: the blend weight (or its
// complement) where the reading is not on a level.
std::vector<std::uint8_t> BlendWeights(const LevelReading& reading) {
    std::vector<std::uint8_t> values;
    for (std::size_t p = 0; p < reading.first.size(); ++p)
        if (reading.measured[p]) values.push_back(std::uint8_t(Channel(reading.first[p], 8)));
    return values;
}

// Share of pixels both readings cover whose levels lie within 1/16.
std::optional<double> SameLevelShare(const LevelReading& a, const LevelReading& b, std::int64_t* counted = nullptr) {
    std::int64_t both = 0, same = 0;
    for (std::size_t p = 0; p < a.measured.size() && p < b.measured.size(); ++p)
        if (a.measured[p] && b.measured[p]) {
            ++both;
            same += std::abs(*a.measured[p] - *b.measured[p]) <= kSameLevel;
        }
    if (counted) *counted += both;
    if (both == 0) return std::nullopt;
    return double(same) / double(both);
}

void SectorMeans(const LevelReading& reading, Findings* findings) {
    LodRule rule;
    rule.lastLevel = reading.lastLevel;
    std::array<double, kSectors> sum{};
    std::array<std::int64_t, kSectors> count{};
    for (int y = 0; y < reading.height; ++y)
        for (int x = 0; x < reading.width; ++x) {
            const std::size_t p = std::size_t(y) * std::size_t(reading.width) + std::size_t(x);
            if (!reading.measured[p] || !reading.footprints[p].footprint) continue;
            const double ideal = LodOfFootprint(*reading.footprints[p].footprint, rule).lambda;
            if (!(ideal >= 0 && ideal <= reading.lastLevel)) continue;
            const int sector = SectorOf(x - reading.width / 2.0, y - reading.height / 2.0);
            sum[std::size_t(sector)] += *reading.measured[p] - ideal;
            ++count[std::size_t(sector)];
        }
    double low = HUGE_VAL, high = -HUGE_VAL;
    for (int s = 0; s < kSectors; ++s) {
        if (count[std::size_t(s)] == 0) continue;
        const double mean = sum[std::size_t(s)] / double(count[std::size_t(s)]);
        findings->sectors[std::size_t(s)] = mean;
        low = std::min(low, mean), high = std::max(high, mean);
    }
    if (high >= low) findings->sectorSpread = high - low;
}

std::string Number(double value, const char* format = "%.4f") {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

const char* AxisWord(AxisRule axes) {
    return axes == AxisRule::Max ? "max" : axes == AxisRule::Sum ? "sum" : "exact";
}

std::string Percent(const std::optional<double>& share) {
    return share ? Number(*share * 100, "%.2f") + " %" : std::string("no pixels");
}

}  // namespace

bool DrawScenes(Probe& probe, Scenes* scenes, std::string* error) {
    scenes->lastStageNumber = LastStage();
    const Setup anisotropic{kAnisotropic, kLinear, 16, 0};
    Setup lastStage = anisotropic;
    lastStage.stage = scenes->lastStageNumber;
    return ReadLevels(probe, {}, &scenes->isotropic, error) &&
           ReadLevels(probe, anisotropic, &scenes->anisotropic, error) &&
           ReadLevels(probe, lastStage, &scenes->lastStage, error) && DrawRamp(probe, &scenes->ramp, error) &&
           DrawTextured(probe, anisotropic, &scenes->textured, error);
}

bool Investigate(Probe& probe, Findings* findings, Scenes* scenes, std::string* error) {
    findings->device = SelectedDeviceName();
    findings->claims = DeviceNotes(findings->device);
    if (!DrawScenes(probe, scenes, error)) return false;
    SamplerModel& model = findings->model;
    const LevelReading& isotropic = scenes->isotropic;
    const int lastLevel = isotropic.lastLevel;

    // The blend weight's bits from the values the first frame's green takes,
    // then the λ rule and the blend's width from the isotropic readings.
    model.blendBits = WeightBitsOf(BlendWeights(isotropic));
    const std::vector<LodSample> samples = PickSamples(isotropic.footprints, isotropic.measured, kFitSamples);
    model = FitIsotropic(samples, model, lastLevel);
    // Stated to the resolution the experiment has (docs/explain.md).
    model.lodOffset = std::round(model.lodOffset * kOffsetSteps) / kOffsetSteps;
    model.blendWidth = std::round(model.blendWidth * kWidthSteps) / kWidthSteps;
    if (model.blendWidth <= 0) model.blendBits.reset();  // no blend: its weight's bits say nothing
    findings->isotropicMisfit = MeanMisfit(samples, model, {false, 1, lastLevel});
    SectorMeans(isotropic, findings);

    // The probe counts, one request at a time.
    std::vector<std::vector<LodSample>> requestSamples;
    for (int requested : kRequestedAnisotropies) {
        LevelReading reading;
        const LevelReading* use = &scenes->anisotropic;
        if (requested != 16) {
            if (!ReadLevels(probe, {kAnisotropic, kLinear, requested, 0}, &reading, error)) return false;
            use = &reading;
        }
        requestSamples.push_back(PickSamples(use->footprints, use->measured, kFitSamples));
        findings->anisotropy.push_back(FitAnisotropy(requestSamples.back(), model, requested, lastLevel));
    }
    SetAnisotropyKnobs(findings->anisotropy, &model);
    ChooseLodAxis(requestSamples, findings->anisotropy, lastLevel, &model);
    {
        // The same request under a point mip filter, which the model draws as
        // a blend of width 0.
        LevelReading reading;
        if (!ReadLevels(probe, {kAnisotropic, kPoint, 16, 0}, &reading, error)) return false;
        SamplerModel point = model;
        point.blendWidth = 0;
        const std::vector<LodSample> pointSamples = PickSamples(reading.footprints, reading.measured, kFitSamples);
        findings->pointMip = FitAnisotropy(pointSamples, point, 16, lastLevel);
        findings->pointMipAsLinear =
            MeanMisfit(pointSamples, point, {true, 16, lastLevel}) <= findings->pointMip.misfit + kAlikeMisfit;
    }

    // Stages 1 .. last against stage 0, at 16x.
    for (int stage = 1; stage <= scenes->lastStageNumber; ++stage) {
        LevelReading reading;
        const LevelReading* use = &scenes->lastStage;
        if (stage != scenes->lastStageNumber) {
            if (!ReadLevels(probe, {kAnisotropic, kLinear, 16, stage}, &reading, error)) return false;
            use = &reading;
        }
        findings->stages.push_back({stage, SameLevelShare(scenes->anisotropic, *use)});
    }
    model.stageReduce = false;
    for (const StageFinding& stage : findings->stages)
        if (stage.sameShare && *stage.sameShare < kStagesAlike) model.stageReduce = true;

    model.subtexelBits = WeightBitsOf(ChannelValues(scenes->ramp, 16));
    return true;
}

Proof CompareScenes(const Scenes& device, const Scenes& model) {
    Proof proof;
    std::int64_t same = 0;
    std::size_t scene = 0;
    for (LevelReading Scenes::*pair : {&Scenes::isotropic, &Scenes::anisotropic, &Scenes::lastStage}) {
        std::int64_t counted = 0;
        const std::optional<double> share = SameLevelShare(device.*pair, model.*pair, &counted);
        proof.scenes[scene++] = share;
        if (share) same += std::int64_t(std::llround(*share * double(counted)));
        proof.lodPixels += counted;
    }
    if (proof.lodPixels > 0) proof.lodWithin116 = double(same) / double(proof.lodPixels);
    std::int64_t alike = 0;
    for (std::vector<std::uint32_t> Scenes::*frame : {&Scenes::ramp, &Scenes::textured}) {
        const auto& a = device.*frame;
        const auto& b = model.*frame;
        std::int64_t sceneAlike = 0, scenePixels = 0;
        for (std::size_t p = 0; p < a.size() && p < b.size(); ++p) {
            ++scenePixels;
            bool near = true;
            for (int shift : {0, 8, 16}) near = near && std::abs(Channel(a[p], shift) - Channel(b[p], shift)) <= 1;
            sceneAlike += near;
        }
        if (scenePixels > 0) proof.scenes[scene] = double(sceneAlike) / double(scenePixels);
        ++scene;
        proof.colourPixels += scenePixels;
        alike += sceneAlike;
    }
    if (proof.colourPixels > 0) proof.colourWithin1 = double(alike) / double(proof.colourPixels);
    proof.reproduced = proof.lodWithin116 && proof.colourWithin1 && *proof.lodWithin116 >= kReproducedShare &&
                       *proof.colourWithin1 >= kReproducedShare;
    return proof;
}

int ExplainDevice(const batch::BatchSettings& settings, Explanation* out, std::string* error) {
    if (settings.device && !SelectDevice(*settings.device, error)) return batch::kExitUsage;
    int result = batch::RunOnHeadlessProbe(settings, [&](Probe& probe) {
        return Investigate(probe, &out->findings, &out->device, error) ? batch::kExitSuccess : batch::kExitFailure;
    });
    if (result != batch::kExitSuccess) return result;
    out->model = ModelName(out->findings.model);
    batch::BatchSettings onModel = settings;
    onModel.device = out->model;
    onModel.devices = {out->model};
    if (!SelectDevice(out->model, error)) return batch::kExitFailure;
    result = batch::RunOnHeadlessProbe(onModel, [&](Probe& probe) {
        return DrawScenes(probe, &out->redrawn, error) ? batch::kExitSuccess : batch::kExitFailure;
    });
    if (!error->empty()) *error = out->model + ": " + *error;
    SelectDevice(out->findings.device, error);
    if (result != batch::kExitSuccess) return result;
    out->proof = CompareScenes(out->device, out->redrawn);
    return batch::kExitSuccess;
}

std::string Description(const Findings& f) {
    const SamplerModel& m = f.model;
    std::string text;
    text += m.axes == AxisRule::Exact ? "λ from the exact axis lengths"
            : m.axes == AxisRule::Max ? "λ from the larger coordinate difference (up to 0.5 levels finer at 45°)"
                                      : "λ from the sum of the coordinate differences (up to 0.5 levels coarser at 45°)";
    if (m.log2Approx) text += ", through a piecewise-linear log2 (up to 0.086 levels finer between powers of two)";
    if (m.lodOffset != 0) text += ", offset by " + Number(m.lodOffset, "%+.3f") + " levels";
    text += "; ";
    if (m.anisoLodShort)
        text += "anisotropic λ from the footprint's short axis whatever MAXANISOTROPY asks (up to "
                "log2(ratio) levels finer than the rule where the request is below the ratio)";
    else if (m.anisoIgnoresMax)
        text += "anisotropy: up to " + std::to_string(EffectiveAnisotropy(m, 16)) +
                " probes whatever MAXANISOTROPY asks (λ near the footprint's short axis)";
    else if (m.anisoCap < 16)
        text += "anisotropy honoured up to " + std::to_string(m.anisoCap) + ", capped there";
    else
        text += "anisotropy honoured up to 16";
    if (!m.anisoLodShort) text += m.anisoPow2 ? ", probe counts rounded up to powers of two" : ", whole probe counts";
    if (!f.pointMipAsLinear)
        text += f.pointMip.effective == 1 ? ", but anisotropy ignored under a point mip filter (no knob of the model says so)"
                                          : ", but up to " + std::to_string(f.pointMip.effective) +
                                                " probes under a point mip filter (no knob of the model says so)";
    text += "; ";
    if (m.blendWidth >= 1)
        text += "full trilinear";
    else if (m.blendWidth <= 0)
        text += "no blend between levels (the nearest level alone, as a point mip filter)";
    else
        text += "reduced trilinear: levels blended over " + Number(m.blendWidth * 100, "%.0f") + " % of each level";
    text += m.blendBits ? ", " + std::to_string(*m.blendBits) + "-bit blend weight"
                        : ", blend weight of at least " + std::to_string(kBlendBitsLimit) + " bits";
    text += m.subtexelBits ? "; " + std::to_string(*m.subtexelBits) + "-bit bilinear weights"
                           : "; bilinear weights of at least " + std::to_string(kSubtexelBitsLimit) +
                                 " bits (the back buffer's limit)";
    text += m.stageReduce ? "; stages other than 0 filtered differently from stage 0" : "; every stage as stage 0";
    return text;
}

std::string ExplanationText(const Findings& f, const std::string& modelName, const Proof& proof) {
    const SamplerModel& m = f.model;
    std::string text = "device: " + f.device + "\n";
    if (!f.claims.empty()) text += "claims:\n" + f.claims + (f.claims.back() == '\n' ? "" : "\n");
    text += "explanation: " + Description(f) + "\n";
    text += "model: " + modelName + "\n";
    text += "LOD offset: " + Number(m.lodOffset, "%+.4f") + " levels; axes: " + AxisWord(m.axes) +
            "; log2: " + (m.log2Approx ? "approx" : "exact") + "; misfit " + Number(f.isotropicMisfit) + " levels\n";
    text += "angle dependence (spread of the " + std::to_string(kSectors) + " sector means): " +
            (f.sectorSpread ? Number(*f.sectorSpread) + " levels" : std::string("no pixels")) + "\n";
    for (const AnisotropyFit& a : f.anisotropy)
        text += "anisotropy " + std::to_string(a.requested) + ": up to " + std::to_string(a.effective) +
                " probes, " + (a.pow2 ? "powers of two" : "whole counts") + ", " +
                (a.effective == a.requested ? "honoured" : a.effective < a.requested ? "capped" : "exceeded") +
                "; misfit " + Number(a.misfit) + " levels\n";
    text += "anisotropy 16 under a point mip filter: up to " + std::to_string(f.pointMip.effective) +
            " probes; misfit " + Number(f.pointMip.misfit) + " levels\n";
    text += "blend width: " + Number(m.blendWidth, "%.4f") + "; blend weight: " +
            (m.blendBits ? std::to_string(*m.blendBits) + " bits"
                         : "at least " + std::to_string(kBlendBitsLimit) + " bits (the meter's limit)") +
            "\n";
    text += "bilinear weight: " +
            (m.subtexelBits ? std::to_string(*m.subtexelBits) + " bits"
                            : "at least " + std::to_string(kSubtexelBitsLimit) + " bits (the back buffer's limit)") +
            "\n";
    text += "λ fraction bits: not told apart from the blend weight's under a linear mip filter\n";
    for (const StageFinding& s : f.stages)
        text += "stage " + std::to_string(s.stage) + ": " + Percent(s.sameShare) + " within 1/16 level of stage 0\n";
    text += "proof: " + Percent(proof.lodWithin116) + " of " + std::to_string(proof.lodPixels) +
            " pixels within 1/16 level, " + Percent(proof.colourWithin1) + " of " +
            std::to_string(proof.colourPixels) + " pixels within 1/255 of colour: " +
            (proof.reproduced ? "the model reproduces the device" : "the model does NOT reproduce the device") + "\n";
    text += "proof by scene: λ isotropic " + Percent(proof.scenes[0]) + ", λ 16x " + Percent(proof.scenes[1]) +
            ", λ 16x on the last stage " + Percent(proof.scenes[2]) + ", ramp colours " + Percent(proof.scenes[3]) +
            ", texture at 16x colours " + Percent(proof.scenes[4]) + "\n";
    return text;
}

batch::Json ExplanationJson(const Findings& f, const std::string& modelName, const Proof& proof) {
    using batch::Json;
    using batch::Rounded;
    const SamplerModel& m = f.model;
    Json json = {{"device", f.device},
                 {"claims", f.claims},
                 {"description", Description(f)},
                 {"model", modelName},
                 {"lod_offset", Rounded(m.lodOffset)},
                 {"axes", AxisWord(m.axes)},
                 {"log2", m.log2Approx ? "approx" : "exact"},
                 {"aniso_lod", m.anisoLodShort ? "short" : "long"},
                 {"isotropic_misfit", Rounded(f.isotropicMisfit)},
                 {"sector_spread", Rounded(f.sectorSpread)}};
    Json& sectors = json["sectors"] = Json::array();
    for (const std::optional<double>& sector : f.sectors) sectors.push_back(Rounded(sector));
    Json& anisotropy = json["anisotropy"] = Json::array();
    for (const AnisotropyFit& a : f.anisotropy)
        anisotropy.push_back({{"requested", a.requested},
                              {"effective", a.effective},
                              {"rounding", a.pow2 ? "pow2" : "int"},
                              {"honoured", a.effective == a.requested},
                              {"misfit", Rounded(a.misfit)}});
    json["point_mip_anisotropy"] = f.pointMip.effective;
    json["point_mip_as_linear"] = f.pointMipAsLinear;
    json["blend_width"] = Rounded(m.blendWidth);
    json["blend_bits"] = m.blendBits ? Json(*m.blendBits) : Json(nullptr);
    json["blend_bits_at_least"] = m.blendBits ? Json(nullptr) : Json(kBlendBitsLimit);
    json["subtexel_bits"] = m.subtexelBits ? Json(*m.subtexelBits) : Json(nullptr);
    json["subtexel_bits_at_least"] = m.subtexelBits ? Json(nullptr) : Json(kSubtexelBitsLimit);
    Json& stages = json["stages"] = Json::array();
    for (const StageFinding& stage : f.stages)
        stages.push_back({{"stage", stage.stage}, {"within_1_16_of_stage_0", Rounded(stage.sameShare)}});
    json["stages_differ"] = m.stageReduce;
    const char* const names[] = {"lod_isotropic", "lod_16x", "lod_16x_last_stage", "colour_ramp", "colour_texture_16x"};
    Json scenes = Json::object();
    for (std::size_t i = 0; i < proof.scenes.size(); ++i) scenes[names[i]] = Rounded(proof.scenes[i]);
    json["proof"] = {{"lod_pixels", proof.lodPixels},
                     {"lod_within_1_16", Rounded(proof.lodWithin116)},
                     {"colour_pixels", proof.colourPixels},
                     {"colour_within_1_255", Rounded(proof.colourWithin1)},
                     {"reproduced", proof.reproduced},
                     {"scenes", scenes}};
    return json;
}

}  // namespace quillmark::explain
