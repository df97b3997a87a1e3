// Builds bitmap files byte by byte for the reader and writer tests, so that
// every header field can be set to what a test needs (including lies).
#pragma once

#include "imagecodec/decoded_image.h"
#include "imagecodec/image_codec.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace quillmark::testing {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

inline void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct DibSpec {
    std::uint32_t headerSize = 40;
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha (headers of 52+)
};

// The info header of `spec` (headerSize bytes; 12 writes the core header).
inline Bytes InfoHeader(const DibSpec& spec) {
    Bytes b;
    Put32(b, spec.headerSize);
    if (spec.headerSize == 12) {
        Put16(b, static_cast<std::uint16_t>(spec.width));
        Put16(b, static_cast<std::uint16_t>(spec.height));
        Put16(b, spec.planes);
        Put16(b, spec.bitCount);
        return b;
    }
    Put32(b, static_cast<std::uint32_t>(spec.width));
    Put32(b, static_cast<std::uint32_t>(spec.height));
    Put16(b, spec.planes);
    Put16(b, spec.bitCount);
    Put32(b, spec.compression);
    Put32(b, 0);                  // biSizeImage
    Put32(b, 2834), Put32(b, 2834);
    Put32(b, spec.clrUsed);
    Put32(b, 0);                  // biClrImportant
    for (int i = 0; i < 4 && b.size() < spec.headerSize; ++i) Put32(b, spec.masks[i]);
    b.resize(spec.headerSize, 0);
    return b;
}

// A whole DIB: header, colour table (entries of 3 or 4 bytes, b g r [0]) and bits.
inline Bytes Dib(const DibSpec& spec, const std::vector<std::uint32_t>& colours, const Bytes& bits) {
    Bytes b = InfoHeader(spec);
    for (std::uint32_t c : colours) {
        b.push_back(static_cast<std::uint8_t>(c));
        b.push_back(static_cast<std::uint8_t>(c >> 8));
        b.push_back(static_cast<std::uint8_t>(c >> 16));
        if (spec.headerSize != 12) b.push_back(0);
    }
    b.insert(b.end(), bits.begin(), bits.end());
    return b;
}

// The DIB behind a 14-byte file header.
inline Bytes Bmp(const Bytes& dib) {
    Bytes b = {'B', 'M'};
    Put32(b, static_cast<std::uint32_t>(14 + dib.size()));
    Put32(b, 0);
    Put32(b, 0);  // bfOffBits 0: the pixels follow the colour table
    b.insert(b.end(), dib.begin(), dib.end());
    return b;
}

// The same with `gap` bytes of `filler` between the colour table and the
// pixels, the last `pixelBytes` bytes of the DIB, and bfOffBits saying so.
inline Bytes BmpWithGap(const Bytes& dib, std::size_t pixelBytes, std::size_t gap, std::uint8_t filler) {
    Bytes spaced(dib.begin(), dib.end() - static_cast<std::ptrdiff_t>(pixelBytes));
    spaced.insert(spaced.end(), gap, filler);
    spaced.insert(spaced.end(), dib.end() - static_cast<std::ptrdiff_t>(pixelBytes), dib.end());
    Bytes b = Bmp(spaced);
    Set32(b, 10, static_cast<std::uint32_t>(b.size() - pixelBytes));
    return b;
}

// `file` read by the BMP reader (or, with viaBmp false, the DIB reader)
// alone, as ReadImage would run it.
inline HRESULT ReadBitmap(DecodedImage& image, const Bytes& file, bool viaBmp = true, BOOL decode = TRUE) {
    image.decodePixels = decode;
    const ImageCodec* codec = FindImageCodec(viaBmp ? ImageFileFormat::Bmp : ImageFileFormat::Dib);
    return codec->read(image, file.data(), static_cast<UINT>(file.size()));
}

}  // namespace quillmark::testing
