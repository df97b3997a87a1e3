// Direct3DCreate9 and the choice of the device it creates.
#include "platform/d3d9/d3d9.h"
#include "devices/select/d3d9_select.h"
#include "devices/gl/gl_direct3d.h"
#include "devices/software/software_direct3d.h"
#include "devices/vulkan/vulkan_direct3d.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace quillmark {
namespace {

IDirect3D9* CreateReference(std::string_view, std::string*) { return software::CreateReferenceDirect3D(); }

bool DescribeReference(std::string_view, std::string* description, std::string*) {
    *description = "built-in software rasteriser";
    return true;
}

IDirect3D9* CreateModel(std::string_view name, std::string* error) {
    software::ModelKnobs knobs;
    return software::ParseModelKnobs(name, &knobs, error) ? software::CreateModelDirect3D(knobs) : nullptr;
}

bool DescribeModel(std::string_view name, std::string* description, std::string* error) {
    software::ModelKnobs knobs;
    if (!software::ParseModelKnobs(name, &knobs, error)) return false;
    *description = "built-in software rasteriser with the model's rules, " + software::ModelDeviceName(knobs);
    return true;
}

struct DeviceKind {
    const char* name;
    IDirect3D9* (*create)(std::string_view name, std::string* error);
    bool (*describe)(std::string_view name, std::string* description, std::string* error);
};

constexpr DeviceKind kDevices[] = {
    {"reference", &CreateReference, &DescribeReference},
    {"model", &CreateModel, &DescribeModel},
    {"gl", &gl::CreateGlDirect3D, &gl::DescribeGlDriver},
    {"llvmpipe", &gl::CreateGlDirect3D, &gl::DescribeGlDriver},
    {"softpipe", &gl::CreateGlDirect3D, &gl::DescribeGlDriver},
    {"vulkan", &vulkan::CreateVulkanDirect3D, &vulkan::DescribeVulkanDriver},
    {"lavapipe", &vulkan::CreateVulkanDirect3D, &vulkan::DescribeVulkanDriver},
};

std::string UnknownDevice(std::string_view name) {
    return "unknown device \"" + std::string(name) + "\"; known devices: " + KnownDeviceNames() +
           " (gl:N picks EGL device N, gl:TEXT the OpenGL driver whose renderer contains TEXT, vulkan:N the "
           "Vulkan loader's device N, model:KEY=VALUE,... the model device with knobs)";
}

std::optional<std::string>& ExplicitChoice() {
    static std::optional<std::string> choice;
    return choice;
}

const DeviceKind* FindDevice(std::string_view name) {
    for (const DeviceKind& kind : kDevices)
        if (name == kind.name) return &kind;
    // gl:N and gl:TEXT are drawn by the "gl" kind, vulkan:N by the "vulkan"
    // kind, model:KEY=VALUE,... by the "model" kind.
    if (software::IsModelDeviceName(name)) return FindDevice("model");
    if (gl::IsGlDeviceName(name)) return FindDevice("gl");
    return vulkan::IsVulkanDeviceName(name) ? FindDevice("vulkan") : nullptr;
}

}  // namespace

std::string KnownDeviceNames() {
    std::string names;
    for (const DeviceKind& kind : kDevices) {
        if (!names.empty()) names += ", ";
        names += kind.name;
    }
    return names;
}

std::vector<std::string> DeviceNames() {
    std::vector<std::string> names;
    for (const DeviceKind& kind : kDevices) {
        if (kind.create == &CreateModel) continue;  // a model is named with its knobs, not surveyed
        names.emplace_back(kind.name);
        if (names.back() == "gl")
            for (std::string& device : gl::GlDeviceNames()) names.push_back(std::move(device));
        if (names.back() == "vulkan")
            for (std::string& device : vulkan::VulkanDeviceNames()) names.push_back(std::move(device));
    }
    return names;
}

bool IsDeviceName(std::string_view name) { return FindDevice(name) != nullptr; }

IDirect3D9* CreateNamedDirect3D(std::string_view name, std::string* error) {
    const DeviceKind* kind = FindDevice(name);
    if (!kind) {
        *error = UnknownDevice(name);
        return nullptr;
    }
    return kind->create(name, error);
}

bool DescribeDevice(std::string_view name, std::string* description, std::string* error) {
    const DeviceKind* kind = FindDevice(name);
    if (!kind) {
        *error = UnknownDevice(name);
        return false;
    }
    return kind->describe(name, description, error);
}

std::string DeviceNotes(std::string_view name) {
    if (gl::IsGlDeviceName(name)) return gl::GlDeviceNotes(name);
    return vulkan::IsVulkanDeviceName(name) ? vulkan::VulkanDeviceNotes(name) : std::string();
}

std::string SelectedDeviceName() {
    if (ExplicitChoice()) return *ExplicitChoice();
    const char* fromEnvironment = std::getenv("QUILLMARK_DEVICE");
    if (fromEnvironment && *fromEnvironment) return fromEnvironment;
    return kDevices[0].name;
}

std::string DeviceNameError(std::string_view name) {
    if (!FindDevice(name)) return UnknownDevice(name);
    software::ModelKnobs knobs;
    std::string error;
    if (software::IsModelDeviceName(name) && !software::ParseModelKnobs(name, &knobs, &error)) return error;
    return {};
}

bool SelectDevice(std::string_view name, std::string* error) {
    if (std::string refusal = DeviceNameError(name); !refusal.empty()) {
        if (error) *error = std::move(refusal);
        return false;
    }
    ExplicitChoice() = std::string(name);
    return true;
}

}  // namespace quillmark

IDirect3D9* Direct3DCreate9(UINT SDKVersion) {
    if (SDKVersion != 31 && SDKVersion != D3D_SDK_VERSION) {
        std::fprintf(stderr, "Direct3DCreate9: unsupported SDK version %u\n", SDKVersion);
        return nullptr;
    }
    const std::string name = quillmark::SelectedDeviceName();
    std::string error;
    IDirect3D9* direct3d = quillmark::CreateNamedDirect3D(name, &error);
    if (!direct3d)
        std::fprintf(stderr, "%s: cannot open the device \"%s\": %s\n", program_invocation_short_name, name.c_str(),
                     error.c_str());
    return direct3d;
}
