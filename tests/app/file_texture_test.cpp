// The texture from an image file in the probe: "Browse..." through the file
// dialog, "Use BMP:" sampling it, what the user is told when a file cannot
// be used, the reload after a lost device, and the analysis leaving it alone.
#include "../texfile/texture_test_support.h"
#include "analysis_test_support.h"
#include "devices/core/direct3d.h"
#include "app/settings_dialog.h"
#include "app/texture_file.h"

#include "platform/win32/headless_dialogs.h"

#include <cmath>
#include <fstream>

namespace quillmark {
namespace {

using test::AnalysisFixture;

class FileTexture : public AnalysisFixture {
protected:
    std::string Write(const char* name, const testing::Bytes& bytes) const {
        const std::string path = (directory_ / name).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    // The user picks `path` in the file dialog opened by "Browse...".
    static void Browse(const std::string& path) {
        win32::QueueOpenFileAnswer(path);
        ASSERT_TRUE(win32::ClickButton(Control(kBrowseButton)));
        win32::ClearOpenFileAnswers();
    }
    static std::string DialogTitle() {
        char title[128] = "";
        GetWindowTextA(g_app.settingsDialog, title, sizeof title);
        return title;
    }
    static void UseBmp() { ASSERT_TRUE(win32::ClickButton(Control(kUseFileTextureRadio))); }
    static void SetPointFilters() {
        ASSERT_TRUE(win32::SelectComboItem(Control(kMinFilterList), 0));
        ASSERT_TRUE(win32::SelectComboItem(Control(kMagFilterList), 0));
        ASSERT_TRUE(win32::SelectComboItem(Control(kMipFilterList), 0));  // OFF
    }
    static IDirect3DBaseTexture9* BoundTexture() {
        IDirect3DBaseTexture9* texture = nullptr;
        ActiveProbe().device->GetTexture(static_cast<DWORD>(ActiveProbe().settings.stage), &texture);
        if (texture) texture->Release();
        return texture;
    }
};

std::uint32_t Gradient(int x, int y) { return static_cast<std::uint32_t>(x * 2) << 16 | (y * 4) << 8 | 0x40; }

TEST_F(FileTexture, BrowseLoadsTheFileWithItsFullChainAndUseBmpSamplesIt) {
    win32::ClearMessageBoxes();
    Browse(Write("photo.bmp", testing::Bitmap24(100, 60, Gradient)));
    ASSERT_NE(ActiveProbe().fileTexture, nullptr);
    D3DSURFACE_DESC desc{};
    ActiveProbe().fileTexture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 128u);
    EXPECT_EQ(desc.Height, 64u);
    EXPECT_EQ(ActiveProbe().fileTexture->GetLevelCount(), 8u);
    EXPECT_TRUE(win32::MessageBoxesShown().empty());  // a file that loads is never reported
    EXPECT_EQ(DialogTitle(), "Settings - photo.bmp") << "the dialog names the loaded file";

    EXPECT_FALSE(ActiveProbe().settings.useFileTexture);  // choosing a file does not select it
    RenderFrame();
    EXPECT_EQ(BoundTexture(), ActiveProbe().mipTexture);
    UseBmp();
    RenderFrame();
    EXPECT_EQ(BoundTexture(), ActiveProbe().fileTexture);

