#include "app/report_figures.h"

#include "app/colour_scale.h"
#include "app/polar_plot.h"

#include <cmath>
#include <string>

namespace quillmark {
namespace {

constexpr int kTextScale = 2;
constexpr int kLeftMargin = 70, kTopMargin = 30, kBottomMargin = 60, kRightMargin = 20;
constexpr int kTick = 6;
constexpr int kDistanceStep = 100;  // pixels between distance ticks

int TextHeight() { return kGlyphHeight * kTextScale; }

}  // namespace

Picture HeatMapFigure(int width, int height, int maxHits, const std::function<int(int, int)>& hits) {
    Picture map(width, height, 0);
    const double top = std::log1p(double(std::max(maxHits, 1)));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) map.Set(x, y, SequentialColour(std::log1p(double(hits(x, y))) / top));
    return SideBySide(map, ColourBar(SequentialColour, LogCountTicks(maxHits), "HITS", height), kFigureBackground);
}

Picture MipBandFigure(const Picture& plot) {
    Picture figure(kLeftMargin + plot.width + kRightMargin, kTopMargin + plot.height + kBottomMargin,
                   kFigureBackground);
    figure.Paste(plot, kLeftMargin, kTopMargin);
    const int left = kLeftMargin - 1, bottom = kTopMargin + plot.height;
    figure.Line(left, kTopMargin, left, bottom, kFigureInk);
    figure.Line(left, bottom, kLeftMargin + plot.width, bottom, kFigureInk);
    DrawText(figure, 4, 6, "DISTANCE (PX)", kFigureInk, kTextScale);
    // Distance: the bottom row is the centre, each row up one pixel further.
    for (int distance = 0; distance < plot.height; distance += kDistanceStep) {
        const int y = bottom - 1 - distance;
        figure.Line(left - kTick, y, left, y, kFigureInk);
        const std::string label = std::to_string(distance);
        DrawText(figure, left - kTick - 4 - TextWidth(label, kTextScale), y - TextHeight() / 2, label, kFigureInk,
                 kTextScale);
    }
    // Direction: four quarters, each mirrored so that neighbours meet.
    const char* quarters[4] = {"UP TO RIGHT", "LEFT TO UP", "DOWN TO LEFT", "RIGHT TO DOWN"};
    const int quarter = plot.width / 4;
    for (int q = 0; q <= 4; ++q) {
        const int x = kLeftMargin + std::min(q * quarter, plot.width - 1);
        figure.Line(x, bottom, x, bottom + kTick, kFigureInk);
        if (q == 4) break;
        const int centre = kLeftMargin + q * quarter + quarter / 2;
        DrawText(figure, centre - TextWidth(quarters[q], kTextScale) / 2, bottom + kTick + 4, quarters[q], kFigureInk,
                 kTextScale);
    }
    const std::string across = "DIRECTION FROM THE SCREEN CENTRE";
    DrawText(figure, kLeftMargin + (plot.width - TextWidth(across, kTextScale)) / 2, bottom + kTick + 8 + TextHeight(),
             across, kFigureInk, kTextScale);
    return figure;
}

Picture LevelBandPlot(const std::vector<int>& levels, int width, int height) {
    Picture plot(kPlotWidth, PlotHeightFor(width, height), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int level = levels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
            int column = 0, row = 0;
            if (level < 0 || !PlotCell(x, y, width, height, plot.width, plot.height, &column, &row)) continue;
            plot.pixels[std::size_t(row) * std::size_t(plot.width) + std::size_t(column)] |= PlotLevelColour(level);
        }
    return plot;
}

}  // namespace quillmark
