// Helpers for the reader tests of TGA, PPM, PFM and HDR: inputs held in a
// block of exactly their size (so that the sanitizer build sees any read past
// the end), files on disk, and other programs' readings of a file.
#pragma once

#include "imagecodec/decoded_image.h"
#include "imagecodec/image_codec.h"
#include "imagecodec/memory_buffer.h"
#include "pillow.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace quillmark::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A one-slice image record over `pixels` with the given pitch and format.
inline void Describe(DecodedImage& image, D3DFORMAT format, std::vector<BYTE>& pixels, UINT width, UINT height,
                     UINT pitch) {
    image.format = format;
    image.pixels = pixels.data();
    image.width = width;
    image.height = height;
    image.depth = 1;
    image.rowPitch = pitch;
    image.box = D3DBOX{0, 0, width, height, 0, 1};
}

inline Bytes ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A copy of some bytes in a heap block of exactly their size.
class ExactInput {
public:
    explicit ExactInput(const Bytes& bytes) : block_(new BYTE[bytes.size()]), size_(bytes.size()) {
        if (!bytes.empty()) std::memcpy(block_.get(), bytes.data(), bytes.size());
    }
    const BYTE* Data() const { return block_.get(); }
    UINT Size() const { return static_cast<UINT>(size_); }

private:
    std::unique_ptr<BYTE[]> block_;
    std::size_t size_;
};

// Describes `pixels` (RGBA floats, `width` per row, whole rows) as an
// A32B32G32R32F image without copying them.
inline void DescribeFloats(DecodedImage& image, std::vector<float>& pixels, UINT width) {
    image.format = D3DFMT_A32B32G32R32F;
    image.pixels = reinterpret_cast<BYTE*>(pixels.data());
    image.width = width;
    image.height = static_cast<UINT>(pixels.size() / 4 / width);
    image.depth = 1;
    image.rowPitch = width * 16;
    image.box = D3DBOX{0, 0, image.width, image.height, 0, 1};
}

// The file WriteImage makes of `image` in memory; empty when it fails.
inline Bytes WriteToMemory(DecodedImage& image, ImageFileFormat fileFormat) {
    MemoryBuffer* buffer = nullptr;
    if (FAILED(image.WriteImage(&buffer, fileFormat, OutputKind::Memory))) return {};
    const auto* bytes = static_cast<const BYTE*>(buffer->GetBufferPointer());
    Bytes file(bytes, bytes + buffer->GetBufferSize());
    buffer->Release();
    return file;
}

// Runs one reader as ReadImage would, on `input`, with the record emptied first.
inline HRESULT ReadWith(ImageReadFunction reader, const ExactInput& input, DecodedImage& image, BOOL decode = TRUE) {
    image.ReleaseContents();
    image.decodePixels = decode;
    return reader(image, input.Data(), input.Size());
}

// Float pixel (x, y) of an A32B32G32R32F image.
inline const float* FloatPixel(const DecodedImage& image, UINT x, UINT y) {
    return reinterpret_cast<const float*>(image.pixels + std::size_t{y} * image.rowPitch) + 4 * x;
}

inline bool HaveProgram(const std::string& name) {
    return std::system(("command -v " + name + " > /dev/null 2>&1").c_str()) == 0;
}

inline int RunQuietly(const std::string& command) { return std::system((command + " > /dev/null 2>&1").c_str()); }

// oiiotool's reading of `path` as three floats per pixel, rows top-down.
inline bool ReadFloatsWithOiio(const std::string& path, UINT width, UINT height, std::vector<float>& rgb) {
    FILE* pipe = popen(("oiiotool --dumpdata '" + path + "' 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return false;
    rgb.assign(std::size_t{width} * height * 3, -1.0f);
    std::size_t seen = 0;
    char line[512];
    while (std::fgets(line, sizeof(line), pipe) != nullptr) {
        unsigned x, y;
        float r, g, b;
        if (std::sscanf(line, " Pixel (%u, %u): %f %f %f", &x, &y, &r, &g, &b) != 5 || x >= width || y >= height)
            continue;
        float* out = &rgb[(std::size_t{y} * width + x) * 3];
        out[0] = r, out[1] = g, out[2] = b;
        ++seen;
    }
    pclose(pipe);
    return seen == std::size_t{width} * height;
}

// Number of channel values of an A32B32G32R32F image that differ from `rgb`
// (three floats per pixel, rows top-down) by more than `relative` times the
// pixel's largest channel plus `absolute`.
inline std::size_t CountFloatDifferences(const DecodedImage& image, const std::vector<float>& rgb, float relative,
                                         float absolute) {
    if (rgb.size() != std::size_t{image.width} * image.height * 3) return ~std::size_t{0};
    std::size_t differences = 0;
    for (UINT y = 0; y < image.height; ++y) {
        for (UINT x = 0; x < image.width; ++x) {
            const float* ours = FloatPixel(image, x, y);
            const float* theirs = &rgb[(std::size_t{y} * image.width + x) * 3];
            const float largest = std::max({theirs[0], theirs[1], theirs[2]});
            for (int c = 0; c < 3; ++c)
                if (!(std::abs(ours[c] - theirs[c]) <= relative * largest + absolute)) ++differences;
        }
    }
    return differences;
}

}  // namespace quillmark::testing
