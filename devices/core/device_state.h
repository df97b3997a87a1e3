// The fixed-function state of a reference device, with the values a
// Direct3D 9 device starts with.
#pragma once

#include <array>
#include <cstdint>

#include "platform/d3d9/d3d9types.h"

namespace quillmark::core {

inline constexpr std::uint32_t kStageCount = 8;
inline constexpr std::uint32_t kWorldMatrixCount = 256;

struct StreamSource {
    std::uint32_t offset = 0;
    std::uint32_t stride = 0;
};

struct DeviceState {
    std::array<DWORD, D3D_RENDER_STATE_COUNT> renderStates{};
    std::array<std::array<DWORD, D3D_SAMPLER_STATE_COUNT>, kStageCount> samplerStates{};
    std::array<std::array<DWORD, D3D_TEXTURE_STAGE_STATE_COUNT>, kStageCount> stageStates{};
    std::array<D3DMATRIX, kWorldMatrixCount> world{};
    D3DMATRIX view{};
    D3DMATRIX projection{};
    std::array<D3DMATRIX, kStageCount> texture{};
    D3DVIEWPORT9 viewport{};
    D3DMATERIAL9 material{};
    DWORD fvf = 0;
    StreamSource stream;
};

D3DMATRIX IdentityMatrix();

// The start state of a device whose render target is width x height;
// `depthBuffer` tells whether an automatic depth buffer exists.
DeviceState InitialDeviceState(std::uint32_t width, std::uint32_t height, bool depthBuffer);

// The matrix slot of a transform state, or null when there is none.
D3DMATRIX* TransformSlot(DeviceState& state, D3DTRANSFORMSTATETYPE type);

}  // namespace quillmark::core
