#include "app/readback.h"

#include "app/analysis.h"
#include "app/probe_state.h"
#include "app/polar_plot.h"
#include "app/test_textures.h"

#include <cstring>
#include <vector>

namespace quillmark {
namespace {

constexpr std::uint32_t kColourMask = kRedMask | kGreenMask | kBlueMask;
constexpr int kMaxPixelHits = 0xFFFF;

enum class HeldUse { None, Spans, Hits };

// The last frame read back, waiting for its Present.
struct HeldFrame {
    HeldUse use = HeldUse::None;
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};
HeldFrame g_held;

inline std::uint32_t* RowOf(const PixelView& frame, int y) {
    return reinterpret_cast<std::uint32_t*>(frame.bits + static_cast<std::ptrdiff_t>(y) * frame.pitch);
}

// A colour whose cell lies outside the level (the marks run past its last
// row or column at the end of a pass) is not a mark: only a texture of the
// user's own can show it, and counting it would make the span wrap below zero.
inline void ExtendSpan(PixelSpan& span, std::int16_t cell, int levelSize) {
    if (cell < 0 || cell >= levelSize) return;
    if (span.first == -1) {
        span.first = span.last = cell;
        return;
    }
    if (cell < span.first) span.first = cell;
    if (cell > span.last) span.last = cell;
}

// Rows (or columns) a pixel's range covers; a range of half the level or more
// is taken to have wrapped around the texture edge.
inline int SpanLength(const PixelSpan& span, int levelSize) {
    const int length = span.last - span.first + 1;
    return length >= levelSize / 2 ? span.first - span.last + levelSize + 1 : length;
}

bool Classifiable(const D3DSURFACE_DESC& desc) {
    ProbeState& probe = ActiveProbe();
    const bool thirtyTwoBits = desc.Format == D3DFMT_X8R8G8B8 || desc.Format == D3DFMT_A8R8G8B8;
    return thirtyTwoBits && static_cast<int>(desc.Width) == probe.windowWidth &&
           static_cast<int>(desc.Height) == probe.windowHeight && probe.run.hitCounts && probe.run.pixelSpans;
}

void HoldFrame(const PixelView& frame) {
    ProbeState& probe = ActiveProbe();
    g_held.use = probe.run.rowPeriod != -1 && probe.run.columnPeriod != -1 ? HeldUse::Hits : HeldUse::Spans;
    g_held.width = frame.width;
    g_held.height = frame.height;
    g_held.pixels.resize(static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height));
    for (int y = 0; y < frame.height; ++y)
        std::memcpy(&g_held.pixels[static_cast<std::size_t>(y) * frame.width], RowOf(frame, y),
                    static_cast<std::size_t>(frame.width) * 4);
}

// A pixel's counter stops at its largest value: a wrapped counter would
// show the most-hit pixels as the least hit in the heat map.
inline std::uint16_t SaturatingAdd(std::uint16_t count, int hits) {
    const int sum = count + hits;
    return static_cast<std::uint16_t>(sum < kMaxPixelHits ? sum : kMaxPixelHits);
}

// `hits` hits at one pixel at once: the counters grow by that many, and the
// plot, which ORs one colour per level, needs the pixel only once.
void RecordPixelHits(int x, int y, int hits) {
    ProbeState& probe = ActiveProbe();
    probe.run.hitTotal += hits;
    CountLevelHits(hits);
    const std::uint64_t levelEdge = static_cast<std::uint64_t>(kMipTextureSize >> probe.run.level);
    probe.run.levelTexelSum += levelEdge * levelEdge * static_cast<std::uint64_t>(hits);
    if (probe.plotSurface && probe.plotBits) PlotHit(x, y);
}

}  // namespace

