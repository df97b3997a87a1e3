#include "app/batch/comparison.h"

#include "app/test_textures.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace quillmark::batch {
namespace {

constexpr std::uint32_t kLevelMarks[kMipLevels] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF,
                                                   0x00FFFF, 0xFFFFFF, 0xFF8000, 0x8000FF, 0x808080};
constexpr int kMarkTolerance = 24;  // per channel, for drivers that filter a solid colour to 254

int Channel(std::uint32_t pixel, int shift) { return int((pixel >> shift) & 0xFF); }

}  // namespace

std::vector<std::uint32_t> DifferenceImage(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    std::vector<std::uint32_t> out(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        std::uint32_t pixel = 0xFF000000u;
        for (int shift : {0, 8, 16})
            pixel |= std::uint32_t(std::min(255, std::abs(Channel(a[i], shift) - Channel(b[i], shift)) * kDifferenceGain))
                     << shift;
        out[i] = pixel;
    }
    return out;
}

std::vector<std::uint32_t> DifferingPixels(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    std::vector<std::uint32_t> out(std::min(a.size(), b.size()));
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = ((a[i] ^ b[i]) & 0xFFFFFF) != 0 ? kDifferingColour : kEqualColour;
    return out;
}

std::uint32_t LevelMarkColor(int level) { return kLevelMarks[level]; }

int LevelOfPixel(std::uint32_t pixel) {
    for (int level = 0; level < kMipLevels; ++level) {
        bool near = true;
        for (int shift : {0, 8, 16})
            near = near && std::abs(Channel(pixel, shift) - Channel(kLevelMarks[level], shift)) <= kMarkTolerance;
        if (near) return level;
    }
    return -1;
}

std::optional<double> LevelAgreement::Share() const {
    const int either = pixelsA + pixelsB - same;
    if (either == 0) return std::nullopt;
    return double(same) / either;
}

std::optional<double> FrameAgreement::Within(std::size_t tolerance) const {
    if (pixels == 0) return std::nullopt;
    return double(within[tolerance]) / pixels;
}

FrameAgreement CompareFrames(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    FrameAgreement agreement;
    agreement.pixels = int(std::min(a.size(), b.size()));
    for (std::size_t i = 0; i < std::size_t(agreement.pixels); ++i) {
        int largest = 0;
        for (int shift : {0, 8, 16}) largest = std::max(largest, std::abs(Channel(a[i], shift) - Channel(b[i], shift)));
        for (std::size_t t = 0; t < kFrameTolerances.size(); ++t) agreement.within[t] += largest <= kFrameTolerances[t];
    }
    return agreement;
}

std::string DeviceFileName(const std::string& device) {
    std::string name = device;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') c = '_';
    return name;
}

std::vector<LevelAgreement> CompareLevels(const std::vector<int>& a, const std::vector<int>& b) {
    std::vector<LevelAgreement> levels(kMipLevels);
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i] >= 0) ++levels[std::size_t(a[i])].pixelsA;
        if (b[i] >= 0) ++levels[std::size_t(b[i])].pixelsB;
        if (a[i] >= 0 && a[i] == b[i]) ++levels[std::size_t(a[i])].same;
    }
    return levels;
}

}  // namespace quillmark::batch
