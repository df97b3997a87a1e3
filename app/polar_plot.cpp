#include "app/polar_plot.h"

#include "app/probe_state.h"
#include "app/status_line.h"
#include "imagecodec/result_text.h"
#include "texfile/surface_save.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace quillmark {
namespace {

constexpr double kTwoPi = 6.28;  // 2 x 3.14, as every angle of the program
constexpr double kRightAngle = 1.5707963267948966;  // atan of an infinite ratio

// Byte offset into the plot of every window pixel (-1: not plotted), worked
// out once per plot: a cell-pass frame can hold a hit in every pixel.
struct PlotOffsets {
    int windowWidth = 0, windowHeight = 0, plotHeight = 0, plotPitch = 0;
    std::vector<std::int32_t> offsets;

    bool Fits() const {
        const ProbeState& probe = ActiveProbe();
        return windowWidth == probe.windowWidth && windowHeight == probe.windowHeight &&
               plotHeight == probe.plotHeight && plotPitch == probe.plotPitch && probe.plotWidth == kPlotWidth;
    }
};
PlotOffsets g_plotOffsets;

void ReleasePlot() {
    ProbeState& probe = ActiveProbe();
    probe.plotSurface->Release();
    probe.plotSurface = nullptr;
    probe.plotBits = nullptr;
    probe.plotPitch = 0;
}

// Quadrant around the centre: 0 upper right, 1 upper left, 2 lower left,
// 3 lower right (dx > 0 left of the centre, dy > 0 above it).
int Quadrant(int dx, int dy) {
    if (dy >= 0) return dx < 0 ? 0 : 1;
    return dx >= 0 ? 2 : 3;
}

// Plot column of a direction: angle from the vertical axis, unrolled
// quadrant by quadrant, each mirrored so that neighbouring quadrants meet.
int PlotColumn(int dx, int dy, int plotWidth) {
    const double ratioAngle = dy == 0 ? kRightAngle : std::atan(std::abs(static_cast<double>(dx)) / std::abs(dy));
    const int angle = static_cast<int>(ratioAngle * plotWidth / kTwoPi);
    const int quadrant = Quadrant(dx, dy);
    const int quarter = plotWidth / 4;
    return quadrant % 2 == 0 ? angle + quadrant * quarter : (quadrant + 1) * quarter - angle - 1;
}

// Where a hit at window pixel (x, y) lands in the plot, or -1.
std::int32_t PlotOffset(int x, int y) {
    ProbeState& probe = ActiveProbe();
    int column = 0, row = 0;
    if (!PlotCell(x, y, probe.windowWidth, probe.windowHeight, probe.plotWidth, probe.plotHeight, &column, &row))
        return -1;
    return row * probe.plotPitch + 4 * column;
}

void ComputePlotOffsets() {
    ProbeState& probe = ActiveProbe();
    g_plotOffsets.windowWidth = probe.windowWidth;
    g_plotOffsets.windowHeight = probe.windowHeight;
    g_plotOffsets.plotHeight = probe.plotHeight;
    g_plotOffsets.plotPitch = probe.plotPitch;
    g_plotOffsets.offsets.resize(static_cast<std::size_t>(probe.windowWidth) * probe.windowHeight);
    for (int y = 0; y < probe.windowHeight; ++y)
        for (int x = 0; x < probe.windowWidth; ++x)
            g_plotOffsets.offsets[static_cast<std::size_t>(y) * probe.windowWidth + x] = PlotOffset(x, y);
}

}  // namespace

bool PlotCell(int x, int y, int windowWidth, int windowHeight, int plotWidth, int plotHeight, int* column, int* row) {
    const int dx = windowWidth / 2 - x, dy = windowHeight / 2 - y;
    if (dx == 0 && dy == 0) return false;  // the centre has no direction
    *row = static_cast<int>(plotHeight - std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy));
    *column = PlotColumn(dx, dy, plotWidth);
    return *column >= 0 && *column < plotWidth && *row >= 0 && *row < plotHeight;
}

int PlotHeightFor(int windowWidth, int windowHeight) {
    const double halfWidth = windowWidth / 2 + 1, halfHeight = windowHeight / 2 + 1;
    return static_cast<int>(std::sqrt(halfWidth * halfWidth + halfHeight * halfHeight));
}

std::uint32_t PlotLevelColour(int level) {
    constexpr std::uint32_t kColours[3] = {0x0000FF, 0x00FF00, 0xFF0000};
    return kColours[level % 3];
}

