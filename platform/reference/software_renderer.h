// The renderer a reference device draws with unless another is attached:
// the device's own back buffer and depth buffer, rasterised in tiles on one
// worker thread per core. It prepares the stages (textures as the sampler
// reads them, the sampler kernels), transforms, clips and sets up the
// triangles, and spreads the tiles over the workers.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "renderer.h"

namespace quillmark::reference {

class WorkerPool;
class SampledTextureCache;
struct DrawContext;
struct CoordinateSource;
struct SampledTexture;
struct ClipVertex;
struct TriangleSetup;
struct RowSpan;

class SoftwareRenderer final : public Renderer {
public:
    SoftwareRenderer(Surface& backBuffer, Surface* depthBuffer);
    ~SoftwareRenderer() override;

    void Clear(const D3DRECT& rect, DWORD flags, D3DCOLOR color, float z) override;
    HRESULT Draw(const DrawCall& call) override;
    // The targets' memory is always current.
    void BringToMemory(Surface&) override {}

private:
    HRESULT PrepareStages(const DrawCall& call, DrawContext& context, std::vector<CoordinateSource>& sources);
    HRESULT SetUpTriangles(const DrawCall& call, const std::vector<CoordinateSource>& sources);
    void SetTargets(const DeviceState& state, DrawContext& context) const;
    // Row spans and tiles of the triangles from `first` on, as many as one
    // batch holds; returns the end of the batch.
    std::size_t PrepareBatch(const DrawContext& context, std::size_t first);
    // The row spans of triangles [first, end), spanCount in all, walked by
    // the workers into spans_ at firstSpan_.
    void ComputeSpans(const DrawContext& context, std::size_t first, std::size_t end, std::size_t spanCount);
    void RunTiles(DrawContext& context);

    Surface& backBuffer_;
    Surface* depthBuffer_;
    std::unique_ptr<WorkerPool> workers_;
    std::unique_ptr<SampledTextureCache> sampledTextures_;
    std::vector<SampledTexture> stageTextures_;
    std::vector<ClipVertex> clipVertices_;
    std::vector<TriangleSetup> triangles_;
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

}  // namespace quillmark::reference
