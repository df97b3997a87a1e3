#include "devices/vulkan/vulkan_renderer.h"

#include <algorithm>
#include <cstring>

#include "devices/core/surface_resource.h"

namespace quillmark::vulkan {
namespace {

using core::ClipVertex;
using core::CoordinateSource;
using core::kStageCount;

constexpr std::uint32_t kVertexSpirv[] =
#include "stages.vert.inc"
    ;
constexpr std::uint32_t kFragmentSpirv[] =
#include "stages.frag.inc"
    ;

constexpr std::uint32_t kPositionFloats = 4;
constexpr std::uint32_t kCoordinateFloats = 3;
// Descriptor sets handed out between two submissions.
constexpr std::uint32_t kDescriptorSets = 256;
constexpr VkFormat kColorFormat = VK_FORMAT_B8G8R8A8_UNORM;  // A8R8G8B8's bytes in memory
constexpr VkFormat kDepthFormat = VK_FORMAT_D16_UNORM;
constexpr VkFormat kDecodedFormat = VK_FORMAT_R32G32B32A32_SFLOAT;
constexpr VkImageLayout kColorLayout = VK_IMAGE_LAYOUT_COLOR_ATTACHMENT_OPTIMAL;
constexpr VkImageLayout kDepthLayout = VK_IMAGE_LAYOUT_DEPTH_STENCIL_ATTACHMENT_OPTIMAL;
constexpr std::uint32_t kOpaqueAlpha = 0xFF000000u;

// The topology of a primitive type TransformDrawVertices accepted.
VkPrimitiveTopology TopologyOf(D3DPRIMITIVETYPE type) {
    if (type == D3DPT_TRIANGLESTRIP) return VK_PRIMITIVE_TOPOLOGY_TRIANGLE_STRIP;
    return type == D3DPT_TRIANGLEFAN ? VK_PRIMITIVE_TOPOLOGY_TRIANGLE_FAN : VK_PRIMITIVE_TOPOLOGY_TRIANGLE_LIST;
}

template <typename T>
std::string KeyOf(const T& value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

VulkanRenderer::VulkanRenderer(std::shared_ptr<VulkanContext> context, core::Surface& backBuffer,
                               core::Surface* depthBuffer)
    : context_(std::move(context)), device_(context_->Device()) {
    const VulkanDriverInfo& info = context_->Info();
    samplerLimits_ = {info.maxAnisotropy, info.maxLodBias};
    color_.mirror = core::TargetMirror(&backBuffer);
    color_.aspect = VK_IMAGE_ASPECT_COLOR_BIT;
    color_.bytesPerPixel = 4;
    depth_.mirror = core::TargetMirror(depthBuffer);
    depth_.aspect = VK_IMAGE_ASPECT_DEPTH_BIT;
    depth_.bytesPerPixel = 2;
}

VulkanRenderer::~VulkanRenderer() {
    Submit();
    for (auto& [key, pipeline] : pipelines_) vkDestroyPipeline(device_, pipeline, nullptr);
    for (auto& [key, sampler] : samplers_) vkDestroySampler(device_, sampler, nullptr);
    textures_.ForgetAll([this](Image& image) { DestroyImage(image); });
    for (Target* target : {&color_, &depth_}) {
        DestroyImage(target->image);
        DestroyBuffer(target->readBack);
    }
    DestroyImage(dummyTexture_);
    vkDestroySampler(device_, dummySampler_, nullptr);
    vkDestroyFence(device_, fence_, nullptr);
    vkDestroyCommandPool(device_, commandPool_, nullptr);
    vkDestroyDescriptorPool(device_, descriptorPool_, nullptr);
    vkDestroyShaderModule(device_, vertexShader_, nullptr);
    vkDestroyShaderModule(device_, fragmentShader_, nullptr);
    vkDestroyPipelineLayout(device_, pipelineLayout_, nullptr);
    vkDestroyDescriptorSetLayout(device_, setLayout_, nullptr);
    vkDestroyFramebuffer(device_, framebuffer_, nullptr);
    vkDestroyRenderPass(device_, renderPass_, nullptr);
}

bool VulkanRenderer::CreateBuffer(VkDeviceSize size, VkBufferUsageFlags usage, Buffer* out) {
    auto info = VulkanStruct<VkBufferCreateInfo>(VK_STRUCTURE_TYPE_BUFFER_CREATE_INFO);
    info.size = std::max<VkDeviceSize>(size, 1);
    info.usage = usage;
    info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
    if (vkCreateBuffer(device_, &info, nullptr, &out->buffer) != VK_SUCCESS)
        return false;
    VkMemoryRequirements needs{};
    vkGetBufferMemoryRequirements(device_, out->buffer, &needs);
    auto allocation = VulkanStruct<VkMemoryAllocateInfo>(VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO);
    allocation.allocationSize = needs.size;
    if (!context_->MemoryType(needs.memoryTypeBits,
                              VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_COHERENT_BIT,
                              &allocation.memoryTypeIndex) ||
        vkAllocateMemory(device_, &allocation, nullptr, &out->memory) != VK_SUCCESS ||
        vkBindBufferMemory(device_, out->buffer, out->memory, 0) != VK_SUCCESS ||
        vkMapMemory(device_, out->memory, 0, VK_WHOLE_SIZE, 0, &out->mapped) != VK_SUCCESS) {
        DestroyBuffer(*out);
        return false;
    }
    return true;
}

void VulkanRenderer::DestroyBuffer(Buffer& buffer) {
    vkDestroyBuffer(device_, buffer.buffer, nullptr);
    vkFreeMemory(device_, buffer.memory, nullptr);
    buffer = {};
}

bool VulkanRenderer::CreateImage(VkFormat format, std::uint32_t width, std::uint32_t height, std::uint32_t levels,
                                 VkImageUsageFlags usage, VkImageAspectFlags aspect, Image* out) {
    auto info = VulkanStruct<VkImageCreateInfo>(VK_STRUCTURE_TYPE_IMAGE_CREATE_INFO);
    info.imageType = VK_IMAGE_TYPE_2D;
    info.format = format;
    info.extent = {width, height, 1};
    info.mipLevels = levels;
    info.arrayLayers = 1;
    info.samples = VK_SAMPLE_COUNT_1_BIT;
    info.tiling = VK_IMAGE_TILING_OPTIMAL;
    info.usage = usage;
    info.initialLayout = VK_IMAGE_LAYOUT_UNDEFINED;
    out->format = format;
    out->levels = levels;
    if (vkCreateImage(device_, &info, nullptr, &out->image) != VK_SUCCESS)
        return false;
    VkMemoryRequirements needs{};
    vkGetImageMemoryRequirements(device_, out->image, &needs);
    auto allocation = VulkanStruct<VkMemoryAllocateInfo>(VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO);
    allocation.allocationSize = needs.size;
    if (!context_->MemoryType(needs.memoryTypeBits, VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT, &allocation.memoryTypeIndex) &&
        !context_->MemoryType(needs.memoryTypeBits, 0, &allocation.memoryTypeIndex)) {
        DestroyImage(*out);
        return false;
    }
    auto view = VulkanStruct<VkImageViewCreateInfo>(VK_STRUCTURE_TYPE_IMAGE_VIEW_CREATE_INFO);
    view.viewType = VK_IMAGE_VIEW_TYPE_2D;
    view.format = format;
    view.subresourceRange = {aspect, 0, levels, 0, 1};
    if (vkAllocateMemory(device_, &allocation, nullptr, &out->memory) != VK_SUCCESS ||
        vkBindImageMemory(device_, out->image, out->memory, 0) != VK_SUCCESS ||
        (view.image = out->image, vkCreateImageView(device_, &view, nullptr, &out->view) != VK_SUCCESS)) {
        DestroyImage(*out);
        return false;
    }
    return true;
}

void VulkanRenderer::DestroyImage(Image& image) {
    vkDestroyImageView(device_, image.view, nullptr);
    vkDestroyImage(device_, image.image, nullptr);
    vkFreeMemory(device_, image.memory, nullptr);
    image = {};
}

bool VulkanRenderer::CreateTarget(Target& target, VkFormat format, VkImageUsageFlags usage, std::string* error) {
    const core::PixelStore& pixels = target.mirror.surface()->Pixels();
    if (!CreateImage(format, pixels.width, pixels.height, 1,
                     usage | VK_IMAGE_USAGE_TRANSFER_SRC_BIT | VK_IMAGE_USAGE_TRANSFER_DST_BIT, target.aspect,
                     &target.image) ||
        !CreateBuffer(pixels.bytes.size(), VK_BUFFER_USAGE_TRANSFER_DST_BIT, &target.readBack)) {
        *error = "the driver cannot make a " + std::to_string(pixels.width) + " x " + std::to_string(pixels.height) +
                 (target.aspect == VK_IMAGE_ASPECT_COLOR_BIT ? " BGRA8 colour" : " 16-bit depth") + " target";
        return false;
    }
    const VkImageLayout layout = target.aspect == VK_IMAGE_ASPECT_COLOR_BIT ? kColorLayout : kDepthLayout;
    Transition(target.image, target.aspect, VK_IMAGE_LAYOUT_UNDEFINED, layout);
    target.layout = layout;
    return true;
}

// One subpass drawing into the colour (and depth) image, which keep what
// they hold; the dependencies order it after and before whatever else the
// command buffer does with them.
bool VulkanRenderer::CreateRenderPass() {
    VkAttachmentDescription attachments[2]{};
    attachments[0] = {0,
                      kColorFormat,
                      VK_SAMPLE_COUNT_1_BIT,
                      VK_ATTACHMENT_LOAD_OP_LOAD,
                      VK_ATTACHMENT_STORE_OP_STORE,
                      VK_ATTACHMENT_LOAD_OP_DONT_CARE,
                      VK_ATTACHMENT_STORE_OP_DONT_CARE,
                      kColorLayout,
                      kColorLayout};
    attachments[1] = {0,
                      kDepthFormat,
                      VK_SAMPLE_COUNT_1_BIT,
                      VK_ATTACHMENT_LOAD_OP_LOAD,
                      VK_ATTACHMENT_STORE_OP_STORE,
                      VK_ATTACHMENT_LOAD_OP_DONT_CARE,
                      VK_ATTACHMENT_STORE_OP_DONT_CARE,
                      kDepthLayout,
                      kDepthLayout};
    const VkAttachmentReference colorReference{0, kColorLayout};
    const VkAttachmentReference depthReference{1, kDepthLayout};
    VkSubpassDescription subpass{};
    subpass.pipelineBindPoint = VK_PIPELINE_BIND_POINT_GRAPHICS;
    subpass.colorAttachmentCount = 1;
    subpass.pColorAttachments = &colorReference;
    subpass.pDepthStencilAttachment = depth_.mirror.surface() ? &depthReference : nullptr;
    constexpr VkAccessFlags kAll = VK_ACCESS_MEMORY_READ_BIT | VK_ACCESS_MEMORY_WRITE_BIT;
    const VkSubpassDependency dependencies[2] = {
        {VK_SUBPASS_EXTERNAL, 0, VK_PIPELINE_STAGE_ALL_COMMANDS_BIT, VK_PIPELINE_STAGE_ALL_GRAPHICS_BIT,
         VK_ACCESS_MEMORY_WRITE_BIT, kAll, 0},
        {0, VK_SUBPASS_EXTERNAL, VK_PIPELINE_STAGE_ALL_GRAPHICS_BIT, VK_PIPELINE_STAGE_ALL_COMMANDS_BIT,
         VK_ACCESS_MEMORY_WRITE_BIT, kAll, 0}};
    auto info = VulkanStruct<VkRenderPassCreateInfo>(VK_STRUCTURE_TYPE_RENDER_PASS_CREATE_INFO);
    info.attachmentCount = depth_.mirror.surface() ? 2 : 1;
    info.pAttachments = attachments;
    info.subpassCount = 1;
    info.pSubpasses = &subpass;
    info.dependencyCount = 2;
    info.pDependencies = dependencies;
    if (vkCreateRenderPass(device_, &info, nullptr, &renderPass_) != VK_SUCCESS)
        return false;
    const VkImageView views[2] = {color_.image.view, depth_.image.view};
    auto framebuffer = VulkanStruct<VkFramebufferCreateInfo>(VK_STRUCTURE_TYPE_FRAMEBUFFER_CREATE_INFO);
    framebuffer.renderPass = renderPass_;
    framebuffer.attachmentCount = info.attachmentCount;
    framebuffer.pAttachments = views;
    framebuffer.width = color_.mirror.surface()->Pixels().width;
    framebuffer.height = color_.mirror.surface()->Pixels().height;
    framebuffer.layers = 1;
    return vkCreateFramebuffer(device_, &framebuffer, nullptr, &framebuffer_) == VK_SUCCESS;
}

// One combined image sampler per stage, the stage colours as push
// constants, and the shaders.
bool VulkanRenderer::CreateLayouts() {
    std::array<VkDescriptorSetLayoutBinding, kStageCount> bindings{};
    for (std::uint32_t s = 0; s < kStageCount; ++s)
        bindings[s] = {s, VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER, 1, VK_SHADER_STAGE_FRAGMENT_BIT, nullptr};
    auto set = VulkanStruct<VkDescriptorSetLayoutCreateInfo>(VK_STRUCTURE_TYPE_DESCRIPTOR_SET_LAYOUT_CREATE_INFO);
    set.bindingCount = kStageCount;
    set.pBindings = bindings.data();
    if (vkCreateDescriptorSetLayout(device_, &set, nullptr, &setLayout_) != VK_SUCCESS)
        return false;
    const VkPushConstantRange colors{VK_SHADER_STAGE_FRAGMENT_BIT, 0, 3 * sizeof(core::Color4)};
    auto layout = VulkanStruct<VkPipelineLayoutCreateInfo>(VK_STRUCTURE_TYPE_PIPELINE_LAYOUT_CREATE_INFO);
    layout.setLayoutCount = 1;
    layout.pSetLayouts = &setLayout_;
    layout.pushConstantRangeCount = 1;
    layout.pPushConstantRanges = &colors;
    if (vkCreatePipelineLayout(device_, &layout, nullptr, &pipelineLayout_) != VK_SUCCESS)
        return false;
    const VkDescriptorPoolSize size{VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER, kDescriptorSets * kStageCount};
    auto pool = VulkanStruct<VkDescriptorPoolCreateInfo>(VK_STRUCTURE_TYPE_DESCRIPTOR_POOL_CREATE_INFO);
    pool.maxSets = kDescriptorSets;
    pool.poolSizeCount = 1;
    pool.pPoolSizes = &size;
    if (vkCreateDescriptorPool(device_, &pool, nullptr, &descriptorPool_) != VK_SUCCESS)
        return false;
    auto module = VulkanStruct<VkShaderModuleCreateInfo>(VK_STRUCTURE_TYPE_SHADER_MODULE_CREATE_INFO);
    module.codeSize = sizeof kVertexSpirv;
    module.pCode = kVertexSpirv;
    if (vkCreateShaderModule(device_, &module, nullptr, &vertexShader_) != VK_SUCCESS)
        return false;
    module.codeSize = sizeof kFragmentSpirv;
    module.pCode = kFragmentSpirv;
    return vkCreateShaderModule(device_, &module, nullptr, &fragmentShader_) == VK_SUCCESS;
}

// What unused stages are bound to: one opaque black texel.
bool VulkanRenderer::CreateDummyTexture() {
    if (!CreateImage(kColorFormat, 1, 1, 1, VK_IMAGE_USAGE_SAMPLED_BIT | VK_IMAGE_USAGE_TRANSFER_DST_BIT,
                     VK_IMAGE_ASPECT_COLOR_BIT, &dummyTexture_))
        return false;
    Buffer staging;
    if (!CreateBuffer(4, VK_BUFFER_USAGE_TRANSFER_SRC_BIT, &staging))
        return false;
    std::memcpy(staging.mapped, &kOpaqueAlpha, 4);
    transientBuffers_.push_back(staging);
    Transition(dummyTexture_, VK_IMAGE_ASPECT_COLOR_BIT, VK_IMAGE_LAYOUT_UNDEFINED,
               VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL);
    VkBufferImageCopy region{};
    region.imageSubresource = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 0, 1};
    region.imageExtent = {1, 1, 1};
    vkCmdCopyBufferToImage(Commands(), staging.buffer, dummyTexture_.image, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL, 1,
                           &region);
    Transition(dummyTexture_, VK_IMAGE_ASPECT_COLOR_BIT, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL,
               VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL);
    auto sampler = VulkanStruct<VkSamplerCreateInfo>(VK_STRUCTURE_TYPE_SAMPLER_CREATE_INFO);
    sampler.maxAnisotropy = 1;
    return vkCreateSampler(device_, &sampler, nullptr, &dummySampler_) == VK_SUCCESS;
}

bool VulkanRenderer::Initialise(std::string* error) {
    auto pool = VulkanStruct<VkCommandPoolCreateInfo>(VK_STRUCTURE_TYPE_COMMAND_POOL_CREATE_INFO);
    pool.queueFamilyIndex = context_->QueueFamily();
    auto allocation = VulkanStruct<VkCommandBufferAllocateInfo>(VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO);
    allocation.level = VK_COMMAND_BUFFER_LEVEL_PRIMARY;
    allocation.commandBufferCount = 1;
    auto fence = VulkanStruct<VkFenceCreateInfo>(VK_STRUCTURE_TYPE_FENCE_CREATE_INFO);
    if (vkCreateCommandPool(device_, &pool, nullptr, &commandPool_) != VK_SUCCESS ||
        (allocation.commandPool = commandPool_, vkAllocateCommandBuffers(device_, &allocation, &commands_)) !=
            VK_SUCCESS ||
        vkCreateFence(device_, &fence, nullptr, &fence_) != VK_SUCCESS) {
        *error = "the driver cannot make a command buffer";
        return false;
    }
    if (!CreateTarget(color_, kColorFormat, VK_IMAGE_USAGE_COLOR_ATTACHMENT_BIT, error) ||
        (depth_.mirror.surface() && !CreateTarget(depth_, kDepthFormat, VK_IMAGE_USAGE_DEPTH_STENCIL_ATTACHMENT_BIT, error)))
        return false;
    if (!CreateRenderPass() || !CreateLayouts() || !CreateDummyTexture() || !Submit()) {
        *error = "the driver cannot make the render pass, pipeline layout and shaders";
        return false;
    }
    return true;
}

VkCommandBuffer VulkanRenderer::Commands() {
    if (!recording_) {
        auto begin = VulkanStruct<VkCommandBufferBeginInfo>(VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO);
        begin.flags = VK_COMMAND_BUFFER_USAGE_ONE_TIME_SUBMIT_BIT;
        vkBeginCommandBuffer(commands_, &begin);
        recording_ = true;
    }
    return commands_;
}

// Runs the gathered commands and waits for them, then frees what they used.
bool VulkanRenderer::Submit() {
    if (recording_) {
        recording_ = false;
        auto submit = VulkanStruct<VkSubmitInfo>(VK_STRUCTURE_TYPE_SUBMIT_INFO);
        submit.commandBufferCount = 1;
        submit.pCommandBuffers = &commands_;
        const bool ran = vkEndCommandBuffer(commands_) == VK_SUCCESS &&
                         vkQueueSubmit(context_->Queue(), 1, &submit, fence_) == VK_SUCCESS &&
                         vkWaitForFences(device_, 1, &fence_, VK_TRUE, UINT64_MAX) == VK_SUCCESS;
        failed_ = failed_ || !ran;
        if (ran)
            vkResetFences(device_, 1, &fence_);
        vkResetCommandPool(device_, commandPool_, 0);
        vkResetDescriptorPool(device_, descriptorPool_, 0);
    }
    for (Buffer& buffer : transientBuffers_) DestroyBuffer(buffer);
    transientBuffers_.clear();
    for (Image& image : retiredImages_) DestroyImage(image);
    retiredImages_.clear();
    return !failed_;
}

void VulkanRenderer::Transition(const Image& image, VkImageAspectFlags aspect, VkImageLayout from, VkImageLayout to) {
    auto barrier = VulkanStruct<VkImageMemoryBarrier>(VK_STRUCTURE_TYPE_IMAGE_MEMORY_BARRIER);
    barrier.srcAccessMask = VK_ACCESS_MEMORY_WRITE_BIT;
    barrier.dstAccessMask = VK_ACCESS_MEMORY_READ_BIT | VK_ACCESS_MEMORY_WRITE_BIT;
    barrier.oldLayout = from;
    barrier.newLayout = to;
    barrier.srcQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
    barrier.dstQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
    barrier.image = image.image;
    barrier.subresourceRange = {aspect, 0, image.levels, 0, 1};
    vkCmdPipelineBarrier(Commands(), VK_PIPELINE_STAGE_ALL_COMMANDS_BIT, VK_PIPELINE_STAGE_ALL_COMMANDS_BIT, 0, 0,
                         nullptr, 0, nullptr, 1, &barrier);
}

// The memory's pixels into the image, rows as they lie in memory.
bool VulkanRenderer::TakeUp(Target& target) {
    if (!target.mirror.NeedsTakeUp())
        return true;
    const core::PixelStore& pixels = target.mirror.surface()->Pixels();
    Buffer staging;
    if (!CreateBuffer(pixels.bytes.size(), VK_BUFFER_USAGE_TRANSFER_SRC_BIT, &staging))
        return false;
    std::memcpy(staging.mapped, pixels.bytes.data(), pixels.bytes.size());
    transientBuffers_.push_back(staging);
    Transition(target.image, target.aspect, target.layout, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL);
    VkBufferImageCopy region{};
    region.bufferRowLength = pixels.rowPitch / target.bytesPerPixel;
    region.imageSubresource = {target.aspect, 0, 0, 1};
    region.imageExtent = {pixels.width, pixels.height, 1};
    vkCmdCopyBufferToImage(Commands(), staging.buffer, target.image.image, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL, 1,
                           &region);
    Transition(target.image, target.aspect, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL, target.layout);
    target.mirror.TookUp();
    return true;
}

void VulkanRenderer::ReadBack(Target& target) {
    if (!target.mirror.NeedsReadBack())
        return;
    core::PixelStore& pixels = target.mirror.surface()->Pixels();
    Transition(target.image, target.aspect, target.layout, VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL);
    VkBufferImageCopy region{};
    region.bufferRowLength = pixels.rowPitch / target.bytesPerPixel;
    region.imageSubresource = {target.aspect, 0, 0, 1};
    region.imageExtent = {pixels.width, pixels.height, 1};
    vkCmdCopyImageToBuffer(Commands(), target.image.image, VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL, target.readBack.buffer,
                           1, &region);
    Transition(target.image, target.aspect, VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL, target.layout);
    if (!Submit())
        return;
    std::memcpy(pixels.bytes.data(), target.readBack.mapped, pixels.bytes.size());
    target.mirror.ReadBackDone();
}

void VulkanRenderer::BringToMemory(core::Surface& surface) {
    if (&surface != color_.mirror.surface() && &surface != depth_.mirror.surface())
        return;
    ReadBack(&surface == color_.mirror.surface() ? color_ : depth_);
}

void VulkanRenderer::BeginPass() {
    const core::PixelStore& pixels = color_.mirror.surface()->Pixels();
    auto begin = VulkanStruct<VkRenderPassBeginInfo>(VK_STRUCTURE_TYPE_RENDER_PASS_BEGIN_INFO);
    begin.renderPass = renderPass_;
    begin.framebuffer = framebuffer_;
    begin.renderArea = {{0, 0}, {pixels.width, pixels.height}};
    vkCmdBeginRenderPass(Commands(), &begin, VK_SUBPASS_CONTENTS_INLINE);
}

void VulkanRenderer::Clear(const D3DRECT& r, DWORD flags, D3DCOLOR color, float z) {
    std::array<VkClearAttachment, 2> clears{};
    std::uint32_t count = 0;
    for (auto [flag, target] :
         {std::pair{DWORD{D3DCLEAR_TARGET}, &color_}, std::pair{DWORD{D3DCLEAR_ZBUFFER}, &depth_}}) {
        if (!(flags & flag) || !target->mirror.surface())
            continue;
        target->mirror.WillClear(r);
        if (!TakeUp(*target))
            return;
        target->mirror.MarkDrawn();
        VkClearAttachment& clear = clears[count++];
        clear.aspectMask = target->aspect;
        if (target == &color_) {
            clear.colorAttachment = 0;
            clear.clearValue.color = {{float((color >> 16) & 0xFF) / 255.0f, float((color >> 8) & 0xFF) / 255.0f,
                                       float(color & 0xFF) / 255.0f, float(color >> 24) / 255.0f}};
        } else {
            clear.clearValue.depthStencil = {std::clamp(z, 0.0f, 1.0f), 0};
        }
    }
    if (count == 0 || r.x2 <= r.x1 || r.y2 <= r.y1)
        return;
    const VkClearRect rect{{{r.x1, r.y1}, {std::uint32_t(r.x2 - r.x1), std::uint32_t(r.y2 - r.y1)}}, 0, 1};
    BeginPass();
    vkCmdClearAttachments(Commands(), count, clears.data(), 1, &rect);
    vkCmdEndRenderPass(Commands());
}

// A format the reference device reads in place (32-bit ARGB, and DXT once
// decoded to it) goes up as BGRA8; any other as the four floats it decodes to.
bool VulkanRenderer::UploadTexture(core::TextureInternals& texture, Textures::Entry& entry) {
    core::SampledTexture sampled;
    if (!decoded_.Prepare(texture, &sampled) || sampled.levels.empty())
        return false;
    const VkFormat format = sampled.native ? kColorFormat : kDecodedFormat;
    const VkDeviceSize texelBytes = sampled.native ? 4 : sizeof(FloatColor);
    VkDeviceSize total = 0;
    for (const core::SampledLevel& level : sampled.levels) total += texelBytes * level.width * level.height;
    Buffer staging;
    if (!CreateBuffer(total, VK_BUFFER_USAGE_TRANSFER_SRC_BIT, &staging))
        return false;
    transientBuffers_.push_back(staging);

    const bool fresh = entry.copy.image == VK_NULL_HANDLE;
    const auto levels = std::uint32_t(sampled.levels.size());
    if (fresh && !CreateImage(format, sampled.levels[0].width, sampled.levels[0].height, levels,
                              VK_IMAGE_USAGE_SAMPLED_BIT | VK_IMAGE_USAGE_TRANSFER_DST_BIT, VK_IMAGE_ASPECT_COLOR_BIT,
                              &entry.copy))
        return false;
    std::vector<VkBufferImageCopy> regions(levels);
    auto* out = static_cast<std::uint8_t*>(staging.mapped);
    VkDeviceSize offset = 0;
    for (std::uint32_t l = 0; l < levels; ++l) {
        const core::SampledLevel& level = sampled.levels[l];
        for (std::uint32_t y = 0; y < level.height; ++y) {
            std::uint8_t* row = out + offset + texelBytes * level.width * y;
            if (sampled.native) {
                auto* texels = reinterpret_cast<std::uint32_t*>(row);
                const std::uint32_t* from = level.argb + std::size_t{level.rowTexels} * y;
                for (std::uint32_t x = 0; x < level.width; ++x)
                    texels[x] = sampled.opaque ? from[x] | kOpaqueAlpha : from[x];
            } else {
                auto* texels = reinterpret_cast<FloatColor*>(row);
                std::copy_n(level.decoded + std::size_t{level.rowTexels} * y, level.width, texels);
                if (sampled.opaque)
                    for (std::uint32_t x = 0; x < level.width; ++x) texels[x].a = 1.0f;
            }
        }
        regions[l].bufferOffset = offset;
        regions[l].imageSubresource = {VK_IMAGE_ASPECT_COLOR_BIT, l, 0, 1};
        regions[l].imageExtent = {level.width, level.height, 1};
        offset += texelBytes * level.width * level.height;
    }
    Transition(entry.copy, VK_IMAGE_ASPECT_COLOR_BIT,
               fresh ? VK_IMAGE_LAYOUT_UNDEFINED : VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL,
               VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL);
    vkCmdCopyBufferToImage(Commands(), staging.buffer, entry.copy.image, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL, levels,
                           regions.data());
    Transition(entry.copy, VK_IMAGE_ASPECT_COLOR_BIT, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL,
               VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL);
    Textures::MarkUploaded(entry, texture);
    return true;
}

VkSampler VulkanRenderer::SamplerFor(const VkSamplerCreateInfo& info,
                                     const VkSamplerCustomBorderColorCreateInfoEXT& border) {
    VkSamplerCreateInfo key = info;
    key.pNext = nullptr;
    const std::string name = KeyOf(key) + KeyOf(border.customBorderColor);
    auto found = samplers_.find(name);
    if (found != samplers_.end())
        return found->second;
    VkSamplerCustomBorderColorCreateInfoEXT custom = border;
    custom.format = kColorFormat;
    if (info.borderColor == VK_BORDER_COLOR_FLOAT_CUSTOM_EXT)
        key.pNext = &custom;
    VkSampler sampler = VK_NULL_HANDLE;
    if (vkCreateSampler(device_, &key, nullptr, &sampler) != VK_SUCCESS)
        return VK_NULL_HANDLE;
    return samplers_.emplace(name, sampler).first->second;
}

// Uploads each sampling stage's texture when it changed and picks its
// sampler.
HRESULT VulkanRenderer::BindTextures(const core::DrawPlan& plan, StageConstants& constants,
                                     std::array<Binding, kStageCount>& bindings) {
    std::array<int, kStageCount> coordinateSet;
    coordinateSet.fill(-1);
    std::array<bool, kStageCount> projected{};
    bindings.fill({dummyTexture_.view, dummySampler_});
    for (std::uint32_t s = plan.program.start; s < plan.program.count; ++s) {
        const core::PlannedStage& stage = plan.stages[s];
        if (!stage.texture)
            continue;
        Textures::Entry& entry = textures_.Use(*stage.texture);
        if (!Textures::Current(entry, *stage.texture) && !UploadTexture(*stage.texture, entry))
            return D3DERR_INVALIDCALL;
        VkSamplerCreateInfo sampling;
        VkSamplerCustomBorderColorCreateInfoEXT border;
        MapSampler(stage.sampler, samplerLimits_, &sampling, &border);
        bindings[s] = {entry.copy.view, SamplerFor(sampling, border)};
        if (!bindings[s].sampler)
            return D3DERR_OUTOFVIDEOMEMORY;
        coordinateSet[s] = int(stage.coordinateSet);
        projected[s] = stage.projected;
    }
    constants = PackStages(plan.program, coordinateSet, projected);
    return S_OK;
}

// Transforms the vertices as the reference device does and hands Vulkan
// clip-space positions with y turned over (Vulkan's y points down the
// screen), moved by half a pixel right and down (Direct3D 9 puts pixel
// centres at integer coordinates, Vulkan at half-integers). Vulkan's depth
// range is Direct3D's, 0 <= z <= w: z goes as it is.
HRESULT VulkanRenderer::UploadVertices(const core::DrawCall& call, VkBuffer* buffer) {
    const core::DeviceState& state = call.state;
    const std::vector<CoordinateSource>& sources = call.plan.sources;
    core::TransformDrawVertices(call, clipVertices_);
    const std::size_t count = clipVertices_.size();

    const std::uint32_t floats = kPositionFloats + kCoordinateFloats * std::uint32_t(sources.size());
    Buffer vertices;
    if (!CreateBuffer(sizeof(float) * floats * count, VK_BUFFER_USAGE_VERTEX_BUFFER_BIT, &vertices))
        return D3DERR_OUTOFVIDEOMEMORY;
    transientBuffers_.push_back(vertices);
    const float dx = 1.0f / float(state.viewport.Width), dy = 1.0f / float(state.viewport.Height);
    auto* out = static_cast<float*>(vertices.mapped);
    for (const ClipVertex& v : clipVertices_) {
        *out++ = v.x + v.w * dx;
        *out++ = v.w * dy - v.y;
        *out++ = v.z;
        *out++ = v.w;
        out = std::copy_n(v.attributes.begin(), kCoordinateFloats * sources.size(), out);
    }
    *buffer = vertices.buffer;
    return S_OK;
}

// A pipeline per stage configuration, primitive type, vertex layout, depth
// test and culling. Winding is measured on the screen, y pointing down, as
// Direct3D measures it: CULL_CW culls what is clockwise there.
VkPipeline VulkanRenderer::PipelineFor(const core::DrawCall& call, const StageConstants& constants) {
    const auto& rs = call.state.renderStates;
    const bool depthTest = depth_.mirror.surface() && rs[D3DRS_ZENABLE] == D3DZB_TRUE;
    const DWORD func = rs[D3DRS_ZFUNC];
    const auto compare =
        func >= D3DCMP_NEVER && func <= D3DCMP_ALWAYS ? VkCompareOp(func - D3DCMP_NEVER) : VK_COMPARE_OP_ALWAYS;
    const VkCullModeFlags cull = rs[D3DRS_CULLMODE] == D3DCULL_CW    ? VK_CULL_MODE_FRONT_BIT
                                 : rs[D3DRS_CULLMODE] == D3DCULL_CCW ? VK_CULL_MODE_BACK_BIT
                                                                     : VK_CULL_MODE_NONE;
    std::uint32_t sets = 0;
    for (std::uint32_t word : constants.stages) sets = std::max(sets, (word >> 20) & 15u);
    const std::array<std::uint32_t, 6> shape{std::uint32_t(TopologyOf(call.plan.type)),
                                             depthTest,
                                             std::uint32_t(compare),
                                             depthTest && rs[D3DRS_ZWRITEENABLE] != 0,
                                             cull,
                                             sets};
    const std::string key = KeyOf(constants) + KeyOf(shape);
    auto found = pipelines_.find(key);
    if (found != pipelines_.end())
        return found->second;

    std::array<VkSpecializationMapEntry, kStageConstantCount> entries{};
    for (std::uint32_t i = 0; i < kStageConstantCount; ++i) entries[i] = {i, i * 4, 4};
    static_assert(sizeof(StageConstants) == kStageConstantCount * 4);
    const VkSpecializationInfo specialization{kStageConstantCount, entries.data(), sizeof constants, &constants};
    VkPipelineShaderStageCreateInfo stages[2] = {
        {VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO, nullptr, 0, VK_SHADER_STAGE_VERTEX_BIT, vertexShader_,
         "main", nullptr},
        {VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO, nullptr, 0, VK_SHADER_STAGE_FRAGMENT_BIT, fragmentShader_,
         "main", &specialization}};
    // Coordinate attributes past the sets used read the position: the shaders ignore them.
    const std::uint32_t floats = kPositionFloats + kCoordinateFloats * sets;
    const VkVertexInputBindingDescription binding{0, std::uint32_t(sizeof(float)) * floats,
                                                  VK_VERTEX_INPUT_RATE_VERTEX};
    std::array<VkVertexInputAttributeDescription, 1 + kStageCount> attributes{};
    attributes[0] = {0, 0, VK_FORMAT_R32G32B32A32_SFLOAT, 0};
    for (std::uint32_t k = 0; k < kStageCount; ++k)
        attributes[1 + k] = {1 + k, 0, VK_FORMAT_R32G32B32_SFLOAT,
                             k < sets ? std::uint32_t(sizeof(float)) * (kPositionFloats + kCoordinateFloats * k) : 0};
    auto input =
        VulkanStruct<VkPipelineVertexInputStateCreateInfo>(VK_STRUCTURE_TYPE_PIPELINE_VERTEX_INPUT_STATE_CREATE_INFO);
    input.vertexBindingDescriptionCount = 1;
    input.pVertexBindingDescriptions = &binding;
    input.vertexAttributeDescriptionCount = std::uint32_t(attributes.size());
    input.pVertexAttributeDescriptions = attributes.data();
    auto assembly = VulkanStruct<VkPipelineInputAssemblyStateCreateInfo>(
        VK_STRUCTURE_TYPE_PIPELINE_INPUT_ASSEMBLY_STATE_CREATE_INFO);
    assembly.topology = TopologyOf(call.plan.type);
    auto viewport =
        VulkanStruct<VkPipelineViewportStateCreateInfo>(VK_STRUCTURE_TYPE_PIPELINE_VIEWPORT_STATE_CREATE_INFO);
    viewport.viewportCount = 1;
    viewport.scissorCount = 1;
    auto raster = VulkanStruct<VkPipelineRasterizationStateCreateInfo>(
        VK_STRUCTURE_TYPE_PIPELINE_RASTERIZATION_STATE_CREATE_INFO);
    raster.polygonMode = VK_POLYGON_MODE_FILL;
    raster.cullMode = cull;
    raster.frontFace = VK_FRONT_FACE_CLOCKWISE;
    raster.lineWidth = 1;
    auto multisample =
        VulkanStruct<VkPipelineMultisampleStateCreateInfo>(VK_STRUCTURE_TYPE_PIPELINE_MULTISAMPLE_STATE_CREATE_INFO);
    multisample.rasterizationSamples = VK_SAMPLE_COUNT_1_BIT;
    auto depth =
        VulkanStruct<VkPipelineDepthStencilStateCreateInfo>(VK_STRUCTURE_TYPE_PIPELINE_DEPTH_STENCIL_STATE_CREATE_INFO);
    depth.depthTestEnable = shape[1];
    depth.depthCompareOp = compare;
    depth.depthWriteEnable = shape[3];
    VkPipelineColorBlendAttachmentState blendAttachment{};
    blendAttachment.colorWriteMask =
        VK_COLOR_COMPONENT_R_BIT | VK_COLOR_COMPONENT_G_BIT | VK_COLOR_COMPONENT_B_BIT | VK_COLOR_COMPONENT_A_BIT;
    auto blend =
        VulkanStruct<VkPipelineColorBlendStateCreateInfo>(VK_STRUCTURE_TYPE_PIPELINE_COLOR_BLEND_STATE_CREATE_INFO);
    blend.attachmentCount = 1;
    blend.pAttachments = &blendAttachment;
    const VkDynamicState dynamics[2] = {VK_DYNAMIC_STATE_VIEWPORT, VK_DYNAMIC_STATE_SCISSOR};
    auto dynamic = VulkanStruct<VkPipelineDynamicStateCreateInfo>(VK_STRUCTURE_TYPE_PIPELINE_DYNAMIC_STATE_CREATE_INFO);
    dynamic.dynamicStateCount = 2;
    dynamic.pDynamicStates = dynamics;

    auto info = VulkanStruct<VkGraphicsPipelineCreateInfo>(VK_STRUCTURE_TYPE_GRAPHICS_PIPELINE_CREATE_INFO);
    info.stageCount = 2;
    info.pStages = stages;
    info.pVertexInputState = &input;
    info.pInputAssemblyState = &assembly;
    info.pViewportState = &viewport;
    info.pRasterizationState = &raster;
    info.pMultisampleState = &multisample;
    info.pDepthStencilState = depth_.mirror.surface() ? &depth : nullptr;
    info.pColorBlendState = &blend;
    info.pDynamicState = &dynamic;
    info.layout = pipelineLayout_;
    info.renderPass = renderPass_;
    VkPipeline pipeline = VK_NULL_HANDLE;
    if (vkCreateGraphicsPipelines(device_, VK_NULL_HANDLE, 1, &info, nullptr, &pipeline) != VK_SUCCESS)
        return VK_NULL_HANDLE;
    return pipelines_.emplace(key, pipeline).first->second;
}

VkDescriptorSet VulkanRenderer::DescriptorsFor(const std::array<Binding, kStageCount>& bindings) {
    auto allocation = VulkanStruct<VkDescriptorSetAllocateInfo>(VK_STRUCTURE_TYPE_DESCRIPTOR_SET_ALLOCATE_INFO);
    allocation.descriptorPool = descriptorPool_;
    allocation.descriptorSetCount = 1;
    allocation.pSetLayouts = &setLayout_;
    VkDescriptorSet set = VK_NULL_HANDLE;
    // A pool used up is freed by running what is gathered so far.
    if (vkAllocateDescriptorSets(device_, &allocation, &set) != VK_SUCCESS &&
        (!Submit() || vkAllocateDescriptorSets(device_, &allocation, &set) != VK_SUCCESS))
        return VK_NULL_HANDLE;
    std::array<VkDescriptorImageInfo, kStageCount> images{};
    std::array<VkWriteDescriptorSet, kStageCount> writes{};
    for (std::uint32_t s = 0; s < kStageCount; ++s) {
        images[s] = {bindings[s].sampler, bindings[s].view, VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL};
        writes[s] = VulkanStruct<VkWriteDescriptorSet>(VK_STRUCTURE_TYPE_WRITE_DESCRIPTOR_SET);
        writes[s].dstSet = set;
        writes[s].dstBinding = s;
        writes[s].descriptorCount = 1;
        writes[s].descriptorType = VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER;
        writes[s].pImageInfo = &images[s];
    }
    vkUpdateDescriptorSets(device_, kStageCount, writes.data(), 0, nullptr);
    return set;
}

HRESULT VulkanRenderer::Draw(const core::DrawCall& call) {
    if (failed_)
        return D3DERR_DRIVERINTERNALERROR;
    const core::DrawPlan& plan = call.plan;
    textures_.BeginDraw();
    StageConstants constants;
    std::array<Binding, kStageCount> bindings;
    HRESULT result = BindTextures(plan, constants, bindings);
    decoded_.ForgetUnused();
    if (FAILED(result))
        return result;
    const VkDescriptorSet descriptors = DescriptorsFor(bindings);
    if (!descriptors)
        return D3DERR_OUTOFVIDEOMEMORY;
    VkBuffer vertices = VK_NULL_HANDLE;
    result = UploadVertices(call, &vertices);
    if (FAILED(result))
        return result;
    const VkPipeline pipeline = PipelineFor(call, constants);
    if (!pipeline || !TakeUp(color_) || !TakeUp(depth_))
        return D3DERR_DRIVERINTERNALERROR;

    const D3DVIEWPORT9& vp = call.state.viewport;
    const VkViewport viewport{float(vp.X),
                              float(vp.Y),
                              float(vp.Width),
                              float(vp.Height),
                              std::clamp(vp.MinZ, 0.0f, 1.0f),
                              std::clamp(vp.MaxZ, 0.0f, 1.0f)};
    const VkRect2D scissor{{LONG(vp.X), LONG(vp.Y)}, {vp.Width, vp.Height}};
    const core::Color4 colors[3] = {plan.program.diffuse, plan.program.textureFactor, plan.program.startCurrent};
    BeginPass();
    VkCommandBuffer commands = Commands();
    vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, pipeline);
    vkCmdSetViewport(commands, 0, 1, &viewport);
    vkCmdSetScissor(commands, 0, 1, &scissor);
    vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, pipelineLayout_, 0, 1, &descriptors, 0, nullptr);
    vkCmdPushConstants(commands, pipelineLayout_, VK_SHADER_STAGE_FRAGMENT_BIT, 0, sizeof colors, colors);
    const VkDeviceSize offset = 0;
    vkCmdBindVertexBuffers(commands, 0, 1, &vertices, &offset);
    vkCmdDraw(commands, std::uint32_t(clipVertices_.size()), 1, 0, 0);
    vkCmdEndRenderPass(commands);
    color_.mirror.MarkDrawn();
    if (depth_.mirror.surface() && call.state.renderStates[D3DRS_ZENABLE] == D3DZB_TRUE &&
        call.state.renderStates[D3DRS_ZWRITEENABLE])
        depth_.mirror.MarkDrawn();
    textures_.ForgetUnused([this](Image& image) { retiredImages_.push_back(image); });
    return S_OK;
}

}  // namespace quillmark::vulkan
