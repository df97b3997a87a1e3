// Direct3DCreate9 and the choice of the device it creates.
#include "platform/d3d9/d3d9.h"
#include "devices/select/d3d9_select.h"
#include "devices/core/draw_plan.h"
#include "devices/gl/gl_direct3d.h"
#include "devices/software/software_direct3d.h"
#include "devices/vulkan/vulkan_direct3d.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

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

// Everything about one kind of device.
struct DeviceKind {
    const char* name;
    // Its other names, each a driver it opens (null past the last).
    std::array<const char*, 2> aliases;
    // Whether a name picks a device of this kind besides its name and
    // aliases (gl:N, gl:TEXT, vulkan:N), and those forms for the message
    // that lists the names; null where there are none.
    bool (*picks)(std::string_view name);
    const char* forms;
    // The names of this kind found on this machine (gl:0, gl:1, ...); null where none are.
    std::vector<std::string> (*found)();
    IDirect3D9* (*create)(std::string_view name, std::string* error);
    bool (*describe)(std::string_view name, std::string* description, std::string* error);
    // More about the device for `devices` to print; null where there is nothing more.
    std::string (*notes)(std::string_view name);
    // The precision the device states; null where it states none.
    core::StatedPrecision (*precision)(std::string_view name);
    // Whether `DeviceNames` lists it for the surveys (gallery, devices); a
    // model is named with its knobs instead.
    bool surveyed;
};

constexpr DeviceKind kDevices[] = {
    {"reference", {}, nullptr, nullptr, nullptr, &CreateReference, &DescribeReference, nullptr, nullptr, true},
    {"model",
     {},
     &software::IsModelDeviceName,
     "model:KEY=VALUE,... the model device with knobs",
     nullptr,
     &CreateModel,
     &DescribeModel,
     nullptr,
     nullptr,
     false},
    {"gl",
     {"llvmpipe", "softpipe"},
     &gl::IsGlDeviceName,
     "gl:N picks EGL device N, gl:TEXT the OpenGL driver whose renderer contains TEXT",
     &gl::GlDeviceNames,
     &gl::CreateGlDirect3D,
     &gl::DescribeGlDriver,
     &gl::GlDeviceNotes,
     nullptr,
     true},
    {"vulkan",
     {"lavapipe", nullptr},
     &vulkan::IsVulkanDeviceName,
     "vulkan:N the Vulkan loader's device N",
     &vulkan::VulkanDeviceNames,
     &vulkan::CreateVulkanDirect3D,
     &vulkan::DescribeVulkanDriver,
     &vulkan::VulkanDeviceNotes,
     &vulkan::VulkanDevicePrecision,
     true},
};

// The kind's name and aliases.
std::vector<std::string_view> NamesOf(const DeviceKind& kind) {
    std::vector<std::string_view> names{kind.name};
    for (const char* alias : kind.aliases)
        if (alias) names.emplace_back(alias);
    return names;
}

std::string UnknownDevice(std::string_view name) {
    std::string forms;
    for (const DeviceKind& kind : kDevices)
        if (kind.forms) forms += std::string(forms.empty() ? "" : ", ") + kind.forms;
    return "unknown device \"" + std::string(name) + "\"; known devices: " + KnownDeviceNames() + " (" + forms + ")";
}

std::optional<std::string>& ExplicitChoice() {
    static std::optional<std::string> choice;
    return choice;
}

const DeviceKind* FindDevice(std::string_view name) {
    for (const DeviceKind& kind : kDevices) {
        const std::vector<std::string_view> names = NamesOf(kind);
        if (std::find(names.begin(), names.end(), name) != names.end() || (kind.picks && kind.picks(name)))
            return &kind;
    }
    return nullptr;
}

}  // namespace

std::string KnownDeviceNames() {
    std::string names;
    for (const DeviceKind& kind : kDevices) {
        for (std::string_view name : NamesOf(kind)) names += std::string(names.empty() ? "" : ", ") + std::string(name);
    }
    return names;
}

std::vector<std::string> DeviceNames() {
    std::vector<std::string> names;
    for (const DeviceKind& kind : kDevices) {
        if (!kind.surveyed) continue;
        names.emplace_back(kind.name);
        if (kind.found)
            for (std::string& found : kind.found()) names.push_back(std::move(found));
        for (const char* alias : kind.aliases)
            if (alias) names.emplace_back(alias);
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

D3DTEXTUREFILTERTYPE MagFilterInEffect(D3DTEXTUREFILTERTYPE asked) {
    return core::TexelFilterOf(static_cast<DWORD>(asked)) == core::TexelFilter::Linear ? D3DTEXF_LINEAR
                                                                                        : D3DTEXF_POINT;
}

namespace {

// The description without the way the driver was reached.
std::string_view DriverOf(std::string_view description) {
    return description.substr(0, description.find(gl::kDisplaySeparator));
}

// A kind's own name 0, a device found on this machine 1, a driver's name 2.
int Specificity(std::string_view name) {
    for (const DeviceKind& kind : kDevices) {
        if (name == kind.name) return 0;
        for (const char* alias : kind.aliases)
            if (alias && name == alias) return 2;
    }
    return 1;
}

}  // namespace

std::vector<NamedDriver> OneNamePerDriver(const std::vector<NamedDriver>& devices,
                                          std::vector<std::pair<std::string, std::string>>* leftOut) {
    std::vector<NamedDriver> kept;
    std::vector<std::pair<std::string, std::size_t>> dropped;
    for (const NamedDriver& device : devices) {
        const auto same = std::find_if(kept.begin(), kept.end(), [&](const NamedDriver& known) {
            return DriverOf(known.description) == DriverOf(device.description);
        });
        if (same == kept.end()) {
            kept.push_back(device);
            continue;
        }
        const std::size_t index = std::size_t(same - kept.begin());
        if (Specificity(device.name) > Specificity(same->name)) {
            dropped.emplace_back(same->name, index);
            *same = device;
        } else {
            dropped.emplace_back(device.name, index);
        }
    }
    for (const auto& [name, index] : dropped) leftOut->emplace_back(name, kept[index].name);
    return kept;
}

std::string DeviceNotes(std::string_view name) {
    const DeviceKind* kind = FindDevice(name);
    return kind && kind->notes ? kind->notes(name) : std::string();
}

core::StatedPrecision DevicePrecision(std::string_view name) {
    const DeviceKind* kind = FindDevice(name);
    return kind && kind->precision ? kind->precision(name) : core::StatedPrecision{};
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
