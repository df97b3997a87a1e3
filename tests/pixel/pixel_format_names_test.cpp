// Format names: every format of the table has one, and it leads back to the
// format, however it is written.
#include "pixel/pixel_format.h"
#include "pixel/pixel_format_names.h"

#include <gtest/gtest.h>

#include <set>

namespace quillmark {
namespace {

TEST(PixelFormatNames, EveryFormatHasADistinctNameThatLeadsBack) {
    std::set<std::string> names;
    for (const PixelFormatInfo& row : PixelFormatTable) {
        const auto format = static_cast<D3DFORMAT>(row.format);
        const std::string name = PixelFormatName(format);
        EXPECT_TRUE(names.insert(name).second) << name;
        EXPECT_EQ(PixelFormatByName(name), format) << name;
    }
    EXPECT_EQ(PixelFormatName(D3DFMT_A8R8G8B8), "A8R8G8B8");
    EXPECT_EQ(PixelFormatName(D3DFMT_DXT5), "DXT5");
    EXPECT_EQ(PixelFormatName(FORMAT_AL16), "AL16");
}

TEST(PixelFormatNames, NamesAreReadInEitherCaseWithOrWithoutThePrefix) {
    EXPECT_EQ(PixelFormatByName("dxt1"), D3DFMT_DXT1);
    EXPECT_EQ(PixelFormatByName("D3DFMT_A16B16G16R16F"), D3DFMT_A16B16G16R16F);
    EXPECT_EQ(PixelFormatByName("d3dfmt_l8"), D3DFMT_L8);
    EXPECT_EQ(PixelFormatByName("D3DFMT_"), D3DFMT_UNKNOWN);
    EXPECT_EQ(PixelFormatByName("RGBA"), D3DFMT_UNKNOWN);
    EXPECT_EQ(PixelFormatName(static_cast<D3DFORMAT>(1234)), "format 1234");
}

}  // namespace
}  // namespace quillmark
