// Checks shared by the tests of the JPEG and PNG codecs: walking a corpus
// folder with each file read through ReadImage, damaging a file in many ways,
// and a writer running into a full file.
#pragma once

#include "imagecodec/decoded_image.h"
#include "file_size_limit.h"
#include "guarded_bytes.h"
#include "imagecodec/image_codec.h"
#include "imagecodec/image_output.h"
#include "imagecodec/memory_buffer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace quillmark::testing {

using Bytes = std::vector<BYTE>;

inline Bytes FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ReadImage on a guarded copy of `file`: S_OK or TEXERR_UNREADABLE, never a
// crash or a read past the bytes.
inline HRESULT ReadGuarded(const Bytes& file, DecodedImage& image) {
    const GuardedBytes guarded(file);
    return image.ReadImage(guarded.data(), guarded.size(), nullptr, TRUE);
}

// Cuts of `file` at twelve places and twelve single-byte corruptions of them.
inline void ExpectDamageIsSurvived(const Bytes& file, const std::string& name, std::mt19937& random) {
    for (int damage = 0; damage < 24; ++damage) {
        Bytes bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(file.size() * (damage % 12 + 1) / 13));
        if (damage >= 12) bytes[random() % bytes.size()] ^= static_cast<BYTE>(1 + random() % 255);
        DecodedImage image;
        const HRESULT result = ReadGuarded(bytes, image);
        EXPECT_TRUE(result == S_OK || result == TEXERR_UNREADABLE) << name << " damage " << damage;
    }
}

// Calls `check` with the name, bytes, ReadImage result and decoded image of
// every file of `folder` ending in `extension`, and the path of its
// reference reading (empty when there is none); then damages each file.
inline void ForEachCorpusFile(
    const std::filesystem::path& folder, const std::string& extension,
    const std::function<void(const std::string&, const Bytes&, HRESULT, const DecodedImage&,
                             const std::filesystem::path&)>& check) {
    std::mt19937 random(3);
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != extension) continue;
        const std::string name = entry.path().filename().string();
        const Bytes file = FileBytes(entry.path());
        DecodedImage image;
        const HRESULT result = ReadGuarded(file, image);
        const std::filesystem::path reference = folder / "reference" / (name + ".png");
        check(name, file, result, image, std::filesystem::exists(reference) ? reference : std::filesystem::path());
        ExpectDamageIsSurvived(file, name, random);
    }
}

// An X8R8G8B8 image over `pixels`, `width` pixels to a row.
inline void DescribeX8R8G8B8(DecodedImage& image, std::vector<DWORD>& pixels, UINT width, UINT height) {
    image.format = D3DFMT_X8R8G8B8;
    image.pixels = reinterpret_cast<BYTE*>(pixels.data());
    image.width = width, image.height = height, image.depth = 1, image.rowPitch = width * 4;
    image.box = D3DBOX{0, 0, width, height, 0, 1};
}

// The file WriteImage makes of an X8R8G8B8 image, in memory.
inline Bytes WrittenX8R8G8B8(ImageFileFormat fileFormat, std::vector<DWORD>& pixels, UINT width, UINT height) {
    DecodedImage image;
    DescribeX8R8G8B8(image, pixels, width, height);
    MemoryBuffer* buffer = nullptr;
    EXPECT_EQ(image.WriteImage(&buffer, fileFormat, OutputKind::Memory), S_OK);
    if (buffer == nullptr) return {};
    const auto* bytes = static_cast<const BYTE*>(buffer->GetBufferPointer());
    Bytes file(bytes, bytes + buffer->GetBufferSize());
    buffer->Release();
    return file;
}

// The writer of `fileFormat` on a 512 x 512 noise image (far more than the
// output's staging block) into a file that may not grow past 1000 bytes.
inline HRESULT WriteNoiseIntoAFullFile(ImageFileFormat fileFormat) {
    constexpr UINT kSide = 512;
    std::vector<DWORD> noise(kSide * kSide);
    std::mt19937 random(7);
    for (DWORD& pixel : noise) pixel = random() & 0xFFFFFF;
    DecodedImage image;
    DescribeX8R8G8B8(image, noise, kSide, kSide);
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("qm_full_" + std::to_string(getpid()) + ".img");
    HRESULT result;
    {
        ImageOutput output;
        if (FAILED(output.Open(path.string().c_str(), OutputKind::AnsiPath))) return S_FALSE;
        FileSizeLimit limit(1000);
        result = FindImageCodec(fileFormat)->write(image, output);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    return result;
}

}  // namespace quillmark::testing
