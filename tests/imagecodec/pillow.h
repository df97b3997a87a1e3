// Pillow (python3-pil, an independent codec library) as a second opinion:
// files it writes from a Python snippet, and its reading of a file as 8-bit
// RGBA. Debian's interpreter is named in full: it is the one python3-pil
// serves.
#pragma once

#include "rgba_helpers.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace quillmark::testing {

inline constexpr const char* kSystemPython = "/usr/bin/python3";

// Runs a Python script with `path` as sys.argv[1]; true when it succeeds.
inline bool RunPython(const std::string& script, const std::string& path) {
    const std::string scriptPath = path + ".py";
    { std::ofstream(scriptPath) << script; }
    const std::string command = std::string(kSystemPython) + " " + Quoted(scriptPath) + " " + Quoted(path);
    const bool ok = std::system((command + " 2>/dev/null").c_str()) == 0;
    std::remove(scriptPath.c_str());
    return ok;
}

inline bool HavePillow() {
    return std::system((std::string(kSystemPython) + " -c 'import PIL' 2>/dev/null").c_str()) == 0;
}

// Pillow's reading of `path` as RGBA bytes.
inline bool ReadWithPillow(const std::string& path, Rgba& out) {
    const std::string command = std::string(kSystemPython) +
                                " -c 'import sys; from PIL import Image; im = Image.open(sys.argv[1]).convert(\"RGBA\");"
                                " sys.stdout.buffer.write(b\"%08d%08d\" % im.size + im.tobytes())' " +
                                Quoted(path) + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    // Width and height come first, as two 8-digit numbers.
    char size[17] = {};
    bool ok = std::fread(size, 1, 16, pipe) == 16 && std::sscanf(size, "%8u%8u", &out.width, &out.height) == 2;
    if (ok) {
        out.bytes.resize(std::size_t{out.width} * out.height * 4);
        ok = std::fread(out.bytes.data(), 1, out.bytes.size(), pipe) == out.bytes.size();
    }
    pclose(pipe);
    return ok;
}

}  // namespace quillmark::testing
