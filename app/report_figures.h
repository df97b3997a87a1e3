// The analysis pictures as the reports show them: the heat map on a
// perceptual, colour-blind-safe scale over a logarithmic count axis with its
// colour bar (heatmap.bmp keeps its own red-green colours), and the polar
// plot (MipBand.bmp) framed with its direction and distance axes.
#pragma once

#include "app/picture.h"

#include <functional>
#include <vector>

namespace quillmark {

// `hits(x, y)` for every pixel of a width × height frame, 0 .. maxHits.
Picture HeatMapFigure(int width, int height, int maxHits, const std::function<int(int x, int y)>& hits);

// The polar plot with its axes: across, the direction from the screen centre
// in four quarters (up to right, left to up, down to left, right to down);
// down, the distance from the centre in pixels (0 on the bottom row).
Picture MipBandFigure(const Picture& plot);

// A polar plot like MipBand.bmp (same unrolling and colours) of the level
// each pixel chose in a level-choice frame (`levels`, -1 for none), without
// a texel analysis.
Picture LevelBandPlot(const std::vector<int>& levels, int width, int height);

}  // namespace quillmark
