// Entry points of the built-in software device that lie outside the
// Direct3D 9 interfaces: its creation, and the fault switch and counters
// that tests use to exercise the application's device handling.
#pragma once

#include <memory>

#include "d3d9.h"

namespace quillmark::reference {

class RendererSource;

// A new Direct3D object whose devices are software reference devices.
IDirect3D9* CreateReferenceDirect3D();
// A Direct3D object whose devices keep the reference device's resources but
// draw through renderers of `source`, and report its capabilities.
IDirect3D9* CreateReferenceDirect3D(std::unique_ptr<RendererSource> source);

// Makes the next `count` calls of Present (on any reference device of the
// process) fail with D3DERR_DEVICELOST, as a lost device would.
void FailNextPresents(unsigned count);

// Number of successful Present calls in this process, for tests.
unsigned long long PresentCount();

// Threads (the calling thread included) with which reference devices
// created from now on draw; 0, the default, gives one per core. Frames do
// not depend on it: tests and benchmarks compare thread counts.
void SetDrawThreads(unsigned threads);

}  // namespace quillmark::reference
