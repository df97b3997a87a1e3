// Inputs the fuzz targets found (docs/fuzzing.md lists each beside its
// test): every one a small hand-made file, held in a block of exactly its
// size, beside what the reader must do with it.
#include "codec_test_support.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <unistd.h>
#include <zlib.h>

namespace quillmark {
namespace {

using testing::Bytes;

void AppendBigEndian32(Bytes& bytes, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(BYTE(value >> shift));
}

// The PNG signature and the header chunk of a 2 x 2 8-bit RGB image.
Bytes PngSignatureAndHeader() {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    AppendBigEndian32(png, 13);
    const std::size_t typeAt = png.size();
    png.insert(png.end(), {'I', 'H', 'D', 'R'});
    AppendBigEndian32(png, 2);
    AppendBigEndian32(png, 2);
    png.insert(png.end(), {8, 2, 0, 0, 0});
    AppendBigEndian32(png, std::uint32_t(crc32(0, png.data() + typeAt, uInt(png.size() - typeAt))));
    return png;
}

// The most memory malloc has held in mapped blocks in this process so far,
// as its statistics report (they go to standard error, taken from there).
std::uint64_t PeakMappedBytes() {
    std::fflush(stderr);
    FILE* report = std::tmpfile();
    const int savedError = dup(STDERR_FILENO);
    dup2(fileno(report), STDERR_FILENO);
    malloc_stats();
    std::fflush(stderr);
    dup2(savedError, STDERR_FILENO);
    close(savedError);
    std::rewind(report);
    unsigned long long peak = 0;
    char line[256];
    while (std::fgets(line, sizeof(line), report) != nullptr)
        if (std::sscanf(line, "max mmap bytes = %llu", &peak) == 1) break;
    std::fclose(report);
    return peak;
}

TEST(FuzzFindings, APngChunkClaimingGigabytesReservesNothingLikeIt) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps no malloc statistics";
#endif
    // After the header, an sPLT chunk whose length field claims 1.75 GiB
    // and whose data stops after 8 bytes (found as a 112-byte file).
    Bytes png = PngSignatureAndHeader();
    AppendBigEndian32(png, 0x70000000);
    png.insert(png.end(), {'s', 'P', 'L', 'T', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'});
    const testing::ExactInput input(png);
    const std::uint64_t before = PeakMappedBytes();
    DecodedImage image;
    EXPECT_EQ(testing::ReadWith(FindImageCodec(ImageFileFormat::Png)->read, input, image), E_FAIL);
    EXPECT_LT(PeakMappedBytes() - before, std::uint64_t{64} << 20);
}

}  // namespace
}  // namespace quillmark
