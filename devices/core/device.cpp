#include "devices/core/device.h"

#include "devices/core/device_formats.h"
#include "devices/core/entry_guard.h"
#include "devices/core/fault_switch.h"
#include "devices/core/renderer.h"
#include "devices/core/surface_resource.h"
#include "devices/core/texture_resources.h"
#include "devices/core/vertex_buffer.h"
#include "platform/win32/window_image.h"
#include "platform/win32/winuser.h"

namespace quillmark::core {

HRESULT ResolvePresentParameters(HWND focusWindow, D3DPRESENT_PARAMETERS* p) {
    if (!p) return D3DERR_INVALIDCALL;
    if (!p->Windowed) return D3DERR_NOTAVAILABLE;
    if (p->SwapEffect < D3DSWAPEFFECT_DISCARD || p->SwapEffect > D3DSWAPEFFECT_COPY) return D3DERR_INVALIDCALL;
    if (p->BackBufferCount > 3) return D3DERR_INVALIDCALL;
    if (p->MultiSampleType != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;
    if (p->BackBufferFormat == D3DFMT_UNKNOWN) p->BackBufferFormat = D3DFMT_X8R8G8B8;
    if (!IsRenderTargetFormat(p->BackBufferFormat)) return D3DERR_NOTAVAILABLE;
    if (p->EnableAutoDepthStencil && !IsDepthFormat(p->AutoDepthStencilFormat)) return D3DERR_NOTAVAILABLE;
    // Zero sizes come from the window's client area (800 x 600 without one).
    const HWND window = p->hDeviceWindow ? p->hDeviceWindow : focusWindow;
    RECT client{0, 0, 800, 600};
    if (window && (!GetClientRect(window, &client) || client.right <= client.left || client.bottom <= client.top))
        client = {0, 0, 800, 600};
    if (p->BackBufferWidth == 0) p->BackBufferWidth = UINT(client.right - client.left);
    if (p->BackBufferHeight == 0) p->BackBufferHeight = UINT(client.bottom - client.top);
    if (p->BackBufferWidth > 8192 || p->BackBufferHeight > 8192) return D3DERR_NOTAVAILABLE;
    if (p->BackBufferCount == 0) p->BackBufferCount = 1;
    return S_OK;
}

Device::Device(IDirect3D9* direct3d, const D3DDEVICE_CREATION_PARAMETERS& creation,
                                 const D3DPRESENT_PARAMETERS& presentation)
    : direct3d_(direct3d), creation_(creation), presentation_(presentation) {
    const bool lockable = (presentation.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0;
    const SurfaceTraits back{presentation.BackBufferFormat, presentation.BackBufferWidth,
                             presentation.BackBufferHeight, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, lockable};
    backBuffer_ = std::make_unique<Surface>(this, back, this, nullptr);
    if (presentation.EnableAutoDepthStencil) {
        const D3DFORMAT format = presentation.AutoDepthStencilFormat;
        const SurfaceTraits depth{format, back.width, back.height, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT,
                                  IsLockableDepthFormat(format)};
        depthBuffer_ = std::make_unique<Surface>(this, depth, this, nullptr);
    }
    state_ = InitialDeviceState(back.width, back.height, depthBuffer_ != nullptr);
    direct3d_->AddRef();  // last: a constructor that throws holds nothing
}

bool Device::AttachRenderer(RendererSource& source, std::string* error) {
    std::unique_ptr<Renderer> renderer = source.CreateRenderer(*backBuffer_, depthBuffer_.get(), error);
    if (!renderer) return false;
    renderer_ = std::move(renderer);
    caps_ = source.Caps();
    return true;
}

void Device::BringToMemory(Surface& surface) {
    renderer_->BringToMemory(surface);
}

Device::~Device() {
    for (IDirect3DBaseTexture9*& texture : textures_) {
        if (texture) InternalsOf(texture)->Lifetime().UnbindFromDevice();
        texture = nullptr;
    }
    if (streamBuffer_) streamBuffer_->UnbindFromDevice();
    direct3d_->Release();
}

HRESULT Device::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_INVALIDARG;
    if (riid == IID_IUnknown || riid == IID_IDirect3DDevice9) {
        AddRef();
        *object = static_cast<IDirect3DDevice9*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Device::AddRef() { return ++references_; }

ULONG Device::Release() {
    if (references_ == 0) return 0;
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT Device::GetDirect3D(IDirect3D9** direct3d) {
    if (!direct3d) return D3DERR_INVALIDCALL;
    direct3d_->AddRef();
    *direct3d = direct3d_;
    return S_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
    if (!caps) return D3DERR_INVALIDCALL;
    return direct3d_->GetDeviceCaps(creation_.AdapterOrdinal, creation_.DeviceType, caps);
}

HRESULT Device::GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) {
    if (swapChain != 0 || !mode) return D3DERR_INVALIDCALL;
    return direct3d_->GetAdapterDisplayMode(creation_.AdapterOrdinal, mode);
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) {
    if (!parameters) return D3DERR_INVALIDCALL;
    *parameters = creation_;
    return S_OK;
}

// Shows the whole back buffer in the override window, else the device
// window, else the focus window (rectangles and dirty regions are ignored).
HRESULT Device::Present(const RECT*, const RECT*, HWND destWindowOverride, const RGNDATA*) {
    if (inScene_ || backBuffer_->IsLocked()) return D3DERR_INVALIDCALL;
    if (TakePresentFailure()) return D3DERR_DEVICELOST;
    HWND window = destWindowOverride ? destWindowOverride : presentation_.hDeviceWindow;
    if (!window) window = creation_.hFocusWindow;
    if (window) {
        const HRESULT shown = OutOfMemoryAsResult([&] {
            BringToMemory(*backBuffer_);
            const PixelStore& pixels = backBuffer_->Pixels();
            quillmark::win32::ShowWindowImage(window, reinterpret_cast<const std::uint32_t*>(pixels.bytes.data()),
                                              int(pixels.width), int(pixels.height), int(pixels.rowPitch));
            return S_OK;
        });
        if (FAILED(shown)) return shown;
    }
    CountPresent();
    return S_OK;
}

HRESULT Device::GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type,
                                       IDirect3DSurface9** out) {
    if (!out || swapChain != 0 || index != 0 || type != D3DBACKBUFFER_TYPE_MONO) return D3DERR_INVALIDCALL;
    backBuffer_->AddRef();
    *out = backBuffer_.get();
    return S_OK;
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** out) {
    if (!out || index != 0) return D3DERR_INVALIDCALL;
    backBuffer_->AddRef();
    *out = backBuffer_.get();
    return S_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    if (!depthBuffer_) {
        *out = nullptr;
        return D3DERR_NOTFOUND;
    }
    depthBuffer_->AddRef();
    *out = depthBuffer_.get();
    return S_OK;
}

HRESULT Device::BeginScene() {
    if (inScene_) return D3DERR_INVALIDCALL;
    inScene_ = true;
    return S_OK;
}

HRESULT Device::EndScene() {
    if (!inScene_) return D3DERR_INVALIDCALL;
    inScene_ = false;
    return S_OK;
}

}  // namespace quillmark::core
