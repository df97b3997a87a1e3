// "quillmark devices": every device this build knows, what it draws with
// (an OpenGL driver's renderer and version strings, a Vulkan device with
// its driver and versions) and the capabilities that matter to the probe
// (for Vulkan devices the sampler limits and precision bits too), or why it
// cannot be opened.
#include "app/batch/batch_command.h"
#include "app/batch/settings_flags.h"

#include "devices/select/d3d9_select.h"
#include "pixel/pixel_format.h"

#include <cstdio>

namespace quillmark::batch {
namespace {

// Formats of the pixel-format table the device samples as textures.
int SampledFormats(IDirect3D9* direct3d) {
    int count = 0;
    for (const PixelFormatInfo& info : PixelFormatTable) {
        const auto format = static_cast<D3DFORMAT>(info.format);
        count += SUCCEEDED(direct3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0,
                                                       D3DRTYPE_TEXTURE, format));
    }
    return count;
}

std::string FilterList(DWORD caps) {
    std::string text = "min";
    if (caps & D3DPTFILTERCAPS_MINFPOINT) text += " point";
    if (caps & D3DPTFILTERCAPS_MINFLINEAR) text += " linear";
    if (caps & D3DPTFILTERCAPS_MINFANISOTROPIC) text += " anisotropic";
    text += ", mag";
    if (caps & D3DPTFILTERCAPS_MAGFPOINT) text += " point";
    if (caps & D3DPTFILTERCAPS_MAGFLINEAR) text += " linear";
    text += ", mip none";
    if (caps & D3DPTFILTERCAPS_MIPFPOINT) text += " point";
    if (caps & D3DPTFILTERCAPS_MIPFLINEAR) text += " linear";
    return text;
}

// Prints one device; false when it cannot be opened.
bool ListDevice(const std::string& name) {
    std::string description, error;
    IDirect3D9* direct3d = DescribeDevice(name, &description, &error) ? CreateNamedDirect3D(name, &error) : nullptr;
    if (!direct3d) {
        std::printf("%s: cannot be opened: %s\n", name.c_str(), error.c_str());
        return false;
    }
    D3DCAPS9 caps{};
    direct3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps);
    std::printf("%s: %s\n", name.c_str(), description.c_str());
    std::printf("  max anisotropy %lu, textures up to %lu x %lu, %d of %zu table formats sampled\n",
                static_cast<unsigned long>(caps.MaxAnisotropy), static_cast<unsigned long>(caps.MaxTextureWidth),
                static_cast<unsigned long>(caps.MaxTextureHeight), SampledFormats(direct3d), PIXEL_FORMAT_COUNT);
    std::printf("  filters: %s\n", FilterList(caps.TextureFilterCaps).c_str());
    std::fputs(DeviceNotes(name).c_str(), stdout);
    direct3d->Release();
    return true;
}

// Every device this build knows, or only those named with --device: then
// a device that cannot be opened fails the command.
int RunDevices(const BatchSettings& settings, const CommandOptions&) {
    if (!settings.given.empty()) {
        return ReportError("cannot list the devices: devices takes no settings or options but --device", kExitUsage);
    }
    if (settings.devices.empty()) {
        for (const std::string& name : DeviceNames()) ListDevice(name);
        return kExitSuccess;
    }
    bool allOpened = true;
    for (const std::string& name : settings.devices) allOpened = ListDevice(name) && allOpened;
    return allOpened ? kExitSuccess : kExitFailure;
}

}  // namespace

extern const BatchCommand kDevicesCommand = {
    "devices",
    "lists every device (or those named with --device) with its renderer, version and capabilities, or why it "
    "cannot be opened",
    "[--device NAME ...]",
    {},
    "",
    nullptr,
    RunDevices,
};

}  // namespace quillmark::batch
