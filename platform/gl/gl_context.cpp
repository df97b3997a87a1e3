#include "gl_context.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "gl_api.h"

namespace quillmark::gl {
namespace {

// Mesa reads its driver choice from the environment when a display is
// initialised; the previous values are put back afterwards so that child
// processes see the environment they were given.
class ScopedEnvironment {
public:
    void Set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        setenv(name, value, 1);
    }
    ~ScopedEnvironment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                setenv(it->first, it->second->c_str(), 1);
            else
                unsetenv(it->first);
        }
    }

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

std::weak_ptr<GlContext>& OpenContext() {
    static std::weak_ptr<GlContext> open;
    return open;
}

// The display stays initialised, its driver loaded, after its last context
// closed: opening the same driver again (a device rebuilt after a lost
// Present, the next device of a command) reuses it. Another driver
// terminates it first.
struct InitialisedDisplay {
    EGLDisplay display = EGL_NO_DISPLAY;
    GlDriver driver = GlDriver::Default;
};

InitialisedDisplay& Initialised() {
    static InitialisedDisplay initialised;
    return initialised;
}

// An initialised display for `driver`, or EGL_NO_DISPLAY with the reason.
EGLDisplay InitialiseDisplay(GlDriver driver, std::string* error);

std::string EglErrorText(const char* what) {
    const EGLint error = eglGetError();
    char code[16];
    std::snprintf(code, sizeof code, "0x%04X", unsigned(error));
    const char* meaning = error == EGL_NOT_INITIALIZED ? ": no usable OpenGL driver was found" : "";
    return std::string(what) + " failed (EGL error " + code + meaning + ")";
}

bool HasExtension(const char* list, const char* name) {
    if (!list) return false;
    const std::string all = std::string(" ") + list + " ";
    return all.find(std::string(" ") + name + " ") != std::string::npos;
}

// The first EGL device (GPUs come before Mesa's software device), else the
// default display of the surfaceless platform.
EGLDisplay DefaultDisplay() {
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (HasExtension(clientExtensions, "EGL_EXT_device_enumeration") &&
        HasExtension(clientExtensions, "EGL_EXT_platform_device")) {
        auto query = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
        EGLDeviceEXT devices[8];
        EGLint count = 0;
        if (query && query(8, devices, &count) && count > 0)
            return eglGetPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[0], nullptr);
    }
    return eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
}

GlDriverInfo ReadInfo() {
    GlDriverInfo info;
    auto text = [](GLenum name) {
        const auto* s = reinterpret_cast<const char*>(glGetString(name));
        return std::string(s ? s : "");
    };
    info.renderer = text(GL_RENDERER);
    info.version = text(GL_VERSION);
    info.vendor = text(GL_VENDOR);
    GLint extensions = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &extensions);
    bool anisotropic = false;
    for (GLint i = 0; i < extensions; ++i) {
        const auto* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, GLuint(i)));
        const std::string extension = name ? name : "";
        anisotropic = anisotropic || extension == "GL_EXT_texture_filter_anisotropic" ||
                      extension == "GL_ARB_texture_filter_anisotropic";
    }
    if (anisotropic) glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &info.maxAnisotropy);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &info.maxTextureSize);
    glGetFloatv(GL_MAX_TEXTURE_LOD_BIAS, &info.maxLodBias);
    info.floatTextures = true;  // core since 3.0, which the context asks for
    return info;
}

}  // namespace

namespace {

EGLDisplay InitialiseDisplay(GlDriver driver, std::string* error) {
    InitialisedDisplay& initialised = Initialised();
    if (initialised.display != EGL_NO_DISPLAY) {
        if (initialised.driver == driver) return initialised.display;
        eglTerminate(initialised.display);
        initialised.display = EGL_NO_DISPLAY;
    }
    ScopedEnvironment environment;
    EGLDisplay display = EGL_NO_DISPLAY;
    if (driver == GlDriver::Default) {
        display = DefaultDisplay();
    } else {
        environment.Set("LIBGL_ALWAYS_SOFTWARE", "1");
        environment.Set("GALLIUM_DRIVER", DriverName(driver));
        display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    }
    if (display == EGL_NO_DISPLAY) {
        *error = "no EGL display: " + EglErrorText("eglGetPlatformDisplay");
        return EGL_NO_DISPLAY;
    }
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display, &major, &minor)) {
        *error = EglErrorText("eglInitialize");
        return EGL_NO_DISPLAY;
    }
    const char* displayExtensions = eglQueryString(display, EGL_EXTENSIONS);
    if (!HasExtension(displayExtensions, "EGL_KHR_surfaceless_context") ||
        !HasExtension(displayExtensions, "EGL_KHR_no_config_context") || !eglBindAPI(EGL_OPENGL_API)) {
        eglTerminate(display);
        *error = "the EGL display offers no headless desktop OpenGL context";
        return EGL_NO_DISPLAY;
    }
    initialised = {display, driver};
    return display;
}

}  // namespace

const char* DriverName(GlDriver driver) {
    switch (driver) {
        case GlDriver::Llvmpipe: return "llvmpipe";
        case GlDriver::Softpipe: return "softpipe";
        default: return "gl";
    }
}

std::shared_ptr<GlContext> GlContext::Open(GlDriver driver, std::string* error) {
    if (auto open = OpenContext().lock()) {
        if (open->driver_ == driver) return open;
        *error = std::string("the OpenGL device \"") + DriverName(open->driver_) +
                 "\" is open in this process; only one OpenGL driver can be used at a time";
        return nullptr;
    }
    EGLDisplay display = InitialiseDisplay(driver, error);
    if (display == EGL_NO_DISPLAY || !eglBindAPI(EGL_OPENGL_API)) return nullptr;
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT || !eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        *error = "no OpenGL 3.3 core context: " + EglErrorText("eglCreateContext");
        if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
        return nullptr;
    }
    std::shared_ptr<GlContext> opened(new GlContext());
    opened->driver_ = driver;
    opened->display_ = display;
    opened->context_ = context;
    opened->info_ = ReadInfo();
    if (driver != GlDriver::Default && opened->info_.renderer.find(DriverName(driver)) == std::string::npos) {
        *error = std::string("asked for ") + DriverName(driver) + ", EGL gave \"" + opened->info_.renderer + "\"";
        return nullptr;
    }
    OpenContext() = opened;
    return opened;
}

GlContext::~GlContext() {
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display_, context_);
}

void GlContext::MakeCurrent() const {
    if (eglGetCurrentContext() != context_) eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
}

}  // namespace quillmark::gl
