// The Direct3D object of every device: one adapter showing a 32-bit
// desktop, the capabilities and format checks, and CreateDevice.
#include "devices/core/direct3d.h"

#include "devices/core/device_formats.h"
#include "devices/core/entry_guard.h"
#include "devices/core/device.h"
#include "devices/core/renderer.h"

#include <cstdio>

namespace quillmark::core {
namespace {

constexpr UINT kDesktopWidth = 1920;
constexpr UINT kDesktopHeight = 1080;

bool IsTextureType(D3DRESOURCETYPE type) {
    return type == D3DRTYPE_TEXTURE || type == D3DRTYPE_CUBETEXTURE || type == D3DRTYPE_VOLUMETEXTURE;
}

// Query usages the sampler honours; the sRGB, vertex-texture, legacy bump
// map and blending queries are not.
constexpr DWORD kHonouredQueries = D3DUSAGE_QUERY_FILTER | D3DUSAGE_QUERY_WRAPANDMIP;
constexpr DWORD kQueryUsages = 0x001F8000;

HRESULT CheckFormat(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) {
    if ((usage & kQueryUsages) & ~kHonouredQueries) return D3DERR_NOTAVAILABLE;
    if (usage & D3DUSAGE_AUTOGENMIPMAP) return D3DERR_NOTAVAILABLE;
    if (usage & D3DUSAGE_DEPTHSTENCIL)
        return type == D3DRTYPE_SURFACE && IsDepthFormat(format) ? S_OK : D3DERR_NOTAVAILABLE;
    if (IsDepthFormat(format)) return D3DERR_NOTAVAILABLE;
    if (usage & D3DUSAGE_RENDERTARGET) {
        const bool kind = type == D3DRTYPE_SURFACE || type == D3DRTYPE_TEXTURE || type == D3DRTYPE_CUBETEXTURE;
        return kind && IsRenderTargetFormat(format) ? S_OK : D3DERR_NOTAVAILABLE;
    }
    if (type == D3DRTYPE_VERTEXBUFFER) return format == D3DFMT_VERTEXDATA ? S_OK : D3DERR_NOTAVAILABLE;
    if (IsTextureType(type) || (usage & kHonouredQueries)) return IsSampledFormat(format) ? S_OK : D3DERR_NOTAVAILABLE;
    if (type == D3DRTYPE_SURFACE) return CanHold(format) ? S_OK : D3DERR_NOTAVAILABLE;
    return D3DERR_NOTAVAILABLE;
}

class Direct3D final : public IDirect3D9 {
public:
    explicit Direct3D(std::unique_ptr<RendererSource> source) : source_(std::move(source)) {}

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_INVALIDARG;
        if (riid == IID_IUnknown || riid == IID_IDirect3D9) {
            AddRef();
            *object = static_cast<IDirect3D9*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        if (references_ == 0) return 0;
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    UINT GetAdapterCount() override { return 1; }

    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override {
        if (adapter != D3DADAPTER_DEFAULT || !mode) return D3DERR_INVALIDCALL;
        *mode = {kDesktopWidth, kDesktopHeight, 60, D3DFMT_X8R8G8B8};
        return S_OK;
    }

    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat, DWORD usage,
                              D3DRESOURCETYPE type, D3DFORMAT format) override {
        if (adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
        if (deviceType != D3DDEVTYPE_HAL || adapterFormat != D3DFMT_X8R8G8B8) return D3DERR_NOTAVAILABLE;
        return CheckFormat(usage, type, format);
    }

    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS9* caps) override {
        if (adapter != D3DADAPTER_DEFAULT || !caps) return D3DERR_INVALIDCALL;
        if (deviceType != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
        *caps = source_->Caps();
        return S_OK;
    }

    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behavior,
                         D3DPRESENT_PARAMETERS* presentation, IDirect3DDevice9** out) override {
        if (!out || !presentation || adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
        *out = nullptr;
        if (deviceType != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
        const DWORD processing = behavior & (D3DCREATE_SOFTWARE_VERTEXPROCESSING |
                                             D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING);
        if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING && processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
            processing != D3DCREATE_MIXED_VERTEXPROCESSING)
            return D3DERR_INVALIDCALL;
        D3DPRESENT_PARAMETERS resolved = *presentation;
        if (const HRESULT checked = ResolvePresentParameters(focusWindow, &resolved); FAILED(checked)) return checked;
        *presentation = resolved;
        const D3DDEVICE_CREATION_PARAMETERS creation{adapter, deviceType, focusWindow, behavior};
        Device* device = nullptr;
        if (const HRESULT made = OutOfMemoryAsResult([&] {
                device = new Device(this, creation, resolved);
                return S_OK;
            });
            FAILED(made))
            return made;
        std::string error;
        if (!device->AttachRenderer(*source_, &error)) {
            std::fprintf(stderr, "CreateDevice: %s\n", error.c_str());
            device->Release();
            return D3DERR_NOTAVAILABLE;
        }
        *out = device;
        return S_OK;
    }

private:
    ~Direct3D() = default;
    ULONG references_ = 1;
    std::unique_ptr<RendererSource> source_;
};

}  // namespace

IDirect3D9* CreateDirect3D(std::unique_ptr<RendererSource> source) {
    return new Direct3D(std::move(source));
}

}  // namespace quillmark::core
