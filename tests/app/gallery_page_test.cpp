// The gallery's page built from made-up device results: five devices laid
// out in headless Chromium at 1280 and 1920 pixels of width, every picture
// at one scale; the figures printed as levels; each driver named once.
#include "app/batch/gallery_page.h"

#include "devices/select/d3d9_select.h"

#include "browser_check.h"
#include "scratch_directory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace quillmark::batch {
namespace {

using testing::ScratchDirectory;

// A device that drew one colour and level 2 everywhere, where the ideal is level 2 too.
GalleryCell MadeUpCell(std::uint32_t colour, double meanError, double p99) {
    constexpr int kWidth = 800, kHeight = 600;
    CompareRun run;
    run.frame.assign(std::size_t(kWidth * kHeight), colour);
    run.levelFrame.assign(run.frame.size(), LevelMarkColor(2));
    run.levels.assign(run.frame.size(), 2);
    LodMaps& maps = run.lod.maps;
    maps.width = kWidth;
    maps.height = kHeight;
    maps.lastLevel = 9;
    maps.measured.assign(run.frame.size(), MeasuredLod{true, 2.0});
    maps.ideal.assign(run.frame.size(), IdealLod{true, false, 2.0, 1.5, 2.5});
    run.lod.figures = ComputeLodFigures(maps);
    run.lod.figures.meanError = meanError;
    run.lod.figures.p99AbsError = p99;
    GalleryCell cell;
    cell.result.figures = LodFiguresObject(run.lod.figures);
    cell.pictures = PicturesOf(run);
    return cell;
}

// The pictures written beside the page and read back are the pictures
// shown; a results file cannot make the page read a file outside its folder.
TEST(GalleryPage, PicturesWrittenBesideThePageReadBackAsTheyWere) {
    ScratchDirectory scratch;
    std::filesystem::create_directories(scratch / kGalleryImagesFolder);
    GalleryCell cell = MadeUpCell(0x336699, 0.0, 0.0);
    cell.result.device = "gl:0";
    ASSERT_EQ(GalleryImageFile(3, "gl:0", "frame"), "images/03-gl_0-frame.png");
    std::string error;
    ASSERT_TRUE(WriteGalleryPictures(scratch.PathOf(""), 3, &cell, &error)) << error;
    EXPECT_EQ(cell.result.images["levels"], "images/03-gl_0-levels.png");
    GalleryPictures read;
    ASSERT_TRUE(ReadGalleryPictures(scratch.PathOf(""), cell.result, &read, &error)) << error;
    for (const auto& [key, member] : GalleryImageKeys()) {
        SCOPED_TRACE(key);
        EXPECT_EQ((read.*member).width, (cell.pictures.*member).width);
        EXPECT_EQ((read.*member).pixels, (cell.pictures.*member).pixels);
    }
    EXPECT_EQ(read.levels.At(10, 10), LevelMarkColor(2));
    ResultCell outside = cell.result;
    outside.images["frame"] = "../../etc/passwd";
    EXPECT_FALSE(ReadGalleryPictures(scratch.PathOf(""), outside, &read, &error));
    EXPECT_NE(error.find("names a picture outside its folder: ../../etc/passwd"), std::string::npos) << error;
}

TEST(GalleryPage, LevelsCarryASignOnlyWhereTheFigureHasOne) {
    EXPECT_EQ(LevelsText(-0.0004, true), "0.000");  // not "-0.000"
    EXPECT_EQ(LevelsText(0.0004, true), "0.000");
    EXPECT_EQ(LevelsText(-0.031, true), "-0.031");
    EXPECT_EQ(LevelsText(0.0312, true), "+0.031");
    EXPECT_EQ(LevelsText(0.25, false), "0.250");  // |Δλ| has no sign
    EXPECT_EQ(LevelsText(std::nullopt, false), "–");

    const std::string section = GallerySection("tunnel", {"a", "b"}, {MadeUpCell(0x336699, -0.0002, 0.25),
                                                                       MadeUpCell(0x993366, -0.031, 0.5)});
    EXPECT_NE(section.find("<td class=\"number\">0.000</td><td class=\"number\">0.250</td>"), std::string::npos);
    EXPECT_NE(section.find("<td class=\"number\">-0.031</td><td class=\"number\">0.500</td>"), std::string::npos);
    EXPECT_EQ(section.find("+0.250"), std::string::npos);
    EXPECT_EQ(section.find("-0.000"), std::string::npos);
}

// Five devices at 1280 and 1920 pixels: every picture shown at its own size
// (half the drawn one, so that a font pixel of the labels stays one screen
// pixel), all devices' columns alike, nothing wider than the window.
TEST(GalleryPage, FiveDevicesShareOneScaleAtEitherWidth) {
    if (!testing::HaveChromium()) GTEST_SKIP() << "chromium is absent: the page was not laid out";
    ScratchDirectory scratch;
    std::vector<std::string> devices;
    std::vector<DeviceIdentity> identities;
    std::vector<GalleryCell> cells;
    for (int d = 0; d < 5; ++d) {
        devices.push_back("device" + std::to_string(d));
        identities.push_back({devices.back(), "made up"});
        cells.push_back(MadeUpCell(0x204060u * std::uint32_t(d + 1), -0.01 * d, 0.1 * d));
    }
    std::ofstream(scratch / "gallery.html") << GalleryPage("", identities, {}, GallerySection("tunnel", devices, cells));
    const std::string script =
        "const images = [...document.querySelectorAll('.devices img')];"
        "const scales = images.map(i => i.clientWidth / i.naturalWidth);"
        "const columns = [...document.querySelectorAll('.devices > .device')]"
        ".map(d => Math.round(d.getBoundingClientRect().width));"
        "return 'images ' + images.length + ' smallest ' + Math.min(...scales).toFixed(3) + ' largest ' +"
        "Math.max(...scales).toFixed(3) + ' columns ' + Math.min(...columns) + ' ' + Math.max(...columns) +"
        "' overflow ' + (document.documentElement.scrollWidth - window.innerWidth) + ' window ' + window.innerWidth;";
    for (const int width : {1280, 1920}) {
        const std::optional<std::string> report = testing::BrowserReport(scratch / "gallery.html", script, width, 1000);
        ASSERT_TRUE(report.has_value()) << "the page did not load in Chromium at " << width;
        int images = 0, narrowest = 0, widest = 0, overflow = 0, window = 0;
        double smallest = 0, largest = 0;
        ASSERT_EQ(std::sscanf(report->c_str(), "images %d smallest %lf largest %lf columns %d %d overflow %d window %d",
                              &images, &smallest, &largest, &narrowest, &widest, &overflow, &window),
                  7)
            << *report;
        SCOPED_TRACE(*report);
        EXPECT_EQ(window, width);
        EXPECT_EQ(images, 15);
        EXPECT_DOUBLE_EQ(smallest, 1.0);
        EXPECT_DOUBLE_EQ(largest, 1.0);
        EXPECT_EQ(narrowest, widest);
        EXPECT_LE(overflow, 0);
    }
}

// Names that reach one driver: kept once, by the most specific name,
// whichever comes first; drivers that differ in more than the display stay.
TEST(GalleryPage, EachDriverIsNamedOnceByItsMostSpecificName) {
    const std::string llvmpipe = "llvmpipe (LLVM 15.0.6, 256 bits); OpenGL 4.5 (Core Profile) Mesa 22.3.6";
    const std::vector<NamedDriver> described = {
        {"reference", "built-in software rasteriser"},
        {"gl", llvmpipe + "; through EGL_PLATFORM_SURFACELESS_MESA"},
        {"gl:0", llvmpipe + "; through EGL device 0 (software)"},
        {"llvmpipe", llvmpipe + "; through EGL_PLATFORM_SURFACELESS_MESA, LIBGL_ALWAYS_SOFTWARE"},
        {"softpipe", "softpipe; OpenGL 3.3 (Core Profile) Mesa 22.3.6; through EGL_PLATFORM_SURFACELESS_MESA"},
        {"vulkan", "llvmpipe (LLVM 15.0.6, 256 bits) (CPU); driver llvmpipe, version 0.0.1; Vulkan 1.3.230"},
        {"lavapipe", "llvmpipe (LLVM 15.0.6, 256 bits) (CPU); driver llvmpipe, version 0.0.1; Vulkan 1.3.230"},
    };
    std::vector<std::pair<std::string, std::string>> leftOut;
    std::vector<std::string> kept;
    for (const NamedDriver& driver : OneNamePerDriver(described, &leftOut)) kept.push_back(driver.name);
    EXPECT_EQ(kept, (std::vector<std::string>{"reference", "llvmpipe", "softpipe", "lavapipe"}));
    EXPECT_EQ(leftOut, (std::vector<std::pair<std::string, std::string>>{
                           {"gl", "llvmpipe"}, {"gl:0", "llvmpipe"}, {"vulkan", "lavapipe"}}));
    // The most specific name wins in any order.
    leftOut.clear();
    const std::vector<NamedDriver> reversed(described.rbegin(), described.rend());
    kept.clear();
    for (const NamedDriver& driver : OneNamePerDriver(reversed, &leftOut)) kept.push_back(driver.name);
    EXPECT_EQ(kept, (std::vector<std::string>{"lavapipe", "softpipe", "llvmpipe", "reference"}));
}

}  // namespace
}  // namespace quillmark::batch
