// How far two images are apart, level by level and channel by channel: the
// largest and mean absolute difference, the root mean square difference and
// the peak signal-to-noise ratio, and the share of pixels that differ; or,
// for two images of different shapes, why they cannot be compared.
#pragma once

#include "imagecodec/decoded_image.h"

#include <array>
#include <string>
#include <vector>

namespace quillmark {

// Values are on the scale LevelAsFloats gives (0 to 1 for unsigned
// normalised formats, so 1/255 is one step of an 8-bit channel).
struct ChannelDifference {
    double maximum = 0;
    double meanAbsolute = 0;
    double rootMeanSquare = 0;
    double peakSignalToNoise = 0;  // dB for a peak of 1; infinite when equal
    double differingShare = 0;     // pixels whose channel differs, 0 to 1
};

struct LevelDifference {
    UINT face = 0;
    UINT level = 0;
    UINT width = 0;
    UINT height = 0;
    UINT depth = 0;
    std::array<ChannelDifference, 4> channels;  // red, green, blue, alpha
    double differingShare = 0;                  // pixels where any channel differs
};

struct ImageDifference {
    // Why the images cannot be compared ("the first is 64 x 64, the second
    // 32 x 32"); empty when they were.
    std::string incomparable;
    std::vector<LevelDifference> levels;  // face by face, each face's levels largest first

    // The largest difference of any channel of any level.
    double LargestDifference() const;
};

// Compares every level of every face of `first` and `second` (as ReadImage
// gives them, pixels decoded). S_OK, with `incomparable` set when their
// shapes differ; E_OUTOFMEMORY, or a conversion's failure.
HRESULT CompareImages(const DecodedImage& first, const DecodedImage& second, ImageDifference& difference);

}  // namespace quillmark
