// A device whose caps and supported formats a test chooses, for the parts of
// the texture-file services that only ask a device questions. Every other
// operation answers E_NOTIMPL.
#pragma once

#include "platform/d3d9/d3d9.h"

#include <functional>

namespace quillmark::testing {

class FakeDirect3D : public IDirect3D9 {
public:
    std::function<bool(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format)> supports =
        [](DWORD, D3DRESOURCETYPE, D3DFORMAT) { return true; };
    DWORD lastUsage = 0;
    ULONG references = 1;

    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override { return --references; }
    UINT GetAdapterCount() override { return 1; }
    HRESULT GetAdapterDisplayMode(UINT, D3DDISPLAYMODE*) override { return E_NOTIMPL; }
    HRESULT CheckDeviceFormat(UINT, D3DDEVTYPE, D3DFORMAT adapterFormat, DWORD usage, D3DRESOURCETYPE type,
                              D3DFORMAT format) override {
        lastUsage = usage;
        if (adapterFormat != D3DFMT_X8R8G8B8) return D3DERR_INVALIDCALL;
        return supports(usage, type, format) ? S_OK : D3DERR_NOTAVAILABLE;
    }
    HRESULT GetDeviceCaps(UINT, D3DDEVTYPE, D3DCAPS9*) override { return E_NOTIMPL; }
    HRESULT CreateDevice(UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*, IDirect3DDevice9**) override {
        return E_NOTIMPL;
    }
};

#define QM_FAKE_UNUSED(signature) \
    HRESULT signature override { return E_NOTIMPL; }

class FakeDevice : public IDirect3DDevice9 {
public:
    FakeDirect3D direct3d;
    D3DCAPS9 caps{};
    DWORD behaviorFlags = D3DCREATE_HARDWARE_VERTEXPROCESSING;
    HRESULT cooperativeLevel = S_OK;

    FakeDevice() {
        caps.DeviceType = D3DDEVTYPE_HAL;
        caps.TextureCaps = D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_MIPVOLUMEMAP | D3DPTEXTURECAPS_MIPCUBEMAP;
        caps.MaxTextureWidth = caps.MaxTextureHeight = 8192;
        caps.MaxVolumeExtent = 2048;
        caps.MaxTextureAspectRatio = 0;
    }

    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT TestCooperativeLevel() override { return cooperativeLevel; }
    HRESULT GetDirect3D(IDirect3D9** out) override {
        direct3d.AddRef();
        *out = &direct3d;
        return S_OK;
    }
    HRESULT GetDeviceCaps(D3DCAPS9* out) override {
        *out = caps;
        return S_OK;
    }
    HRESULT GetDisplayMode(UINT, D3DDISPLAYMODE* mode) override {
        *mode = D3DDISPLAYMODE{800, 600, 60, D3DFMT_X8R8G8B8};
        return S_OK;
    }
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* p) override {
        *p = D3DDEVICE_CREATION_PARAMETERS{0, D3DDEVTYPE_HAL, nullptr, behaviorFlags};
        return S_OK;
    }
    QM_FAKE_UNUSED(Present(const RECT*, const RECT*, HWND, const RGNDATA*))
    QM_FAKE_UNUSED(GetBackBuffer(UINT, UINT, D3DBACKBUFFER_TYPE, IDirect3DSurface9**))
    QM_FAKE_UNUSED(CreateTexture(UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DTexture9**, HANDLE*))
    QM_FAKE_UNUSED(CreateVolumeTexture(UINT, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DVolumeTexture9**,
                                       HANDLE*))
    QM_FAKE_UNUSED(CreateCubeTexture(UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DCubeTexture9**, HANDLE*))
    QM_FAKE_UNUSED(CreateVertexBuffer(UINT, DWORD, DWORD, D3DPOOL, IDirect3DVertexBuffer9**, HANDLE*))
    QM_FAKE_UNUSED(CreateRenderTarget(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD, BOOL, IDirect3DSurface9**,
                                      HANDLE*))
    QM_FAKE_UNUSED(CreateOffscreenPlainSurface(UINT, UINT, D3DFORMAT, D3DPOOL, IDirect3DSurface9**, HANDLE*))
    QM_FAKE_UNUSED(UpdateSurface(IDirect3DSurface9*, const RECT*, IDirect3DSurface9*, const POINT*))
    QM_FAKE_UNUSED(UpdateTexture(IDirect3DBaseTexture9*, IDirect3DBaseTexture9*))
    QM_FAKE_UNUSED(GetRenderTargetData(IDirect3DSurface9*, IDirect3DSurface9*))
    QM_FAKE_UNUSED(StretchRect(IDirect3DSurface9*, const RECT*, IDirect3DSurface9*, const RECT*,
                               D3DTEXTUREFILTERTYPE))
    QM_FAKE_UNUSED(GetRenderTarget(DWORD, IDirect3DSurface9**))
    QM_FAKE_UNUSED(GetDepthStencilSurface(IDirect3DSurface9**))
    QM_FAKE_UNUSED(BeginScene())
    QM_FAKE_UNUSED(EndScene())
    QM_FAKE_UNUSED(Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD))
    QM_FAKE_UNUSED(SetTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*))
    QM_FAKE_UNUSED(GetTransform(D3DTRANSFORMSTATETYPE, D3DMATRIX*))
    QM_FAKE_UNUSED(SetViewport(const D3DVIEWPORT9*))
    QM_FAKE_UNUSED(GetViewport(D3DVIEWPORT9*))
    QM_FAKE_UNUSED(SetMaterial(const D3DMATERIAL9*))
    QM_FAKE_UNUSED(GetMaterial(D3DMATERIAL9*))
    QM_FAKE_UNUSED(SetRenderState(D3DRENDERSTATETYPE, DWORD))
    QM_FAKE_UNUSED(GetRenderState(D3DRENDERSTATETYPE, DWORD*))
    QM_FAKE_UNUSED(GetTexture(DWORD, IDirect3DBaseTexture9**))
    QM_FAKE_UNUSED(SetTexture(DWORD, IDirect3DBaseTexture9*))
    QM_FAKE_UNUSED(GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*))
    QM_FAKE_UNUSED(SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD))
    QM_FAKE_UNUSED(GetSamplerState(DWORD, D3DSAMPLERSTATETYPE, DWORD*))
    QM_FAKE_UNUSED(SetSamplerState(DWORD, D3DSAMPLERSTATETYPE, DWORD))
    QM_FAKE_UNUSED(DrawPrimitive(D3DPRIMITIVETYPE, UINT, UINT))
    QM_FAKE_UNUSED(SetFVF(DWORD))
    QM_FAKE_UNUSED(GetFVF(DWORD*))
    QM_FAKE_UNUSED(SetStreamSource(UINT, IDirect3DVertexBuffer9*, UINT, UINT))
    QM_FAKE_UNUSED(GetStreamSource(UINT, IDirect3DVertexBuffer9**, UINT*, UINT*))
};

#undef QM_FAKE_UNUSED

}  // namespace quillmark::testing
