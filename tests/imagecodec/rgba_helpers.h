// Test helpers: a decoded image as 8-bit RGBA (through the library's own
// conversion to A8R8G8B8), and ImageMagick's reading of a file as 8-bit
// RGBA, for comparing the readers and writers with an independent tool.
#pragma once

#include "imagecodec/decoded_image.h"
#include "pixel/resample.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace quillmark::testing {

struct Rgba {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<unsigned char> bytes;  // r, g, b, a per pixel, rows top-down
};

// The image converted to A8R8G8B8 without dither, as RGBA bytes.
inline bool ToRgba(const DecodedImage& image, Rgba& out) {
    out.width = image.width;
    out.height = image.height;
    std::vector<unsigned char> bgra(std::size_t{image.width} * image.height * 4);
    SurfaceDesc source = image.Describe();
    source.Extent = source.Box = D3DBOX{0, 0, image.width, image.height, 0, 1};
    SurfaceDesc destination;
    destination.Data = bgra.data();
    destination.Format = D3DFMT_A8R8G8B8;
    destination.RowPitch = static_cast<INT>(image.width * 4);
    destination.Extent = destination.Box = source.Box;
    if (FAILED(RunConversion(destination, source, RESAMPLE_NONE))) return false;
    out.bytes.resize(bgra.size());
    for (std::size_t i = 0; i < bgra.size(); i += 4) {
        out.bytes[i] = bgra[i + 2];
        out.bytes[i + 1] = bgra[i + 1];
        out.bytes[i + 2] = bgra[i];
        out.bytes[i + 3] = bgra[i + 3];
    }
    return true;
}

inline bool HaveImageMagick() { return std::system("convert -version > /dev/null 2>&1") == 0; }

inline std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// ImageMagick's reading of `path` as RGBA bytes (its size from identify).
inline bool ReadWithImageMagick(const std::string& path, Rgba& out) {
    FILE* size = popen(("identify -format '%w %h' " + Quoted(path) + " 2>/dev/null").c_str(), "r");
    if (size == nullptr) return false;
    const int fields = std::fscanf(size, "%u %u", &out.width, &out.height);
    pclose(size);
    if (fields != 2) return false;
    FILE* pixels = popen(("convert " + Quoted(path) + " -depth 8 rgba:- 2>/dev/null").c_str(), "r");
    if (pixels == nullptr) return false;
    out.bytes.resize(std::size_t{out.width} * out.height * 4);
    const std::size_t got = std::fread(out.bytes.data(), 1, out.bytes.size(), pixels);
    pclose(pixels);
    return got == out.bytes.size();
}

// Number of channel values differing by more than `tolerance`; alpha is
// compared only when `compareAlpha`.
inline std::size_t CountDifferences(const Rgba& a, const Rgba& b, int tolerance, bool compareAlpha) {
    if (a.width != b.width || a.height != b.height || a.bytes.size() != b.bytes.size()) return ~std::size_t{0};
    std::size_t differences = 0;
    for (std::size_t i = 0; i < a.bytes.size(); ++i) {
        if (i % 4 == 3 && !compareAlpha) continue;
        if (std::abs(int(a.bytes[i]) - int(b.bytes[i])) > tolerance) ++differences;
    }
    return differences;
}

// Channel widths of a file's pixels, red, green, blue, alpha (0: not stored).
struct ChannelBits {
    int bits[4];
};

// Number of channel values whose stored field differs: ours is quantised by
// rounding to the field's width, theirs by keeping its top bits (ImageMagick
// widens short fields by shifting or by repeating the bits; either way the
// top bits are the field).
inline std::size_t CountFieldDifferences(const Rgba& ours, const Rgba& theirs, const ChannelBits& widths) {
    if (ours.width != theirs.width || ours.height != theirs.height) return ~std::size_t{0};
    std::size_t differences = 0;
    for (std::size_t i = 0; i < ours.bytes.size(); ++i) {
        const int bits = widths.bits[i % 4];
        if (bits == 0) continue;
        const int top = (1 << bits) - 1;
        const int ourField = (ours.bytes[i] * top + 127) / 255;
        const int theirField = theirs.bytes[i] >> (8 - bits);
        if (ourField != theirField) ++differences;
    }
    return differences;
}

}  // namespace quillmark::testing
