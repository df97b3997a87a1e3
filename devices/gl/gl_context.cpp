#include "devices/gl/gl_context.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "devices/gl/gl_api.h"
#include "devices/gl/texture_formats.h"

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

constexpr std::string_view kGlName = "gl";
constexpr int kMaxEglDevices = 16;

std::string EglErrorText(const char* what) {
    const EGLint error = eglGetError();
    char code[16];
    std::snprintf(code, sizeof code, "0x%04X", unsigned(error));
    const char* meaning = error == EGL_NOT_INITIALIZED ? ", no driver for it" : "";
    return std::string(what) + " failed (EGL error " + code + meaning + ")";
}

// EGL's devices in its order (GPUs before Mesa's software device); none
// where EGL cannot enumerate them.
std::vector<EGLDeviceEXT> EglDevices() {
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!HasExtension(client, "EGL_EXT_device_enumeration") || !HasExtension(client, "EGL_EXT_platform_device"))
        return {};
    auto query = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    EGLDeviceEXT devices[kMaxEglDevices];
    EGLint count = 0;
    if (!query || !query(kMaxEglDevices, devices, &count)) return {};
    return std::vector<EGLDeviceEXT>(devices, devices + count);
}

// "EGL device N" with its device file, or saying it is Mesa's software device.
std::string DeviceLabel(int index, EGLDeviceEXT device) {
    std::string label = "EGL device " + std::to_string(index);
    auto query = reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(eglGetProcAddress("eglQueryDeviceStringEXT"));
    if (!query) return label;
    if (HasExtension(query(device, EGL_EXTENSIONS), "EGL_MESA_device_software")) return label + " (software)";
    const char* file = query(device, EGL_DRM_DEVICE_FILE_EXT);
    return file ? label + " (" + file + ")" : label;
}

// One way to a display, tried in turn for a choice.
struct Candidate {
    std::string label;
    EGLenum platform = 0;  // 0: eglGetDisplay(EGL_DEFAULT_DISPLAY)
    void* native = nullptr;
    const char* softwareDriver = nullptr;  // Mesa's driver forced through the environment
};

Candidate Surfaceless(const char* softwareDriver) {
    return {"the surfaceless display", EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, softwareDriver};
}

std::vector<Candidate> CandidatesFor(const GlChoice& choice, std::string* error) {
    if (choice.kind == GlChoice::Kind::Llvmpipe) return {Surfaceless("llvmpipe")};
    if (choice.kind == GlChoice::Kind::Softpipe) return {Surfaceless("softpipe")};
    const std::vector<EGLDeviceEXT> devices = EglDevices();
    std::vector<Candidate> candidates;
    for (std::size_t i = 0; i < devices.size(); ++i)
        candidates.push_back({DeviceLabel(int(i), devices[i]), EGL_PLATFORM_DEVICE_EXT, devices[i]});
    if (choice.kind == GlChoice::Kind::Device) {
        if (choice.device < int(candidates.size())) return {candidates[std::size_t(choice.device)]};
        *error = "there is no EGL device " + std::to_string(choice.device) + " (EGL lists " +
                 std::to_string(candidates.size()) + ")";
        return {};
    }
    candidates.push_back(Surfaceless(nullptr));
    candidates.push_back({"the default display", 0, nullptr});
    return candidates;
}

// The display stays initialised, its driver loaded, after its last context
// closed: opening the same candidate again (a device rebuilt after a lost
// Present, the next device of a command) reuses it. Another candidate
// terminates it first (Mesa's software drivers share one surfaceless
// display and read their choice only when it is initialised).
struct InitialisedDisplay {
    EGLDisplay display = EGL_NO_DISPLAY;
    std::string key;
};

InitialisedDisplay& Initialised() {
    static InitialisedDisplay initialised;
    return initialised;
}

std::string KeyOf(const Candidate& candidate) {
    return candidate.label + (candidate.softwareDriver ? std::string(" ") + candidate.softwareDriver : "");
}

