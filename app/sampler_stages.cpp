#include "app/sampler_stages.h"

#include "app/probe_state.h"

#include <bit>

namespace quillmark {
namespace {

void ConfigureStageUnderTest(IDirect3DDevice9* device, DWORD s) {
    ProbeState& probe = ActiveProbe();
    // An analysis run marks texels of the generated texture, so it samples
    // that one whatever the stage shows otherwise.
    IDirect3DTexture9* texture =
        probe.settings.useFileTexture && !probe.run.running ? probe.fileTexture : probe.mipTexture;
    device->SetTexture(s, texture);
    device->SetSamplerState(s, D3DSAMP_MAGFILTER, static_cast<DWORD>(probe.settings.magFilter));
    device->SetSamplerState(s, D3DSAMP_MINFILTER, static_cast<DWORD>(probe.settings.minFilter));
    device->SetSamplerState(s, D3DSAMP_MIPFILTER, static_cast<DWORD>(probe.settings.mipFilter));
    device->SetSamplerState(s, D3DSAMP_MAXANISOTROPY, static_cast<DWORD>(probe.settings.maxAnisotropy));
    device->SetSamplerState(s, D3DSAMP_MIPMAPLODBIAS, std::bit_cast<DWORD>(probe.settings.lodBias));
    device->SetTextureStageState(s, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(s, D3DTSS_COLORARG2, D3DTA_CURRENT);
    device->SetTextureStageState(s, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(s, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(s, D3DTSS_TEXCOORDINDEX, 0);
    device->SetTextureStageState(s, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
}

void ConfigurePassThroughStage(IDirect3DDevice9* device, DWORD s) {
    device->SetTexture(s, nullptr);
    device->SetTextureStageState(s, D3DTSS_COLORARG1, D3DTA_CURRENT);
    device->SetTextureStageState(s, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(s, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(s, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(s, D3DTSS_TEXCOORDINDEX, s);
}

void ConfigureDisabledStage(IDirect3DDevice9* device, DWORD s) {
    device->SetTexture(s, nullptr);
    device->SetTextureStageState(s, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->SetTextureStageState(s, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    device->SetTextureStageState(s, D3DTSS_TEXCOORDINDEX, s);
}

}  // namespace

void ConfigureStages() {
    ProbeState& probe = ActiveProbe();
    IDirect3DDevice9* device = probe.device;
    const DWORD underTest = static_cast<DWORD>(probe.settings.stage);
    for (DWORD s = 0; s < kTextureStages; ++s) {
        if (s == underTest)
            ConfigureStageUnderTest(device, s);
        else if (s < underTest)
            ConfigurePassThroughStage(device, s);
        else
            ConfigureDisabledStage(device, s);
    }
}

}  // namespace quillmark
