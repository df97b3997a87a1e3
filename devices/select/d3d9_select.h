// Choice of the device behind Direct3DCreate9: the QUILLMARK_DEVICE
// environment variable ("reference" when unset), or an explicit choice made
// by the batch mode's --device before the first Direct3DCreate9.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "devices/core/driver_caps.h"
#include "platform/d3d9/d3d9.h"

namespace quillmark {

// The device names this build knows, separated by ", ".
std::string KnownDeviceNames();

// Every device this build can name, the OpenGL devices found by EGL as gl:N,
// the Vulkan loader's devices as vulkan:N; not the model device, which is
// named with the knobs of the sampler it models.
std::vector<std::string> DeviceNames();

// Whether a name picks a device of this build (gl:N, gl:TEXT, vulkan:N and
// model:KEY=VALUE,... included), without opening anything.
bool IsDeviceName(std::string_view name);

// Why a name cannot be selected (an unknown device, a model knob's bad
// name or value), in one sentence; empty when it can.
std::string DeviceNameError(std::string_view name);

// The named device's Direct3D object; null with the reason in *error when
// the name is unknown or the device cannot be opened.
IDirect3D9* CreateNamedDirect3D(std::string_view name, std::string* error);

// What the named device draws with (for OpenGL devices the driver's renderer
// and version strings); false with the reason when it cannot be opened.
bool DescribeDevice(std::string_view name, std::string* description, std::string* error);

// A device name and what DescribeDevice says of it.
struct NamedDriver {
    std::string name;
    std::string description;
};

// One name per driver, in the order the drivers are first met: where
// several names reach one driver (their descriptions differ only in the way
// it was reached, an OpenGL driver's EGL display), the most specific of them
// (a driver's own name such as llvmpipe, then a device found on this machine
// such as gl:0, then a kind's name such as gl). Each name left out goes to
// *leftOut with the name kept for its driver.
std::vector<NamedDriver> OneNamePerDriver(const std::vector<NamedDriver>& devices,
                                          std::vector<std::pair<std::string, std::string>>* leftOut);

// More about the named device, a line each ("  " before every line): for
// OpenGL devices which texture formats go to the driver as they are stored,
// for Vulkan devices the driver's sampler limits and precision bits.
// Empty for the reference device and where the device cannot be opened.
std::string DeviceNotes(std::string_view name);

// The precision the named device states for its sampler; nothing where it
// states none or cannot be opened.
core::StatedPrecision DevicePrecision(std::string_view name);

// The magnification filter every device draws for a MAGFILTER value: no
// device magnifies anisotropically, so ANISOTROPIC draws LINEAR; NONE and
// unknown values draw POINT.
D3DTEXTUREFILTERTYPE MagFilterInEffect(D3DTEXTUREFILTERTYPE asked);

// Name of the device Direct3DCreate9 will create now.
std::string SelectedDeviceName();

// Selects a device by name for the rest of the process; false (and
// DeviceNameError's message in *error) when it cannot be selected.
bool SelectDevice(std::string_view name, std::string* error);

}  // namespace quillmark
