#include "devices/vulkan/vulkan_api.h"

#include <dlfcn.h>

namespace quillmark::vulkan {

#define QUILLMARK_DEFINE_ENTRY_POINT(type, name) type name = nullptr;
QUILLMARK_VK_GLOBAL_FUNCTIONS(QUILLMARK_DEFINE_ENTRY_POINT)
QUILLMARK_VK_INSTANCE_FUNCTIONS(QUILLMARK_DEFINE_ENTRY_POINT)
QUILLMARK_VK_DEBUG_FUNCTIONS(QUILLMARK_DEFINE_ENTRY_POINT)
#undef QUILLMARK_DEFINE_ENTRY_POINT

namespace {

constexpr const char* kLoaderLibrary = "libvulkan.so.1";
PFN_vkGetInstanceProcAddr getInstanceProcAddr = nullptr;

std::string Load() {
    void* library = dlopen(kLoaderLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* reason = dlerror();
        return std::string("the Vulkan loader is missing (") + (reason ? reason : "no reason given") +
               "): install libvulkan1 and a Vulkan driver such as mesa-vulkan-drivers";
    }
    getInstanceProcAddr = reinterpret_cast<PFN_vkGetInstanceProcAddr>(dlsym(library, "vkGetInstanceProcAddr"));
    if (!getInstanceProcAddr)
        return std::string(kLoaderLibrary) + " lacks vkGetInstanceProcAddr";
#define QUILLMARK_LOAD_ENTRY_POINT(type, name)                                 \
    name = reinterpret_cast<type>(getInstanceProcAddr(VK_NULL_HANDLE, #name)); \
    if (!name)                                                                 \
        return std::string(kLoaderLibrary) + " lacks " #name;
    QUILLMARK_VK_GLOBAL_FUNCTIONS(QUILLMARK_LOAD_ENTRY_POINT)
#undef QUILLMARK_LOAD_ENTRY_POINT
    return {};
}

}  // namespace

const std::string& LoadVulkanLoader() {
    static const std::string outcome = Load();
    return outcome;
}

const char* LoadInstanceFunctions(VkInstance instance, bool debug) {
#define QUILLMARK_LOAD_ENTRY_POINT(type, name)                           \
    name = reinterpret_cast<type>(getInstanceProcAddr(instance, #name)); \
    if (!name)                                                           \
        return #name;
    QUILLMARK_VK_INSTANCE_FUNCTIONS(QUILLMARK_LOAD_ENTRY_POINT)
    if (debug) {
        QUILLMARK_VK_DEBUG_FUNCTIONS(QUILLMARK_LOAD_ENTRY_POINT)
    }
#undef QUILLMARK_LOAD_ENTRY_POINT
    return nullptr;
}

std::string ResultName(VkResult result) {
    switch (result) {
        case VK_ERROR_OUT_OF_HOST_MEMORY: return "VK_ERROR_OUT_OF_HOST_MEMORY";
        case VK_ERROR_OUT_OF_DEVICE_MEMORY: return "VK_ERROR_OUT_OF_DEVICE_MEMORY";
        case VK_ERROR_INITIALIZATION_FAILED: return "VK_ERROR_INITIALIZATION_FAILED";
        case VK_ERROR_DEVICE_LOST: return "VK_ERROR_DEVICE_LOST";
        case VK_ERROR_LAYER_NOT_PRESENT: return "VK_ERROR_LAYER_NOT_PRESENT";
        case VK_ERROR_EXTENSION_NOT_PRESENT: return "VK_ERROR_EXTENSION_NOT_PRESENT";
        case VK_ERROR_FEATURE_NOT_PRESENT: return "VK_ERROR_FEATURE_NOT_PRESENT";
        case VK_ERROR_INCOMPATIBLE_DRIVER: return "VK_ERROR_INCOMPATIBLE_DRIVER";
        case VK_ERROR_TOO_MANY_OBJECTS: return "VK_ERROR_TOO_MANY_OBJECTS";
        case VK_ERROR_FORMAT_NOT_SUPPORTED: return "VK_ERROR_FORMAT_NOT_SUPPORTED";
        case VK_ERROR_OUT_OF_POOL_MEMORY: return "VK_ERROR_OUT_OF_POOL_MEMORY";
        default: return "VkResult " + std::to_string(int(result));
    }
}

}  // namespace quillmark::vulkan