void TerminateInitialised() {
    InitialisedDisplay& initialised = Initialised();
    if (initialised.display != EGL_NO_DISPLAY) eglTerminate(initialised.display);
    initialised = {};
}

// An initialised display for `candidate` offering headless desktop OpenGL,
// or EGL_NO_DISPLAY with the reason.
EGLDisplay InitialiseDisplay(const Candidate& candidate, std::string* reason) {
    if (Initialised().display != EGL_NO_DISPLAY && Initialised().key == KeyOf(candidate)) return Initialised().display;
    TerminateInitialised();
    ScopedEnvironment environment;
    if (candidate.softwareDriver) {
        environment.Set("LIBGL_ALWAYS_SOFTWARE", "1");
        environment.Set("GALLIUM_DRIVER", candidate.softwareDriver);
    }
    const EGLDisplay display = candidate.platform ? eglGetPlatformDisplay(candidate.platform, candidate.native, nullptr)
                                                  : eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display == EGL_NO_DISPLAY) {
        *reason = EglErrorText("eglGetPlatformDisplay");
        return EGL_NO_DISPLAY;
    }
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display, &major, &minor)) {
        *reason = EglErrorText("eglInitialize");
        return EGL_NO_DISPLAY;
    }
    const char* extensions = eglQueryString(display, EGL_EXTENSIONS);
    if (!HasExtension(extensions, "EGL_KHR_surfaceless_context") ||
        !HasExtension(extensions, "EGL_KHR_no_config_context") || !eglBindAPI(EGL_OPENGL_API)) {
        eglTerminate(display);
        *reason = "it offers no headless desktop OpenGL context";
        return EGL_NO_DISPLAY;
    }
    Initialised() = {display, KeyOf(candidate)};
    return display;
}

bool AtLeast(int major, int minor, int wantedMajor, int wantedMinor) {
    return major > wantedMajor || (major == wantedMajor && minor >= wantedMinor);
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
    GLint major = 0, minor = 0, extensions = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    glGetIntegerv(GL_NUM_EXTENSIONS, &extensions);
    bool anisotropic = AtLeast(major, minor, 4, 6);
    info.mirrorClampToEdge = AtLeast(major, minor, 4, 4);
    info.clipControl = AtLeast(major, minor, 4, 5);
    bool internalFormatQuery = AtLeast(major, minor, 4, 3), s3tc = false;
    for (GLint i = 0; i < extensions; ++i) {
        const auto* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, GLuint(i)));
        const std::string extension = name ? name : "";
        anisotropic = anisotropic || extension == "GL_EXT_texture_filter_anisotropic" ||
                      extension == "GL_ARB_texture_filter_anisotropic";
        info.mirrorClampToEdge = info.mirrorClampToEdge || extension == "GL_ARB_texture_mirror_clamp_to_edge" ||
                                 extension == "GL_EXT_texture_mirror_clamp" ||
                                 extension == "GL_ATI_texture_mirror_once";
        info.clipControl = info.clipControl || extension == "GL_ARB_clip_control";
        s3tc = s3tc || extension == "GL_EXT_texture_compression_s3tc";
        internalFormatQuery = internalFormatQuery || extension == "GL_ARB_internalformat_query2";
    }
    info.nativeFormats = QueryNativeFormats(s3tc, internalFormatQuery);
    if (anisotropic) glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY, &info.maxAnisotropy);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &info.maxTextureSize);
    glGetFloatv(GL_MAX_TEXTURE_LOD_BIAS, &info.maxLodBias);
    return info;
}

std::string Lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// Whether the context's driver is the one asked for; the reason when not.
bool Accepts(const GlChoice& choice, const GlDriverInfo& info, std::string* reason) {
    std::string wanted;
    if (choice.kind == GlChoice::Kind::Llvmpipe) wanted = "llvmpipe";
    if (choice.kind == GlChoice::Kind::Softpipe) wanted = "softpipe";
    if (choice.kind == GlChoice::Kind::Renderer) wanted = choice.renderer;
    if (Lowercase(info.renderer).find(Lowercase(wanted)) != std::string::npos) return true;
    *reason = "its renderer \"" + info.renderer + "\" is not " + wanted;
    return false;
}

