// FromSurface: the box, its alignment for grouped pixels, and ownership.
#include "imagecodec/decoded_image.h"
#include "pixel/surface_desc.h"

#include <gtest/gtest.h>

namespace quillmark {
namespace {

SurfaceDesc Desc(D3DFORMAT format, D3DBOX box) {
    static BYTE storage[64];
    SurfaceDesc desc;
    desc.Data = storage;
    desc.Format = format;
    desc.RowPitch = 32;
    desc.SlicePitch = 0;
    desc.Extent = {0, 0, 16, 16, 0, 1};
    desc.Box = box;
    return desc;
}

TEST(FromSurface, BlockCompressedRegionStartsAtItsBlock) {
    DecodedImage image;
    ASSERT_EQ(image.FromSurface(Desc(D3DFMT_DXT1, {5, 6, 12, 13, 0, 1})), S_OK);
    EXPECT_EQ(image.box.Left, 4u);
    EXPECT_EQ(image.box.Top, 4u);
    EXPECT_EQ(image.width, 8u);
    EXPECT_EQ(image.height, 9u);
    EXPECT_EQ(image.depth, 1u);
    EXPECT_EQ(image.rowPitch, 32u);
    EXPECT_FALSE(image.ownsPixels);
}

TEST(FromSurface, PixelPairsStartAtAnEvenColumn) {
    for (D3DFORMAT format : {D3DFMT_YUY2, D3DFMT_UYVY, D3DFMT_R8G8_B8G8, D3DFMT_G8R8_G8B8}) {
        DecodedImage image;
        ASSERT_EQ(image.FromSurface(Desc(format, {3, 3, 9, 5, 0, 1})), S_OK);
        EXPECT_EQ(image.box.Left, 2u);
        EXPECT_EQ(image.box.Top, 3u);
        EXPECT_EQ(image.width, 7u);
        EXPECT_EQ(image.height, 2u);
    }
}

TEST(FromSurface, OtherFormatsKeepTheirRegion) {
    DecodedImage image;
    const SurfaceDesc desc = Desc(D3DFMT_X8R8G8B8, {10, 10, 20, 30, 0, 1});
    ASSERT_EQ(image.FromSurface(desc), S_OK);
    EXPECT_EQ(image.box.Left, 10u);
    EXPECT_EQ(image.width, 10u);
    EXPECT_EQ(image.height, 20u);
    EXPECT_EQ(image.pixels, desc.Data);
    EXPECT_EQ(image.format, D3DFMT_X8R8G8B8);
}

}  // namespace
}  // namespace quillmark
