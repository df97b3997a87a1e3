// Preloaded into quillmark (LD_PRELOAD) to make it run as on a machine
// without EGL, OpenGL or Vulkan: dlopen of those libraries fails with the
// loader's own "cannot open shared object file" message.
#include <dlfcn.h>

#include <cstring>
#include <string>

namespace {

using Dlopen = void* (*)(const char*, int);

bool Hidden(const char* file) {
    for (const char* prefix : {"libEGL", "libOpenGL", "libGL", "libvulkan"})
        if (std::strstr(file, prefix)) return true;
    return false;
}

}  // namespace

extern "C" void* dlopen(const char* file, int mode) {
    static const auto real = reinterpret_cast<Dlopen>(dlsym(RTLD_NEXT, "dlopen"));
    if (!file || !Hidden(file)) return real(file, mode);
    const char* base = std::strrchr(file, '/');
    return real(("/nonexistent/" + std::string(base ? base + 1 : file)).c_str(), mode);
}
