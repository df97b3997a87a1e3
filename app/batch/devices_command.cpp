// "quillmark devices": every device this build knows, what it draws with
// (an OpenGL driver's renderer and version strings, a Vulkan device with
// its driver and versions) and the capabilities that matter to the probe
// (for Vulkan devices the sampler limits and precision bits too), or why it
// cannot be opened.
#include "app/batch/batch_command.h"
#include "app/batch/result_document.h"
#include "app/batch/settings_flags.h"

#include "devices/select/d3d9_select.h"
#include "pixel/pixel_format.h"

#include <algorithm>
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

// What `devices` finds out about one device.
struct DeviceFacts {
    std::string name;
    bool opened = false;
    std::string description;  // or why it cannot be opened
    std::string notes;
    D3DCAPS9 caps{};
    int sampledFormats = 0;
};

DeviceFacts Examine(const std::string& name) {
    DeviceFacts facts;
    facts.name = name;
    std::string error;
    IDirect3D9* direct3d =
        DescribeDevice(name, &facts.description, &error) ? CreateNamedDirect3D(name, &error) : nullptr;
    if (!direct3d) {
        facts.description = error;
        return facts;
    }
    facts.opened = true;
    direct3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &facts.caps);
    facts.sampledFormats = SampledFormats(direct3d);
    facts.notes = DeviceNotes(name);
    direct3d->Release();
    return facts;
}

const FigureDeclaration<DeviceFacts> kDeviceFigures[] = {
    {"opened", "The device could be opened", "", [](const DeviceFacts& d) { return Json(d.opened); }},
    {"description", "What it draws with, or why it cannot be opened", "",
     [](const DeviceFacts& d) { return Json(d.description); }},
    {"notes", "Driver limits and formats (devices' notes)", "", [](const DeviceFacts& d) { return Json(d.notes); }},
    {"max_anisotropy", "Largest anisotropy", "", [](const DeviceFacts& d) { return Json(d.caps.MaxAnisotropy); }},
    {"max_texture_width", "Widest texture", "texels",
     [](const DeviceFacts& d) { return Json(d.caps.MaxTextureWidth); }},
    {"max_texture_height", "Tallest texture", "texels",
     [](const DeviceFacts& d) { return Json(d.caps.MaxTextureHeight); }},
    {"sampled_formats", "Formats of the pixel-format table sampled as textures", "formats",
     [](const DeviceFacts& d) { return Json(d.sampledFormats); }},
    {"table_formats", "Formats in the pixel-format table", "formats",
     [](const DeviceFacts&) { return Json(PIXEL_FORMAT_COUNT); }},
    {"filters", "Texture filters", "", [](const DeviceFacts& d) { return Json(FilterList(d.caps.TextureFilterCaps)); }},
};

void PrintDevice(const DeviceFacts& d) {
    if (!d.opened) {
        std::printf("%s: cannot be opened: %s\n", d.name.c_str(), d.description.c_str());
        return;
    }
    std::printf("%s: %s\n", d.name.c_str(), d.description.c_str());
    std::printf("  max anisotropy %lu, textures up to %lu x %lu, %d of %zu table formats sampled\n",
                static_cast<unsigned long>(d.caps.MaxAnisotropy), static_cast<unsigned long>(d.caps.MaxTextureWidth),
                static_cast<unsigned long>(d.caps.MaxTextureHeight), d.sampledFormats, PIXEL_FORMAT_COUNT);
    std::printf("  filters: %s\n", FilterList(d.caps.TextureFilterCaps).c_str());
    std::fputs(d.notes.c_str(), stdout);
}

// Every device this build knows, or only those named with --device: then
// a device that cannot be opened fails the command.
int RunDevices(const BatchSettings& settings, const CommandOptions& options) {
    if (!settings.given.empty()) {
        return ReportError("cannot list the devices: devices takes no settings or options but --device and --json",
                           kExitUsage);
    }
    std::vector<DeviceFacts> found;
    for (const std::string& name : settings.devices.empty() ? DeviceNames() : settings.devices)
        found.push_back(Examine(name));
    if (options.Has("--json")) {
        std::vector<DeviceIdentity> identities;
        std::vector<ResultCell> cells;
        for (const DeviceFacts& facts : found) {
            identities.push_back({facts.name, facts.opened ? facts.description : "cannot be opened: " + facts.description,
                                  facts.notes});
            ResultCell cell;
            cell.device = facts.name;
            cell.figures = FiguresObject<DeviceFacts>(kDeviceFigures, facts);
            cells.push_back(std::move(cell));
        }
        std::fputs(ResultText(ResultDocument("devices", identities, cells)).c_str(), stdout);
    } else {
        for (const DeviceFacts& facts : found) PrintDevice(facts);
    }
    const bool allOpened =
        std::all_of(found.begin(), found.end(), [](const DeviceFacts& facts) { return facts.opened; });
    return settings.devices.empty() || allOpened ? kExitSuccess : kExitFailure;
}

constexpr CommandOption kDevicesOptions[] = {
    {"", "--device", "NAME", "only these devices (a device that cannot be opened then fails the command)", true},
    kJsonOption,
};

}  // namespace

extern const BatchCommand kDevicesCommand = {
    "devices",
    "lists every device (or those named with --device) with its renderer, version and capabilities, or why it "
    "cannot be opened",
    "[--device NAME ...] [--json]",
    kDevicesOptions,
    "",
    nullptr,
    RunDevices,
};

}  // namespace quillmark::batch
