#include "texfile/device_format_match.h"

#include "texfile/library_switches.h"

namespace quillmark {
namespace {

// The facts CheckDeviceFormat needs, read from the device.
struct DeviceQuery {
    IDirect3D9* direct3d = nullptr;
    UINT adapter = 0;
    D3DDEVTYPE deviceType = D3DDEVTYPE_HAL;
    D3DFORMAT adapterFormat = D3DFMT_UNKNOWN;
    DWORD usage = 0;

    bool Open(IDirect3DDevice9* device, DWORD requestedUsage) {
        usage = requestedUsage;
        D3DCAPS9 caps{};
        D3DDISPLAYMODE mode{};
        if (FAILED(device->GetDirect3D(&direct3d))) return false;
        if (FAILED(device->GetDeviceCaps(&caps)) || FAILED(device->GetDisplayMode(0, &mode))) return false;
        adapter = caps.AdapterOrdinal;
        deviceType = caps.DeviceType;
        adapterFormat = mode.Format;
        if (usage & D3DUSAGE_QUERY_VERTEXTEXTURE) {
            D3DDEVICE_CREATION_PARAMETERS parameters{};
            if (SUCCEEDED(device->GetCreationParameters(&parameters)) &&
                (parameters.BehaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING))
                usage |= D3DUSAGE_SOFTWAREPROCESSING;
        }
        return true;
    }
    bool Supports(D3DRESOURCETYPE type, const PixelFormatInfo& row) const {
        return direct3d == nullptr ||
               SUCCEEDED(direct3d->CheckDeviceFormat(adapter, deviceType, adapterFormat, usage, type,
                                                     static_cast<D3DFORMAT>(row.format)));
    }
    ~DeviceQuery() {
        if (direct3d != nullptr) direct3d->Release();
    }
};

}  // namespace

D3DFORMAT MatchFormatOnDevice(IDirect3DDevice9* device, DWORD usage, D3DRESOURCETYPE resourceType,
                              const PixelFormatInfo& wanted) {
    MuteDebugRuntime(1);
    BestMatch best;
    {
        DeviceQuery query;
        if (device == nullptr || query.Open(device, usage)) {
            for (const PixelFormatInfo& row : PixelFormatTable) {
                if (!query.Supports(resourceType, row)) continue;
                if (row.format == wanted.format) {
                    best.row = &row;
                    break;
                }
                if (row.substitutable) best.Offer(wanted, row);
            }
        }
    }
    MuteDebugRuntime(0);
    return best.Format();
}

}  // namespace quillmark
