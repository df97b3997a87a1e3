#include "texfile/describe.h"

#include "imagecodec/decoded_image.h"
#include "imagecodec/image_codec.h"
#include "pixel/pixel_format.h"
#include "pixel/pixel_format_names.h"
#include "texfile/level_floats.h"

#include <algorithm>
#include <array>

namespace quillmark {
namespace {

std::uint64_t LevelBytes(const DecodedImage& level) {
    const PixelFormatInfo& info = LookupPixelFormat(level.format);
    return std::uint64_t{level.rowPitch} * info.BlockRows(level.height) * level.depth;
}

// The channels the format has, as indices into the four floats a pixel.
struct Channel {
    char name;
    int index;
};

std::vector<Channel> ChannelsOf(D3DFORMAT format) {
    const PixelFormatInfo& info = LookupPixelFormat(format);
    std::vector<Channel> channels;
    if (info.kind == PIXEL_KIND_LUMINANCE) {
        channels.push_back({'L', 0});
    } else {
        if (info.redBits != 0) channels.push_back({'R', 0});
        if (info.greenBits != 0) channels.push_back({'G', 1});
        if (info.blueBits != 0) channels.push_back({'B', 2});
    }
    if (info.alphaBits != 0) channels.push_back({'A', 3});
    return channels;
}

HRESULT MeasureChannels(const DecodedImage& top, std::vector<ChannelStatistics>& statistics) {
    std::vector<float> rgba;
    const HRESULT converted = LevelAsFloats(top, rgba);
    if (FAILED(converted)) return converted;
    const std::size_t pixels = rgba.size() / 4;
    for (const Channel& channel : ChannelsOf(top.format)) {
        ChannelStatistics s{channel.name, rgba[channel.index], rgba[channel.index], 0.0};
        double sum = 0;
        for (std::size_t p = 0; p < pixels; ++p) {
            const double value = rgba[4 * p + channel.index];
            s.minimum = std::min(s.minimum, value);
            s.maximum = std::max(s.maximum, value);
            sum += value;
        }
        s.mean = sum / static_cast<double>(pixels);
        statistics.push_back(s);
    }
    return S_OK;
}

}  // namespace

HRESULT DescribeImage(const BYTE* bytes, UINT byteCount, bool withStatistics, ImageDescription& description) {
    description = {};
    DecodedImage image;
    ImageInfo info{};
    const HRESULT read = image.ReadImage(bytes, byteCount, &info, withStatistics ? TRUE : FALSE);
    if (FAILED(read)) return read;
    description.fileFormat = image.fileFormat;
    const ImageCodec* codec = FindImageCodec(image.fileFormat);
    description.fileFormatName = codec != nullptr ? codec->name : "";
    description.format = image.format;
    description.formatName = PixelFormatName(image.format);
    description.resourceType = image.resourceType;
    description.width = image.width;
    description.height = image.height;
    description.depth = image.depth;
    description.levels = LevelCount(image);
    for (const DecodedImage* face = &image; face != nullptr; face = face->nextFace) {
        ++description.faces;
        for (const DecodedImage* level = face; level != nullptr; level = level->nextLevel) {
            if (face == &image)
                description.levelFacts.push_back({level->width, level->height, level->depth, LevelBytes(*level)});
            description.totalBytes += LevelBytes(*level);
        }
    }
    if (image.fileFormat == ImageFileFormat::Dds) {
        DdsHeaderFacts facts;
        if (ReadDdsHeaderFacts(bytes, byteCount, facts)) description.dds = std::move(facts);
    }
    if (withStatistics) return MeasureChannels(image, description.statistics);
    return S_OK;
}

}  // namespace quillmark
