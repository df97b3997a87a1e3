#include "devices/vulkan/vulkan_direct3d.h"

#include <cstdio>

#include "devices/core/direct3d.h"
#include "devices/core/driver_caps.h"
#include "devices/vulkan/vulkan_renderer.h"

namespace quillmark::vulkan {
namespace {

class VulkanRendererSource final : public core::RendererSource {
public:
    explicit VulkanRendererSource(std::shared_ptr<VulkanContext> context) : context_(std::move(context)) {}

    D3DCAPS9 Caps() const override {
        const VulkanDriverInfo& info = context_->Info();
        return core::CapsWithDriver(
            {info.maxAnisotropy, info.maxImageSize, info.customBorderColor, info.mirrorClampToEdge});
    }

    std::unique_ptr<core::Renderer> CreateRenderer(core::Surface& backBuffer, core::Surface* depthBuffer,
                                                        std::string* error) override {
        auto renderer = std::make_unique<VulkanRenderer>(context_, backBuffer, depthBuffer);
        if (!renderer->Initialise(error))
            return nullptr;
        return renderer;
    }

private:
    std::shared_ptr<VulkanContext> context_;
};

std::shared_ptr<VulkanContext> OpenNamed(std::string_view name, std::string* error) {
    VulkanChoice choice;
    if (ParseVulkanChoice(name, &choice))
        return VulkanContext::Open(choice, error);
    *error = "\"" + std::string(name) + "\" is not a Vulkan device";
    return nullptr;
}

}  // namespace

bool IsVulkanDeviceName(std::string_view name) {
    VulkanChoice unused;
    return ParseVulkanChoice(name, &unused);
}

IDirect3D9* CreateVulkanDirect3D(std::string_view name, std::string* error) {
    std::shared_ptr<VulkanContext> context = OpenNamed(name, error);
    if (!context)
        return nullptr;
    return core::CreateDirect3D(std::make_unique<VulkanRendererSource>(std::move(context)));
}

bool DescribeVulkanDriver(std::string_view name, std::string* description, std::string* error) {
    std::shared_ptr<VulkanContext> context = OpenNamed(name, error);
    if (!context)
        return false;
    const VulkanDriverInfo& info = context->Info();
    *description = info.deviceName + " (" + info.deviceType + "); driver " + info.driverName + " (" + info.driverInfo +
                   "), version " + VersionText(info.driverVersion) + "; Vulkan " + VersionText(info.apiVersion);
    return true;
}

std::string VulkanDeviceNotes(std::string_view name) {
    std::string unused;
    std::shared_ptr<VulkanContext> context = OpenNamed(name, &unused);
    if (!context)
        return {};
    const VulkanDriverInfo& info = context->Info();
    char line[256];
    std::snprintf(line, sizeof line,
                  "  sampler limits: max anisotropy %g, LOD bias -%g .. %g; precision bits: sub-pixel %u, "
                  "sub-texel %u, mipmap %u\n",
                  double(info.maxAnisotropy), double(info.maxLodBias), double(info.maxLodBias), info.subPixelBits,
                  info.subTexelBits, info.mipmapBits);
    return std::string(line) + "  border colours: " +
           (info.customBorderColor ? "any" : "transparent black, opaque black and opaque white only") +
           "; mirror once: " + (info.mirrorClampToEdge ? "yes" : "no") + "\n";
}

core::StatedPrecision VulkanDevicePrecision(std::string_view name) {
    std::string unused;
    std::shared_ptr<VulkanContext> context = OpenNamed(name, &unused);
    if (!context) return {};
    return {int(context->Info().subTexelBits), int(context->Info().mipmapBits)};
}

}  // namespace quillmark::vulkan