void ReadBack() {
    ProbeState& probe = ActiveProbe();
    if (!probe.device) return;
    IDirect3DSurface9* backBuffer = nullptr;
    if (FAILED(probe.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer)) || !backBuffer) return;
    D3DSURFACE_DESC desc{};
    D3DLOCKED_RECT locked{};
    if (SUCCEEDED(backBuffer->GetDesc(&desc)) && Classifiable(desc) &&
        backBuffer->LockRect(&locked, nullptr, 0) == S_OK) {
        const PixelView frame{static_cast<std::uint8_t*>(locked.pBits), locked.Pitch, static_cast<int>(desc.Width),
                              static_cast<int>(desc.Height)};
        if (probe.run.level >= 10)
            DrawHeatMap(frame);
        else
            HoldFrame(frame);
        backBuffer->UnlockRect();
    }
    backBuffer->Release();
}

void MeasureSpans(const PixelView& frame) {
    ProbeState& probe = ActiveProbe();
    if (!probe.run.pixelSpans) return;
    const int levelSize = probe.run.levelSize;
    const auto red = static_cast<std::int16_t>(probe.run.phase - 3);
    const auto green = static_cast<std::int16_t>(probe.run.phase - 2);
    const auto blue = static_cast<std::int16_t>(probe.run.phase - 1);
    for (int y = 0; y < frame.height; ++y) {
        const std::uint32_t* row = RowOf(frame, y);
        PixelSpan* spans = &probe.run.pixelSpans[static_cast<std::size_t>(y) * frame.width];
        for (int x = 0; x < frame.width; ++x) {
            const std::uint32_t value = row[x];
            if (!(value & kColourMask)) continue;
            PixelSpan& span = spans[x];
            if (value & kRedMask) ExtendSpan(span, red, levelSize);
            if (value & kGreenMask) ExtendSpan(span, green, levelSize);
            if (value & kBlueMask) ExtendSpan(span, blue, levelSize);
            if (span.last == -1) continue;
            const auto length = static_cast<std::uint16_t>(SpanLength(span, levelSize));
            if (length > probe.run.spanMax) probe.run.spanMax = length;
        }
    }
}

void RecordHits(const PixelView& frame) {
    ProbeState& probe = ActiveProbe();
    if (!probe.run.hitCounts) return;
    for (int y = 0; y < frame.height; ++y) {
        const std::uint32_t* row = RowOf(frame, y);
        std::uint16_t* counts = &probe.run.hitCounts[static_cast<std::size_t>(y) * frame.width];
        for (int x = 0; x < frame.width; ++x) {
            const std::uint32_t value = row[x];
            if (!(value & kColourMask)) continue;
            const int hits = ((value & kRedMask) != 0) + ((value & kGreenMask) != 0) + ((value & kBlueMask) != 0);
            RecordPixelHits(x, y, hits);
            counts[x] = SaturatingAdd(counts[x], hits);
            if (counts[x] > probe.run.maxHits) probe.run.maxHits = counts[x];
        }
    }
}

void RecordHit(int x, int y) { RecordPixelHits(x, y, 1); }

void DrawHeatMap(const PixelView& frame) {
    ProbeState& probe = ActiveProbe();
    if (!probe.run.hitCounts) return;
    const double scale = probe.run.maxHits > 0 ? 255.0 / probe.run.maxHits : 0.0;
    for (int y = 0; y < frame.height; ++y) {
        std::uint32_t* row = RowOf(frame, y);
        const std::uint16_t* counts = &probe.run.hitCounts[static_cast<std::size_t>(y) * frame.width];
        for (int x = 0; x < frame.width; ++x) {
            int v = static_cast<int>(counts[x] * scale);
            if (v > 255) v = 255;
            row[x] = (static_cast<std::uint32_t>(255 - v) << 16) | (static_cast<std::uint32_t>(v) << 8);
        }
    }
}

void ApplyHeldFrame() {
    const HeldUse use = g_held.use;
    g_held.use = HeldUse::None;
    if (use == HeldUse::None) return;
    const PixelView frame{reinterpret_cast<std::uint8_t*>(g_held.pixels.data()), g_held.width * 4, g_held.width,
                          g_held.height};
    if (use == HeldUse::Hits)
        RecordHits(frame);
    else
        MeasureSpans(frame);
}

void DropHeldFrame() { g_held.use = HeldUse::None; }

}  // namespace quillmark
