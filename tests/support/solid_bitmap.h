// A 4 × 4 bitmap file of one colour, 24 bits per pixel, written by hand so
// that a test's texture does not depend on the writer under test.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace quillmark::testing {

inline void WriteSolidBitmap(const std::filesystem::path& path, std::uint32_t rgb) {
    std::string bytes = {'B', 'M'};
    const auto put32 = [&bytes](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(v >> (8 * i)));
    };
    put32(14 + 40 + 48), put32(0), put32(54);
    put32(40), put32(4), put32(4), put32(1 | 24 << 16), put32(0), put32(48), put32(2834), put32(2834), put32(0),
        put32(0);
    for (int i = 0; i < 16; ++i)
        for (int shift : {0, 8, 16}) bytes.push_back(static_cast<char>(rgb >> shift));
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace quillmark::testing
