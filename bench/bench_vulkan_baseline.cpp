// The baseline for the Vulkan device's frame times: a plain Vulkan program
// drawing the same default tunnel (same vertices, matrices, texture,
// trilinear filtering with the given anisotropy) into an 800 x 600 BGRA8 and
// 16-bit depth target and reading every frame back, with nothing of the
// Direct3D layer in between.
//
//   bench_vulkan_baseline ANISOTROPY [FRAMES]     (on lavapipe)
//
// Prints "baseline-lavapipe ANISOTROPY MS" (milliseconds per frame).
#include <vulkan/vulkan.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tunnel_scene.h"

namespace {

using quillmark::bench::Tunnel;
using quillmark::bench::TunnelWorldViewProjection;
using quillmark::bench::Vertex;

constexpr std::uint32_t kVertexSpirv[] =
#include "tunnel.vert.inc"
    ;
constexpr std::uint32_t kFragmentSpirv[] =
#include "tunnel.frag.inc"
    ;

constexpr std::uint32_t kWidth = 800, kHeight = 600, kTextureSize = 512, kLevels = 10;
constexpr int kWarmUpFrames = 2;
constexpr VkFormat kColorFormat = VK_FORMAT_B8G8R8A8_UNORM, kDepthFormat = VK_FORMAT_D16_UNORM;

#define CHECK(call)                                                                 \
    do {                                                                            \
        if ((call) != VK_SUCCESS) {                                                 \
            std::fprintf(stderr, "bench_vulkan_baseline: %s failed\n", #call);      \
            std::exit(1);                                                           \
        }                                                                           \
    } while (0)

struct Gpu {
    VkInstance instance = VK_NULL_HANDLE;
    VkPhysicalDevice physical = VK_NULL_HANDLE;
    VkDevice device = VK_NULL_HANDLE;
    VkQueue queue = VK_NULL_HANDLE;
    std::uint32_t family = 0;
    VkPhysicalDeviceMemoryProperties memory{};
    VkCommandPool pool = VK_NULL_HANDLE;
    VkCommandBuffer commands = VK_NULL_HANDLE;
    VkFence fence = VK_NULL_HANDLE;

    std::uint32_t MemoryType(std::uint32_t bits, VkMemoryPropertyFlags wanted) const {
        for (std::uint32_t i = 0; i < memory.memoryTypeCount; ++i)
            if ((bits & (1u << i)) && (memory.memoryTypes[i].propertyFlags & wanted) == wanted) return i;
        std::fprintf(stderr, "bench_vulkan_baseline: no memory type\n");
        std::exit(1);
    }
};

struct Buffer {
    VkBuffer buffer = VK_NULL_HANDLE;
    VkDeviceMemory memory = VK_NULL_HANDLE;
    void* mapped = nullptr;
};

struct Image {
    VkImage image = VK_NULL_HANDLE;
    VkDeviceMemory memory = VK_NULL_HANDLE;
    VkImageView view = VK_NULL_HANDLE;
};

// lavapipe, the software driver the Vulkan device is measured on.
Gpu OpenLavapipe() {
    Gpu gpu;
    VkApplicationInfo application{VK_STRUCTURE_TYPE_APPLICATION_INFO, nullptr, "bench", 0, nullptr, 0,
                                  VK_API_VERSION_1_2};
    VkInstanceCreateInfo instance{VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO, nullptr, 0, &application, 0, nullptr, 0,
                                  nullptr};
    CHECK(vkCreateInstance(&instance, nullptr, &gpu.instance));
    std::uint32_t count = 0;
    vkEnumeratePhysicalDevices(gpu.instance, &count, nullptr);
    std::vector<VkPhysicalDevice> devices(count);
    vkEnumeratePhysicalDevices(gpu.instance, &count, devices.data());
    for (VkPhysicalDevice device : devices) {
        VkPhysicalDeviceDriverProperties driver{VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_DRIVER_PROPERTIES, nullptr, {}, {}, {}, {}};
        VkPhysicalDeviceProperties2 properties{VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_PROPERTIES_2, &driver, {}};
        vkGetPhysicalDeviceProperties2(device, &properties);
        if (driver.driverID == VK_DRIVER_ID_MESA_LLVMPIPE) gpu.physical = device;
    }
    if (!gpu.physical) {
        std::fprintf(stderr, "bench_vulkan_baseline: lavapipe is not installed\n");
        std::exit(1);
    }
    std::uint32_t families = 0;
    vkGetPhysicalDeviceQueueFamilyProperties(gpu.physical, &families, nullptr);
    std::vector<VkQueueFamilyProperties> properties(families);
    vkGetPhysicalDeviceQueueFamilyProperties(gpu.physical, &families, properties.data());
    while (!(properties[gpu.family].queueFlags & VK_QUEUE_GRAPHICS_BIT)) ++gpu.family;
    const float priority = 1;
    VkDeviceQueueCreateInfo queue{VK_STRUCTURE_TYPE_DEVICE_QUEUE_CREATE_INFO, nullptr, 0, gpu.family, 1, &priority};
    VkPhysicalDeviceFeatures features{};
    features.samplerAnisotropy = VK_TRUE;
    VkDeviceCreateInfo device{VK_STRUCTURE_TYPE_DEVICE_CREATE_INFO, nullptr, 0, 1, &queue, 0, nullptr, 0, nullptr,
                              &features};
    CHECK(vkCreateDevice(gpu.physical, &device, nullptr, &gpu.device));
    vkGetDeviceQueue(gpu.device, gpu.family, 0, &gpu.queue);
    vkGetPhysicalDeviceMemoryProperties(gpu.physical, &gpu.memory);
    VkCommandPoolCreateInfo pool{VK_STRUCTURE_TYPE_COMMAND_POOL_CREATE_INFO, nullptr,
                                 VK_COMMAND_POOL_CREATE_RESET_COMMAND_BUFFER_BIT, gpu.family};
    CHECK(vkCreateCommandPool(gpu.device, &pool, nullptr, &gpu.pool));
    VkCommandBufferAllocateInfo allocation{VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO, nullptr, gpu.pool,
                                           VK_COMMAND_BUFFER_LEVEL_PRIMARY, 1};
    CHECK(vkAllocateCommandBuffers(gpu.device, &allocation, &gpu.commands));
    VkFenceCreateInfo fence{VK_STRUCTURE_TYPE_FENCE_CREATE_INFO, nullptr, 0};
    CHECK(vkCreateFence(gpu.device, &fence, nullptr, &gpu.fence));
    return gpu;
}

Buffer MakeBuffer(const Gpu& gpu, VkDeviceSize size, VkBufferUsageFlags usage) {
    Buffer out;
    VkBufferCreateInfo info{VK_STRUCTURE_TYPE_BUFFER_CREATE_INFO, nullptr, 0, size, usage, VK_SHARING_MODE_EXCLUSIVE,
                            0, nullptr};
    CHECK(vkCreateBuffer(gpu.device, &info, nullptr, &out.buffer));
    VkMemoryRequirements needs;
    vkGetBufferMemoryRequirements(gpu.device, out.buffer, &needs);
    VkMemoryAllocateInfo allocation{
        VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO, nullptr, needs.size,
        gpu.MemoryType(needs.memoryTypeBits, VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_COHERENT_BIT)};
    CHECK(vkAllocateMemory(gpu.device, &allocation, nullptr, &out.memory));
    CHECK(vkBindBufferMemory(gpu.device, out.buffer, out.memory, 0));
    CHECK(vkMapMemory(gpu.device, out.memory, 0, VK_WHOLE_SIZE, 0, &out.mapped));
    return out;
}

Image MakeImage(const Gpu& gpu, VkFormat format, std::uint32_t size[2], std::uint32_t levels, VkImageUsageFlags usage,
                VkImageAspectFlags aspect) {
    Image out;
    VkImageCreateInfo info{VK_STRUCTURE_TYPE_IMAGE_CREATE_INFO, nullptr, 0, VK_IMAGE_TYPE_2D, format,
                           {size[0], size[1], 1}, levels, 1, VK_SAMPLE_COUNT_1_BIT, VK_IMAGE_TILING_OPTIMAL, usage,
                           VK_SHARING_MODE_EXCLUSIVE, 0, nullptr, VK_IMAGE_LAYOUT_UNDEFINED};
    CHECK(vkCreateImage(gpu.device, &info, nullptr, &out.image));
    VkMemoryRequirements needs;
    vkGetImageMemoryRequirements(gpu.device, out.image, &needs);
    VkMemoryAllocateInfo allocation{VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO, nullptr, needs.size,
                                    gpu.MemoryType(needs.memoryTypeBits, 0)};
    CHECK(vkAllocateMemory(gpu.device, &allocation, nullptr, &out.memory));
    CHECK(vkBindImageMemory(gpu.device, out.image, out.memory, 0));
    VkImageViewCreateInfo view{VK_STRUCTURE_TYPE_IMAGE_VIEW_CREATE_INFO, nullptr, 0, out.image, VK_IMAGE_VIEW_TYPE_2D,
                               format, {}, {aspect, 0, levels, 0, 1}};
    CHECK(vkCreateImageView(gpu.device, &view, nullptr, &out.view));
    return out;
}

void Barrier(VkCommandBuffer commands, VkImage image, VkImageAspectFlags aspect, std::uint32_t levels,
             VkImageLayout from, VkImageLayout to) {
    VkImageMemoryBarrier barrier{VK_STRUCTURE_TYPE_IMAGE_MEMORY_BARRIER, nullptr, VK_ACCESS_MEMORY_WRITE_BIT,
                                 VK_ACCESS_MEMORY_READ_BIT | VK_ACCESS_MEMORY_WRITE_BIT, from, to,
                                 VK_QUEUE_FAMILY_IGNORED, VK_QUEUE_FAMILY_IGNORED, image, {aspect, 0, levels, 0, 1}};
    vkCmdPipelineBarrier(commands, VK_PIPELINE_STAGE_ALL_COMMANDS_BIT, VK_PIPELINE_STAGE_ALL_COMMANDS_BIT, 0, 0,
                         nullptr, 0, nullptr, 1, &barrier);
}

void Run(Gpu& gpu, const auto& record) {
    VkCommandBufferBeginInfo begin{VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO, nullptr,
                                   VK_COMMAND_BUFFER_USAGE_ONE_TIME_SUBMIT_BIT, nullptr};
    CHECK(vkBeginCommandBuffer(gpu.commands, &begin));
    record(gpu.commands);
    CHECK(vkEndCommandBuffer(gpu.commands));
    VkSubmitInfo submit{VK_STRUCTURE_TYPE_SUBMIT_INFO, nullptr, 0, nullptr, nullptr, 1, &gpu.commands, 0, nullptr};
    CHECK(vkQueueSubmit(gpu.queue, 1, &submit, gpu.fence));
    CHECK(vkWaitForFences(gpu.device, 1, &gpu.fence, VK_TRUE, UINT64_MAX));
    CHECK(vkResetFences(gpu.device, 1, &gpu.fence));
}

// The application's checkerboard, each level tinted, uploaded once.
Image MakeTexture(Gpu& gpu) {
    std::uint32_t size[2] = {kTextureSize, kTextureSize};
    Image texture = MakeImage(gpu, kColorFormat, size, kLevels, VK_IMAGE_USAGE_SAMPLED_BIT | VK_IMAGE_USAGE_TRANSFER_DST_BIT,
                              VK_IMAGE_ASPECT_COLOR_BIT);
    Buffer staging = MakeBuffer(gpu, VkDeviceSize(kTextureSize) * kTextureSize * 4 * 2, VK_BUFFER_USAGE_TRANSFER_SRC_BIT);
    auto* texels = static_cast<std::uint32_t*>(staging.mapped);
    std::vector<VkBufferImageCopy> regions;
    VkDeviceSize offset = 0;
    for (std::uint32_t level = 0; level < kLevels; ++level) {
        const std::uint32_t side = kTextureSize >> level;
        for (std::uint32_t y = 0; y < side; ++y)
            for (std::uint32_t x = 0; x < side; ++x)
                texels[offset / 4 + std::size_t(y) * side + x] =
                    0xFF000000u | (((x / 8 + y / 8) % 2 ? 0xFFFFFFu : 0x202020u) ^ (level * 0x1F0F07u));
        regions.push_back({offset, 0, 0, {VK_IMAGE_ASPECT_COLOR_BIT, level, 0, 1}, {0, 0, 0}, {side, side, 1}});
        offset += VkDeviceSize(side) * side * 4;
    }
    Run(gpu, [&](VkCommandBuffer commands) {
        Barrier(commands, texture.image, VK_IMAGE_ASPECT_COLOR_BIT, kLevels, VK_IMAGE_LAYOUT_UNDEFINED,
                VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL);
        vkCmdCopyBufferToImage(commands, staging.buffer, texture.image, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL,
                               std::uint32_t(regions.size()), regions.data());
        Barrier(commands, texture.image, VK_IMAGE_ASPECT_COLOR_BIT, kLevels, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL,
                VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL);
    });
    return texture;
}

VkShaderModule Module(const Gpu& gpu, const std::uint32_t* code, std::size_t bytes) {
    VkShaderModuleCreateInfo info{VK_STRUCTURE_TYPE_SHADER_MODULE_CREATE_INFO, nullptr, 0, bytes, code};
    VkShaderModule module = VK_NULL_HANDLE;
    CHECK(vkCreateShaderModule(gpu.device, &info, nullptr, &module));
    return module;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_vulkan_baseline ANISOTROPY [FRAMES]\n");
        return 2;
    }
    const float anisotropy = float(std::atoi(argv[1]));
    const int frames = argc > 2 ? std::atoi(argv[2]) : 10;
    Gpu gpu = OpenLavapipe();
    std::uint32_t size[2] = {kWidth, kHeight};
    const Image color = MakeImage(gpu, kColorFormat, size, 1,
                                  VK_IMAGE_USAGE_COLOR_ATTACHMENT_BIT | VK_IMAGE_USAGE_TRANSFER_SRC_BIT,
                                  VK_IMAGE_ASPECT_COLOR_BIT);
    const Image depth =
        MakeImage(gpu, kDepthFormat, size, 1, VK_IMAGE_USAGE_DEPTH_STENCIL_ATTACHMENT_BIT, VK_IMAGE_ASPECT_DEPTH_BIT);
    const Image texture = MakeTexture(gpu);
    const Buffer readBack = MakeBuffer(gpu, VkDeviceSize(kWidth) * kHeight * 4, VK_BUFFER_USAGE_TRANSFER_DST_BIT);
    const std::vector<Vertex> tunnel = Tunnel(200);
    const Buffer vertices = MakeBuffer(gpu, tunnel.size() * sizeof(Vertex), VK_BUFFER_USAGE_VERTEX_BUFFER_BIT);
    std::memcpy(vertices.mapped, tunnel.data(), tunnel.size() * sizeof(Vertex));

    VkAttachmentDescription attachments[2] = {
        {0, kColorFormat, VK_SAMPLE_COUNT_1_BIT, VK_ATTACHMENT_LOAD_OP_CLEAR, VK_ATTACHMENT_STORE_OP_STORE,
         VK_ATTACHMENT_LOAD_OP_DONT_CARE, VK_ATTACHMENT_STORE_OP_DONT_CARE, VK_IMAGE_LAYOUT_UNDEFINED,
         VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL},
        {0, kDepthFormat, VK_SAMPLE_COUNT_1_BIT, VK_ATTACHMENT_LOAD_OP_CLEAR, VK_ATTACHMENT_STORE_OP_DONT_CARE,
         VK_ATTACHMENT_LOAD_OP_DONT_CARE, VK_ATTACHMENT_STORE_OP_DONT_CARE, VK_IMAGE_LAYOUT_UNDEFINED,
         VK_IMAGE_LAYOUT_DEPTH_STENCIL_ATTACHMENT_OPTIMAL}};
    VkAttachmentReference colorReference{0, VK_IMAGE_LAYOUT_COLOR_ATTACHMENT_OPTIMAL};
    VkAttachmentReference depthReference{1, VK_IMAGE_LAYOUT_DEPTH_STENCIL_ATTACHMENT_OPTIMAL};
    VkSubpassDescription subpass{0, VK_PIPELINE_BIND_POINT_GRAPHICS, 0, nullptr, 1, &colorReference, nullptr,
                                 &depthReference, 0, nullptr};
    VkSubpassDependency after{0, VK_SUBPASS_EXTERNAL, VK_PIPELINE_STAGE_COLOR_ATTACHMENT_OUTPUT_BIT,
                              VK_PIPELINE_STAGE_TRANSFER_BIT, VK_ACCESS_COLOR_ATTACHMENT_WRITE_BIT,
                              VK_ACCESS_TRANSFER_READ_BIT, 0};
    VkRenderPassCreateInfo passInfo{VK_STRUCTURE_TYPE_RENDER_PASS_CREATE_INFO, nullptr, 0, 2, attachments, 1, &subpass,
                                    1, &after};
    VkRenderPass pass = VK_NULL_HANDLE;
    CHECK(vkCreateRenderPass(gpu.device, &passInfo, nullptr, &pass));
    const VkImageView views[2] = {color.view, depth.view};
    VkFramebufferCreateInfo framebufferInfo{VK_STRUCTURE_TYPE_FRAMEBUFFER_CREATE_INFO, nullptr, 0, pass, 2, views,
                                            kWidth, kHeight, 1};
    VkFramebuffer framebuffer = VK_NULL_HANDLE;
    CHECK(vkCreateFramebuffer(gpu.device, &framebufferInfo, nullptr, &framebuffer));

    VkSamplerCreateInfo samplerInfo{};

    samplerInfo.sType = VK_STRUCTURE_TYPE_SAMPLER_CREATE_INFO;
    samplerInfo.magFilter = samplerInfo.minFilter = VK_FILTER_LINEAR;
    samplerInfo.mipmapMode = VK_SAMPLER_MIPMAP_MODE_LINEAR;
    samplerInfo.anisotropyEnable = anisotropy > 1;
    samplerInfo.maxAnisotropy = anisotropy;
    samplerInfo.maxLod = VK_LOD_CLAMP_NONE;
    VkSampler sampler = VK_NULL_HANDLE;
    CHECK(vkCreateSampler(gpu.device, &samplerInfo, nullptr, &sampler));
    VkDescriptorSetLayoutBinding binding{0, VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER, 1, VK_SHADER_STAGE_FRAGMENT_BIT,
                                         nullptr};
    VkDescriptorSetLayoutCreateInfo setInfo{VK_STRUCTURE_TYPE_DESCRIPTOR_SET_LAYOUT_CREATE_INFO, nullptr, 0, 1, &binding};
    VkDescriptorSetLayout setLayout = VK_NULL_HANDLE;
    CHECK(vkCreateDescriptorSetLayout(gpu.device, &setInfo, nullptr, &setLayout));
    VkDescriptorPoolSize poolSize{VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER, 1};
    VkDescriptorPoolCreateInfo poolInfo{VK_STRUCTURE_TYPE_DESCRIPTOR_POOL_CREATE_INFO, nullptr, 0, 1, 1, &poolSize};
    VkDescriptorPool pool = VK_NULL_HANDLE;
    CHECK(vkCreateDescriptorPool(gpu.device, &poolInfo, nullptr, &pool));
    VkDescriptorSetAllocateInfo setAllocation{VK_STRUCTURE_TYPE_DESCRIPTOR_SET_ALLOCATE_INFO, nullptr, pool, 1,
                                              &setLayout};
    VkDescriptorSet set = VK_NULL_HANDLE;
    CHECK(vkAllocateDescriptorSets(gpu.device, &setAllocation, &set));
    VkDescriptorImageInfo image{sampler, texture.view, VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL};
    VkWriteDescriptorSet write{VK_STRUCTURE_TYPE_WRITE_DESCRIPTOR_SET, nullptr, set, 0, 0, 1,
                               VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER, &image, nullptr, nullptr};
    vkUpdateDescriptorSets(gpu.device, 1, &write, 0, nullptr);
    VkPushConstantRange range{VK_SHADER_STAGE_VERTEX_BIT, 0, sizeof(D3DMATRIX)};
    VkPipelineLayoutCreateInfo layoutInfo{VK_STRUCTURE_TYPE_PIPELINE_LAYOUT_CREATE_INFO, nullptr, 0, 1, &setLayout, 1,
                                          &range};
    VkPipelineLayout layout = VK_NULL_HANDLE;
    CHECK(vkCreatePipelineLayout(gpu.device, &layoutInfo, nullptr, &layout));

    const VkShaderModule vertexShader = Module(gpu, kVertexSpirv, sizeof kVertexSpirv);
    const VkShaderModule fragmentShader = Module(gpu, kFragmentSpirv, sizeof kFragmentSpirv);
    VkPipelineShaderStageCreateInfo stages[2] = {
        {VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO, nullptr, 0, VK_SHADER_STAGE_VERTEX_BIT, vertexShader,
         "main", nullptr},
        {VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO, nullptr, 0, VK_SHADER_STAGE_FRAGMENT_BIT, fragmentShader,
         "main", nullptr}};
    VkVertexInputBindingDescription vertexBinding{0, sizeof(Vertex), VK_VERTEX_INPUT_RATE_VERTEX};
    VkVertexInputAttributeDescription attributes[2] = {{0, 0, VK_FORMAT_R32G32B32_SFLOAT, 0},
                                                       {1, 0, VK_FORMAT_R32G32_SFLOAT, 3 * sizeof(float)}};
    VkPipelineVertexInputStateCreateInfo input{VK_STRUCTURE_TYPE_PIPELINE_VERTEX_INPUT_STATE_CREATE_INFO, nullptr, 0, 1,
                                               &vertexBinding, 2, attributes};
    VkPipelineInputAssemblyStateCreateInfo assembly{VK_STRUCTURE_TYPE_PIPELINE_INPUT_ASSEMBLY_STATE_CREATE_INFO, nullptr,
                                                    0, VK_PRIMITIVE_TOPOLOGY_TRIANGLE_STRIP, VK_FALSE};
    VkViewport viewportRect{0, 0, float(kWidth), float(kHeight), 0, 1};
    VkRect2D scissor{{0, 0}, {kWidth, kHeight}};
    VkPipelineViewportStateCreateInfo viewport{VK_STRUCTURE_TYPE_PIPELINE_VIEWPORT_STATE_CREATE_INFO, nullptr, 0, 1,
                                               &viewportRect, 1, &scissor};
    VkPipelineRasterizationStateCreateInfo raster{};
    raster.sType = VK_STRUCTURE_TYPE_PIPELINE_RASTERIZATION_STATE_CREATE_INFO;
    raster.polygonMode = VK_POLYGON_MODE_FILL;
    raster.lineWidth = 1;
    VkPipelineMultisampleStateCreateInfo multisample{};
    multisample.sType = VK_STRUCTURE_TYPE_PIPELINE_MULTISAMPLE_STATE_CREATE_INFO;
    multisample.rasterizationSamples = VK_SAMPLE_COUNT_1_BIT;
    VkPipelineDepthStencilStateCreateInfo depthState{};
    depthState.sType = VK_STRUCTURE_TYPE_PIPELINE_DEPTH_STENCIL_STATE_CREATE_INFO;
    depthState.depthTestEnable = depthState.depthWriteEnable = VK_TRUE;
    depthState.depthCompareOp = VK_COMPARE_OP_LESS_OR_EQUAL;
    VkPipelineColorBlendAttachmentState blendAttachment{};
    blendAttachment.colorWriteMask = 0xF;
    VkPipelineColorBlendStateCreateInfo blend{};
    blend.sType = VK_STRUCTURE_TYPE_PIPELINE_COLOR_BLEND_STATE_CREATE_INFO;
    blend.attachmentCount = 1;
    blend.pAttachments = &blendAttachment;
    VkGraphicsPipelineCreateInfo pipelineInfo{};
    pipelineInfo.sType = VK_STRUCTURE_TYPE_GRAPHICS_PIPELINE_CREATE_INFO;
    pipelineInfo.stageCount = 2;
    pipelineInfo.pStages = stages;
    pipelineInfo.pVertexInputState = &input;
    pipelineInfo.pInputAssemblyState = &assembly;
    pipelineInfo.pViewportState = &viewport;
    pipelineInfo.pRasterizationState = &raster;
    pipelineInfo.pMultisampleState = &multisample;
    pipelineInfo.pDepthStencilState = &depthState;
    pipelineInfo.pColorBlendState = &blend;
    pipelineInfo.layout = layout;
    pipelineInfo.renderPass = pass;
    VkPipeline pipeline = VK_NULL_HANDLE;
    CHECK(vkCreateGraphicsPipelines(gpu.device, VK_NULL_HANDLE, 1, &pipelineInfo, nullptr, &pipeline));

    const D3DMATRIX wvp = TunnelWorldViewProjection();
    std::vector<std::uint32_t> pixels(std::size_t(kWidth) * kHeight);
    auto frame = [&] {
        Run(gpu, [&](VkCommandBuffer commands) {
            VkClearValue clears[2]{};
            clears[0].color = {{0, 0, 0, 1}};
            clears[1].depthStencil = {1, 0};
            VkRenderPassBeginInfo begin{VK_STRUCTURE_TYPE_RENDER_PASS_BEGIN_INFO, nullptr, pass, framebuffer,
                                        {{0, 0}, {kWidth, kHeight}}, 2, clears};
            vkCmdBeginRenderPass(commands, &begin, VK_SUBPASS_CONTENTS_INLINE);
            vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, pipeline);
            vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, layout, 0, 1, &set, 0, nullptr);
            vkCmdPushConstants(commands, layout, VK_SHADER_STAGE_VERTEX_BIT, 0, sizeof wvp, &wvp);
            const VkDeviceSize offset = 0;
            vkCmdBindVertexBuffers(commands, 0, 1, &vertices.buffer, &offset);
            vkCmdDraw(commands, std::uint32_t(tunnel.size()), 1, 0, 0);
            vkCmdEndRenderPass(commands);
            VkBufferImageCopy region{0, 0, 0, {VK_IMAGE_ASPECT_COLOR_BIT, 0, 0, 1}, {0, 0, 0}, {kWidth, kHeight, 1}};
            vkCmdCopyImageToBuffer(commands, color.image, VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL, readBack.buffer, 1,
                                   &region);
        });
        std::memcpy(pixels.data(), readBack.mapped, pixels.size() * 4);
    };
    for (int i = 0; i < kWarmUpFrames; ++i) frame();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) frame();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("baseline-lavapipe %d %.3f\n", int(anisotropy), ms / frames);
    return pixels[0] == 1 ? 3 : 0;
}
