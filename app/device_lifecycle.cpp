#include "app/device_lifecycle.h"

#include "app/app_state.h"
#include "app/probe_state.h"
#include "app/scene.h"
#include "app/test_textures.h"
#include "app/texture_file.h"

namespace quillmark {
namespace {

template <typename Interface>
void ReleaseHolder(Interface*& holder) {
    if (holder) {
        holder->Release();
        holder = nullptr;
    }
}

D3DPRESENT_PARAMETERS WindowedPresentParameters() {
    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = 0;
    parameters.BackBufferHeight = 0;
    parameters.BackBufferFormat = D3DFMT_UNKNOWN;
    parameters.BackBufferCount = 0;
    parameters.MultiSampleType = D3DMULTISAMPLE_NONE;
    parameters.MultiSampleQuality = 0;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.hDeviceWindow = nullptr;
    parameters.Windowed = TRUE;
    parameters.EnableAutoDepthStencil = TRUE;
    parameters.AutoDepthStencilFormat = D3DFMT_D16;
    parameters.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    parameters.FullScreen_RefreshRateInHz = 0;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return parameters;
}

}  // namespace

HRESULT InitDevice(HWND window) {
    ProbeState& probe = ActiveProbe();
    probe.direct3d = Direct3DCreate9(31);
    if (!probe.direct3d) return E_FAIL;

    D3DPRESENT_PARAMETERS parameters = WindowedPresentParameters();
    if (FAILED(probe.direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                            D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &probe.device))) {
        probe.device = nullptr;
        return E_FAIL;
    }
    probe.device->GetDeviceCaps(&probe.caps);
    probe.device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    probe.device->SetRenderState(D3DRS_LIGHTING, FALSE);
    probe.device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    return S_OK;
}

void ReleaseAll() {
    ProbeState& probe = ActiveProbe();
    ReleaseHolder(probe.fileTexture);
    ReleaseHolder(probe.mipTexture);
    ReleaseHolder(probe.tunnelBuffer);
    ReleaseHolder(probe.planeBuffer);
    ReleaseHolder(probe.device);
    ReleaseHolder(probe.direct3d);
}

bool RecoverDevice() {
    ProbeState& probe = ActiveProbe();
    probe.run.phase = probe.run.savedPhase;
    ReleaseAll();
    if (FAILED(InitDevice(g_app.mainWindow))) {
        ReleaseAll();  // a Direct3D object without a device is of no use
        return false;
    }
    BuildPlane();
    BuildTunnel();
    BuildMipTexture();
    // The file texture belonged to the released device: the user's file is
    // loaded again on the new one.
    ReloadFileTexture();
    return true;
}

}  // namespace quillmark
