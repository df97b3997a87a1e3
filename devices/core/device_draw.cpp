// DrawPrimitive: checks that the device implements the current state, makes
// the draw's plan and hands it to the device's renderer.
#include "devices/core/entry_guard.h"
#include "devices/core/device.h"
#include "devices/core/renderer.h"
#include "devices/core/surface_resource.h"
#include "devices/core/vertex_buffer.h"

namespace quillmark::core {
namespace {

constexpr UINT kMaxPrimitives = 0xFFFFF;

}  // namespace

// Render states whose effects are not implemented must be at their
// defaults; anything else is refused rather than drawn wrongly.
HRESULT Device::CheckDrawState() const {
    const auto& rs = state_.renderStates;
    if (!inScene_ || !streamBuffer_ || streamBuffer_->IsLocked() || backBuffer_->IsLocked()) return D3DERR_INVALIDCALL;
    if (rs[D3DRS_FILLMODE] != D3DFILL_SOLID || rs[D3DRS_ALPHABLENDENABLE] || rs[D3DRS_ALPHATESTENABLE] ||
        rs[D3DRS_FOGENABLE] || rs[D3DRS_SCISSORTESTENABLE] || rs[D3DRS_SRGBWRITEENABLE] || rs[D3DRS_ZENABLE] > D3DZB_TRUE)
        return D3DERR_INVALIDCALL;
    if (rs[D3DRS_CULLMODE] < D3DCULL_NONE || rs[D3DRS_CULLMODE] > D3DCULL_CCW) return D3DERR_INVALIDCALL;
    for (DWORD wrap = D3DRS_WRAP0; wrap < D3DRS_WRAP0 + 8; ++wrap) {
        if (rs[wrap]) return D3DERR_INVALIDCALL;
    }
    return S_OK;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
    if (primitiveCount == 0 || primitiveCount > kMaxPrimitives) return D3DERR_INVALIDCALL;
    if (const HRESULT checked = CheckDrawState(); FAILED(checked)) return checked;
    return OutOfMemoryAsResult([&] {
        const HRESULT planned =
            BuildDrawPlan(state_, textures_, *streamBuffer_, type, startVertex, primitiveCount, caps_, &plan_);
        return FAILED(planned) ? planned : renderer_->Draw({state_, plan_});
    });
}

}  // namespace quillmark::core
