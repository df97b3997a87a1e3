// The OpenGL and EGL declarations the OpenGL device uses (core profile 3.3
// entry points, called directly through the system's libraries).
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#define EGL_EGLEXT_PROTOTYPES 1
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>
