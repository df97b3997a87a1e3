// The EGL and OpenGL entry points the OpenGL device calls, as pointers
// loaded from the system's libraries at run time: the program starts, and
// every other device works, on a machine without them.
#pragma once

#define EGL_EGL_PROTOTYPES 0
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/glcorearb.h>

#include <string>

// EGL's core entry points, taken from libEGL.
#define QUILLMARK_EGL_FUNCTIONS(X)                                 \
    X(PFNEGLGETPROCADDRESSPROC, eglGetProcAddress)                 \
    X(PFNEGLBINDAPIPROC, eglBindAPI)                               \
    X(PFNEGLCREATECONTEXTPROC, eglCreateContext)                   \
    X(PFNEGLDESTROYCONTEXTPROC, eglDestroyContext)                 \
    X(PFNEGLGETCURRENTCONTEXTPROC, eglGetCurrentContext)           \
    X(PFNEGLGETERRORPROC, eglGetError)                             \
    X(PFNEGLGETDISPLAYPROC, eglGetDisplay)                         \
    X(PFNEGLGETPLATFORMDISPLAYPROC, eglGetPlatformDisplay)         \
    X(PFNEGLINITIALIZEPROC, eglInitialize)                         \
    X(PFNEGLMAKECURRENTPROC, eglMakeCurrent)                       \
    X(PFNEGLQUERYSTRINGPROC, eglQueryString)                       \
    X(PFNEGLTERMINATEPROC, eglTerminate)

