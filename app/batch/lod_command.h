// "quillmark lod [settings] [--json] [-o DIR]": the λ meter. Measures the
// level of detail the device uses at every pixel, computes the ideal one from
// the same triangles, and writes both maps, the error map and the polar plot
// of the error (lod-measured.png, lod-ideal.png, lod-error.png,
// lod-polar.png) with the figures that compare them.
#pragma once

#include "app/lod_figures.h"

#include <filesystem>
#include <string>

namespace quillmark {
class Probe;
}

namespace quillmark::batch {

struct LodMeasurement {
    LodMaps maps;
    LodFigures figures;
};

// Measures on the probe running now, with its settings.
bool MeasureLod(Probe& probe, LodMeasurement* out, std::string* error);

// The four pictures' file names for a device (an empty name gives the plain
// names "lod-measured.png" ... that "lod" writes).
struct LodPictureFiles {
    std::string measured, ideal, error, polar;
};
LodPictureFiles LodPictureNames(const std::string& device);

// Writes the four pictures into `directory`; false with the reason in *error.
bool WriteLodPictures(const LodMeasurement& lod, const std::filesystem::path& directory, const LodPictureFiles& names,
                      std::string* error);

}  // namespace quillmark::batch
