#include "texfile/difference.h"

#include "texfile/level_floats.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quillmark {
namespace {

constexpr std::size_t kChannels = 4;

std::string SizeText(const DecodedImage& level) {
    std::string text = std::to_string(level.width) + " x " + std::to_string(level.height);
    if (level.depth > 1) text += " x " + std::to_string(level.depth);
    return text;
}

UINT FaceCount(const DecodedImage& top) {
    UINT faces = 0;
    for (const DecodedImage* face = &top; face != nullptr; face = face->nextFace) ++faces;
    return faces;
}

// Why the shapes differ, or empty.
std::string ShapeDifference(const DecodedImage& first, const DecodedImage& second) {
    const auto counted = [](UINT n, const char* what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); };
    if (FaceCount(first) != FaceCount(second))
        return "the first has " + counted(FaceCount(first), "face") + ", the second " +
               counted(FaceCount(second), "face");
    if (LevelCount(first) != LevelCount(second))
        return "the first has " + counted(LevelCount(first), "level") + ", the second " +
               counted(LevelCount(second), "level");
    UINT index = 0;
    for (const DecodedImage *a = &first, *b = &second; a != nullptr; a = a->nextLevel, b = b->nextLevel, ++index) {
        if (a->width == b->width && a->height == b->height && a->depth == b->depth) continue;
        const std::string which = index == 0 ? std::string() : "level " + std::to_string(index) + " of ";
        return which + "the first is " + SizeText(*a) + ", " + which + "the second " + SizeText(*b);
    }
    return {};
}

HRESULT CompareLevels(const DecodedImage& a, const DecodedImage& b, LevelDifference& out) {
    std::vector<float> first, second;
    HRESULT result = LevelAsFloats(a, first);
    if (SUCCEEDED(result)) result = LevelAsFloats(b, second);
    if (FAILED(result)) return result;
    out.width = a.width, out.height = a.height, out.depth = a.depth;
    const std::size_t pixels = first.size() / kChannels;
    std::array<double, kChannels> absolute{}, squared{};
    std::array<std::size_t, kChannels> differing{};
    std::size_t differingPixels = 0;
    for (std::size_t p = 0; p < pixels; ++p) {
        bool differs = false;
        for (std::size_t c = 0; c < kChannels; ++c) {
            const double d = std::fabs(static_cast<double>(first[kChannels * p + c]) - second[kChannels * p + c]);
            out.channels[c].maximum = std::max(out.channels[c].maximum, d);
            absolute[c] += d;
            squared[c] += d * d;
            if (d != 0) ++differing[c], differs = true;
        }
        if (differs) ++differingPixels;
    }
    const double count = static_cast<double>(pixels);
    for (std::size_t c = 0; c < kChannels; ++c) {
        ChannelDifference& channel = out.channels[c];
        channel.meanAbsolute = absolute[c] / count;
        channel.rootMeanSquare = std::sqrt(squared[c] / count);
        channel.peakSignalToNoise = channel.rootMeanSquare == 0 ? std::numeric_limits<double>::infinity()
                                                                : -20.0 * std::log10(channel.rootMeanSquare);
        channel.differingShare = static_cast<double>(differing[c]) / count;
    }
    out.differingShare = static_cast<double>(differingPixels) / count;
    return S_OK;
}

}  // namespace

double ImageDifference::LargestDifference() const {
    double largest = 0;
    for (const LevelDifference& level : levels)
        for (const ChannelDifference& channel : level.channels) largest = std::max(largest, channel.maximum);
    return largest;
}

HRESULT CompareImages(const DecodedImage& first, const DecodedImage& second, ImageDifference& difference) {
    difference = {};
    difference.incomparable = ShapeDifference(first, second);
    if (!difference.incomparable.empty()) return S_OK;
    UINT faceIndex = 0;
    for (const DecodedImage *faceA = &first, *faceB = &second; faceA != nullptr;
         faceA = faceA->nextFace, faceB = faceB->nextFace, ++faceIndex) {
        UINT levelIndex = 0;
        for (const DecodedImage *a = faceA, *b = faceB; a != nullptr; a = a->nextLevel, b = b->nextLevel, ++levelIndex) {
            LevelDifference level;
            level.face = faceIndex;
            level.level = levelIndex;
            const HRESULT result = CompareLevels(*a, *b, level);
            if (FAILED(result)) return result;
            difference.levels.push_back(level);
        }
    }
    return S_OK;
}

}  // namespace quillmark
