// Same-size conversion into a large block-compressed surface, with its block
// rows shared out among threads. Each thread converts a band of whole block
// rows through codecs of its own; blocks are encoded one by one from the
// same rows whatever the band, so the bytes equal those of one thread.
#include <algorithm>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "pixel/conversion_job.h"

namespace quillmark {

namespace {

// Below this many destination pixels one thread does it all.
constexpr std::uint64_t kParallelPixels = 256 * 256;
// Fewest block rows a thread is given.
constexpr UINT kMinBlockRowsPerBand = 4;

// Rows [top, bottom) of both sides (relative to the boxes) through codecs
// built for that band alone.
HRESULT ConvertBandRows(const ConversionJob& job, UINT top, UINT bottom) {
    SurfaceDesc to = job.destinationDesc;
    SurfaceDesc from = job.sourceDesc;
    to.Box.Top = job.destinationDesc.Box.Top + top;
    to.Box.Bottom = job.destinationDesc.Box.Top + bottom;
    from.Box.Top = job.sourceDesc.Box.Top + top;
    from.Box.Bottom = job.sourceDesc.Box.Top + bottom;
    std::unique_ptr<RowCodec> destination, source;
    HRESULT hr = CreateRowCodec(to, destination);
    if (SUCCEEDED(hr)) hr = CreateRowCodec(from, source);
    if (FAILED(hr)) return hr;
    destination->AttachSource(*source);
    if (source->Gamma() && destination->Gamma()) {
        source->ClearGamma();
        destination->ClearGamma();
    }
    ColorRow row(source->Width());
    for (UINT z = 0; z < source->Depth(); ++z) {
        for (UINT y = 0; y < source->Height(); ++y) {
            hr = source->DecodeRow(y, z, row.data());
            if (SUCCEEDED(hr)) hr = destination->EncodeRow(y, z, row.data());
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

// A band on a thread of its own: memory running out there cannot unwind
// into RunConversion, so it becomes the band's result here.
HRESULT ConvertBand(const ConversionJob& job, UINT top, UINT bottom) noexcept {
    try {
        return ConvertBandRows(job, top, bottom);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace

HRESULT ParallelBlockRowsFilter(ConversionJob& job) {
    if (!job.SameSize() || !LookupPixelFormat(job.destination->Format()).IsBlockCompressed()) return E_FAIL;
    const RowCodec& destination = *job.destination;
    const std::uint64_t pixels = std::uint64_t{destination.Width()} * destination.Height() * destination.Depth();
    const D3DBOX& box = job.destinationDesc.Box;
    const UINT blockRows = (box.Bottom + 3) / 4 - box.Top / 4;
    const UINT threads = std::min(std::thread::hardware_concurrency(), blockRows / kMinBlockRowsPerBand);
    if (pixels < kParallelPixels || threads < 2) return E_FAIL;

    // Band edges on block-row boundaries of the destination's own grid.
    std::vector<UINT> edges{0};
    for (UINT band = 1; band < threads; ++band) edges.push_back(band * blockRows / threads * 4 - box.Top % 4);
    edges.push_back(destination.Height());
    // A thread that cannot be started leaves its band undone: the job then
    // goes to the single-threaded filter, which writes every row again.
    std::vector<HRESULT> results(threads, E_FAIL);
    try {
        std::vector<std::jthread> workers;
        for (UINT band = 0; band < threads; ++band)
            workers.emplace_back([&, band] { results[band] = ConvertBand(job, edges[band], edges[band + 1]); });
    } catch (const std::system_error&) {
    }
    for (HRESULT hr : results)
        if (FAILED(hr)) return hr;
    return S_OK;
}

}  // namespace quillmark
