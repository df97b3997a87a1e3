// The EGL display and OpenGL context behind the OpenGL devices: headless (no
// window system), one per process at a time, opened for a driver choice.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/d3d9/d3d9types.h"

namespace quillmark::gl {

// Which driver a device name asks for: `gl` the first EGL display that
// gives a context (each EGL device in order, then the surfaceless and the
// default display), `gl:N` EGL device N, `gl:TEXT` the first of those whose
// renderer string contains TEXT (in any case), `llvmpipe` and `softpipe`
// one of Mesa's software drivers.
struct GlChoice {
    enum class Kind { First, Device, Renderer, Llvmpipe, Softpipe };
    Kind kind = Kind::First;
    int device = 0;
    std::string renderer;
    std::string name;  // the device name it was read from
};

// False for a name that is none of the above.
bool ParseGlChoice(std::string_view name, GlChoice* choice);

// "gl:0", "gl:1", ... for the devices EGL lists; none without EGL.
std::vector<std::string> GlDeviceNames();

// What the opened driver says of itself, and the limits that matter here.
struct GlDriverInfo {
    std::string renderer;
    std::string version;
    std::string vendor;
    std::string display;      // which EGL display gave the context
    float maxAnisotropy = 1;  // 1 without anisotropic filtering
    int maxTextureSize = 0;
    float maxLodBias = 0;
    bool mirrorClampToEdge = false;  // GL_MIRROR_CLAMP_TO_EDGE (core in 4.4)
    bool clipControl = false;        // glClipControl (core in 4.5)
    std::vector<D3DFORMAT> nativeFormats;  // uploaded as they are (texture_formats.h)
};

class GlContext {
public:
    // Opens (or shares the already open) context for `choice`; null with
    // the reason in *error when it cannot be opened: what is missing, or
    // each display tried and why it failed.
    static std::shared_ptr<GlContext> Open(const GlChoice& choice, std::string* error);
    ~GlContext();
    GlContext(const GlContext&) = delete;
    GlContext& operator=(const GlContext&) = delete;

    void MakeCurrent() const;
    const GlDriverInfo& Info() const { return info_; }

private:
    GlContext() = default;
    std::string name_;
    void* display_ = nullptr;
    void* context_ = nullptr;
    GlDriverInfo info_;
};

}  // namespace quillmark::gl
