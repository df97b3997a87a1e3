// The figures' drawing: PNG output another program reads pixel for pixel,
// colour scales whose lightness runs one way (so that they read without
// hue, as colour-blind readers and grey-scale prints see them), the count
// axis of the heat map, and the bitmap font.
#include "app/colour_scale.h"
#include "app/picture.h"
#include "app/report_figures.h"

#include "scratch_directory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quillmark {
namespace {

// Relative luminance of an sRGB colour.
double Luminance(std::uint32_t rgb) {
    const auto linear = [](int c) {
        const double v = c / 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(int(rgb >> 16 & 0xFF)) + 0.7152 * linear(int(rgb >> 8 & 0xFF)) +
           0.0722 * linear(int(rgb & 0xFF));
}

TEST(Picture, PngHoldsExactlyThePixelsDrawn) {
    if (std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0) GTEST_SKIP() << "Pillow is absent";
    testing::ScratchDirectory scratch;
    Picture picture(7, 5, 0x102030);
    picture.FillRect(2, 1, 3, 2, 0xFF8000);
    picture.Set(6, 4, 0x00FFEE);
    picture.FillRect(5, -3, 10, 4, 0x0000FF);  // clipped at the edges
    std::string error;
    ASSERT_TRUE(WritePng(picture, scratch / "p.png", &error)) << error;
    std::string expected;
    for (std::uint32_t rgb : picture.pixels) {
        char text[8];
        std::snprintf(text, sizeof text, "%06x ", rgb);
        expected += text;
    }
    const std::string command = "/usr/bin/python3 -c \"import sys; from PIL import Image; i = Image.open(sys.argv[1]);"
                                " print(i.format, i.size, ' '.join('%02x%02x%02x' % p[:3] for p in "
                                "i.convert('RGB').getdata()))\" " + scratch.PathOf("p.png");
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
        pclose(pipe);
    }
    EXPECT_EQ(output, "PNG (7, 5) " + expected.substr(0, expected.size() - 1) + "\n");
}

TEST(Picture, WritingIntoAMissingFolderFailsWithTheReason) {
    std::string error;
    EXPECT_FALSE(WritePng(Picture(2, 2, 0), "/nonexistent-folder/x.png", &error));
    EXPECT_NE(error.find("cannot write /nonexistent-folder/x.png: "), std::string::npos) << error;
    EXPECT_NE(error.find("the folder /nonexistent-folder does not exist"), std::string::npos) << error;
    EXPECT_EQ(error.find("TEXERR"), std::string::npos) << "a reason in words, not a code: " << error;
}

TEST(ColourScale, SequentialLightnessGrowsAllTheWay) {
    double previous = -1;
    for (int i = 0; i <= 64; ++i) {
        const double l = Luminance(SequentialColour(i / 64.0));
        EXPECT_GT(l, previous) << i;
        previous = l;
    }
    EXPECT_EQ(SequentialColour(-1), SequentialColour(0));
    EXPECT_EQ(SequentialColour(2), SequentialColour(1));
}

TEST(ColourScale, DivergingIsLightestAtZeroAndDarkensTowardsBothEnds) {
    for (int i = 1; i <= 32; ++i) {
        const double t = i / 32.0, step = 1 / 32.0;
        EXPECT_LT(Luminance(DivergingColour(t)), Luminance(DivergingColour(t - step))) << t;
        EXPECT_LT(Luminance(DivergingColour(-t)), Luminance(DivergingColour(-t + step))) << -t;
    }
    const std::uint32_t low = DivergingColour(-1), high = DivergingColour(1);
    EXPECT_GT(low & 0xFF, low >> 16);     // the negative end is blue
    EXPECT_GT(high >> 16, high & 0xFF);   // the positive end is red
}

TEST(ColourScale, LogCountTicksRunFromZeroToTheMaximum) {
    const std::vector<ScaleTick> ticks = LogCountTicks(5000);
    ASSERT_GE(ticks.size(), 3u);
    EXPECT_EQ(ticks.front().position, 0);
    EXPECT_EQ(ticks.front().label, "0");
    EXPECT_EQ(ticks.back().position, 1);
    EXPECT_EQ(ticks.back().label, "5000");
    for (std::size_t i = 1; i < ticks.size(); ++i) EXPECT_GT(ticks[i].position, ticks[i - 1].position);
    EXPECT_NEAR(ticks[2].position, std::log1p(10.0) / std::log1p(5000.0), 1e-12);  // 0, 1, 10, ...
}

TEST(ColourScale, HeatMapColoursZeroAndMaximumAtTheScaleEnds) {
    const Picture figure = HeatMapFigure(3, 2, 40, [](int x, int) { return x == 0 ? 0 : x == 1 ? 40 : 6; });
    EXPECT_EQ(figure.At(0, 0), SequentialColour(0));
    EXPECT_EQ(figure.At(1, 1), SequentialColour(1));
    EXPECT_EQ(figure.At(2, 0), SequentialColour(std::log1p(6.0) / std::log1p(40.0)));
}

int InkedPixels(const Picture& picture) {
    int count = 0;
    for (std::uint32_t p : picture.pixels) count += p != 0xFFFFFF;
    return count;
}

TEST(BitmapFont, DrawsGlyphsAndLeavesUnknownCharactersBlank) {
    Picture one(20, 20, 0xFFFFFF), eight(20, 20, 0xFFFFFF), unknown(20, 20, 0xFFFFFF), lower(20, 20, 0xFFFFFF),
        upper(20, 20, 0xFFFFFF);
    EXPECT_EQ(DrawText(one, 0, 0, "1", 0, 1), 5);
    DrawText(eight, 0, 0, "8", 0, 1);
    DrawText(unknown, 0, 0, "~", 0, 1);
    DrawText(lower, 0, 0, "q", 0, 1);
    DrawText(upper, 0, 0, "Q", 0, 1);
    EXPECT_GT(InkedPixels(eight), InkedPixels(one));
    EXPECT_GT(InkedPixels(one), 0);
    EXPECT_EQ(InkedPixels(unknown), 0);
    EXPECT_EQ(lower.pixels, upper.pixels);
    EXPECT_EQ(TextWidth("AB", 2), (2 * 6 - 1) * 2);
}

}  // namespace
}  // namespace quillmark
