// Image files for the description and difference tests: DDS files built
// field by field, files Pillow writes, figures Pillow and ImageMagick
// compute, and a file read and kept alive with its decoded record.
#pragma once

#include "imagecodec/decoded_image.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quillmark::testing {

using Bytes = std::vector<BYTE>;

inline constexpr const char* kSystemPython = "/usr/bin/python3";

inline bool HavePillow() {
    return std::system((std::string(kSystemPython) + " -c 'import PIL' 2>/dev/null").c_str()) == 0;
}

inline bool HaveImageMagickCompare() { return std::system("compare -version > /dev/null 2>&1") == 0; }

// What a command prints on its standard output (and, with `withErrors`, its
// error output), or empty when it cannot run.
inline std::string OutputOf(const std::string& command, bool withErrors = false) {
    FILE* pipe = popen((command + (withErrors ? " 2>&1" : " 2>/dev/null")).c_str(), "r");
    if (pipe == nullptr) return {};
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
    return out;
}

// Runs a Python script (Debian's interpreter, which Pillow serves) with the
// arguments given; what it prints.
inline std::string RunPython(const std::filesystem::path& folder, const std::string& script, const std::string& args) {
    const std::filesystem::path path = folder / "script.py";
    { std::ofstream(path) << script; }
    return OutputOf(std::string(kSystemPython) + " " + path.string() + " " + args);
}

inline Bytes FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A file's bytes and their decoded record, which may point into them.
struct ReadFile {
    Bytes bytes;
    DecodedImage image;
    HRESULT result = E_FAIL;
    explicit ReadFile(Bytes file) : bytes(std::move(file)) {
        result = image.ReadImage(bytes.data(), static_cast<UINT>(bytes.size()), nullptr, TRUE);
    }
};

// A DDS header (magic included) for an uncompressed 32-bit A8R8G8B8 file or,
// with a FourCC, a compressed one, followed by `data`.
struct DdsSpec {
    UINT width = 4;
    UINT height = 4;
    DWORD flags = 0x1007;
    DWORD pitchOrLinearSize = 0;
    DWORD mipCount = 0;
    DWORD fourCC = 0;
    DWORD caps2 = 0;
};

inline Bytes DdsFile(const DdsSpec& s, const Bytes& data) {
    DWORD fields[32] = {0x20534444, 124, s.flags, s.height, s.width, s.pitchOrLinearSize, 0, s.mipCount};
    fields[19] = 32;
    if (s.fourCC != 0) {
        fields[20] = 0x4, fields[21] = s.fourCC;
    } else {
        fields[20] = 0x41, fields[22] = 32;
        fields[23] = 0xFF0000, fields[24] = 0xFF00, fields[25] = 0xFF, fields[26] = 0xFF000000;
    }
    fields[27] = 0x1000, fields[28] = s.caps2;
    Bytes file(128);
    std::memcpy(file.data(), fields, sizeof fields);
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

}  // namespace quillmark::testing
