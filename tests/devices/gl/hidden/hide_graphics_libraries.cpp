// Preloaded into quillmark (LD_PRELOAD) to make it run as on a machine
// without EGL, OpenGL or Vulkan: dlopen of those libraries fails with the
// loader's own "cannot open shared object file" message. HIDDEN_LIBRARIES
// (names separated by spaces) hides only those named instead.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

namespace {

using Dlopen = void* (*)(const char*, int);

bool Hidden(const char* file) {
    const char* chosen = std::getenv("HIDDEN_LIBRARIES");
    std::istringstream names(chosen ? chosen : "libEGL libOpenGL libGL libvulkan");
    for (std::string name; names >> name;)
        if (std::strstr(file, name.c_str())) return true;
    return false;
}

}  // namespace

extern "C" void* dlopen(const char* file, int mode) {
    static const auto real = reinterpret_cast<Dlopen>(dlsym(RTLD_NEXT, "dlopen"));
    if (!file || !Hidden(file)) return real(file, mode);
    const char* base = std::strrchr(file, '/');
    return real(("/nonexistent/" + std::string(base ? base + 1 : file)).c_str(), mode);
}
