// The pictures of an explanation, each showing one property of the sampler
// with the device and the model that explains it drawn over each other: the
// level read against the ideal λ (the blend curve), the probe count against
// the footprint's ratio, and the λ error by direction.
#pragma once

#include "app/explain/explanation.h"
#include "app/picture.h"

namespace quillmark::explain {

// Isotropic readings: the level read, against the exact rule's λ, over the
// first three levels (full trilinear follows the diagonal, a narrower blend
// climbs in steps).
Picture BlendCurvePicture(const LevelReading& device, const LevelReading& model);

// 16x readings: the probe count the level read implies (ρmax / 2^λ), against
// the footprint's ratio ρmax / ρmin, beside the rule's min(⌈ratio⌉, 16).
Picture ProbeCountPicture(const LevelReading& device, const LevelReading& model);

// The 32 sector means of the isotropic reading minus the exact rule.
Picture DirectionErrorPicture(const Findings& findings);

}  // namespace quillmark::explain
