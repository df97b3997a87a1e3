// The generated checkerboard: square sizes, tints and the filled texture.
#include "probe_fixture.h"
#include "app/test_textures.h"

namespace quillmark {
namespace {

TEST(CheckerSquareShift, WorkedTable) {
    const int shifts[] = {8, 3, 0, -3, -8};
    const int expected[5][10] = {
        {8, 7, 6, 5, 4, 3, 2, 1, 0, 0}, {3, 3, 3, 3, 3, 3, 2, 1, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {3, 2, 1, 0, 0, 0, 0, 0, 0, 0}, {8, 7, 6, 5, 4, 3, 2, 1, 0, 0},
    };
    for (int row = 0; row < 5; ++row)
        for (int level = 0; level < 10; ++level)
            EXPECT_EQ(CheckerSquareShift(shifts[row], level), expected[row][level])
                << "c=" << shifts[row] << " level " << level;
}

TEST(CheckerSquareShift, MinusOneGivesTwoTexelSquaresOnLevelZeroOnly) {
    EXPECT_EQ(CheckerSquareShift(-1, 0), 1);
    for (int level = 1; level < 10; ++level) EXPECT_EQ(CheckerSquareShift(-1, level), 0);
}

TEST(CheckerTexel, TintTable) {
    const std::uint32_t tints[10] = {0,        0x7F0000, 0x007F00, 0x00007F, 0x7F007F,
                                     0x007F7F, 0x7F7F00, 0x7F0000, 0x007F00, 0x00007F};
    for (int level = 1; level < 10; ++level) {
        EXPECT_EQ(kLevelTints[level], tints[level]);
        // With one-texel squares, texel (0, 0) has p = 1 and texel (1, 0) has p = 0.
        EXPECT_EQ(CheckerTexel(level, 0, 0, 0, 1), 0x7F7F7Fu + tints[level]);
        EXPECT_EQ(CheckerTexel(level, 1, 0, 0, 1), tints[level]);
        EXPECT_EQ(CheckerTexel(level, 0, 0, 0, 2), 2 * tints[level]);
        EXPECT_EQ(CheckerTexel(level, 1, 0, 0, 2), 2 * tints[level]);
        EXPECT_EQ(CheckerTexel(level, 0, 0, 0, 0), 0xFEFEFEu);
        EXPECT_EQ(CheckerTexel(level, 1, 0, 0, 0), 0u);
    }
}

TEST(CheckerTexel, LevelThreeTintedIsFourSquaresOf32) {
    EXPECT_EQ(CheckerTexel(3, 0, 0, 8, 1), 0x7F7FFEu);
    EXPECT_EQ(CheckerTexel(3, 31, 31, 8, 1), 0x7F7FFEu);
    EXPECT_EQ(CheckerTexel(3, 32, 0, 8, 1), 0x00007Fu);
    EXPECT_EQ(CheckerTexel(3, 0, 32, 8, 1), 0x00007Fu);
    EXPECT_EQ(CheckerTexel(3, 63, 63, 8, 1), 0x7F7FFEu);
}

TEST(CheckerTexel, LevelZeroIgnoresTintAndLevelNineIsWhite) {
    for (int tint = 0; tint < 3; ++tint) {
        EXPECT_EQ(CheckerTexel(0, 0, 0, 8, tint), 0xFEFEFEu);
        EXPECT_EQ(CheckerTexel(0, 256, 0, 8, tint), 0u);
    }
    for (int c = -8; c <= 8; ++c) EXPECT_EQ(CheckerTexel(9, 0, 0, c, 0), 0xFEFEFEu) << c;
}

using BuildMipTextureTest = test::ProbeFixture;

TEST_F(BuildMipTextureTest, FullColoredLevelsAreSolid) {
    ActiveProbe().settings.tintMode = 2;
    ASSERT_EQ(BuildMipTexture(), S_OK);
    ASSERT_EQ(ActiveProbe().mipTexture->GetLevelCount(), 10u);
    const std::uint32_t solid[10] = {0,        0xFE0000, 0x00FE00, 0x0000FE, 0xFE00FE,
                                     0x00FEFE, 0xFEFE00, 0xFE0000, 0x00FE00, 0x0000FE};
    for (UINT level = 0; level < 10; ++level) {
        D3DSURFACE_DESC desc;
        ASSERT_EQ(ActiveProbe().mipTexture->GetLevelDesc(level, &desc), S_OK);
        EXPECT_EQ(desc.Width, 512u >> level);
        EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(ActiveProbe().mipTexture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), S_OK);
        const UINT n = desc.Width;
        for (UINT y = 0; y < n; y += (n > 1 ? n - 1 : 1)) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(static_cast<const char*>(locked.pBits) +
                                                                     y * locked.Pitch);
            for (UINT x = 0; x < n; x += (n > 1 ? n / 2 - 1 + (n == 2) : 1)) {
                if (level == 0)
                    EXPECT_TRUE((row[x] & 0xFFFFFF) == 0xFEFEFE || (row[x] & 0xFFFFFF) == 0);
                else
                    EXPECT_EQ(row[x] & 0xFFFFFF, solid[level]) << "level " << level;
            }
        }
        ActiveProbe().mipTexture->UnlockRect(level);
    }
}

TEST_F(BuildMipTextureTest, ReplacesTheHeldTexture) {
    IDirect3DTexture9* before = ActiveProbe().mipTexture;
    before->AddRef();
    ASSERT_EQ(BuildMipTexture(), S_OK);
    EXPECT_NE(ActiveProbe().mipTexture, nullptr);
    EXPECT_EQ(before->Release(), 0u);  // the old one was released by the rebuild
}

}  // namespace
}  // namespace quillmark