void CreatePlotSurface() {
    ProbeState& probe = ActiveProbe();
    if (probe.plotSurface) {  // a plot still held from an earlier run is discarded
        probe.plotSurface->UnlockRect();
        ReleasePlot();
    }
    probe.plotHeight = PlotHeightFor(probe.windowWidth, probe.windowHeight);
    probe.plotWidth = kPlotWidth;
    if (!probe.device ||
        FAILED(probe.device->CreateOffscreenPlainSurface(kPlotWidth, static_cast<UINT>(probe.plotHeight),
                                                         D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &probe.plotSurface,
                                                         nullptr)) ||
        !probe.plotSurface) {
        probe.plotSurface = nullptr;
        return;
    }
    D3DLOCKED_RECT locked{};
    if (FAILED(probe.plotSurface->LockRect(&locked, nullptr, 0))) {
        ReleasePlot();  // a plot that cannot be written is not kept
        return;
    }
    probe.plotPitch = locked.Pitch;
    probe.plotBits = static_cast<std::uint8_t*>(locked.pBits);
    for (int row = 0; row < probe.plotHeight; ++row)
        std::memset(probe.plotBits + static_cast<std::ptrdiff_t>(row) * probe.plotPitch, 0, kPlotWidth * 4);
    if (!g_plotOffsets.Fits()) ComputePlotOffsets();
}

void PlotHit(int x, int y) {
    ProbeState& probe = ActiveProbe();
    if (!probe.plotBits) return;
    const bool inWindow = x >= 0 && x < probe.windowWidth && y >= 0 && y < probe.windowHeight;
    const std::int32_t offset = inWindow && g_plotOffsets.Fits()
                                    ? g_plotOffsets.offsets[static_cast<std::size_t>(y) * probe.windowWidth + x]
                                    : PlotOffset(x, y);
    if (offset < 0) return;
    std::uint32_t pixel;
    std::memcpy(&pixel, probe.plotBits + offset, sizeof(pixel));
    pixel |= PlotLevelColour(probe.run.level);
    std::memcpy(probe.plotBits + offset, &pixel, sizeof(pixel));
}

std::string PlotNotSavedText(HRESULT result, const std::string& path) {
    // The file system's reasons (a system error, a file that cannot be
    // created) in its words; anything else came from the plot's surface.
    const bool fileReason = result == TEXERR_UNREADABLE || (static_cast<std::uint32_t>(result) >> 16) == 0x8007;
    if (fileReason) return "Could not save the polar plot as " + path + ": " + WriteFailureReason(path, result) + ".";
    char reason[96];
    std::snprintf(reason, sizeof(reason), "the plot surface could not be locked and read (error 0x%08X)",
                  static_cast<unsigned>(result));
    return "Could not save the polar plot as " + path + ": " + reason + ".";
}

HRESULT WritePlotCopy(const std::string& path) {
    ProbeState& probe = ActiveProbe();
    if (!probe.plotSurface) return E_FAIL;
    probe.plotSurface->UnlockRect();
    const HRESULT result =
        WriteSurfaceToImageFile(path.c_str(), ImageFileFormat::Bmp, probe.plotSurface, nullptr, nullptr);
    D3DLOCKED_RECT locked{};
    if (FAILED(probe.plotSurface->LockRect(&locked, nullptr, 0))) {
        ReleasePlot();  // a plot that cannot be written is not kept
        return FAILED(result) ? result : E_FAIL;
    }
    probe.plotPitch = locked.Pitch;
    probe.plotBits = static_cast<std::uint8_t*>(locked.pBits);
    return result;
}

void SavePlot(const std::string& path) {
    ProbeState& probe = ActiveProbe();
    if (!probe.plotSurface) {
        MessageBoxA(nullptr, PlotNotSavedText(E_FAIL, path).c_str(), "Quillmark", MB_OK | MB_ICONWARNING);
        return;
    }
    probe.plotSurface->UnlockRect();
    const HRESULT result =
        WriteSurfaceToImageFile(path.c_str(), ImageFileFormat::Bmp, probe.plotSurface, nullptr, nullptr);
    ReleasePlot();
    if (FAILED(result))
        MessageBoxA(nullptr, PlotNotSavedText(result, path).c_str(), "Quillmark", MB_OK | MB_ICONWARNING);
    else
        ShowStatus(PlotSavedText(path));
}

std::string PlotSavedText(const std::string& path) {
    std::error_code error;
    const std::filesystem::path where = std::filesystem::absolute(path, error);
    return "Polar plot saved as " + (error ? path : where.lexically_normal().string());
}

}  // namespace quillmark
