// DDS files made in tests: the header with or without the DX10 extension,
// and the reading of one.
#pragma once

#include "imagecodec/decoded_image.h"

#include <cstring>
#include <utility>
#include <vector>

namespace quillmark::testing {

inline constexpr DWORD kDx10 = MAKEFOURCC('D', 'X', '1', '0');

struct Dx10 {
    DWORD dxgi = 28;       // R8G8B8A8_UNORM
    DWORD dimension = 3;   // a 2-D texture
    DWORD miscFlags = 0;   // 0x4: a cube
    DWORD arraySize = 1;
};

// A file with the DX10 header (or, with a null `dx10`, the FourCC alone)
// followed by `data`.
inline std::vector<BYTE> DdsFile(UINT width, UINT height, DWORD mipCount, DWORD fourCC, const Dx10* dx10,
                                 const std::vector<BYTE>& data) {
    DWORD fields[32] = {0x20534444, 124, 0x21007, height, width, 0, 0, mipCount};
    fields[19] = 32, fields[20] = 0x4, fields[21] = fourCC, fields[27] = 0x1000;  // pixel format, caps
    std::vector<BYTE> file(128);
    std::memcpy(file.data(), fields, sizeof fields);
    if (dx10 != nullptr) {
        const DWORD extra[5] = {dx10->dxgi, dx10->dimension, dx10->miscFlags, dx10->arraySize, 0};
        file.resize(148);
        std::memcpy(file.data() + 128, extra, sizeof extra);
    }
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

// A read of a DDS file. The record may point into the file's bytes (block
// formats are kept as stored), so the read keeps its own copy of them for
// as long as the record lives.
struct DdsRead {
    std::vector<BYTE> file;
    DecodedImage image;
    ImageInfo info{};
    HRESULT result;
    explicit DdsRead(std::vector<BYTE> bytes) : file(std::move(bytes)) {
        result = image.ReadImage(file.data(), static_cast<UINT>(file.size()), &info, TRUE);
    }
};

}  // namespace quillmark::testing
