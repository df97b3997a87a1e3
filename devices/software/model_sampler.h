// The model device's sampler: the reference sampler's rules
// (docs/reference-device.md) changed by the knobs (docs/model-device.md).
// Knobs that change only the sampler states a draw hands over (the
// anisotropy cap, MAXANISOTROPY ignored, the LOD offset, the stage
// reduction) are applied to the states, and the reference kernels draw;
// the others need the model kernel (model_kernel.h), a scalar one that does
// the reference arithmetic in its order with the knobs' steps added, which
// the draw's key picks for a setup whose `model` is set.
#pragma once

#include <cstdint>

#include "devices/software/model_knobs.h"
#include "devices/software/sampler.h"

namespace quillmark::software {

// The setup of stage `stage` on the model device: MakeSamplerSetup's, with
// the knobs applied; `model` set where the knobs need the model kernel.
// The knobs must outlive the setup.
SamplerSetup MakeModelSamplerSetup(SamplerDescription sampler, const SampledTexture& texture, const ModelKnobs& knobs,
                                   std::uint32_t stage);

// Makes model devices draw with the model kernel even where their knobs
// would leave the reference kernels drawing (never while a draw runs), so
// that tests can hold its arithmetic against the reference's with the
// default knobs.
void ForceModelKernel(bool force);

}  // namespace quillmark::software
