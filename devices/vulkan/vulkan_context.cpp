#include "devices/vulkan/vulkan_context.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

namespace quillmark::vulkan {

struct VulkanInstance {
    VkInstance instance = VK_NULL_HANDLE;
    VkDebugUtilsMessengerEXT messenger = VK_NULL_HANDLE;
    std::vector<VkPhysicalDevice> devices;
    ~VulkanInstance() {
        if (messenger)
            vkDestroyDebugUtilsMessengerEXT(instance, messenger, nullptr);
        if (instance)
            vkDestroyInstance(instance, nullptr);
    }
};

namespace {

constexpr const char* kValidationLayer = "VK_LAYER_KHRONOS_validation";
constexpr std::uint32_t kApiVersion = VK_API_VERSION_1_2;
constexpr std::string_view kPrefix = "vulkan:";

std::mutex messagesMutex;
std::vector<std::string> messages;

VKAPI_ATTR VkBool32 VKAPI_CALL KeepMessage(VkDebugUtilsMessageSeverityFlagBitsEXT, VkDebugUtilsMessageTypeFlagsEXT,
                                           const VkDebugUtilsMessengerCallbackDataEXT* data, void*) {
    const char* text = data && data->pMessage ? data->pMessage : "(no text)";
    std::fprintf(stderr, "Vulkan validation: %s\n", text);
    std::lock_guard lock(messagesMutex);
    messages.emplace_back(text);
    return VK_FALSE;
}

VkDebugUtilsMessengerCreateInfoEXT MessengerInfo() {
    auto info =
        VulkanStruct<VkDebugUtilsMessengerCreateInfoEXT>(VK_STRUCTURE_TYPE_DEBUG_UTILS_MESSENGER_CREATE_INFO_EXT);
    info.messageSeverity =
        VK_DEBUG_UTILS_MESSAGE_SEVERITY_WARNING_BIT_EXT | VK_DEBUG_UTILS_MESSAGE_SEVERITY_ERROR_BIT_EXT;
    info.messageType = VK_DEBUG_UTILS_MESSAGE_TYPE_VALIDATION_BIT_EXT;
    info.pfnUserCallback = &KeepMessage;
    return info;
}

bool ValidationWanted() {
    const char* value = std::getenv(kValidationVariable);
    return value && *value;
}

bool HasLayer(const char* name) {
    std::uint32_t count = 0;
    vkEnumerateInstanceLayerProperties(&count, nullptr);
    std::vector<VkLayerProperties> layers(count);
    vkEnumerateInstanceLayerProperties(&count, layers.data());
    for (const VkLayerProperties& layer : layers)
        if (std::strcmp(layer.layerName, name) == 0)
            return true;
    return false;
}

std::shared_ptr<VulkanInstance> CreateInstance(std::string* error) {
    const bool validation = ValidationWanted();
    if (validation && !HasLayer(kValidationLayer)) {
        *error = std::string(kValidationVariable) + " asks for " + kValidationLayer +
                 ", which is not installed (package vulkan-validationlayers)";
        return nullptr;
    }
    auto application = VulkanStruct<VkApplicationInfo>(VK_STRUCTURE_TYPE_APPLICATION_INFO);
    application.pApplicationName = "quillmark";
    application.apiVersion = kApiVersion;
    const char* debugExtension = VK_EXT_DEBUG_UTILS_EXTENSION_NAME;
    const VkDebugUtilsMessengerCreateInfoEXT messenger = MessengerInfo();
    auto info = VulkanStruct<VkInstanceCreateInfo>(VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO);
    info.pApplicationInfo = &application;
    if (validation) {
        info.pNext = &messenger;
        info.enabledLayerCount = 1;
        info.ppEnabledLayerNames = &kValidationLayer;
        info.enabledExtensionCount = 1;
        info.ppEnabledExtensionNames = &debugExtension;
    }
    auto instance = std::make_shared<VulkanInstance>();
    const VkResult result = vkCreateInstance(&info, nullptr, &instance->instance);
    if (result != VK_SUCCESS) {
        instance->instance = VK_NULL_HANDLE;
        *error = result == VK_ERROR_INCOMPATIBLE_DRIVER
                     ? "no Vulkan 1.2 driver is installed (mesa-vulkan-drivers has lavapipe)"
                     : "the Vulkan instance cannot be created (" + ResultName(result) + ")";
        return nullptr;
    }
    if (const char* missing = LoadInstanceFunctions(instance->instance, validation)) {
        *error = std::string("the Vulkan loader lacks ") + missing;
        return nullptr;
    }
    if (validation)
        vkCreateDebugUtilsMessengerEXT(instance->instance, &messenger, nullptr, &instance->messenger);
    std::uint32_t count = 0;
    vkEnumeratePhysicalDevices(instance->instance, &count, nullptr);
    instance->devices.resize(count);
    vkEnumeratePhysicalDevices(instance->instance, &count, instance->devices.data());
    instance->devices.resize(count);
    if (instance->devices.empty()) {
        *error = "the Vulkan loader finds no device: install mesa-vulkan-drivers (lavapipe) or a GPU's driver";
        return nullptr;
    }
    return instance;
}

// The process's instance, shared by its contexts. Once made it lives as
// long as the process: the loader would unload the drivers and layers with
// it, stranding what they keep allocated, and a device opened again would
// load them all over again.
std::shared_ptr<VulkanInstance> SharedInstance(std::string* error) {
    static std::shared_ptr<VulkanInstance>* shared = nullptr;
    if (shared) return *shared;
    if (const std::string& missing = LoadVulkanLoader(); !missing.empty()) {
        *error = missing;
        return nullptr;
    }
    auto instance = CreateInstance(error);
    if (instance) shared = new std::shared_ptr<VulkanInstance>(instance);
    return instance;
}

const char* TypeName(VkPhysicalDeviceType type) {
    switch (type) {
        case VK_PHYSICAL_DEVICE_TYPE_INTEGRATED_GPU: return "integrated GPU";
        case VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU: return "discrete GPU";
        case VK_PHYSICAL_DEVICE_TYPE_VIRTUAL_GPU: return "virtual GPU";
        case VK_PHYSICAL_DEVICE_TYPE_CPU: return "CPU";
        default: return "other device";
    }
}

bool HasDeviceExtension(VkPhysicalDevice device, const char* name) {
    std::uint32_t count = 0;
    vkEnumerateDeviceExtensionProperties(device, nullptr, &count, nullptr);
    std::vector<VkExtensionProperties> extensions(count);
    vkEnumerateDeviceExtensionProperties(device, nullptr, &count, extensions.data());
    for (const VkExtensionProperties& extension : extensions)
        if (std::strcmp(extension.extensionName, name) == 0)
            return true;
    return false;
}

// What a physical device offers: its properties, limits and the features
// the device uses where they are there.
VulkanDriverInfo DescribePhysical(VkPhysicalDevice device) {
    auto driver = VulkanStruct<VkPhysicalDeviceDriverProperties>(VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_DRIVER_PROPERTIES);
    auto properties =
        VulkanStruct<VkPhysicalDeviceProperties2>(VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_PROPERTIES_2, &driver);
    vkGetPhysicalDeviceProperties2(device, &properties);
    const VkPhysicalDeviceProperties& p = properties.properties;

    auto border = VulkanStruct<VkPhysicalDeviceCustomBorderColorFeaturesEXT>(
        VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_CUSTOM_BORDER_COLOR_FEATURES_EXT);
    const bool borderExtension = HasDeviceExtension(device, VK_EXT_CUSTOM_BORDER_COLOR_EXTENSION_NAME);
    auto features12 = VulkanStruct<VkPhysicalDeviceVulkan12Features>(
        VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_VULKAN_1_2_FEATURES, borderExtension ? &border : nullptr);
    auto features = VulkanStruct<VkPhysicalDeviceFeatures2>(VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_FEATURES_2, &features12);
    vkGetPhysicalDeviceFeatures2(device, &features);

    VulkanDriverInfo info;
    info.deviceName = p.deviceName;
    info.deviceType = TypeName(p.deviceType);
    info.driverName = driver.driverName;
    info.driverInfo = driver.driverInfo;
    info.driverVersion = p.driverVersion;
    info.apiVersion = p.apiVersion;
    info.lavapipe = driver.driverID == VK_DRIVER_ID_MESA_LLVMPIPE;
    info.maxAnisotropy = features.features.samplerAnisotropy ? p.limits.maxSamplerAnisotropy : 1.0f;
    info.maxLodBias = p.limits.maxSamplerLodBias;
    info.subPixelBits = p.limits.subPixelPrecisionBits;
    info.subTexelBits = p.limits.subTexelPrecisionBits;
    info.mipmapBits = p.limits.mipmapPrecisionBits;
    info.maxImageSize = p.limits.maxImageDimension2D;
    info.customBorderColor = borderExtension && border.customBorderColors;
    info.mirrorClampToEdge = features12.samplerMirrorClampToEdge;
    return info;
}

// The index of the physical device `choice` names; false with the reason.
bool PickDevice(const VulkanInstance& instance, const VulkanChoice& choice, std::uint32_t* index, std::string* error) {
    const auto count = std::uint32_t(instance.devices.size());
    switch (choice.kind) {
        case VulkanChoice::Kind::Device:
            if (choice.device < count) {
                *index = choice.device;
                return true;
            }
            *error = "the Vulkan loader lists " + std::to_string(count) + " device" + (count == 1 ? "" : "s") +
                     ", numbered from 0";
            return false;
        case VulkanChoice::Kind::Lavapipe: {
            std::string found;
            for (std::uint32_t i = 0; i < count; ++i) {
                const VulkanDriverInfo info = DescribePhysical(instance.devices[i]);
                if (info.lavapipe) {
                    *index = i;
                    return true;
                }
                found += (found.empty() ? "" : ", ") + info.deviceName;
            }
            *error =
                "Mesa's software driver lavapipe is not installed (package mesa-vulkan-drivers); the loader "
                "lists " +
                found;
            return false;
        }
        case VulkanChoice::Kind::First:
            *index = 0;
            for (std::uint32_t i = 0; i < count; ++i) {
                auto properties =
                    VulkanStruct<VkPhysicalDeviceProperties2>(VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_PROPERTIES_2);
                vkGetPhysicalDeviceProperties2(instance.devices[i], &properties);
                const VkPhysicalDeviceType type = properties.properties.deviceType;
                if (type == VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU || type == VK_PHYSICAL_DEVICE_TYPE_INTEGRATED_GPU) {
                    *index = i;
                    break;
                }
            }
            return true;
    }
    return false;
}

}  // namespace

bool ParseVulkanChoice(std::string_view name, VulkanChoice* choice) {
    if (name == "vulkan") {
        *choice = {VulkanChoice::Kind::First, 0};
        return true;
    }
    if (name == "lavapipe") {
        *choice = {VulkanChoice::Kind::Lavapipe, 0};
        return true;
    }
    if (!name.starts_with(kPrefix) || name.size() == kPrefix.size() || name.size() > kPrefix.size() + 4)
        return false;
    std::uint32_t device = 0;
    for (char c : name.substr(kPrefix.size())) {
        if (c < '0' || c > '9')
            return false;
        device = device * 10 + std::uint32_t(c - '0');
    }
    *choice = {VulkanChoice::Kind::Device, device};
    return true;
}

std::vector<std::string> VulkanDeviceNames() {
    std::string unused;
    std::shared_ptr<VulkanInstance> instance = SharedInstance(&unused);
    std::vector<std::string> names;
    if (instance)
        for (std::size_t i = 0; i < instance->devices.size(); ++i)
            names.push_back(std::string(kPrefix) + std::to_string(i));
    return names;
}

std::vector<std::string> TakeValidationMessages() {
    std::lock_guard lock(messagesMutex);
    return std::exchange(messages, {});
}

std::string VersionText(std::uint32_t version) {
    return std::to_string(VK_API_VERSION_MAJOR(version)) + "." + std::to_string(VK_API_VERSION_MINOR(version)) + "." +
           std::to_string(VK_API_VERSION_PATCH(version));
}

std::shared_ptr<VulkanContext> VulkanContext::Open(const VulkanChoice& choice, std::string* error) {
    static std::map<std::uint32_t, std::weak_ptr<VulkanContext>> open;
    std::shared_ptr<VulkanInstance> instance = SharedInstance(error);
    if (!instance)
        return nullptr;
    std::uint32_t index = 0;
    if (!PickDevice(*instance, choice, &index, error))
        return nullptr;
    if (auto context = open[index].lock())
        return context;
    std::shared_ptr<VulkanContext> context(new VulkanContext);
    context->instance_ = std::move(instance);
    context->physical_ = context->instance_->devices[index];
    context->info_ = DescribePhysical(context->physical_);
    if (context->info_.apiVersion < kApiVersion) {
        *error = context->info_.deviceName + " offers Vulkan " + VersionText(context->info_.apiVersion) +
                 "; the device needs 1.2";
        return nullptr;
    }
    if (!context->CreateDevice(error))
        return nullptr;
    open[index] = context;
    return context;
}

bool VulkanContext::CreateDevice(std::string* error) {
    std::uint32_t count = 0;
    vkGetPhysicalDeviceQueueFamilyProperties(physical_, &count, nullptr);
    std::vector<VkQueueFamilyProperties> families(count);
    vkGetPhysicalDeviceQueueFamilyProperties(physical_, &count, families.data());
    queueFamily_ = count;
    for (std::uint32_t i = 0; i < count && queueFamily_ == count; ++i)
        if (families[i].queueFlags & VK_QUEUE_GRAPHICS_BIT)
            queueFamily_ = i;
    if (queueFamily_ == count) {
        *error = info_.deviceName + " has no graphics queue";
        return false;
    }
    const float priority = 1.0f;
    auto queue = VulkanStruct<VkDeviceQueueCreateInfo>(VK_STRUCTURE_TYPE_DEVICE_QUEUE_CREATE_INFO);
    queue.queueFamilyIndex = queueFamily_;
    queue.queueCount = 1;
    queue.pQueuePriorities = &priority;

    auto border = VulkanStruct<VkPhysicalDeviceCustomBorderColorFeaturesEXT>(
        VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_CUSTOM_BORDER_COLOR_FEATURES_EXT);
    border.customBorderColors = VK_TRUE;
    auto features12 = VulkanStruct<VkPhysicalDeviceVulkan12Features>(
        VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_VULKAN_1_2_FEATURES, info_.customBorderColor ? &border : nullptr);
    features12.samplerMirrorClampToEdge = info_.mirrorClampToEdge;
    auto features = VulkanStruct<VkPhysicalDeviceFeatures2>(VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_FEATURES_2, &features12);
    features.features.samplerAnisotropy = info_.maxAnisotropy > 1;
    const char* borderExtension = VK_EXT_CUSTOM_BORDER_COLOR_EXTENSION_NAME;

    auto info = VulkanStruct<VkDeviceCreateInfo>(VK_STRUCTURE_TYPE_DEVICE_CREATE_INFO, &features);
    info.queueCreateInfoCount = 1;
    info.pQueueCreateInfos = &queue;
    info.enabledExtensionCount = info_.customBorderColor ? 1 : 0;
    info.ppEnabledExtensionNames = &borderExtension;
    const VkResult result = vkCreateDevice(physical_, &info, nullptr, &device_);
    if (result != VK_SUCCESS) {
        device_ = VK_NULL_HANDLE;
        *error = info_.deviceName + " cannot be opened (" + ResultName(result) + ")";
        return false;
    }
    vkGetDeviceQueue(device_, queueFamily_, 0, &queue_);
    vkGetPhysicalDeviceMemoryProperties(physical_, &memory_);
    return true;
}

VulkanContext::~VulkanContext() {
    if (device_)
        vkDestroyDevice(device_, nullptr);
}

bool VulkanContext::MemoryType(std::uint32_t typeBits, VkMemoryPropertyFlags wanted, std::uint32_t* index) const {
    for (std::uint32_t i = 0; i < memory_.memoryTypeCount; ++i) {
        if ((typeBits & (1u << i)) && (memory_.memoryTypes[i].propertyFlags & wanted) == wanted) {
            *index = i;
            return true;
        }
    }
    return false;
}

}  // namespace quillmark::vulkan
