// The Direct3D 9 device of the core: resources in memory, the fixed-function
// state the application sets and the checks of what it can draw; drawing
// and clearing go to the renderer it was created with (devices/software,
// devices/gl, devices/vulkan). The interface is used from one thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "devices/core/device_state.h"
#include "devices/core/draw_plan.h"

namespace quillmark::core {

class Renderer;
class RendererSource;
class Surface;
class VertexBuffer;
struct TextureTraits;

class Device final : public IDirect3DDevice9 {
public:
    // `presentation` must already be resolved (see ResolvePresentParameters).
    Device(IDirect3D9* direct3d, const D3DDEVICE_CREATION_PARAMETERS& creation,
                    const D3DPRESENT_PARAMETERS& presentation);

    // Gives the device its renderer, made by `source` for the device's back
    // buffer and depth buffer; false (and the reason in *error) when none can
    // be made. Called once, by CreateDevice, before the device is handed out.
    bool AttachRenderer(RendererSource& source, std::string* error);
    // Called before the memory of one of the device's surfaces is read or
    // written outside drawing (locks, copies, Present).
    void BringToMemory(Surface& surface);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT TestCooperativeLevel() override { return S_OK; }
    HRESULT GetDirect3D(IDirect3D9** direct3d) override;
    HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
    HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) override;
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion) override;
    HRESULT GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** out) override;

    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** out, HANDLE* sharedHandle) override;
    HRESULT CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format,
                                D3DPOOL pool, IDirect3DVolumeTexture9** out, HANDLE* sharedHandle) override;
    HRESULT CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DCubeTexture9** out, HANDLE* sharedHandle) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** out,
                               HANDLE* sharedHandle) override;
    HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                               DWORD multisampleQuality, BOOL lockable, IDirect3DSurface9** out,
                               HANDLE* sharedHandle) override;
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** out, HANDLE* sharedHandle) override;

    HRESULT UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                          const POINT* destPoint) override;
    HRESULT UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination) override;
    HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destination) override;
    HRESULT StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                        const RECT* destRect, D3DTEXTUREFILTERTYPE filter) override;
    HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** out) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** out) override;

    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                  DWORD stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
    HRESULT SetMaterial(const D3DMATERIAL9* material) override;
    HRESULT GetMaterial(D3DMATERIAL9* material) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
    HRESULT SetFVF(DWORD fvf) override;
    HRESULT GetFVF(DWORD* fvf) override;
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override;
    HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset, UINT* stride) override;

private:
    ~Device();
    HRESULT CreateStandaloneSurface(const struct SurfaceTraits& traits, IDirect3DSurface9** out);
    HRESULT CheckTextureRequest(const TextureTraits& traits, D3DRESOURCETYPE type) const;
    Surface* OwnSurface(IDirect3DSurface9* surface) const;
    HRESULT CheckDrawState() const;

    ULONG references_ = 1;
    IDirect3D9* direct3d_;
    D3DDEVICE_CREATION_PARAMETERS creation_;
    D3DPRESENT_PARAMETERS presentation_;
    std::unique_ptr<Surface> backBuffer_;
    std::unique_ptr<Surface> depthBuffer_;
    DeviceState state_;
    std::array<IDirect3DBaseTexture9*, kStageCount> textures_{};
    VertexBuffer* streamBuffer_ = nullptr;
    bool inScene_ = false;
    std::unique_ptr<Renderer> renderer_;
    D3DCAPS9 caps_{};  // the renderer's, which the draw plans follow
    DrawPlan plan_;    // of the last draw, kept for its buffers
};

// Fills in what CreateDevice leaves to the device (sizes, formats, counts);
// D3DERR_INVALIDCALL or D3DERR_NOTAVAILABLE when it cannot be honoured.
HRESULT ResolvePresentParameters(HWND focusWindow, D3DPRESENT_PARAMETERS* presentation);

// The capabilities of the core: what its resources, states and checks
// allow. Each renderer's source starts from them and narrows them to what
// it draws.
D3DCAPS9 CoreCaps();

}  // namespace quillmark::core
