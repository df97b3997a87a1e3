// Entry points of the OpenGL device: a Direct3D object whose devices keep
// the reference device's resources and draw through OpenGL on EGL.
#pragma once

#include <string>
#include <string_view>

#include "platform/d3d9/d3d9.h"
#include "devices/gl/gl_context.h"

namespace quillmark::gl {

// Whether `name` is an OpenGL device's name (see GlChoice).
bool IsGlDeviceName(std::string_view name);

// A Direct3D object drawing with the driver `name` chooses; null with the
// reason in *error when it cannot be opened.
IDirect3D9* CreateGlDirect3D(std::string_view name, std::string* error);

// Between the driver's strings and the EGL display in DescribeGlDriver's text.
inline constexpr std::string_view kDisplaySeparator = "; through ";

// The driver's renderer and version strings and the EGL display that gave
// it ("renderer; OpenGL version; through display"), or false with the reason.
bool DescribeGlDriver(std::string_view name, std::string* description, std::string* error);

// Which texture formats the driver `name` opens is given as they are
// stored ("  textures as stored: ...") and that the others are decoded;
// empty when it cannot be opened.
std::string GlDeviceNotes(std::string_view name);

}  // namespace quillmark::gl
