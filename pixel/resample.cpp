#include "pixel/resample.h"

#include <cstdint>
#include <limits>
#include <new>

#include "pixel/conversion_job.h"

namespace quillmark {

namespace {

using Filter = HRESULT (*)(ConversionJob&);

constexpr Filter kFilters[] = {
    RawCopyFilter, DirectFilter, ParallelBlockRowsFilter, SameSizeFilter, NoneFilter, PointFilter, BoxHalvingFilter,
    BoxVolumeFilter, LinearFilter, LinearVolumeFilter, TentFilter, TentVolumeFilter,
};

bool IsOrdered(const D3DBOX& box) {
    return box.Left <= box.Right && box.Top <= box.Bottom && box.Front <= box.Back;
}

bool IsEmpty(const D3DBOX& box) {
    return box.Left == box.Right || box.Top == box.Bottom || box.Front == box.Back;
}

// Width x height x depth x 16 bytes (a FloatColor per pixel, the largest
// pixel any codec or filter buffer holds) must fit a signed 64-bit size.
bool FitsInMemoryArithmetic(const D3DBOX& box) {
    std::uint64_t bytes = 16;
    for (std::uint64_t extent : {std::uint64_t{box.Right - box.Left}, std::uint64_t{box.Bottom - box.Top},
                                 std::uint64_t{box.Back - box.Front}}) {
        if (__builtin_mul_overflow(bytes, extent, &bytes)) return false;
    }
    return bytes <= static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max());
}

HRESULT Validate(const SurfaceDesc& destination, const SurfaceDesc& source, DWORD filter) {
    const DWORD kind = filter & RESAMPLE_KIND_MASK;
    if (kind == 0 || kind > RESAMPLE_BOX || (filter & RESAMPLE_INVALID_BITS) != 0) return D3DERR_INVALIDCALL;
    if (!IsOrdered(source.Box) || !IsOrdered(destination.Box)) return D3DERR_INVALIDCALL;
    if (!FitsInMemoryArithmetic(source.Box) || !FitsInMemoryArithmetic(destination.Box)) {
        return D3DERR_INVALIDCALL;
    }
    return S_OK;
}

// The first filter that takes the job. A filter that runs out of memory may
// have written part of the destination; no other filter gets the job then.
HRESULT RunFilters(ConversionJob& job) {
    for (Filter filter : kFilters) {
        const HRESULT hr = filter(job);
        if (SUCCEEDED(hr)) return S_OK;
        if (hr == E_OUTOFMEMORY) return hr;
    }
    return E_FAIL;
}

HRESULT Convert(const SurfaceDesc& destination, const SurfaceDesc& source, DWORD filter) {
    SurfaceDesc to = destination;
    SurfaceDesc from = source;
    from.Srgb = filter & RESAMPLE_SRGB_IN;
    to.Srgb = filter & RESAMPLE_SRGB_OUT;
    to.Dither = filter & RESAMPLE_DITHER;
    to.DiffusionDither = filter & RESAMPLE_DITHER_DIFFUSION;

    ConversionJob job;
    job.filter = filter;
    job.destinationDesc = to;
    job.sourceDesc = from;
    HRESULT hr = CreateRowCodec(to, job.destination);
    if (SUCCEEDED(hr)) hr = CreateRowCodec(from, job.source);
    if (FAILED(hr)) return hr;
    job.destination->AttachSource(*job.source);
    return RunFilters(job);
}

}  // namespace

HRESULT RunConversion(const SurfaceDesc& destination, const SurfaceDesc& source, DWORD filter) {
    const HRESULT valid = Validate(destination, source, filter);
    if (FAILED(valid)) return valid;
    if (IsEmpty(destination.Box)) return S_OK;
    if (IsEmpty(source.Box)) return D3DERR_INVALIDCALL;
    // Memory running out anywhere below throws; this is where it becomes a
    // result.
    try {
        return Convert(destination, source, filter);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace quillmark
