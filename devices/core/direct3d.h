// Entry points of the Direct3D 9 core that lie outside the Direct3D 9
// interfaces: a Direct3D object over a renderer source, and the fault switch
// and counters that tests use to exercise the application's device handling.
#pragma once

#include <memory>

#include "platform/d3d9/d3d9.h"

namespace quillmark::core {

class RendererSource;

// A Direct3D object whose devices keep their resources, states and checks
// in the core and draw through a renderer of `source`, and report its
// capabilities.
IDirect3D9* CreateDirect3D(std::unique_ptr<RendererSource> source);

// Makes the next `count` calls of Present (on any device of the process)
// fail with D3DERR_DEVICELOST, as a lost device would.
void FailNextPresents(unsigned count);

// Number of successful Present calls in this process, for tests.
unsigned long long PresentCount();

}  // namespace quillmark::core
