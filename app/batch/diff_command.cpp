// "quillmark diff A B [--json] [-o diff.png] [--fail-above X]": how far two
// image files are apart, level by level and channel by channel, and a
// picture of where they differ. Exit 0 within the threshold, 1 beyond it,
// 2 when they cannot be compared.
#include "app/batch/batch_command.h"
#include "app/batch/image_file.h"

#include "app/colour_scale.h"
#include "app/picture.h"

#include "imagecodec/result_text.h"
#include "texfile/difference.h"
#include "texfile/level_floats.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quillmark::batch {
namespace {

constexpr char kChannelNames[] = "RGBA";
constexpr int kBarHeight = 256;

// A figure for people: infinite PSNR as "inf".
std::string Number(double value) {
    if (std::isinf(value)) return "inf";
    char text[32];
    std::snprintf(text, sizeof(text), "%.6g", value);
    return text;
}

// JSON has no infinity: equal channels give a null PSNR.
nlohmann::ordered_json JsonNumber(double value) {
    return std::isinf(value) ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(value);
}

// The top level of the first face: each pixel's largest channel difference,
// amplified so that the largest of all is the top of the scale, beside a
// colour bar saying what the colours mean.
bool WriteDifferencePicture(const DecodedImage& a, const DecodedImage& b, const std::string& path,
                            std::string* error) {
    std::vector<float> first, second;
    HRESULT result = LevelAsFloats(a, first);
    if (SUCCEEDED(result)) result = LevelAsFloats(b, second);
    if (FAILED(result)) {
        *error = "cannot write " + path + ": the pixels could not be read as floats (" + ResultReason(result) + ")";
        return false;
    }
    const std::size_t pixels = std::size_t(a.width) * a.height;  // the first slice
    std::vector<float> largest(pixels);
    float peak = 0;
    for (std::size_t p = 0; p < pixels; ++p) {
        float d = 0;
        for (std::size_t c = 0; c < 4; ++c) d = std::max(d, std::fabs(first[p * 4 + c] - second[p * 4 + c]));
        largest[p] = d;
        peak = std::max(peak, d);
    }
    Picture picture(static_cast<int>(a.width), static_cast<int>(a.height), kFigureBackground);
    for (std::size_t p = 0; p < pixels; ++p)
        picture.pixels[p] = SequentialColour(peak > 0 ? largest[p] / peak : 0.0);
    const std::vector<ScaleTick> ticks = {{0.0, "0"}, {0.5, Number(peak / 2)}, {1.0, Number(peak)}};
    const Picture bar = ColourBar(SequentialColour, ticks, "DIFFERENCE", std::min<int>(kBarHeight, picture.height) < 64
                                                                            ? 64
                                                                            : std::min<int>(kBarHeight, picture.height));
    return WritePng(SideBySide(picture, bar, kFigureBackground), path, error);
}

std::string LevelName(const LevelDifference& level, bool faces) {
    std::string name = faces ? "face " + std::to_string(level.face) + " " : std::string();
    return name + "level " + std::to_string(level.level) + " (" +
           ShapeText(level.width, level.height, level.depth,
                     level.depth > 1 ? D3DRTYPE_VOLUMETEXTURE : D3DRTYPE_TEXTURE) +
           ")";
}

int RunDiff(const std::vector<std::string>& operands, const CommandOptions& options) {
    if (operands.size() != 2)
        return ReportError("diff compares two files, A and B, and was given " + std::to_string(operands.size()),
                           kExitUsage);
    double threshold = 0;
    if (const auto text = options.Value("--fail-above")) {
        char* end = nullptr;
        threshold = std::strtod(text->c_str(), &end);
        if (text->empty() || *end != '\0' || !(threshold >= 0) || std::isinf(threshold))
            return ReportError("--fail-above " + *text + ": expected a difference from 0 (1 is the full range)",
                               kExitUsage);
    }
    ImageFile a, b;
    std::string error;
    if (!ReadImageFile(operands[0], a, &error) || !ReadImageFile(operands[1], b, &error))
        return ReportError(error + "; nothing compared", kExitUsage);
    ImageDifference difference;
    if (const HRESULT result = CompareImages(a.image, b.image, difference); FAILED(result))
        return ReportError("cannot compare " + operands[0] + " and " + operands[1] + ": " + ResultReason(result),
                           kExitUsage);
    if (!difference.incomparable.empty())
        return ReportError("cannot compare " + operands[0] + " and " + operands[1] + ": " + difference.incomparable,
                           kExitUsage);
    const bool within = difference.LargestDifference() <= threshold;
    if (const auto output = options.Value("--output"))
        if (!WriteDifferencePicture(a.image, b.image, *output, &error)) return ReportError(error, kExitUsage);

    const bool faces = FaceCount(a.image) > 1;
    if (options.Has("--json")) {
        nlohmann::ordered_json levels = nlohmann::ordered_json::array();
        for (const LevelDifference& level : difference.levels) {
            nlohmann::ordered_json channels = nlohmann::ordered_json::object();
            for (std::size_t c = 0; c < 4; ++c) {
                const ChannelDifference& d = level.channels[c];
                channels[std::string(1, kChannelNames[c])] = {
                    {"max", d.maximum}, {"mean_abs", d.meanAbsolute}, {"rmse", d.rootMeanSquare},
                    {"psnr", JsonNumber(d.peakSignalToNoise)}, {"differing", d.differingShare}};
            }
            levels.push_back({{"face", level.face}, {"level", level.level}, {"width", level.width},
                              {"height", level.height}, {"depth", level.depth},
                              {"differing", level.differingShare}, {"channels", channels}});
        }
        const nlohmann::ordered_json json = {{"a", operands[0]},
                                             {"b", operands[1]},
                                             {"max", difference.LargestDifference()},
                                             {"threshold", threshold},
                                             {"within", within},
                                             {"levels", levels}};
        std::printf("%s\n", json.dump().c_str());
    } else {
        for (const LevelDifference& level : difference.levels) {
            std::printf("%s: %s of the pixels differ\n", LevelName(level, faces).c_str(),
                        (Number(level.differingShare * 100) + "%").c_str());
            for (std::size_t c = 0; c < 4; ++c) {
                const ChannelDifference& d = level.channels[c];
                std::printf("  %c: max %s, mean abs %s, RMSE %s, PSNR %s dB, differing %s%%\n", kChannelNames[c],
                            Number(d.maximum).c_str(), Number(d.meanAbsolute).c_str(),
                            Number(d.rootMeanSquare).c_str(), Number(d.peakSignalToNoise).c_str(),
                            Number(d.differingShare * 100).c_str());
            }
        }
        std::printf("%s: largest difference %s, threshold %s\n", within ? "PASS" : "FAIL",
                    Number(difference.LargestDifference()).c_str(), Number(threshold).c_str());
    }
    return within ? kExitSuccess : kExitFailure;
}

constexpr CommandOption kDiffOptions[] = {
    {"-o", "--output", "FILE", "a PNG of where the top levels differ, amplified, beside a colour bar"},
    {"", "--fail-above", "X", "the largest difference allowed, 0 to 1 of a channel's range (default 0:\n"
                              "any difference fails; 1/255 is one step of an 8-bit channel)"},
    kJsonOption,
};

}  // namespace

extern const BatchCommand kDiffCommand = {
    "diff",
    "compares two image files level by level and channel by channel: largest and mean difference, RMSE, PSNR, "
    "share of differing pixels",
    "A B [-o FILE] [--fail-above X] [--json]",
    kDiffOptions,
    "      Exit code 0 when the largest difference is at most the threshold, 1 when it is above it, 2 when\n"
    "      the files cannot be compared (a file unreadable, sizes, level or face counts different).\n",
    nullptr,
    nullptr,
    RunDiff,
};

}  // namespace quillmark::batch