struct CurrentContext {
    EGLDisplay display;
    EGLContext context;
    GlDriverInfo info;
};

// A current OpenGL 3.3 core context on `candidate`'s display whose driver
// is the one `choice` asks for; nothing, with the reason, otherwise.
std::optional<CurrentContext> OpenOn(const Candidate& candidate, const GlChoice& choice, std::string* reason) {
    const EGLDisplay display = InitialiseDisplay(candidate, reason);
    if (display == EGL_NO_DISPLAY) return std::nullopt;
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    const EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (context != EGL_NO_CONTEXT && eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        GlDriverInfo info = ReadInfo();
        if (Accepts(choice, info, reason)) {
            // Direct3D's depth range, 0 <= z <= w. The origin stays
            // lower-left: an upper-left one would also turn the driver's
            // edge rule away from Direct3D's top-left rule.
            if (info.clipControl) glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
            info.display = candidate.label;
            return CurrentContext{display, context, std::move(info)};
        }
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    } else {
        *reason = "no OpenGL 3.3 core context: " + EglErrorText("eglCreateContext");
    }
    if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
    TerminateInitialised();
    return std::nullopt;
}

std::weak_ptr<GlContext>& OpenContext() {
    static std::weak_ptr<GlContext> open;
    return open;
}

}  // namespace

bool ParseGlChoice(std::string_view name, GlChoice* choice) {
    choice->name = std::string(name);
    if (name == "llvmpipe" || name == "softpipe") {
        choice->kind = name == "llvmpipe" ? GlChoice::Kind::Llvmpipe : GlChoice::Kind::Softpipe;
        return true;
    }
    if (!name.starts_with(kGlName)) return false;
    name.remove_prefix(kGlName.size());
    if (name.empty()) {
        choice->kind = GlChoice::Kind::First;
        return true;
    }
    if (name.front() != ':' || name.size() == 1) return false;
    name.remove_prefix(1);
    const auto [end, failure] = std::from_chars(name.data(), name.data() + name.size(), choice->device);
    if (failure == std::errc() && end == name.data() + name.size() && choice->device >= 0) {
        choice->kind = GlChoice::Kind::Device;
        return true;
    }
    choice->kind = GlChoice::Kind::Renderer;
    choice->renderer = std::string(name);
    return true;
}

std::vector<std::string> GlDeviceNames() {
    std::string unused;
    if (!LoadGlLibraries(&unused)) return {};
    std::vector<std::string> names;
    for (std::size_t i = 0; i < EglDevices().size(); ++i)
        names.push_back(std::string(kGlName) + ":" + std::to_string(i));
    return names;
}

std::shared_ptr<GlContext> GlContext::Open(const GlChoice& choice, std::string* error) {
    if (!LoadGlLibraries(error)) return nullptr;
    if (auto open = OpenContext().lock()) {
        if (open->name_ == choice.name) return open;
        *error = "the OpenGL device \"" + open->name_ +
                 "\" is open in this process; only one OpenGL driver can be used at a time";
        return nullptr;
    }
    std::string attempts;
    for (const Candidate& candidate : CandidatesFor(choice, &attempts)) {
        std::string reason;
        if (std::optional<CurrentContext> current = OpenOn(candidate, choice, &reason)) {
            std::shared_ptr<GlContext> opened(new GlContext());
            opened->name_ = choice.name;
            opened->display_ = current->display;
            opened->context_ = current->context;
            opened->info_ = std::move(current->info);
            OpenContext() = opened;
            return opened;
        }
        attempts += (attempts.empty() ? "" : "; ") + candidate.label + ": " + reason;
    }
    *error = "no usable OpenGL driver was found (" + attempts + ")";
    return nullptr;
}

GlContext::~GlContext() {
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display_, context_);
}

void GlContext::MakeCurrent() const {
    if (eglGetCurrentContext() != context_) eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
}

}  // namespace quillmark::gl
