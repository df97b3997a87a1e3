// The Vulkan entry points the Vulkan device calls, as pointers taken from
// the Vulkan loader at run time: the program starts, and every other device
// works, on a machine without it.
#pragma once

#define VK_NO_PROTOTYPES
#include <vulkan/vulkan.h>

#include <string>

// Entry points that need no instance.
#define QUILLMARK_VK_GLOBAL_FUNCTIONS(X)                                          \
    X(PFN_vkCreateInstance, vkCreateInstance)                                     \
    X(PFN_vkEnumerateInstanceLayerProperties, vkEnumerateInstanceLayerProperties) \
    X(PFN_vkEnumerateInstanceExtensionProperties, vkEnumerateInstanceExtensionProperties)

// Entry points of an instance and of its devices (through the loader, which
// dispatches them to the device's driver).
#define QUILLMARK_VK_INSTANCE_FUNCTIONS(X)                                                    \
    X(PFN_vkDestroyInstance, vkDestroyInstance)                                               \
    X(PFN_vkEnumeratePhysicalDevices, vkEnumeratePhysicalDevices)                             \
    X(PFN_vkGetPhysicalDeviceProperties2, vkGetPhysicalDeviceProperties2)                     \
    X(PFN_vkGetPhysicalDeviceFeatures2, vkGetPhysicalDeviceFeatures2)                         \
    X(PFN_vkGetPhysicalDeviceFormatProperties, vkGetPhysicalDeviceFormatProperties)           \
    X(PFN_vkGetPhysicalDeviceMemoryProperties, vkGetPhysicalDeviceMemoryProperties)           \
    X(PFN_vkGetPhysicalDeviceQueueFamilyProperties, vkGetPhysicalDeviceQueueFamilyProperties) \
    X(PFN_vkEnumerateDeviceExtensionProperties, vkEnumerateDeviceExtensionProperties)         \
    X(PFN_vkCreateDevice, vkCreateDevice)                                                     \
    X(PFN_vkDestroyDevice, vkDestroyDevice)                                                   \
    X(PFN_vkGetDeviceQueue, vkGetDeviceQueue)                                                 \
    X(PFN_vkDeviceWaitIdle, vkDeviceWaitIdle)                                                 \
    X(PFN_vkQueueSubmit, vkQueueSubmit)                                                       \
    X(PFN_vkCreateFence, vkCreateFence)                                                       \
    X(PFN_vkDestroyFence, vkDestroyFence)                                                     \
    X(PFN_vkWaitForFences, vkWaitForFences)                                                   \
    X(PFN_vkResetFences, vkResetFences)                                                       \
    X(PFN_vkCreateCommandPool, vkCreateCommandPool)                                           \
    X(PFN_vkDestroyCommandPool, vkDestroyCommandPool)                                         \
    X(PFN_vkResetCommandPool, vkResetCommandPool)                                             \
    X(PFN_vkAllocateCommandBuffers, vkAllocateCommandBuffers)                                 \
    X(PFN_vkBeginCommandBuffer, vkBeginCommandBuffer)                                         \
    X(PFN_vkEndCommandBuffer, vkEndCommandBuffer)                                             \
    X(PFN_vkAllocateMemory, vkAllocateMemory)                                                 \
    X(PFN_vkFreeMemory, vkFreeMemory)                                                         \
    X(PFN_vkMapMemory, vkMapMemory)                                                           \
    X(PFN_vkCreateBuffer, vkCreateBuffer)                                                     \
    X(PFN_vkDestroyBuffer, vkDestroyBuffer)                                                   \
    X(PFN_vkGetBufferMemoryRequirements, vkGetBufferMemoryRequirements)                       \
    X(PFN_vkBindBufferMemory, vkBindBufferMemory)                                             \
    X(PFN_vkCreateImage, vkCreateImage)                                                       \
    X(PFN_vkDestroyImage, vkDestroyImage)                                                     \
    X(PFN_vkGetImageMemoryRequirements, vkGetImageMemoryRequirements)                         \
    X(PFN_vkBindImageMemory, vkBindImageMemory)                                               \
    X(PFN_vkCreateImageView, vkCreateImageView)                                               \
    X(PFN_vkDestroyImageView, vkDestroyImageView)                                             \
    X(PFN_vkCreateSampler, vkCreateSampler)                                                   \
    X(PFN_vkDestroySampler, vkDestroySampler)                                                 \
    X(PFN_vkCreateRenderPass, vkCreateRenderPass)                                             \
    X(PFN_vkDestroyRenderPass, vkDestroyRenderPass)                                           \
    X(PFN_vkCreateFramebuffer, vkCreateFramebuffer)                                           \
    X(PFN_vkDestroyFramebuffer, vkDestroyFramebuffer)                                         \
    X(PFN_vkCreateShaderModule, vkCreateShaderModule)                                         \
    X(PFN_vkDestroyShaderModule, vkDestroyShaderModule)                                       \
    X(PFN_vkCreateDescriptorSetLayout, vkCreateDescriptorSetLayout)                           \
    X(PFN_vkDestroyDescriptorSetLayout, vkDestroyDescriptorSetLayout)                         \
    X(PFN_vkCreateDescriptorPool, vkCreateDescriptorPool)                                     \
    X(PFN_vkDestroyDescriptorPool, vkDestroyDescriptorPool)                                   \
    X(PFN_vkResetDescriptorPool, vkResetDescriptorPool)                                       \
    X(PFN_vkAllocateDescriptorSets, vkAllocateDescriptorSets)                                 \
    X(PFN_vkUpdateDescriptorSets, vkUpdateDescriptorSets)                                     \
    X(PFN_vkCreatePipelineLayout, vkCreatePipelineLayout)                                     \
    X(PFN_vkDestroyPipelineLayout, vkDestroyPipelineLayout)                                   \
    X(PFN_vkCreateGraphicsPipelines, vkCreateGraphicsPipelines)                               \
    X(PFN_vkDestroyPipeline, vkDestroyPipeline)                                               \
    X(PFN_vkCmdPipelineBarrier, vkCmdPipelineBarrier)                                         \
    X(PFN_vkCmdCopyBufferToImage, vkCmdCopyBufferToImage)                                     \
    X(PFN_vkCmdCopyImageToBuffer, vkCmdCopyImageToBuffer)                                     \
    X(PFN_vkCmdBeginRenderPass, vkCmdBeginRenderPass)                                         \
    X(PFN_vkCmdEndRenderPass, vkCmdEndRenderPass)                                             \
    X(PFN_vkCmdClearAttachments, vkCmdClearAttachments)                                       \
    X(PFN_vkCmdBindPipeline, vkCmdBindPipeline)                                               \
    X(PFN_vkCmdBindDescriptorSets, vkCmdBindDescriptorSets)                                   \
    X(PFN_vkCmdBindVertexBuffers, vkCmdBindVertexBuffers)                                     \
    X(PFN_vkCmdPushConstants, vkCmdPushConstants)                                             \
    X(PFN_vkCmdSetViewport, vkCmdSetViewport)                                                 \
    X(PFN_vkCmdSetScissor, vkCmdSetScissor)                                                   \
    X(PFN_vkCmdDraw, vkCmdDraw)

