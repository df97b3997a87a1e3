#include "app/pixel_inspector.h"

#include "app/app_state.h"
#include "app/picture_window.h"
#include "app/probe.h"
#include "app/tool_turn.h"


#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>
#include <string>

namespace quillmark {
namespace {

constexpr std::uint32_t kBackground = 0x181818, kText = 0xE0E0E0, kGrid = 0x505050, kEmptyTexel = 0x282828;
constexpr std::uint32_t kEllipse = 0xFFD000, kDim = 0x909090, kWeightText = 0x0050FF;
constexpr int kMargin = 10, kLine = 20, kTextScale = 2;
constexpr int kPanelSpan = 300;     // the grid's largest side in pixels
constexpr int kMostTexelsShown = 24;  // per side of a level's grid
constexpr int kPanelsPerRow = 3;

PictureWindow& Window() {
    static PictureWindow window;
    return window;
}
std::optional<PixelInspection> g_shown;

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// A weight's colour: black to white.
std::uint32_t WeightColour(double weight) {
    const auto v = std::uint32_t(std::lround(std::clamp(weight, 0.0, 1.0) * 200)) + 55;
    return v << 16 | v << 8 | v;
}

// The texel index (unwrapped) of a texel nearest to the footprint's centre.
int Unwrapped(int index, double centre, int size) {
    return index + size * int(std::lround((centre - index) / size));
}

// One level's grid: the texels that reached the pixel, their weights, the
// ideal footprint's ellipse (its conjugate semi-diameters half a pixel step
// along x and along y) and its centre.
Picture LevelPanel(const PixelInspection& inspection, int level) {
    const int size = inspection.shape.LevelSize(level);
    const double scale = double(size) / inspection.shape.size;
    const double cu = inspection.at ? inspection.at->u * scale - 0.5 : 0, cv = inspection.at ? inspection.at->v * scale - 0.5 : 0;
    std::vector<TexelWeight> texels;
    for (const TexelWeight& texel : inspection.probed.texels)
        if (texel.level == level)
            texels.push_back({level, Unwrapped(texel.x, cu, size), Unwrapped(texel.y, cv, size), texel.weight});
    double x0 = cu, x1 = cu, y0 = cv, y1 = cv;
    for (const TexelWeight& texel : texels) {
        x0 = std::min(x0, double(texel.x)), x1 = std::max(x1, double(texel.x));
        y0 = std::min(y0, double(texel.y)), y1 = std::max(y1, double(texel.y));
    }
    std::optional<Footprint> f;
    if (inspection.at && inspection.at->footprint) f = *inspection.at->footprint;
    if (f) {
        const double hu = 0.5 * (std::abs(f->dudx) + std::abs(f->dudy)) * scale;
        const double hv = 0.5 * (std::abs(f->dvdx) + std::abs(f->dvdy)) * scale;
        x0 = std::min(x0, cu - hu), x1 = std::max(x1, cu + hu), y0 = std::min(y0, cv - hv), y1 = std::max(y1, cv + hv);
    }
    // One texel more on every side, no more than the grid can show, centred on the footprint.
    int left = int(std::floor(x0)) - 1, right = int(std::ceil(x1)) + 1;
    int top = int(std::floor(y0)) - 1, bottom = int(std::ceil(y1)) + 1;
    if (right - left + 1 > kMostTexelsShown) left = int(std::lround(cu)) - kMostTexelsShown / 2, right = left + kMostTexelsShown - 1;
    if (bottom - top + 1 > kMostTexelsShown) top = int(std::lround(cv)) - kMostTexelsShown / 2, bottom = top + kMostTexelsShown - 1;
    const int columns = right - left + 1, rows = bottom - top + 1;
    const int cell = std::clamp(kPanelSpan / std::max(columns, rows), 6, 48);

    const int heading = 2 * kLine;
    const std::string title = "LEVEL " + std::to_string(level) + " (" + std::to_string(size) + "X" + std::to_string(size) + ")";
    const std::string weight = "WEIGHT " + Format("%.3f", inspection.probed.levelWeights[std::size_t(level)]) + ", " +
                               std::to_string(texels.size()) + " TEXELS";
    Picture panel(std::max({columns * cell + 1, TextWidth(title, kTextScale), TextWidth(weight, kTextScale)}),
                  heading + rows * cell + 1, kBackground);
    DrawText(panel, 0, 0, title, kText, kTextScale);
    DrawText(panel, 0, kLine, weight, kDim, kTextScale);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) panel.FillRect(c * cell, heading + r * cell, cell, cell, kEmptyTexel);
    for (const TexelWeight& texel : texels) {
        const int c = texel.x - left, r = texel.y - top;
        if (c < 0 || r < 0 || c >= columns || r >= rows) continue;
        panel.FillRect(c * cell, heading + r * cell, cell, cell, WeightColour(texel.weight));
        if (cell >= 30) DrawText(panel, c * cell + 2, heading + r * cell + cell / 2 - 3, Format("%.2f", texel.weight), kWeightText, 1);
    }
    for (int c = 0; c <= columns; ++c) panel.Line(c * cell, heading, c * cell, heading + rows * cell, kGrid);
    for (int r = 0; r <= rows; ++r) panel.Line(0, heading + r * cell, columns * cell, heading + r * cell, kGrid);
    // Texel i spans i - 0.5 .. i + 0.5 in these coordinates.
    const auto px = [&](double u) { return (u - left + 0.5) * cell; };
    const auto py = [&](double v) { return heading + (v - top + 0.5) * cell; };
    if (f) {
        const double ax = 0.5 * f->dudx * scale, ay = 0.5 * f->dvdx * scale;
        const double bx = 0.5 * f->dudy * scale, by = 0.5 * f->dvdy * scale;
        constexpr int kSegments = 72;
        for (int i = 0; i < kSegments; ++i) {
            const double t0 = 2 * std::numbers::pi * i / kSegments, t1 = 2 * std::numbers::pi * (i + 1) / kSegments;
            panel.Line(px(cu + ax * std::cos(t0) + bx * std::sin(t0)), py(cv + ay * std::cos(t0) + by * std::sin(t0)),
                       px(cu + ax * std::cos(t1) + bx * std::sin(t1)), py(cv + ay * std::cos(t1) + by * std::sin(t1)),
                       kEllipse, 2);
        }
    }
    if (inspection.at) panel.Disc(px(cu), py(cv), 3, kEllipse);
    return panel;
}

std::vector<std::string> Heading(const PixelInspection& inspection) {
    std::vector<std::string> lines;
    const ProbedFootprint& probed = inspection.probed;
    lines.push_back("PIXEL (" + std::to_string(inspection.x) + ", " + std::to_string(inspection.y) + "), " +
                    std::to_string(probed.frames) + " PROBE FRAMES" + (probed.complete ? "" : ", NOT ALL FOUND"));
    if (inspection.ideal) {
        lines.push_back("IDEAL LOD " + Format("%.3f", inspection.ideal->lambda) + ", BAND " +
                        Format("%.3f", inspection.ideal->low) + " TO " + Format("%.3f", inspection.ideal->high) +
                        ", PROBES " + std::to_string(inspection.idealProbes));
    } else {
        lines.push_back(inspection.at ? "IDEAL LOD: NO FINITE FOOTPRINT" : "IDEAL LOD: THE SCENE MISSES THIS PIXEL");
    }
    if (const std::optional<double> measured = MeasuredLevel(probed)) {
        std::string line = "MEASURED LEVEL BLEND " + Format("%.3f", *measured);
        if (inspection.idealLevel)
            line += ", IDEAL " + Format("%.3f", *inspection.idealLevel) + ", DIFFERENCE " +
                    Format("%+.3f", *measured - *inspection.idealLevel);
        lines.push_back(line);
    } else {
        lines.push_back("NO TEXEL OF THE TEXTURE REACHES THIS PIXEL");
    }
    return lines;
}

}  // namespace

