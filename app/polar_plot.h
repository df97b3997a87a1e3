// The polar coverage plot of an analysis run: for every direction around the
// screen centre (across) and every distance from it (down), the mip levels
// whose texels were hit there, coloured by level modulo 3 (blue, green, red)
// and mixed by OR. It lives in a locked system-memory surface from Start to
// Stop and is then saved as "MipBand.bmp" in the current directory.
#pragma once

#include "platform/win32/windows.h"

#include <cstdint>
#include <string>

namespace quillmark {

inline constexpr int kPlotWidth = 720;
inline constexpr const char* kPlotFileName = "MipBand.bmp";

// Rows of the plot for a window: longer than the distance from the screen
// centre to any pixel (501 for 800 x 600).
int PlotHeightFor(int windowWidth, int windowHeight);

// The plot column and row (of a plot plotWidth × plotHeight) where a hit at
// pixel (x, y) of a windowWidth × windowHeight window lands; false for the
// screen centre (no direction) and for places outside the plot.
bool PlotCell(int x, int y, int windowWidth, int windowHeight, int plotWidth, int plotHeight, int* column, int* row);

// Colour of a level's hits: blue, green, red for level mod 3 = 0, 1, 2.
std::uint32_t PlotLevelColour(int level);

// Creates plotSurface (720 x plotHeight, X8R8G8B8, system memory), locks it
// for the whole run and clears it. Without a device or memory it stays null.
void CreatePlotSurface();

// ORs the colour of the level under analysis into the plot pixel of a hit at
// back-buffer pixel (x, y). The screen centre has no direction and is skipped.
void PlotHit(int x, int y);

// Unlocks plotSurface, writes it to "MipBand.bmp" (an existing file is
// replaced) and releases it; the status line says where it went. When there
// is no plot (its surface could not be created or locked at Start) or it
// cannot be written, a message box says that MipBand.bmp was not saved and why.
void SavePlot(const std::string& path = kPlotFileName);

// Writes the plot as it stands to `path` (BMP) and keeps it for the rest of
// the run; E_FAIL when there is none.
HRESULT WritePlotCopy(const std::string& path);

// "Polar plot saved as PATH" with the whole path, for the status line.
std::string PlotSavedText(const std::string& path = kPlotFileName);

// "Could not save the polar plot as PATH: REASON." for a failed save.
std::string PlotNotSavedText(HRESULT result, const std::string& path = kPlotFileName);

}  // namespace quillmark
