// The image the file benchmarks share: 2048 x 2048 pixels of 24 bits with a
// pattern that defeats run-length tricks, as pixels and as a bitmap file.
#pragma once

#include "imagecodec/decoded_image.h"
#include "imagecodec/memory_buffer.h"

#include <vector>

namespace quillmark::bench {

inline constexpr UINT kBitmapSide = 2048;
inline constexpr UINT kBitmapPitch = kBitmapSide * 3;

inline std::vector<BYTE> BitmapPixels() {
    std::vector<BYTE> pixels(std::size_t{kBitmapPitch} * kBitmapSide);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<BYTE>(i * 31 + (i >> 12));
    return pixels;
}

// Points `image` at `pixels` as a 24-bit image.
inline void DescribeBitmap(DecodedImage& image, std::vector<BYTE>& pixels) {
    image.format = D3DFMT_R8G8B8;
    image.pixels = pixels.data();
    image.width = image.height = kBitmapSide;
    image.depth = 1;
    image.rowPitch = kBitmapPitch;
    image.box = D3DBOX{0, 0, kBitmapSide, kBitmapSide, 0, 1};
}

// A bottom-up 24-bit file, as most writers store it.
inline std::vector<BYTE> EncodedBitmap() {
    std::vector<BYTE> pixels = BitmapPixels();
    DecodedImage image;
    DescribeBitmap(image, pixels);
    MemoryBuffer* buffer = nullptr;
    if (FAILED(image.WriteImage(&buffer, ImageFileFormat::Bmp, OutputKind::Memory))) return {};
    const auto* bytes = static_cast<const BYTE*>(buffer->GetBufferPointer());
    std::vector<BYTE> file(bytes, bytes + buffer->GetBufferSize());
    buffer->Release();
    return file;
}

}  // namespace quillmark::bench
