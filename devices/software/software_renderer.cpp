#include "devices/software/software_renderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "devices/software/draw_key.h"
#include "devices/software/model_sampler.h"
#include "devices/software/rasterizer.h"
#include "devices/core/sampled_texture.h"
#include "devices/core/surface_resource.h"
#include "devices/core/texture_resources.h"
#include "devices/core/vertex_buffer.h"
#include "devices/core/vertex_processing.h"
#include "devices/software/worker_pool.h"

namespace quillmark::software {
namespace {

constexpr int kTileSize = 64;  // even, so that no pixel quad straddles two tiles
// Row spans kept at once (8 MiB): a draw whose triangles have more is drawn
// in batches of triangles, in order.
constexpr std::size_t kMaxBatchSpans = std::size_t{1} << 20;
// Triangles whose row spans one worker job walks.
constexpr std::size_t kSpanJobTriangles = 32;

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

// Whether two values (or two vectors of them) hold the same bytes; the
// types have no padding.
template <class T>
bool SameBits(const T& a, const T& b) {
    static_assert(std::is_trivially_copyable_v<T>);
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

template <class T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
    static_assert(std::is_trivially_copyable_v<T>);
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

// Sets every pixel of the rectangle to `value`: the first row filled, the
// others copied from it.
template <class Pixel>
void FillRect(PixelStore& store, const D3DRECT& r, Pixel value) {
    if (r.y2 <= r.y1 || r.x2 <= r.x1) return;
    auto* first = reinterpret_cast<Pixel*>(store.BlockAt(r.x1, r.y1));
    const auto width = std::size_t(r.x2 - r.x1);
    std::fill(first, first + width, value);
    for (LONG y = r.y1 + 1; y < r.y2; ++y) std::memcpy(store.BlockAt(r.x1, y), first, width * sizeof(Pixel));
}

}  // namespace

SoftwareRenderer::SoftwareRenderer(Surface& backBuffer, Surface* depthBuffer, std::optional<ModelKnobs> model)
    : backBuffer_(backBuffer),
      depthBuffer_(depthBuffer),
      model_(model),
      workers_(std::make_unique<WorkerPool>(DrawThreads())),
      sampledTextures_(std::make_unique<SampledTextureCache>()),
      stageTextures_(kStageCount) {}

SoftwareRenderer::~SoftwareRenderer() = default;

void SoftwareRenderer::Clear(const D3DRECT& r, DWORD flags, D3DCOLOR color, float z) {
    if (flags & D3DCLEAR_TARGET) FillRect<std::uint32_t>(backBuffer_.Pixels(), r, color);
    if (flags & D3DCLEAR_ZBUFFER)
        FillRect<std::uint16_t>(depthBuffer_->Pixels(), r, static_cast<std::uint16_t>(std::lround(z * 65535.0f)));
    backBuffer_.MarkChanged();
}

HRESULT SoftwareRenderer::PrepareStages(const DrawPlan& plan, DrawContext& context) {
    context.program = plan.program;
    context.attributeBase.fill(-1);
    for (std::uint32_t s = plan.program.start; s < plan.program.count; ++s) {
        const PlannedStage& stage = plan.stages[s];
        if (!stage.texture) continue;
        if (!sampledTextures_->Prepare(*stage.texture, &stageTextures_[s])) return D3DERR_INVALIDCALL;
        context.samplers[s] = model_ ? MakeModelSamplerSetup(stage.sampler, stageTextures_[s], *model_, s)
                                     : MakeSamplerSetup(stage.sampler, stageTextures_[s]);
        context.attributeBase[s] = int(3 * stage.coordinateSet);
    }
    sampledTextures_->ForgetUnused();
    const std::uint32_t start = context.program.start;
    const bool direct = context.program.textureTimesWhite && SamplesInPlace(context.samplers[start]) &&
                        !context.samplers[start].model;
    context.directStage = direct ? int(start) : -1;
    return S_OK;
}

void SoftwareRenderer::SetUpTriangles(const DrawCall& call) {
    const DeviceState& state = call.state;
    const D3DPRIMITIVETYPE type = call.plan.type;
    const UINT primitiveCount = call.plan.primitiveCount;
    TransformDrawVertices(call, clipVertices_);

    const SetUpInputs inputs{type, primitiveCount, std::uint32_t(3 * call.plan.sources.size()),
                             state.renderStates[D3DRS_CULLMODE], state.viewport};
    if (setUpValid_ && SameBits(inputs, setUpInputs_) && SameBits(clipVertices_, setUpVertices_)) return;

    setUpValid_ = wholeBatch_ = false;
    triangles_.clear();
    ClipVertex clipped[kMaxClippedVertices];
    ScreenVertex screen[kMaxClippedVertices];
    for (std::uint32_t i = 0; i < primitiveCount; ++i) {
        const auto [a, b, c] = TriangleVertices(type, i);
        const std::uint32_t count =
            ClipTriangle(clipVertices_[a], clipVertices_[b], clipVertices_[c], inputs.attributes, clipped);
        for (std::uint32_t k = 0; k < count; ++k) screen[k] = ToScreen(clipped[k], state.viewport, inputs.attributes);
        if (count < 3 || Culled(inputs.cullMode, PolygonArea(screen, count))) continue;
        for (std::uint32_t k = 1; k + 1 < count; ++k) {
            TriangleSetup setup;
            if (SetUpTriangle(screen[0], screen[k], screen[k + 1], inputs.attributes, &setup)) triangles_.push_back(setup);
        }
    }
    setUpInputs_ = inputs;
    std::swap(setUpVertices_, clipVertices_);
    setUpValid_ = true;
}

namespace {

// The pixels [x0, x1] x [y0, y1] of the triangle's bounds within the
// viewport; false when there are none.
bool BoundsInViewport(const DrawContext& context, const TriangleSetup& t, int* x0, int* y0, int* x1, int* y1) {
    *x0 = std::max(t.minX, context.clipLeft);
    *y0 = std::max(t.minY, context.clipTop);
    *x1 = std::min(t.maxX, context.clipRight - 1);
    *y1 = std::min(t.maxY, context.clipBottom - 1);
    return *x0 <= *x1 && *y0 <= *y1;
}

}  // namespace

std::size_t SoftwareRenderer::PrepareBatch(const DrawContext& context, std::size_t first) {
    const int originX = context.clipLeft & ~1, originY = context.clipTop & ~1;
    tileColumns_ = (context.clipRight - originX + kTileSize - 1) / kTileSize;
    const int rows = (context.clipBottom - originY + kTileSize - 1) / kTileSize;
    // Where each triangle's row spans go, up to kMaxBatchSpans of them (at
    // least one triangle), and how many tiles each triangle touches.
    firstSpan_.resize(triangles_.size());
    tileStart_.assign(std::size_t(tileColumns_ * rows) + 1, 0);
    std::size_t spanCount = 0, end = first;
    int x0, y0, x1, y1;
    for (; end < triangles_.size(); ++end) {
        firstSpan_[end] = std::uint32_t(spanCount);
        if (!BoundsInViewport(context, triangles_[end], &x0, &y0, &x1, &y1)) continue;
        const auto count = std::size_t(y1 - y0 + 1);
        if (end > first && spanCount + count > kMaxBatchSpans) break;
        spanCount += count;
        for (int r = (y0 - originY) / kTileSize; r <= (y1 - originY) / kTileSize; ++r) {
            for (int c = (x0 - originX) / kTileSize; c <= (x1 - originX) / kTileSize; ++c)
                ++tileStart_[std::size_t(r * tileColumns_ + c) + 1];
        }
    }
    ComputeSpans(context, first, end, spanCount);
    // Each tile's triangles in drawing order.
    for (std::size_t tile = 1; tile < tileStart_.size(); ++tile) tileStart_[tile] += tileStart_[tile - 1];
    tileTriangles_.resize(tileStart_.back());
    tileFill_.assign(tileStart_.begin(), tileStart_.end() - 1);
    for (std::size_t i = first; i < end; ++i) {
        if (!BoundsInViewport(context, triangles_[i], &x0, &y0, &x1, &y1)) continue;
        for (int r = (y0 - originY) / kTileSize; r <= (y1 - originY) / kTileSize; ++r) {
            for (int c = (x0 - originX) / kTileSize; c <= (x1 - originX) / kTileSize; ++c)
                tileTriangles_[tileFill_[std::size_t(r * tileColumns_ + c)]++] = std::uint32_t(i);
        }
    }
    busyTiles_.clear();
    for (std::uint32_t tile = 0; tile + 1 < tileStart_.size(); ++tile) {
        if (tileStart_[tile + 1] > tileStart_[tile]) busyTiles_.push_back(tile);
    }
    return end;
}

void SoftwareRenderer::ComputeSpans(const DrawContext& context, std::size_t first, std::size_t end,
                                    std::size_t spanCount) {
    if (spanCount > spanCapacity_) {
        spans_ = std::make_unique_for_overwrite<RowSpan[]>(spanCount);  // every span is written below
        spanCapacity_ = spanCount;
    }
    const auto jobs = std::uint32_t((end - first + kSpanJobTriangles - 1) / kSpanJobTriangles);
    workers_->Run(jobs, [&](std::uint32_t job) {
        const std::size_t from = first + std::size_t(job) * kSpanJobTriangles;
        const std::size_t to = std::min(end, from + kSpanJobTriangles);
        int x0, y0, x1, y1;
        for (std::size_t i = from; i < to; ++i) {
            const TriangleSetup& t = triangles_[i];
            if (BoundsInViewport(context, t, &x0, &y0, &x1, &y1))
                TriangleSpans(t, x0, y0, x1 + 1, y1 + 1, spans_.get() + firstSpan_[i]);
        }
    });
}

void SoftwareRenderer::RunTiles(DrawContext& context, TileRasterizer rasterize) {
    const int originX = context.clipLeft & ~1, originY = context.clipTop & ~1;
    for (std::size_t first = 0; first < triangles_.size();) {
        if (first == 0 && wholeBatch_) {
            first = triangles_.size();  // the spans and tiles of the last draw hold
        } else {
            const std::size_t start = first;
            first = PrepareBatch(context, first);
            wholeBatch_ = start == 0 && first == triangles_.size();
        }
        context.spans = spans_.get();
        context.firstSpan = firstSpan_.data();
        workers_->Run(std::uint32_t(busyTiles_.size()), [&](std::uint32_t job) {
            const std::uint32_t tile = busyTiles_[job];
            const int left = originX + int(tile % std::uint32_t(tileColumns_)) * kTileSize;
            const int top = originY + int(tile / std::uint32_t(tileColumns_)) * kTileSize;
            const std::uint32_t start = tileStart_[tile];
            rasterize(context, {left, top, left + kTileSize, top + kTileSize, tileTriangles_.data() + start,
                                tileStart_[tile + 1] - start});
        });
    }
}

void SoftwareRenderer::SetTargets(const DeviceState& state, DrawContext& context) const {
    PixelStore& color = backBuffer_.Pixels();
    context.target.color = reinterpret_cast<std::uint32_t*>(color.bytes.data());
    context.target.colorPitch = color.rowPitch / 4;
    context.target.keepAlpha = color.format == D3DFMT_A8R8G8B8;
    context.target.width = int(color.width);
    context.target.height = int(color.height);
    const bool depth = depthBuffer_ && state.renderStates[D3DRS_ZENABLE] == D3DZB_TRUE;
    if (depth) {
        PixelStore& z = depthBuffer_->Pixels();
        context.target.depth = reinterpret_cast<std::uint16_t*>(z.bytes.data());
        context.target.depthPitch = z.rowPitch / 2;
        context.target.width = std::min(context.target.width, int(z.width));
        context.target.height = std::min(context.target.height, int(z.height));
    }
    context.depth = {depth, depth && state.renderStates[D3DRS_ZWRITEENABLE] != FALSE, state.renderStates[D3DRS_ZFUNC]};
    const D3DVIEWPORT9& vp = state.viewport;
    context.clipLeft = int(vp.X);
    context.clipTop = int(vp.Y);
    context.clipRight = int(vp.X + vp.Width);
    context.clipBottom = int(vp.Y + vp.Height);
}

HRESULT SoftwareRenderer::Draw(const DrawCall& call) {
    if (model_) RaiseModelFault(model_->fault);
    DrawContext context;
    if (const HRESULT prepared = PrepareStages(call.plan, context); FAILED(prepared)) return prepared;
    SetUpTriangles(call);
    SetTargets(call.state, context);
    // Every choice of kernel the draw fixes, made once.
    const DrawKey key = MakeDrawKey(context);
    const DrawKernels kernels = PickDrawKernels(key);
    UseKernels(key, kernels, context);
    context.triangles = &triangles_;
    if (!triangles_.empty()) RunTiles(context, kernels.tile);
    backBuffer_.MarkChanged();
    return S_OK;
}

}  // namespace quillmark::software