    IDirect3DTexture9* const loaded = ActiveProbe().fileTexture;
    ASSERT_TRUE(win32::ClickButton(Control(kBrowseButton)));  // cancelled: nothing changes
    EXPECT_EQ(ActiveProbe().fileTexture, loaded);
}

TEST_F(FileTexture, AFileThatCannotBeUsedIsNamedWithTheReasonAndLeavesNoTexture) {
    Browse(Write("good.bmp", testing::Bitmap24(4, 4, Gradient)));
    ASSERT_NE(ActiveProbe().fileTexture, nullptr);
    struct Case {
        std::string path;
        const char* reason;
    };
    // A sparse file of 4 GiB and 58 bytes, whose first 58 are a whole bitmap.
    const std::string huge = Write("huge.bmp", testing::Bitmap24(1, 1, Gradient));
    std::filesystem::resize_file(huge, (std::uintmax_t{1} << 32) + 58);
    const Case cases[] = {
        {huge, "it is 4 GiB or larger, more than an image file can be"},
        {(directory_ / "missing.bmp").string(), "it does not exist"},
        {Write("notes.bmp", testing::Bytes(200, 'x')), "it is not in an image format Quillmark can read"},
        // Taken for a format by its first bytes, and damaged: that format's reader says why.
        {Write("cut.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'}),
         "it is a PNG file, but the decoder stopped: read error"},
        {Write("cut.tga", {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, 0, 24, 0, 1, 2, 3}),
         "it is a TGA file, but its pixel data is shorter than 4 x 4 pixels need"},
        {Write("empty.bmp", {}), "it is empty"},
        {directory_.string(), "it is a folder, not a file"},
    };
    EXPECT_EQ(DialogTitle(), "Settings - good.bmp");
    for (const Case& c : cases) {
        win32::ClearMessageBoxes();
        Browse(c.path);
        EXPECT_EQ(ActiveProbe().fileTexture, nullptr) << c.path;
        EXPECT_EQ(DialogTitle(), "Settings") << "no file is loaded any more";
        ASSERT_EQ(win32::MessageBoxesShown().size(), 1u) << c.path;
        const win32::MessageBoxRecord& box = win32::MessageBoxesShown()[0];
        EXPECT_EQ(box.caption, "Quillmark");
        EXPECT_EQ(box.text, "Could not use the texture file \"" + c.path + "\": " + c.reason + ".");
    }
    win32::ClearMessageBoxes();
    const std::string longPath = "/" + std::string(300, 'a') + ".bmp";
    Browse(longPath);
    ASSERT_EQ(win32::MessageBoxesShown().size(), 1u);
    EXPECT_EQ(win32::MessageBoxesShown()[0].text,
              "Could not use the chosen texture file: its path is longer than 259 characters.");

    UseBmp();
    RenderFrame();  // "Use BMP:" with no texture: the stage has none bound
    EXPECT_EQ(BoundTexture(), nullptr);
}

// The facing plane shows the texture repeated 18 times over 50 units;
// from the camera distance the screen holds `texelsPerPixel` texels per
// pixel, with u = v = 0 at the screen centre (400, 300). The scale is a
// hair above the exact ratio so that no pixel centre but the centre row and
// column falls on a texel edge: point sampling then picks texel
// floor(offset x scale) of each pixel beyond doubt.
struct FacingPlaneView {
    double texelsPerPixel;
    double Distance(int textureSize) const {
        const double tanHalf = std::tan(static_cast<double>(kFieldOfViewY) / 2);
        return 10.0 * 300.0 * texelsPerPixel / (18.0 / 50.0 * textureSize * tanHalf);
    }
    int Texel(int offset, int textureSize) const {
        const int t = static_cast<int>(std::floor(offset * texelsPerPixel));
        return ((t % textureSize) + textureSize) % textureSize;
    }
};

// The file's pixels as ImageMagick decodes them, 0xRRGGBB, top row first.
std::vector<std::uint32_t> DecodedByImageMagick(const std::string& path, int size) {
    std::vector<std::uint32_t> pixels;
    FILE* pipe = popen(("convert '" + path + "' -depth 8 rgb:- 2>/dev/null").c_str(), "r");
    if (!pipe) return pixels;
    unsigned char rgb[3];
    while (std::fread(rgb, 1, 3, pipe) == 3) pixels.push_back(rgb[0] << 16 | rgb[1] << 8 | rgb[2]);
    pclose(pipe);
    if (pixels.size() != static_cast<std::size_t>(size) * size) pixels.clear();
    return pixels;
}

TEST_F(FileTexture, ACorpusBitmapUnderPointFilteringGivesBackTheFilesPixelsExactly) {
    const std::string corpus = QUILLMARK_CORPUS_DIR "/bmp/";
    if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    constexpr double kAbove = 1.0005;
    struct Case {
        const char* name;
        int size;
        FacingPlaneView view;
    };
    // 32 x 32 at one texel per pixel; 16 x 16 (every pixel a distinct colour)
    // magnified to 2 x 2 pixels per texel, as one texel per pixel would put it
    // beyond the far plane.
    for (const Case c : {Case{"V5_A8_R8_G8_B8_Rgb.bmp", 32, {kAbove}}, Case{"V4_A8_R8_G8_B8.bmp", 16, {kAbove / 2}}}) {
        const std::vector<std::uint32_t> file = DecodedByImageMagick(corpus + c.name, c.size);
        ASSERT_FALSE(file.empty()) << "ImageMagick could not decode " << c.name;
        Browse(corpus + c.name);
        ASSERT_NE(ActiveProbe().fileTexture, nullptr) << c.name;
        UseBmp();
        SetPointFilters();
        ActiveProbe().settings.showPlane = true;
        ActiveProbe().settings.planeAngle = 0.0;
        ActiveProbe().settings.distance = c.view.Distance(c.size);
        RenderFrame();
        const std::vector<std::uint32_t> frame = BackBufferPixels();
        int compared = 0;
        for (int y = 20; y < 580; ++y) {
            if (y == 300) continue;
            const int row = c.view.Texel(300 - y, c.size);  // v grows downward from the centre
            for (int x = 120; x < 680; ++x) {
                if (x == 400) continue;
                const int column = c.view.Texel(x - 400, c.size);
                ASSERT_EQ(frame[y * 800 + x] & 0xFFFFFF, file[row * c.size + column])
                    << c.name << " pixel (" << x << ", " << y << ") texel (" << column << ", " << row << ")";
                ++compared;
            }
        }
        EXPECT_EQ(compared, 559 * 559);
    }
}

TEST_F(FileTexture, ALostDeviceReloadsTheFileTextureAndTheNextFrameSamplesIt) {
    const std::string path = Write("solid.bmp", testing::Bitmap24(8, 8, [](int, int) { return 0x3366CCu; }));
    Browse(path);
    UseBmp();
    ActiveProbe().settings.showPlane = true;
    RenderFrame();
    core::FailNextPresents(1);
    RenderFrame();  // lost: the device and every object are rebuilt
    ASSERT_NE(ActiveProbe().fileTexture, nullptr);
    IDirect3DDevice9* owner = nullptr;
    ASSERT_EQ(ActiveProbe().fileTexture->GetDevice(&owner), S_OK);
    EXPECT_EQ(owner, ActiveProbe().device);
    owner->Release();
    EXPECT_EQ(ActiveProbe().fileTexturePath, path);

    RenderFrame();
    EXPECT_EQ(BoundTexture(), ActiveProbe().fileTexture);
    EXPECT_EQ(BackBufferPixels()[300 * 800 + 400] & 0xFFFFFF, 0x3366CCu);
}

TEST_F(FileTexture, TheAnalysisRunsWithTheFileTextureSelectedWithoutTouchingIt) {
    Browse(Write("photo.bmp", testing::Bitmap24(16, 16, Gradient)));
    UseBmp();
    ShowThinPlane();
    std::vector<std::vector<std::uint32_t>> before;
    for (UINT level = 0; level < ActiveProbe().fileTexture->GetLevelCount(); ++level)
        before.push_back(testing::LevelTexels(ActiveProbe().fileTexture, level));
    IDirect3DTexture9* const loaded = ActiveProbe().fileTexture;
    PressStart();
    for (int frame = 0; frame < 40; ++frame) {
        RenderFrame();
        UpdateRunDisplay();
    }
    EXPECT_GT(ActiveProbe().run.framesDone, 0);
    EXPECT_EQ(ActiveProbe().fileTexture, loaded);
    for (UINT level = 0; level < before.size(); ++level)
        EXPECT_EQ(testing::LevelTexels(ActiveProbe().fileTexture, level), before[level]) << "level " << level;
    PressStop();
    EXPECT_EQ(ActiveProbe().fileTexture, loaded);
}

}  // namespace
}  // namespace quillmark
