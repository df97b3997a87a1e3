// The built-in software device ("reference"): the core's Direct3D object
// with the software renderer, and the thread count it draws with.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "devices/software/model_knobs.h"

namespace quillmark::software {

// A new Direct3D object whose devices draw with the software renderer.
IDirect3D9* CreateReferenceDirect3D();

// A new Direct3D object whose devices draw with the software renderer
// changed by the model device's knobs.
IDirect3D9* CreateModelDirect3D(const ModelKnobs& knobs);

// Threads (the calling thread included) with which software devices
// created from now on draw; 0, the default, gives one per core. Frames do
// not depend on it: tests and benchmarks compare thread counts.
void SetDrawThreads(unsigned threads);

}  // namespace quillmark::software
