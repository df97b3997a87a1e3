// A rendered tunnel frame shows the tinted levels as rings: walking from the
// edge of the screen toward the centre, the level never goes back.
#include "probe_fixture.h"
#include "app/scene.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace quillmark {
namespace {

// Tint class of a pixel: 0 for the grey level 0, 1..6 for the tints red,
// green, blue, magenta, cyan, yellow (levels 1-6, repeated by 7-9), -1 when
// the pixel is black or cannot be told.
int TintClass(std::uint32_t pixel) {
    const int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
    const int low = std::min(r, std::min(g, b));
    const int high = std::max(r, std::max(g, b));
    if (high < 24) return -1;
    const bool hasR = r - low > 24, hasG = g - low > 24, hasB = b - low > 24;
    if (!hasR && !hasG && !hasB) return 0;
    if (hasR && !hasG && !hasB) return 1;
    if (!hasR && hasG && !hasB) return 2;
    if (!hasR && !hasG && hasB) return 3;
    if (hasR && !hasG && hasB) return 4;
    if (!hasR && hasG && hasB) return 5;
    if (hasR && hasG && !hasB) return 6;
    return -1;
}

class TunnelRings : public test::ProbeFixture {
protected:
    std::vector<std::uint32_t> RenderAndRead() {
        RenderFrame();
        IDirect3DSurface9* backBuffer = nullptr;
        EXPECT_EQ(ActiveProbe().device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer), S_OK);
        std::vector<std::uint32_t> pixels(800 * 600);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(backBuffer->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
        for (int y = 0; y < 600; ++y)
            std::memcpy(&pixels[y * 800], static_cast<const char*>(locked.pBits) + y * locked.Pitch, 800 * 4);
        backBuffer->UnlockRect();
        backBuffer->Release();
        return pixels;
    }

    // Tint classes met along a ray from (x0, y0) to the centre, each run of
    // at least `minRun` pixels counted once.
    static std::vector<int> ClassesAlongRay(const std::vector<std::uint32_t>& pixels, int x0, int y0, int minRun) {
        std::vector<int> classes;
        int current = -2, run = 0;
        const int steps = 400;
        for (int i = 0; i <= steps; ++i) {
            const int x = x0 + (400 - x0) * i / steps, y = y0 + (300 - y0) * i / steps;
            const int c = TintClass(pixels[std::min(y, 599) * 800 + std::min(x, 799)]);
            if (c == -1) continue;
            run = c == current ? run + 1 : 1;
            current = c;
            if (run == minRun && (classes.empty() || classes.back() != c)) classes.push_back(c);
        }
        return classes;
    }
};

TEST_F(TunnelRings, LevelsGrowTowardTheCentre) {
    ActiveProbe().settings.mipFilter = D3DTEXF_POINT;  // one level per pixel, so every pixel names its level
    const std::vector<std::uint32_t> pixels = RenderAndRead();
    const int starts[][2] = {{0, 300}, {799, 300}, {400, 0}, {400, 599}, {0, 0}, {799, 599}};
    for (const auto& start : starts) {
        const std::vector<int> classes = ClassesAlongRay(pixels, start[0], start[1], 3);
        ASSERT_GE(classes.size(), 5u) << "ray from " << start[0] << "," << start[1];
        for (size_t i = 1; i < classes.size(); ++i) {
            const int expectedNext = classes[i - 1] == 6 ? 1 : classes[i - 1] + 1;
            EXPECT_EQ(classes[i], expectedNext) << "ray from " << start[0] << "," << start[1] << " step " << i;
        }
    }
}

TEST_F(TunnelRings, DefaultFrameIsNotEmpty) {
    const std::vector<std::uint32_t> pixels = RenderAndRead();
    int coloured = 0;
    for (std::uint32_t pixel : pixels) coloured += TintClass(pixel) > 0;
    EXPECT_GT(coloured, 800 * 600 / 4);
}

}  // namespace
}  // namespace quillmark
