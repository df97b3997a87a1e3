#include "devices/gl/gl_direct3d.h"

#include <algorithm>

#include "devices/gl/gl_renderer.h"
#include "devices/core/direct3d.h"
#include "devices/core/driver_caps.h"
#include "devices/gl/texture_formats.h"

namespace quillmark::gl {
namespace {

class GlRendererSource final : public core::RendererSource {
public:
    explicit GlRendererSource(std::shared_ptr<GlContext> context) : context_(std::move(context)) {}

    D3DCAPS9 Caps() const override {
        const GlDriverInfo& info = context_->Info();
        return core::CapsWithDriver({info.maxAnisotropy, std::uint32_t(std::max(0, info.maxTextureSize)), true,
                                     info.mirrorClampToEdge});
    }

    std::unique_ptr<core::Renderer> CreateRenderer(core::Surface& backBuffer,
                                                        core::Surface* depthBuffer,
                                                        std::string* error) override {
        auto renderer = std::make_unique<GlRenderer>(context_, backBuffer, depthBuffer);
        if (!renderer->Initialise(error)) return nullptr;
        return renderer;
    }

private:
    std::shared_ptr<GlContext> context_;
};

// The context for a device name; null with the reason.
std::shared_ptr<GlContext> OpenNamed(std::string_view name, std::string* error) {
    GlChoice choice;
    if (ParseGlChoice(name, &choice)) return GlContext::Open(choice, error);
    *error = "\"" + std::string(name) + "\" is not an OpenGL device";
    return nullptr;
}

}  // namespace

bool IsGlDeviceName(std::string_view name) {
    GlChoice unused;
    return ParseGlChoice(name, &unused);
}

IDirect3D9* CreateGlDirect3D(std::string_view name, std::string* error) {
    std::shared_ptr<GlContext> context = OpenNamed(name, error);
    if (!context) return nullptr;
    return core::CreateDirect3D(std::make_unique<GlRendererSource>(std::move(context)));
}

bool DescribeGlDriver(std::string_view name, std::string* description, std::string* error) {
    std::shared_ptr<GlContext> context = OpenNamed(name, error);
    if (!context) return false;
    const GlDriverInfo& info = context->Info();
    *description = info.renderer + "; OpenGL " + info.version + std::string(kDisplaySeparator) + info.display;
    return true;
}

std::string GlDeviceNotes(std::string_view name) {
    std::string unused;
    std::shared_ptr<GlContext> context = OpenNamed(name, &unused);
    if (!context) return {};
    std::string stored;
    for (const GlTextureFormat& format : GlTextureFormats())
        if (NativeFormatOf(format.format, context->Info().nativeFormats))
            stored += std::string(stored.empty() ? "" : ", ") + format.name;
    return "  textures as stored: " + (stored.empty() ? std::string("none") : stored) +
           "\n  other formats: decoded as the reference device decodes them\n";
}

}  // namespace quillmark::gl