// The debug messenger, present where the instance has VK_EXT_debug_utils.
#define QUILLMARK_VK_DEBUG_FUNCTIONS(X)                                   \
    X(PFN_vkCreateDebugUtilsMessengerEXT, vkCreateDebugUtilsMessengerEXT) \
    X(PFN_vkDestroyDebugUtilsMessengerEXT, vkDestroyDebugUtilsMessengerEXT)

namespace quillmark::vulkan {

#define QUILLMARK_DECLARE_ENTRY_POINT(type, name) extern type name;
QUILLMARK_VK_GLOBAL_FUNCTIONS(QUILLMARK_DECLARE_ENTRY_POINT)
QUILLMARK_VK_INSTANCE_FUNCTIONS(QUILLMARK_DECLARE_ENTRY_POINT)
QUILLMARK_VK_DEBUG_FUNCTIONS(QUILLMARK_DECLARE_ENTRY_POINT)
#undef QUILLMARK_DECLARE_ENTRY_POINT

// Opens the Vulkan loader and takes the global entry points, once per
// process; empty when they are there, else what is missing, in words.
const std::string& LoadVulkanLoader();

// Takes the instance's entry points (the debug ones where `debug`); the
// first one missing, or null.
const char* LoadInstanceFunctions(VkInstance instance, bool debug);

// A Vulkan structure of `type`, all zero but its type and chain.
template <typename T>
T VulkanStruct(VkStructureType type, void* next = nullptr) {
    T value{};
    value.sType = type;
    value.pNext = next;
    return value;
}

// "VK_ERROR_OUT_OF_HOST_MEMORY" and the like.
std::string ResultName(VkResult result);

}  // namespace quillmark::vulkan
