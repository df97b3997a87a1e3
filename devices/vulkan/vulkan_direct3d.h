// Entry points of the Vulkan device: a Direct3D object whose devices keep
// the reference device's resources and draw through a Vulkan driver.
#pragma once

#include <string>
#include <string_view>

#include "platform/d3d9/d3d9.h"
#include "devices/core/driver_caps.h"
#include "devices/vulkan/vulkan_context.h"

namespace quillmark::vulkan {

// Whether `name` is a Vulkan device's name (see VulkanChoice).
bool IsVulkanDeviceName(std::string_view name);

// A Direct3D object drawing with the physical device `name` chooses; null
// with the reason in *error when it cannot be opened.
IDirect3D9* CreateVulkanDirect3D(std::string_view name, std::string* error);

// The device, its driver and versions ("NAME (TYPE); driver DRIVER
// (INFO), version V; Vulkan A"), or false with the reason.
bool DescribeVulkanDriver(std::string_view name, std::string* description, std::string* error);

// The driver's limits that matter to the probe, a line each ("  " before
// every line); empty when it cannot be opened.
std::string VulkanDeviceNotes(std::string_view name);

// The driver's sub-texel and mipmap precision bits; none when it cannot be opened.
core::StatedPrecision VulkanDevicePrecision(std::string_view name);

}  // namespace quillmark::vulkan
