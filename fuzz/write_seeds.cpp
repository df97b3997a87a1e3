// Writes small files of every format the codec table can write, from a few
// pixel formats, as seeds for the fuzz targets: fuzz_seeds DIR makes
// DIR/<codec>/<pixel format>.<extension> (codec and extension in lower case).
#include "fuzz_support.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace quillmark;

namespace {

struct SeedImage {
    const char* name;
    D3DFORMAT format;
    UINT width;
    UINT height;
};

constexpr SeedImage kSeedImages[] = {
    {"a8r8g8b8", D3DFMT_A8R8G8B8, 7, 5},  {"x8r8g8b8", D3DFMT_X8R8G8B8, 4, 4},
    {"r5g6b5", D3DFMT_R5G6B5, 5, 3},      {"a1r5g5b5", D3DFMT_A1R5G5B5, 3, 2},
    {"p8", D3DFMT_P8, 9, 3},              {"l8", D3DFMT_L8, 3, 3},
    {"a8l8", D3DFMT_A8L8, 2, 2},          {"float", D3DFMT_A32B32G32R32F, 4, 2},
    {"r8g8b8", D3DFMT_R8G8B8, 17, 2},     {"a16b16g16r16", D3DFMT_A16B16G16R16, 2, 3},
};

void Fill(std::vector<BYTE>& pixels, const SeedImage& seed) {
    const bool isFloat = seed.format == D3DFMT_A32B32G32R32F;
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<BYTE>(i * 37 + i / 5);
    if (!isFloat) return;
    auto* values = reinterpret_cast<float*>(pixels.data());
    for (std::size_t i = 0; i < pixels.size() / 4; ++i) values[i] = static_cast<float>(i % 11) * 0.37f;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    PALETTEENTRY palette[256];
    for (int i = 0; i < 256; ++i) palette[i] = PALETTEENTRY{BYTE(i), BYTE(255 - i), BYTE(i * 3), 255};
    int written = 0;
    for (const ImageCodec* codec : ImageCodecs()) {
        if (codec->write == nullptr) continue;
        std::string folder = codec->name;
        for (char& c : folder) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::filesystem::path directory = std::filesystem::path(argv[1]) / folder;
        std::filesystem::create_directories(directory);
        for (const SeedImage& seed : kSeedImages) {
            const fuzz::BlockLayout layout = fuzz::LayoutOf(seed.format, seed.width, seed.height);
            std::vector<BYTE> pixels(layout.rowBytes * layout.rows);
            Fill(pixels, seed);
            DecodedImage image;
            image.format = seed.format;
            image.pixels = pixels.data();
            image.palette = seed.format == D3DFMT_P8 ? palette : nullptr;
            image.width = seed.width;
            image.height = seed.height;
            image.depth = 1;
            image.box = D3DBOX{0, 0, seed.width, seed.height, 0, 1};
            image.rowPitch = static_cast<UINT>(layout.rowBytes);
            MemoryBuffer* buffer = nullptr;
            if (FAILED(image.WriteImage(&buffer, codec->id, OutputKind::Memory))) continue;
            const fuzz::ExactInput file = fuzz::TakeWritten(buffer);
            std::ofstream(directory / (std::string(seed.name) + codec->extensions[0]), std::ios::binary)
                .write(reinterpret_cast<const char*>(file.Data()), file.Size());
            ++written;
        }
    }
    std::printf("%d seed files in %s\n", written, argv[1]);
    return written > 0 ? 0 : 1;
}
