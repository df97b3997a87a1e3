// The renderer a reference device draws with unless another is attached:
// the device's own back buffer and depth buffer, rasterised in tiles on one
// worker thread per core. It prepares the stages (textures as the sampler
// reads them, the sampler kernels), transforms, clips and sets up the
// triangles, and spreads the tiles over the workers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "devices/core/renderer.h"
#include "devices/software/model_knobs.h"

namespace quillmark::core {
class SampledTextureCache;
struct SampledTexture;
struct ClipVertex;
}  // namespace quillmark::core

namespace quillmark::software {

using namespace core;

class WorkerPool;
struct DrawContext;
struct TriangleSetup;
struct RowSpan;
struct TileWork;

class SoftwareRenderer final : public Renderer {
public:
    // With knobs, the model device's renderer (model_sampler.h).
    SoftwareRenderer(Surface& backBuffer, Surface* depthBuffer, std::optional<ModelKnobs> model = std::nullopt);
    ~SoftwareRenderer() override;

    void Clear(const D3DRECT& rect, DWORD flags, D3DCOLOR color, float z) override;
    HRESULT Draw(const DrawCall& call) override;
    // The targets' memory is always current.
    void BringToMemory(Surface&) override {}

private:
    HRESULT PrepareStages(const DrawPlan& plan, DrawContext& context);
    void SetUpTriangles(const DrawCall& call);
    void SetTargets(const DeviceState& state, DrawContext& context) const;
    // Row spans and tiles of the triangles from `first` on, as many as one
    // batch holds; returns the end of the batch.
    std::size_t PrepareBatch(const DrawContext& context, std::size_t first);
    // The row spans of triangles [first, end), spanCount in all, walked by
    // the workers into spans_ at firstSpan_.
    void ComputeSpans(const DrawContext& context, std::size_t first, std::size_t end, std::size_t spanCount);
    // The batches of the draw's triangles, each tile by the draw's tile function.
    void RunTiles(DrawContext& context, void (*rasterize)(const DrawContext&, const TileWork&));

    Surface& backBuffer_;
    Surface* depthBuffer_;
    const std::optional<ModelKnobs> model_;
    std::unique_ptr<WorkerPool> workers_;
    std::unique_ptr<SampledTextureCache> sampledTextures_;
    std::vector<SampledTexture> stageTextures_;
    std::vector<ClipVertex> clipVertices_;
    std::vector<TriangleSetup> triangles_;
    // What triangles_ were set up from. A draw whose transformed vertices and
    // set-up states are the same bit for bit (the same scene drawn again)
    // keeps them, and keeps the spans and tiles too when one batch held
    // them all (wholeBatch_).
    struct SetUpInputs {
        D3DPRIMITIVETYPE type;
        UINT primitiveCount;
        std::uint32_t attributes;
        DWORD cullMode;
        D3DVIEWPORT9 viewport;
    };
    static_assert(sizeof(SetUpInputs) == sizeof(D3DPRIMITIVETYPE) + sizeof(UINT) + sizeof(std::uint32_t) +
                                              sizeof(DWORD) + sizeof(D3DVIEWPORT9),
                  "compared byte by byte, so without padding");
    SetUpInputs setUpInputs_{};
    std::vector<ClipVertex> setUpVertices_;
    bool setUpValid_ = false;
    bool wholeBatch_ = false;
    // The batch's row spans (DrawContext::spans, firstSpan) and tiles, row
    // by row, tileColumns_ to a row: tile k's triangles are
    // tileTriangles_[tileStart_[k] .. tileStart_[k + 1]), by index in
    // drawing order; busyTiles_ lists the tiles with any.
    std::unique_ptr<RowSpan[]> spans_;
    std::size_t spanCapacity_ = 0;
    std::vector<std::uint32_t> firstSpan_;
    int tileColumns_ = 0;
    std::vector<std::uint32_t> tileStart_, tileFill_, tileTriangles_, busyTiles_;
};

}  // namespace quillmark::software
