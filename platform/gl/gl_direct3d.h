// Entry points of the OpenGL device: a Direct3D object whose devices keep
// the reference device's resources and draw through OpenGL on EGL.
#pragma once

#include <string>

#include "d3d9.h"
#include "gl_context.h"

namespace quillmark::gl {

// A Direct3D object drawing with `driver`; null with the reason in *error
// when the driver cannot be opened.
IDirect3D9* CreateGlDirect3D(GlDriver driver, std::string* error);

// The driver's renderer and version strings ("renderer; OpenGL version"),
// or false with the reason in *error.
bool DescribeGlDriver(GlDriver driver, std::string* description, std::string* error);

}  // namespace quillmark::gl
