// The EGL display and OpenGL context behind the OpenGL devices: headless (no
// window system), one per process at a time, opened for a driver choice.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quillmark::gl {

// `Default` is whatever EGL offers first (a GPU's driver where there is one);
// the others select one of Mesa's software drivers.
enum class GlDriver { Default, Llvmpipe, Softpipe };

const char* DriverName(GlDriver driver);

// What the opened driver says of itself, and the limits that matter here.
struct GlDriverInfo {
    std::string renderer;
    std::string version;
    std::string vendor;
    float maxAnisotropy = 1;  // 1 without anisotropic filtering
    int maxTextureSize = 0;
    float maxLodBias = 0;
    bool floatTextures = false;  // RGBA32F textures filter
};

class GlContext {
public:
    // Opens (or shares the already open) context for `driver`; null with
    // the reason in *error when it cannot be opened.
    static std::shared_ptr<GlContext> Open(GlDriver driver, std::string* error);
    ~GlContext();
    GlContext(const GlContext&) = delete;
    GlContext& operator=(const GlContext&) = delete;

    void MakeCurrent() const;
    const GlDriverInfo& Info() const { return info_; }
    GlDriver Driver() const { return driver_; }

private:
    GlContext() = default;
    GlDriver driver_ = GlDriver::Default;
    void* display_ = nullptr;
    void* context_ = nullptr;
    GlDriverInfo info_;
};

}  // namespace quillmark::gl
