#include "devices/software/software_direct3d.h"

#include <memory>
#include <optional>

#include "devices/core/device.h"
#include "devices/core/direct3d.h"
#include "devices/software/software_renderer.h"

namespace quillmark::software {
namespace {

class SoftwareRendererSource final : public core::RendererSource {
public:
    explicit SoftwareRendererSource(std::optional<ModelKnobs> model = std::nullopt) : model_(model) {}
    D3DCAPS9 Caps() const override { return core::CoreCaps(); }
    std::unique_ptr<core::Renderer> CreateRenderer(core::Surface& backBuffer, core::Surface* depthBuffer,
                                                   std::string*) override {
        return std::make_unique<SoftwareRenderer>(backBuffer, depthBuffer, model_);
    }

private:
    std::optional<ModelKnobs> model_;
};

}  // namespace

IDirect3D9* CreateReferenceDirect3D() { return core::CreateDirect3D(std::make_unique<SoftwareRendererSource>()); }

IDirect3D9* CreateModelDirect3D(const ModelKnobs& knobs) {
    return core::CreateDirect3D(std::make_unique<SoftwareRendererSource>(knobs));
}

}  // namespace quillmark::software