// OpenGL's, from libOpenGL (or, without it, through eglGetProcAddress).
#define QUILLMARK_GL_FUNCTIONS(X)                                     \
    X(PFNGLACTIVETEXTUREPROC, glActiveTexture)                        \
    X(PFNGLATTACHSHADERPROC, glAttachShader)                          \
    X(PFNGLBINDBUFFERPROC, glBindBuffer)                              \
    X(PFNGLBINDFRAMEBUFFERPROC, glBindFramebuffer)                    \
    X(PFNGLBINDSAMPLERPROC, glBindSampler)                            \
    X(PFNGLBINDTEXTUREPROC, glBindTexture)                            \
    X(PFNGLBINDVERTEXARRAYPROC, glBindVertexArray)                    \
    X(PFNGLBUFFERDATAPROC, glBufferData)                              \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, glCheckFramebufferStatus)      \
    X(PFNGLCLEARPROC, glClear)                                        \
    X(PFNGLCLIPCONTROLPROC, glClipControl)                            \
    X(PFNGLCLEARCOLORPROC, glClearColor)                              \
    X(PFNGLCLEARDEPTHPROC, glClearDepth)                              \
    X(PFNGLCOLORMASKPROC, glColorMask)                                \
    X(PFNGLCOMPILESHADERPROC, glCompileShader)                        \
    X(PFNGLCOMPRESSEDTEXIMAGE2DPROC, glCompressedTexImage2D)          \
    X(PFNGLCOMPRESSEDTEXSUBIMAGE2DPROC, glCompressedTexSubImage2D)    \
    X(PFNGLCREATEPROGRAMPROC, glCreateProgram)                        \
    X(PFNGLCREATESHADERPROC, glCreateShader)                          \
    X(PFNGLCULLFACEPROC, glCullFace)                                  \
    X(PFNGLDELETEBUFFERSPROC, glDeleteBuffers)                        \
    X(PFNGLDELETEFRAMEBUFFERSPROC, glDeleteFramebuffers)              \
    X(PFNGLDELETEPROGRAMPROC, glDeleteProgram)                        \
    X(PFNGLDELETESAMPLERSPROC, glDeleteSamplers)                      \
    X(PFNGLDELETESHADERPROC, glDeleteShader)                          \
    X(PFNGLDELETETEXTURESPROC, glDeleteTextures)                      \
    X(PFNGLDELETEVERTEXARRAYSPROC, glDeleteVertexArrays)              \
    X(PFNGLDEPTHFUNCPROC, glDepthFunc)                                \
    X(PFNGLDEPTHMASKPROC, glDepthMask)                                \
    X(PFNGLDEPTHRANGEPROC, glDepthRange)                              \
    X(PFNGLDISABLEPROC, glDisable)                                    \
    X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, glDisableVertexAttribArray)  \
    X(PFNGLDRAWARRAYSPROC, glDrawArrays)                              \
    X(PFNGLENABLEPROC, glEnable)                                      \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, glEnableVertexAttribArray)    \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, glFramebufferTexture2D)          \
    X(PFNGLFRONTFACEPROC, glFrontFace)                                \
    X(PFNGLGENBUFFERSPROC, glGenBuffers)                              \
    X(PFNGLGENFRAMEBUFFERSPROC, glGenFramebuffers)                    \
    X(PFNGLGENSAMPLERSPROC, glGenSamplers)                            \
    X(PFNGLGENTEXTURESPROC, glGenTextures)                            \
    X(PFNGLGENVERTEXARRAYSPROC, glGenVertexArrays)                    \
    X(PFNGLGETERRORPROC, glGetError)                                  \
    X(PFNGLGETFLOATVPROC, glGetFloatv)                                \
    X(PFNGLGETINTEGERVPROC, glGetIntegerv)                            \
    X(PFNGLGETINTERNALFORMATIVPROC, glGetInternalformativ)            \
    X(PFNGLGETPROGRAMIVPROC, glGetProgramiv)                          \
    X(PFNGLGETSHADERIVPROC, glGetShaderiv)                            \
    X(PFNGLGETSTRINGPROC, glGetString)                                \
    X(PFNGLGETSTRINGIPROC, glGetStringi)                              \
    X(PFNGLGETUNIFORMLOCATIONPROC, glGetUniformLocation)              \
    X(PFNGLISENABLEDPROC, glIsEnabled)                                \
    X(PFNGLLINKPROGRAMPROC, glLinkProgram)                            \
    X(PFNGLPIXELSTOREIPROC, glPixelStorei)                            \
    X(PFNGLREADPIXELSPROC, glReadPixels)                              \
    X(PFNGLSAMPLERPARAMETERFPROC, glSamplerParameterf)                \
    X(PFNGLSAMPLERPARAMETERFVPROC, glSamplerParameterfv)              \
    X(PFNGLSAMPLERPARAMETERIPROC, glSamplerParameteri)                \
    X(PFNGLSCISSORPROC, glScissor)                                    \
    X(PFNGLSHADERSOURCEPROC, glShaderSource)                          \
    X(PFNGLTEXIMAGE2DPROC, glTexImage2D)                              \
    X(PFNGLTEXPARAMETERIPROC, glTexParameteri)                        \
    X(PFNGLTEXPARAMETERIVPROC, glTexParameteriv)                      \
    X(PFNGLTEXSUBIMAGE2DPROC, glTexSubImage2D)                        \
    X(PFNGLUNIFORM1IPROC, glUniform1i)                                \
    X(PFNGLUNIFORM4FVPROC, glUniform4fv)                              \
    X(PFNGLUSEPROGRAMPROC, glUseProgram)                              \
    X(PFNGLVERTEXATTRIBPOINTERPROC, glVertexAttribPointer)            \
    X(PFNGLVIEWPORTPROC, glViewport)

namespace quillmark::gl {

#define QUILLMARK_DECLARE_ENTRY_POINT(type, name) extern type name;
QUILLMARK_EGL_FUNCTIONS(QUILLMARK_DECLARE_ENTRY_POINT)
QUILLMARK_GL_FUNCTIONS(QUILLMARK_DECLARE_ENTRY_POINT)
#undef QUILLMARK_DECLARE_ENTRY_POINT

// Whether a space-separated extension list (null: none) names `name`.
bool HasExtension(const char* list, const char* name);

// Loads the libraries and every entry point above, once per process; false
// with a sentence naming what is missing in *error. Nothing above may be
// called before it succeeded.
bool LoadGlLibraries(std::string* error);

}  // namespace quillmark::gl
