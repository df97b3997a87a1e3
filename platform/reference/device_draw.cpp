// DrawPrimitive: checks that the device implements the current state,
// processes the vertices, sets up the triangles and rasterises them in tiles
// on the worker threads.
#include <algorithm>

#include "device_formats.h"
#include "entry_guard.h"
#include "rasterizer.h"
#include "reference_device.h"
#include "renderer.h"
#include "sampled_texture.h"
#include "surface_resource.h"
#include "texture_resources.h"
#include "vertex_buffer.h"
#include "vertex_processing.h"
#include "worker_pool.h"

namespace quillmark::reference {
namespace {

constexpr int kTileSize = 32;  // even, so that no pixel quad straddles two tiles
constexpr UINT kMaxPrimitives = 0xFFFFF;

bool VertexCountOf(D3DPRIMITIVETYPE type, UINT primitives, std::uint64_t* count) {
    switch (type) {
        case D3DPT_TRIANGLELIST: *count = std::uint64_t{primitives} * 3; return true;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: *count = std::uint64_t{primitives} + 2; return true;
        default: return false;
    }
}

// Vertex indices of triangle i, in the winding the primitive type gives it.
std::array<std::uint32_t, 3> TriangleVertices(D3DPRIMITIVETYPE type, std::uint32_t i) {
    if (type == D3DPT_TRIANGLELIST) return {3 * i, 3 * i + 1, 3 * i + 2};
    if (type == D3DPT_TRIANGLEFAN) return {0, i + 1, i + 2};
    return i % 2 == 0 ? std::array<std::uint32_t, 3>{i, i + 1, i + 2} : std::array<std::uint32_t, 3>{i + 1, i, i + 2};
}

float PolygonArea(const ScreenVertex* v, std::uint32_t count) {
    float area = 0;
    for (std::uint32_t i = 1; i + 1 < count; ++i) area += SignedArea(v[0], v[i], v[i + 1]);
    return area;
}

bool Culled(DWORD cullMode, float area) {
    return (cullMode == D3DCULL_CW && area > 0) || (cullMode == D3DCULL_CCW && area < 0);
}

}  // namespace

// Render states whose effects are not implemented must be at their
// defaults; anything else is refused rather than drawn wrongly.
HRESULT ReferenceDevice::CheckDrawState() const {
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

HRESULT ReferenceDevice::PrepareStages(DrawContext& context, std::vector<CoordinateSource>& sources) {
    std::array<bool, kStageCount> bound{};
    for (std::uint32_t s = 0; s < kStageCount; ++s) bound[s] = textures_[s] != nullptr;
    if (!BuildStageProgram(state_, bound, &context.program)) return D3DERR_INVALIDCALL;
    std::uint32_t textureSets = 0;
    const std::uint32_t vertexSize = VertexSizeOf(state_.fvf, &textureSets);
    const std::uint32_t coordinatesStart = vertexSize - 8 * textureSets;
    context.attributeBase.fill(-1);
    for (std::uint32_t s = 0; s < context.program.count; ++s) {
        const StageStep& step = context.program.steps[s];
        if (!step.readsTexture || !step.hasTexture) continue;
        TextureInternals* texture = InternalsOf(textures_[s]);
        if (texture->Kind() != D3DRTYPE_TEXTURE || texture->AnyLevelLocked()) return D3DERR_INVALIDCALL;
        const DWORD index = state_.stageStates[s][D3DTSS_TEXCOORDINDEX];
        const DWORD flags = state_.stageStates[s][D3DTSS_TEXTURETRANSFORMFLAGS];
        if (index >= textureSets || !IsSupportedTransform(flags)) return D3DERR_INVALIDCALL;
        if (!sampledTextures_->Prepare(*texture, &stageTextures_[s])) return D3DERR_INVALIDCALL;
        context.samplers[s] = MakeSamplerSetup(state_.samplerStates[s], stageTextures_[s]);
        context.attributeBase[s] = int(3 * sources.size());
        sources.push_back({coordinatesStart + 8 * index, flags, state_.texture[s]});
    }
    sampledTextures_->ForgetUnused();
    const std::uint32_t start = context.program.start;
    const bool direct = context.program.textureTimesWhite && SamplesInPlace(context.samplers[start]);
    context.directStage = direct ? int(start) : -1;
    if (direct) context.directKernel = PickInPlaceKernel(context.samplers[start]);
    return S_OK;
}

HRESULT ReferenceDevice::SetUpTriangles(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount,
                                        const std::vector<CoordinateSource>& sources) {
    std::uint32_t textureSets = 0;
    const std::uint32_t vertexSize = VertexSizeOf(state_.fvf, &textureSets);
    const std::uint32_t stride = state_.stream.stride;
    std::uint64_t vertexCount = 0;
    if (!VertexCountOf(type, primitiveCount, &vertexCount)) return D3DERR_INVALIDCALL;
    const std::vector<std::uint8_t>& bytes = streamBuffer_->Bytes();
    const std::uint64_t end = std::uint64_t{state_.stream.offset} + (startVertex + vertexCount - 1) * stride + vertexSize;
    if (vertexSize == 0 || stride < vertexSize || end > bytes.size()) return D3DERR_INVALIDCALL;

    const D3DMATRIX worldViewProjection = Multiply(Multiply(state_.world[0], state_.view), state_.projection);
    const std::uint8_t* first = bytes.data() + state_.stream.offset + std::size_t{startVertex} * stride;
    TransformVertices(first, std::uint32_t(vertexCount), stride, worldViewProjection, sources, clipVertices_);

    const auto attributes = std::uint32_t(3 * sources.size());
    const DWORD cullMode = state_.renderStates[D3DRS_CULLMODE];
    triangles_.clear();
    ClipVertex clipped[kMaxClippedVertices];
    ScreenVertex screen[kMaxClippedVertices];
    for (std::uint32_t i = 0; i < primitiveCount; ++i) {
        const auto [a, b, c] = TriangleVertices(type, i);
        const std::uint32_t count = ClipTriangle(clipVertices_[a], clipVertices_[b], clipVertices_[c], attributes, clipped);
        for (std::uint32_t k = 0; k < count; ++k) screen[k] = ToScreen(clipped[k], state_.viewport, attributes);
        if (count < 3 || Culled(cullMode, PolygonArea(screen, count))) continue;
        for (std::uint32_t k = 1; k + 1 < count; ++k) {
            TriangleSetup setup;
            if (SetUpTriangle(screen[0], screen[k], screen[k + 1], attributes, &setup)) triangles_.push_back(setup);
        }
    }
    return S_OK;
}

void ReferenceDevice::RunTiles(const DrawContext& context) {
    const int columns = (context.clipRight - (context.clipLeft & ~1) + kTileSize - 1) / kTileSize;
    const int rows = (context.clipBottom - (context.clipTop & ~1) + kTileSize - 1) / kTileSize;
    const int originX = context.clipLeft & ~1, originY = context.clipTop & ~1;
    workers_->Run(std::uint32_t(columns * rows), [&](std::uint32_t tile) {
        const int left = originX + int(tile % std::uint32_t(columns)) * kTileSize;
        const int top = originY + int(tile / std::uint32_t(columns)) * kTileSize;
        RasterizeTile(context, left, top, left + kTileSize, top + kTileSize);
    });
}

HRESULT ReferenceDevice::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
    return OutOfMemoryAsResult([&] { return Draw(type, startVertex, primitiveCount); });
}

HRESULT ReferenceDevice::Draw(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
    if (primitiveCount == 0 || primitiveCount > kMaxPrimitives) return D3DERR_INVALIDCALL;
    if (const HRESULT checked = CheckDrawState(); FAILED(checked)) return checked;
    if (renderer_) return renderer_->Draw({state_, textures_, *streamBuffer_, type, startVertex, primitiveCount});
    DrawContext context;
    std::vector<CoordinateSource> sources;
    if (const HRESULT prepared = PrepareStages(context, sources); FAILED(prepared)) return prepared;
    if (const HRESULT set = SetUpTriangles(type, startVertex, primitiveCount, sources); FAILED(set)) return set;

    PixelStore& color = backBuffer_->Pixels();
    context.target.color = reinterpret_cast<std::uint32_t*>(color.bytes.data());
    context.target.colorPitch = color.rowPitch / 4;
    context.target.keepAlpha = color.format == D3DFMT_A8R8G8B8;
    const bool depth = depthBuffer_ && state_.renderStates[D3DRS_ZENABLE] == D3DZB_TRUE;
    if (depth) {
        PixelStore& z = depthBuffer_->Pixels();
        context.target.depth = reinterpret_cast<std::uint16_t*>(z.bytes.data());
        context.target.depthPitch = z.rowPitch / 2;
    }
    context.depth = {depth, depth && state_.renderStates[D3DRS_ZWRITEENABLE] != FALSE,
                     state_.renderStates[D3DRS_ZFUNC]};
    const D3DVIEWPORT9& vp = state_.viewport;
    context.clipLeft = int(vp.X);
    context.clipTop = int(vp.Y);
    context.clipRight = int(vp.X + vp.Width);
    context.clipBottom = int(vp.Y + vp.Height);
    context.triangles = &triangles_;
    if (!triangles_.empty()) RunTiles(context);
    backBuffer_->MarkChanged();
    return S_OK;
}

}  // namespace quillmark::reference
