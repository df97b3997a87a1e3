// The baseline for the OpenGL device's frame times: a plain OpenGL program
// drawing the same default tunnel (same vertices, matrices, texture,
// trilinear filtering with the given anisotropy) into an 800 x 600 RGBA8 and
// 16-bit depth framebuffer and reading every frame back, with nothing of
// the Direct3D layer in between.
//
//   bench_gl_baseline DRIVER ANISOTROPY [FRAMES]     (DRIVER: llvmpipe or softpipe)
//
// Prints "baseline-DRIVER ANISOTROPY MS" (milliseconds per frame).
#define GL_GLEXT_PROTOTYPES 1
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tunnel_scene.h"

namespace {

using quillmark::bench::Tunnel;
using quillmark::bench::TunnelWorldViewProjection;
using quillmark::bench::Vertex;

constexpr int kWidth = 800, kHeight = 600, kTextureSize = 512, kLevels = 10, kWarmUpFrames = 2;

const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec2 coordinates;
uniform mat4 worldViewProjection;
out vec2 uv;
void main() {
    vec4 clip = worldViewProjection * vec4(position, 1.0);
    gl_Position = vec4(clip.x, clip.y, 2.0 * clip.z - clip.w, clip.w);
    uv = coordinates;
})";

const char* kFragmentShader = R"(#version 330 core
in vec2 uv;
uniform sampler2D checker;
out vec4 color;
void main() { color = texture(checker, uv); })";

bool OpenContext(const char* driver) {
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    setenv("GALLIUM_DRIVER", driver, 1);
    EGLDisplay display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (!eglInitialize(display, nullptr, nullptr) || !eglBindAPI(EGL_OPENGL_API)) return false;
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    return context != EGL_NO_CONTEXT && eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context);
}

GLuint Program() {
    const GLuint program = glCreateProgram();
    for (auto [kind, source] : {std::pair{GL_VERTEX_SHADER, kVertexShader}, std::pair{GL_FRAGMENT_SHADER, kFragmentShader}}) {
        const GLuint shader = glCreateShader(kind);
        glShaderSource(shader, 1, &source, nullptr);
        glCompileShader(shader);
        glAttachShader(program, shader);
    }
    glLinkProgram(program);
    return program;
}

void MakeTexture(GLint anisotropy) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    std::vector<std::uint32_t> texels;
    for (int level = 0; level < kLevels; ++level) {
        const int size = kTextureSize >> level;
        texels.resize(std::size_t(size) * size);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                texels[std::size_t(y) * size + x] =
                    0xFF000000u | (((x / 8 + y / 8) % 2 ? 0xFFFFFFu : 0x202020u) ^ (std::uint32_t(level) * 0x1F0F07u));
        glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, size, size, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, texels.data());
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, kLevels - 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, float(anisotropy));
}

void MakeFramebuffer() {
    GLuint framebuffer = 0, color = 0, depth = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGenTextures(1, &color);
    glBindTexture(GL_TEXTURE_2D, color);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kWidth, kHeight, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color, 0);
    glGenRenderbuffers(1, &depth);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, kWidth, kHeight);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
}

GLsizei MakeTunnel() {
    const std::vector<Vertex> vertices = Tunnel(200);
    GLuint array = 0, buffer = 0;
    glGenVertexArrays(1, &array);
    glBindVertexArray(array);
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices.size() * sizeof(Vertex)), vertices.data(), GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<const void*>(3 * sizeof(float)));
    return GLsizei(vertices.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_gl_baseline llvmpipe|softpipe ANISOTROPY [FRAMES]\n");
        return 2;
    }
    const std::string driver = argv[1];
    const GLint anisotropy = std::atoi(argv[2]);
    const int frames = argc > 3 ? std::atoi(argv[3]) : 10;
    if (!OpenContext(driver.c_str())) {
        std::fprintf(stderr, "bench_gl_baseline: no OpenGL context for %s\n", driver.c_str());
        return 1;
    }
    MakeFramebuffer();
    MakeTexture(anisotropy);
    const GLsizei vertexCount = MakeTunnel();
    const GLuint program = Program();
    glUseProgram(program);
    const D3DMATRIX wvp = TunnelWorldViewProjection();
    glUniformMatrix4fv(glGetUniformLocation(program, "worldViewProjection"), 1, GL_FALSE, &wvp.m[0][0]);
    glViewport(0, 0, kWidth, kHeight);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    std::vector<std::uint32_t> pixels(std::size_t(kWidth) * kHeight);
    auto frame = [&] {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, vertexCount);
        glReadPixels(0, 0, kWidth, kHeight, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels.data());
    };
    for (int i = 0; i < kWarmUpFrames; ++i) frame();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) frame();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("baseline-%s %d %.3f\n", driver.c_str(), anisotropy, ms / frames);
    return pixels[0] == 1 ? 3 : 0;
}
