// What the λ meter reports: the measured and the ideal level per pixel, the
// figures that compare them, and their pictures (the two λ maps, the error
// map and the polar plot of the error by direction).
#pragma once

#include "app/lod_ideal.h"
#include "app/lod_meter.h"
#include "app/picture.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillmark {

inline constexpr int kLodSectors = 32;
// How far outside the allowed band a measurement may lie and still count as
// inside it: the meter's own resolution (frames carry 8 bits per channel).
inline constexpr double kMeterTolerance = 1.0 / 32;

struct LodMaps {
    int width = 0, height = 0;
    int lastLevel = 0;
    // Why these frames cannot tell λ (the mip filter is off); empty when they can.
    std::string notMeasured;
    // How far outside the band a measurement may lie and still count as
    // inside it: the meter's resolution plus the device's stated mipmap
    // precision where it states one.
    double bandTolerance = kMeterTolerance;
    std::vector<MeasuredLod> measured;  // row by row
    std::vector<IdealLod> ideal;
};

struct LodFigures {
    std::string notMeasured;   // as in LodMaps: then no share or error is given
    std::int64_t covered = 0;  // pixels both the device and the ideal cover
    std::int64_t clamped = 0;  // of those, where λ lies below 0 or beyond the last level
    // Over the covered pixels that are not clamped (empty when there are none):
    std::optional<double> within116, within14, within12;  // shares with |Δλ| ≤ 1/16, 1/4, 1/2
    std::optional<double> withinAllowed;                   // share inside the allowed band
    std::optional<double> meanAbsError, p99AbsError, meanError;
    std::array<std::optional<double>, kLodSectors> sectors;  // mean Δλ by direction, clockwise from up
};

LodFigures ComputeLodFigures(const LodMaps& maps);

// The sector (0 .. 31) of a direction from the screen centre, counted
// clockwise from up (screen y grows downwards).
int SectorOf(double dx, double dy);

// A share as a percentage with two decimals, "no pixels" when there is none.
std::string PercentText(std::optional<double> share);
// The figures as text lines (app/batch declares their JSON names).
std::string LodFiguresText(const LodFigures& figures);

// Measured minus ideal at a pixel the figures count; nothing elsewhere.
std::optional<double> LodError(const LodMaps& maps, std::size_t pixel);

// The pictures, each with its colour bar.
Picture MeasuredLodPicture(const LodMaps& maps);
Picture IdealLodPicture(const LodMaps& maps);
// The error map's colours reach their ends at ±`range` levels: the coarse
// scale shows errors of whole levels, the fine one offsets of a few
// hundredths (a uniform -0.031 is a quarter of the way to full blue).
inline constexpr double kErrorRange = 2.0;
inline constexpr double kFineErrorRange = 0.125;
// The colour of the error map at a pixel both the device and the ideal
// cover (grey where λ is clamped); nothing elsewhere.
std::optional<std::uint32_t> LodErrorColour(const LodMaps& maps, std::size_t pixel, double range = kErrorRange);
// The error map's colour bar and the clamped swatch below it, `height` tall.
Picture LodErrorLegend(int height, double range = kErrorRange);
Picture LodErrorPicture(const LodMaps& maps, double range = kErrorRange);
Picture LodPolarPicture(const LodFigures& figures);

}  // namespace quillmark
