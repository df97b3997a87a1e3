// Direct3DCreate9 and the choice of the device it creates.
#include "d3d9.h"
#include "d3d9_select.h"
#include "reference_direct3d.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace quillmark {
namespace {

struct DeviceKind {
    const char* name;
    IDirect3D9* (*create)();
};

constexpr DeviceKind kDevices[] = {
    {"reference", &reference::CreateReferenceDirect3D},
};

std::optional<std::string>& ExplicitChoice() {
    static std::optional<std::string> choice;
    return choice;
}

const DeviceKind* FindDevice(std::string_view name) {
    for (const DeviceKind& kind : kDevices)
        if (name == kind.name) return &kind;
    return nullptr;
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

std::string SelectedDeviceName() {
    if (ExplicitChoice()) return *ExplicitChoice();
    const char* fromEnvironment = std::getenv("QUILLMARK_DEVICE");
    if (fromEnvironment && *fromEnvironment) return fromEnvironment;
    return kDevices[0].name;
}

bool SelectDevice(std::string_view name, std::string* error) {
    if (!FindDevice(name)) {
        if (error)
            *error = "unknown device \"" + std::string(name) + "\"; known devices: " + KnownDeviceNames();
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
    const quillmark::DeviceKind* kind = quillmark::FindDevice(name);
    if (!kind) {
        std::fprintf(stderr, "QUILLMARK_DEVICE: unknown device \"%s\"; known devices: %s\n", name.c_str(),
                     quillmark::KnownDeviceNames().c_str());
        return nullptr;
    }
    return kind->create();
}
