// "quillmark lod [settings] [--json] [-o DIR]": the λ meter. Measures the
// level of detail the device uses at every pixel, computes the ideal one from
// the same triangles, and writes both maps, the error map and the polar plot
// of the error (lod-measured.png, lod-ideal.png, lod-error.png,
// lod-polar.png) with the figures that compare them.
#pragma once

#include "app/batch/baseline.h"
#include "app/batch/figure_table.h"
#include "app/lod_figures.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace quillmark {
class Probe;
}

namespace quillmark::batch {

struct LodMeasurement {
    LodMaps maps;
    LodFigures figures;
};

// The λ meter's figures declared once: name (the JSON key), meaning, unit
// ("pixels", "share" of the covered pixels that are not clamped, or
// "levels"); a share or level figure not measured is null.
std::span<const FigureDeclaration<LodFigures>> LodFigureDeclarations();
Json LodFiguresObject(const LodFigures& figures);
// The figures a baseline compares: the shares and the level figures.
std::vector<std::pair<std::string, FigureRule>> LodFigureRules();

// Measures on the probe running now, with its settings.
bool MeasureLod(Probe& probe, LodMeasurement* out, std::string* error);

// The meter's two frames (LodLevelColour's frame 0 and 1), back buffers.
using LodFrames = std::array<std::vector<std::uint32_t>, kLodFrames>;
// The maps of two frames drawn just now with the settings in use: the
// measured λ decoded from them, the ideal of the scene the device drew.
bool LodMapsOfFrames(const LodFrames& frames, LodMaps* maps, std::string* error);

// The four pictures' file names for a device (an empty name gives the plain
// names "lod-measured.png" ... that "lod" writes).
struct LodPictureFiles {
    std::string measured, ideal, error, polar;
};
LodPictureFiles LodPictureNames(const std::string& device);

// Writes the four pictures into `directory`, each carrying `texts`
// (ImageProvenance); false with the reason in *error.
bool WriteLodPictures(const LodMeasurement& lod, const std::filesystem::path& directory, const LodPictureFiles& names,
                      const std::vector<PngText>& texts, std::string* error);

}  // namespace quillmark::batch
