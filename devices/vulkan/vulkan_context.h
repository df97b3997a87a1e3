// The Vulkan instance and device behind the Vulkan devices: headless (no
// surface, no window system), one logical device per physical device in use,
// opened for a device choice.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "devices/vulkan/vulkan_api.h"

namespace quillmark::vulkan {

// Which physical device a device name asks for: `vulkan` the first one
// that is a discrete or integrated GPU (else the first one), `vulkan:N`
// the loader's device N, `lavapipe` Mesa's software driver.
struct VulkanChoice {
    enum class Kind { First, Device, Lavapipe };
    Kind kind = Kind::First;
    std::uint32_t device = 0;
};

// False for a name that is none of the above.
bool ParseVulkanChoice(std::string_view name, VulkanChoice* choice);

// "vulkan:0", "vulkan:1", ... for the physical devices the loader lists;
// none without the loader.
std::vector<std::string> VulkanDeviceNames();

// When this environment variable is set (to anything but an empty string)
// the instance runs with the validation layers, and every validation
// warning or error goes to stderr and is kept for TakeValidationMessages.
inline constexpr const char* kValidationVariable = "QUILLMARK_VULKAN_VALIDATION";

// The validation messages reported since the last call.
std::vector<std::string> TakeValidationMessages();

// What the physical device says of itself, and the limits that matter here.
struct VulkanDriverInfo {
    std::string deviceName;
    std::string deviceType;  // "discrete GPU", "CPU", ...
    std::string driverName;  // e.g. "llvmpipe"
    std::string driverInfo;  // the driver's own version text
    std::uint32_t driverVersion = 0;
    std::uint32_t apiVersion = 0;
    bool lavapipe = false;
    float maxAnisotropy = 1;  // 1 without anisotropic filtering
    float maxLodBias = 0;
    std::uint32_t subPixelBits = 0, subTexelBits = 0, mipmapBits = 0;
    std::uint32_t maxImageSize = 0;
    bool customBorderColor = false;  // any BORDERCOLOR, else only black, transparent black and white
    bool mirrorClampToEdge = false;  // MIRRORONCE
};

// "1.3.230"
std::string VersionText(std::uint32_t version);

struct VulkanInstance;

class VulkanContext {
public:
    // Opens (or shares the already open) device for `choice`; null with the
    // reason in *error: what is missing, or why the device cannot be had.
    static std::shared_ptr<VulkanContext> Open(const VulkanChoice& choice, std::string* error);
    ~VulkanContext();
    VulkanContext(const VulkanContext&) = delete;
    VulkanContext& operator=(const VulkanContext&) = delete;

    const VulkanDriverInfo& Info() const { return info_; }
    VkDevice Device() const { return device_; }
    VkQueue Queue() const { return queue_; }
    std::uint32_t QueueFamily() const { return queueFamily_; }
    // A memory type of `typeBits` with the properties `wanted`; false when none.
    bool MemoryType(std::uint32_t typeBits, VkMemoryPropertyFlags wanted, std::uint32_t* index) const;

private:
    VulkanContext() = default;
    bool CreateDevice(std::string* error);

    std::shared_ptr<VulkanInstance> instance_;
    VkPhysicalDevice physical_ = VK_NULL_HANDLE;
    VkDevice device_ = VK_NULL_HANDLE;
    VkQueue queue_ = VK_NULL_HANDLE;
    std::uint32_t queueFamily_ = 0;
    VkPhysicalDeviceMemoryProperties memory_{};
    VulkanDriverInfo info_;
};

}  // namespace quillmark::vulkan
