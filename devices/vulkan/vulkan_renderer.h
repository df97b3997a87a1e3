// The Vulkan renderer of a device: draws the device's checked state into
// images that hold the back buffer and depth buffer, and moves pixels
// between those images and the surfaces' memory when either side changed.
// Commands are gathered in one command buffer and run when memory must be
// made current.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "devices/core/renderer.h"
#include "devices/core/sampled_texture.h"
#include "devices/core/target_mirror.h"
#include "devices/core/uploaded_textures.h"
#include "devices/vulkan/stage_constants.h"
#include "devices/core/vertex_processing.h"
#include "devices/vulkan/vulkan_context.h"
#include "devices/vulkan/vulkan_sampler.h"

namespace quillmark::vulkan {

class VulkanRenderer final : public core::Renderer {
public:
    VulkanRenderer(std::shared_ptr<VulkanContext> context, core::Surface& backBuffer,
                   core::Surface* depthBuffer);
    ~VulkanRenderer() override;
    // Creates the images, render pass and pipeline layout; false with the reason.
    bool Initialise(std::string* error);

    void Clear(const D3DRECT& rect, DWORD flags, D3DCOLOR color, float z) override;
    HRESULT Draw(const core::DrawCall& call) override;
    void BringToMemory(core::Surface& surface) override;

private:
    struct Buffer {
        VkBuffer buffer = VK_NULL_HANDLE;
        VkDeviceMemory memory = VK_NULL_HANDLE;
        void* mapped = nullptr;
    };
    struct Image {
        VkImage image = VK_NULL_HANDLE;
        VkDeviceMemory memory = VK_NULL_HANDLE;
        VkImageView view = VK_NULL_HANDLE;
        VkFormat format = VK_FORMAT_UNDEFINED;
        std::uint32_t levels = 1;
    };
    // A render target: its memory, its image.
    struct Target {
        core::TargetMirror mirror;
        Image image;
        VkImageAspectFlags aspect = 0;
        VkImageLayout layout = VK_IMAGE_LAYOUT_UNDEFINED;  // between commands
        std::uint32_t bytesPerPixel = 0;
        Buffer readBack;
    };
    using Textures = core::UploadedTextures<Image>;
    struct Binding {
        VkImageView view = VK_NULL_HANDLE;
        VkSampler sampler = VK_NULL_HANDLE;
    };

    bool CreateBuffer(VkDeviceSize size, VkBufferUsageFlags usage, Buffer* out);
    void DestroyBuffer(Buffer& buffer);
    bool CreateImage(VkFormat format, std::uint32_t width, std::uint32_t height, std::uint32_t levels,
                     VkImageUsageFlags usage, VkImageAspectFlags aspect, Image* out);
    void DestroyImage(Image& image);
    bool CreateTarget(Target& target, VkFormat format, VkImageUsageFlags usage, std::string* error);
    bool CreateRenderPass();
    bool CreateLayouts();
    bool CreateDummyTexture();

    VkCommandBuffer Commands();
    bool Submit();
    void Transition(const Image& image, VkImageAspectFlags aspect, VkImageLayout from, VkImageLayout to);
    bool TakeUp(Target& target);
    void ReadBack(Target& target);
    void BeginPass();

    HRESULT BindTextures(const core::DrawPlan& plan, StageConstants& constants,
                         std::array<Binding, core::kStageCount>& bindings);
    bool UploadTexture(core::TextureInternals& texture, Textures::Entry& entry);
    VkSampler SamplerFor(const VkSamplerCreateInfo& info, const VkSamplerCustomBorderColorCreateInfoEXT& border);
    HRESULT UploadVertices(const core::DrawCall& call, VkBuffer* buffer);
    VkPipeline PipelineFor(const core::DrawCall& call, const StageConstants& constants);
    VkDescriptorSet DescriptorsFor(const std::array<Binding, core::kStageCount>& bindings);

    std::shared_ptr<VulkanContext> context_;
    VkDevice device_ = VK_NULL_HANDLE;
    VulkanSamplerLimits samplerLimits_;
    Target color_;
    Target depth_;
    VkRenderPass renderPass_ = VK_NULL_HANDLE;
    VkFramebuffer framebuffer_ = VK_NULL_HANDLE;
    VkDescriptorSetLayout setLayout_ = VK_NULL_HANDLE;
    VkPipelineLayout pipelineLayout_ = VK_NULL_HANDLE;
    VkShaderModule vertexShader_ = VK_NULL_HANDLE;
    VkShaderModule fragmentShader_ = VK_NULL_HANDLE;
    VkDescriptorPool descriptorPool_ = VK_NULL_HANDLE;
    VkCommandPool commandPool_ = VK_NULL_HANDLE;
    VkCommandBuffer commands_ = VK_NULL_HANDLE;
    VkFence fence_ = VK_NULL_HANDLE;
    bool recording_ = false;
    bool failed_ = false;  // a submission failed: the device draws no more
    Image dummyTexture_;
    VkSampler dummySampler_ = VK_NULL_HANDLE;
    std::map<std::string, VkPipeline> pipelines_;
    std::map<std::string, VkSampler> samplers_;
    Textures textures_;
    // Freed once the commands that use them have run.
    std::vector<Buffer> transientBuffers_;
    std::vector<Image> retiredImages_;
    core::SampledTextureCache decoded_;
    std::vector<core::ClipVertex> clipVertices_;
};

}  // namespace quillmark::vulkan
