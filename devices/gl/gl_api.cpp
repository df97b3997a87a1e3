#include "devices/gl/gl_api.h"

#include <dlfcn.h>

#include <cstring>

namespace quillmark::gl {

#define QUILLMARK_DEFINE_ENTRY_POINT(type, name) type name = nullptr;
QUILLMARK_EGL_FUNCTIONS(QUILLMARK_DEFINE_ENTRY_POINT)
QUILLMARK_GL_FUNCTIONS(QUILLMARK_DEFINE_ENTRY_POINT)
#undef QUILLMARK_DEFINE_ENTRY_POINT

namespace {

constexpr const char* kEglLibrary = "libEGL.so.1";
constexpr const char* kOpenGlLibrary = "libOpenGL.so.0";

std::string LastLoaderError() {
    const char* error = dlerror();
    return error ? error : "no reason given";
}

// Every EGL entry point from libEGL; the first one missing, or null.
const char* LoadEgl(void* library) {
#define QUILLMARK_LOAD_ENTRY_POINT(type, name)                         \
    name = reinterpret_cast<type>(dlsym(library, #name));              \
    if (!name) return #name;
    QUILLMARK_EGL_FUNCTIONS(QUILLMARK_LOAD_ENTRY_POINT)
#undef QUILLMARK_LOAD_ENTRY_POINT
    return nullptr;
}

// Every OpenGL entry point, from libOpenGL where it is open, else through
// eglGetProcAddress; the first one missing, or null.
const char* LoadOpenGl(void* library) {
#define QUILLMARK_LOAD_ENTRY_POINT(type, name)                                                             \
    name = reinterpret_cast<type>(library ? dlsym(library, #name) : nullptr);                              \
    if (!name) name = reinterpret_cast<type>(eglGetProcAddress(#name));                                    \
    if (!name) return #name;
    QUILLMARK_GL_FUNCTIONS(QUILLMARK_LOAD_ENTRY_POINT)
#undef QUILLMARK_LOAD_ENTRY_POINT
    return nullptr;
}

// The outcome of loading: empty when everything is there.
std::string Load() {
    void* egl = dlopen(kEglLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!egl)
        return std::string("the EGL library is missing (") + LastLoaderError() +
               "): install libegl1 with Mesa's libegl-mesa0 or a GPU's driver";
    if (const char* missing = LoadEgl(egl))
        return std::string(kEglLibrary) + " lacks " + missing + ": it is older than EGL 1.5";
    void* openGl = dlopen(kOpenGlLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!openGl &&
        !HasExtension(eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS), "EGL_KHR_client_get_all_proc_addresses"))
        return std::string("the OpenGL library is missing (") + LastLoaderError() + "): install libopengl0";
    if (const char* missing = LoadOpenGl(openGl))
        return std::string("OpenGL's entry point ") + missing + " cannot be found";
    return {};
}

}  // namespace

bool HasExtension(const char* list, const char* name) {
    if (!list) return false;
    const std::size_t length = std::strlen(name);
    for (const char* at = std::strstr(list, name); at; at = std::strstr(at + 1, name))
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0')) return true;
    return false;
}

bool LoadGlLibraries(std::string* error) {
    static const std::string failure = Load();
    if (failure.empty()) return true;
    *error = failure;
    return false;
}

}  // namespace quillmark::gl