Picture InspectionPicture(const PixelInspection& inspection) {
    const std::vector<std::string> heading = Heading(inspection);
    std::vector<Picture> panels;
    for (int level = 0; level < inspection.shape.levels; ++level)
        if (std::size_t(level) < inspection.probed.levelWeights.size() &&
            inspection.probed.levelWeights[std::size_t(level)] > 0)
            panels.push_back(LevelPanel(inspection, level));
    int width = 0;
    for (const std::string& line : heading) width = std::max(width, TextWidth(line, kTextScale));
    int rowsHeight = 0, rowWidth = 0, rowHeight = 0;
    for (std::size_t i = 0; i < panels.size(); ++i) {
        if (i % kPanelsPerRow == 0) rowsHeight += rowHeight + kMargin, rowWidth = 0, rowHeight = 0;
        rowWidth += panels[i].width + kMargin;
        rowHeight = std::max(rowHeight, panels[i].height);
        width = std::max(width, rowWidth);
    }
    rowsHeight += rowHeight;
    Picture picture(width + 2 * kMargin, kMargin + int(heading.size()) * kLine + rowsHeight + kMargin, kBackground);
    int y = kMargin;
    for (const std::string& line : heading) {
        DrawText(picture, kMargin, y, line, kText, kTextScale);
        y += kLine;
    }
    int x = kMargin;
    rowHeight = 0;
    for (std::size_t i = 0; i < panels.size(); ++i) {
        if (i % kPanelsPerRow == 0) y += rowHeight + kMargin, x = kMargin, rowHeight = 0;
        picture.Paste(panels[i], x, y);
        x += panels[i].width + kMargin;
        rowHeight = std::max(rowHeight, panels[i].height);
    }
    return picture;
}

void InspectFramePixel(int x, int y) {
    const ToolTurn turn;
    if (!turn.Taken()) return;
    Probe probe{Probe::Running{}};
    PixelInspection inspection;
    std::string error;
    if (!probe.Started() || !InspectPixel(probe, x, y, &inspection, &error)) {
        MessageBoxA(nullptr,
                    ("Could not inspect pixel (" + std::to_string(x) + ", " + std::to_string(y) + "): " +
                     (error.empty() ? std::string("the program is not running") : error) + ".")
                        .c_str(),
                    "Quillmark", MB_OK);
    } else {
        g_shown = std::move(inspection);
 Window().Show(InspectionPicture(*g_shown), "Pixel " + std::to_string(x) + ", " + std::to_string(y) + " - Quillmark");
    }
}

HWND PixelInspectorWindow() { return Window().Handle(); }

const PixelInspection* ShownPixelInspection() { return g_shown ? &*g_shown : nullptr; }

}  // namespace quillmark
