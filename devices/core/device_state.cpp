#include "devices/core/device_state.h"

#include <bit>

namespace quillmark::core {

D3DMATRIX IdentityMatrix() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

static void SetInitialRenderStates(std::array<DWORD, D3D_RENDER_STATE_COUNT>& rs, bool depthBuffer) {
    rs[D3DRS_ZENABLE] = depthBuffer ? D3DZB_TRUE : D3DZB_FALSE;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_LASTPIXEL] = TRUE;
    rs[D3DRS_SRCBLEND] = 2;   // D3DBLEND_ONE
    rs[D3DRS_DESTBLEND] = 1;  // D3DBLEND_ZERO
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_CLIPPING] = TRUE;
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_COLORVERTEX] = TRUE;
    rs[D3DRS_LOCALVIEWER] = TRUE;
    rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    rs[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
}

static void SetInitialSamplerStates(std::array<DWORD, D3D_SAMPLER_STATE_COUNT>& ss) {
    ss[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
    ss[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
    ss[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
    ss[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
    ss[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
    ss[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    ss[D3DSAMP_MIPMAPLODBIAS] = std::bit_cast<DWORD>(0.0f);
    ss[D3DSAMP_MAXANISOTROPY] = 1;
}

static void SetInitialStageStates(std::array<DWORD, D3D_TEXTURE_STAGE_STATE_COUNT>& ts, std::uint32_t stage) {
    ts[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    ts[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    ts[D3DTSS_TEXCOORDINDEX] = stage;
    ts[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
    ts[D3DTSS_COLORARG0] = D3DTA_CURRENT;
    ts[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
    ts[D3DTSS_RESULTARG] = D3DTA_CURRENT;
}

DeviceState InitialDeviceState(std::uint32_t width, std::uint32_t height, bool depthBuffer) {
    DeviceState state;
    SetInitialRenderStates(state.renderStates, depthBuffer);
    for (std::uint32_t stage = 0; stage < kStageCount; ++stage) {
        SetInitialSamplerStates(state.samplerStates[stage]);
        SetInitialStageStates(state.stageStates[stage], stage);
        state.texture[stage] = IdentityMatrix();
    }
    state.world.fill(IdentityMatrix());
    state.view = IdentityMatrix();
    state.projection = IdentityMatrix();
    state.viewport = {0, 0, width, height, 0.0f, 1.0f};
    return state;
}

D3DMATRIX* TransformSlot(DeviceState& state, D3DTRANSFORMSTATETYPE type) {
    const DWORD index = type;
    if (index == D3DTS_VIEW) return &state.view;
    if (index == D3DTS_PROJECTION) return &state.projection;
    if (index >= D3DTS_TEXTURE0 && index <= D3DTS_TEXTURE7) return &state.texture[index - D3DTS_TEXTURE0];
    if (index >= 256 && index < 256 + kWorldMatrixCount) return &state.world[index - 256];
    return nullptr;
}

}  // namespace quillmark::core
