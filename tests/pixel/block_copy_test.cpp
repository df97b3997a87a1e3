// Raw copy of block-compressed formats: whole 4 x 4 blocks move when both
// boxes hold whole blocks (edges on the block grid or on the surface's
// edge); otherwise the filter declines.
#include "codec_test_support.h"
#include "pixel/conversion_job.h"

namespace quillmark {
namespace {

void Describe(ConversionJob& job, const SurfaceDesc& to, const SurfaceDesc& from) {
    job.filter = RESAMPLE_TRIANGLE;
    job.destination = testing::MustCreate(to);
    job.source = testing::MustCreate(from);
}

// An 8 x 8 DXT1 image is 2 x 2 blocks of 8 bytes, 16 bytes per block row;
// block (bx, by) holds the byte 0x10 * (by * 2 + bx) + k.
TEST(BlockCopy, MovesWholeBlocksBetweenAlignedBoxes) {
    std::vector<BYTE> source(32), destination(32, 0xEE);
    for (int i = 0; i < 32; ++i) source[i] = static_cast<BYTE>(0x10 * (i / 8) + i % 8);
    SurfaceDesc from = testing::DescOver(source.data(), D3DFMT_DXT1, 8, 8, 16);
    SurfaceDesc to = testing::DescOver(destination.data(), D3DFMT_DXT1, 8, 8, 16);
    from.Box = {4, 0, 8, 8, 0, 1};  // right block column
    to.Box = {0, 0, 4, 8, 0, 1};    // left block column
    ConversionJob job;
    Describe(job, to, from);
    ASSERT_EQ(RawCopyFilter(job), S_OK);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(destination[k], 0x10 + k);       // block (1, 0) -> (0, 0)
        EXPECT_EQ(destination[8 + k], 0xEE);       // (1, 0) untouched
        EXPECT_EQ(destination[16 + k], 0x30 + k);  // block (1, 1) -> (0, 1)
    }
}

TEST(BlockCopy, DeclinesBoxesOffTheBlockGrid) {
    std::vector<BYTE> source(32), destination(32);
    SurfaceDesc from = testing::DescOver(source.data(), D3DFMT_DXT1, 8, 8, 16);
    SurfaceDesc to = testing::DescOver(destination.data(), D3DFMT_DXT1, 8, 8, 16);
    from.Box = {2, 0, 6, 4, 0, 1};
    to.Box = {0, 0, 4, 4, 0, 1};
    ConversionJob job;
    Describe(job, to, from);
    EXPECT_LT(RawCopyFilter(job), 0);
}

TEST(BlockCopy, PackedPairsAreNeverRawCopied) {
    std::vector<BYTE> source(16), destination(16);
    ConversionJob job;
    job.destination = testing::MustCreate(testing::DescOver(destination.data(), D3DFMT_YUY2, 4, 2, 8));
    job.source = testing::MustCreate(testing::DescOver(source.data(), D3DFMT_YUY2, 4, 2, 8));
    EXPECT_LT(RawCopyFilter(job), 0);
}

}  // namespace
}  // namespace quillmark
