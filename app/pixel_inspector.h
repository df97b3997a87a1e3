// The pixel inspector of the desktop window: a click on a pixel of the frame
// probes that pixel's footprint (footprint_probe.h) and opens a window
// showing, level by level, the texels that reached it with their weights
// drawn over the texel grid, the ideal footprint's ellipse, the probe count
// and the level-of-detail figures.
#pragma once

#include "app/footprint_probe.h"
#include "app/picture.h"

#include "platform/win32/windows.h"

namespace quillmark {

// Inspects pixel (x, y) of the frame (the main window's left button):
// opens the inspector's window, or brings it up to date, or says in a
// message box why the pixel cannot be inspected.
void InspectFramePixel(int x, int y);

// The inspector's window (null while it is closed) and what it shows.
HWND PixelInspectorWindow();
const PixelInspection* ShownPixelInspection();

// The inspector's picture of an inspection.
Picture InspectionPicture(const PixelInspection& inspection);

}  // namespace quillmark
