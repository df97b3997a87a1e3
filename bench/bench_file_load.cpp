// Loading an image file as A8R8G8B8 pixels: ReadImage, then one conversion
// of the whole image into a fresh block, as a texture load does. Driven by
// bench/load_vs_pillow.py, which alternates it with Pillow's decode of the
// same files: each line on standard input names a file; the answer is one
// line, the milliseconds of the read and of read plus conversion.
#include "imagecodec/decoded_image.h"
#include "pixel/resample.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quillmark {
namespace {

using Clock = std::chrono::steady_clock;
// A texture load's default filter; same-size conversions ignore the kind.
constexpr DWORD kLoadFilter = RESAMPLE_TRIANGLE | RESAMPLE_DITHER;
constexpr UINT kTargetBytesPerPixel = 4;

double Milliseconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Reads and converts `file`; false with a sentence on standard error when either fails.
bool Load(const std::vector<BYTE>& file, double& readMs, double& totalMs) {
    const Clock::time_point start = Clock::now();
    DecodedImage image;
    if (FAILED(image.ReadImage(file.data(), static_cast<UINT>(file.size()), nullptr, TRUE))) {
        std::cerr << "the file could not be read\n";
        return false;
    }
    const Clock::time_point read = Clock::now();
    const std::size_t pitch = std::size_t{image.width} * kTargetBytesPerPixel;
    const std::unique_ptr<BYTE[]> pixels(new BYTE[pitch * image.height]);
    SurfaceDesc destination;
    destination.Data = pixels.get();
    destination.Format = D3DFMT_A8R8G8B8;
    destination.RowPitch = static_cast<INT>(pitch);
    destination.Extent = destination.Box = D3DBOX{0, 0, image.width, image.height, 0, 1};
    if (FAILED(RunConversion(destination, image.Describe(), kLoadFilter))) {
        std::cerr << "the conversion to A8R8G8B8 failed\n";
        return false;
    }
    const Clock::time_point done = Clock::now();
    readMs = Milliseconds(start, read);
    totalMs = Milliseconds(start, done);
    return true;
}

int Serve() {
    std::map<std::string, std::vector<BYTE>> files;
    std::string path;
    while (std::getline(std::cin, path)) {
        auto [at, added] = files.try_emplace(path);
        if (added) {
            std::ifstream in(path, std::ios::binary);
            at->second.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            if (at->second.empty()) {
                std::cerr << path << ": the file could not be opened or is empty\n";
                return 1;
            }
        }
        double readMs = 0, totalMs = 0;
        if (!Load(at->second, readMs, totalMs)) return 1;
        std::printf("%.3f %.3f\n", readMs, totalMs);
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace
}  // namespace quillmark

int main() { return quillmark::Serve(); }
