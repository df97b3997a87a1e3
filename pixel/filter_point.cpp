// RESAMPLE_POINT: destination index i samples source index
// floor(i * step / 65536) with step = source size * 65536 / destination size
// in 16.16 fixed point. Steps and positions are 64-bit so sources of 65536
// texels or more do not wrap.
#include <cstdint>

#include "pixel/conversion_job.h"

namespace quillmark {

namespace {

std::uint64_t Step(UINT sourceSize, UINT destinationSize) {
    return (std::uint64_t{sourceSize} << 16) / destinationSize;
}

UINT Sample(UINT index, std::uint64_t step) { return static_cast<UINT>((index * step) >> 16); }

}  // namespace

HRESULT PointFilter(ConversionJob& job) {
    if (job.Kind() != RESAMPLE_POINT) return E_FAIL;
    job.ClearGammaIfBoth();
    RowCodec& src = *job.source;
    RowCodec& dst = *job.destination;
    const std::uint64_t stepX = Step(src.Width(), dst.Width());
    const std::uint64_t stepY = Step(src.Height(), dst.Height());
    const std::uint64_t stepZ = Step(src.Depth(), dst.Depth());

    std::vector<UINT> columns(dst.Width());
    for (UINT x = 0; x < dst.Width(); ++x) columns[x] = Sample(x, stepX);

    ColorRow sourceRow(src.Width());
    ColorRow row(dst.Width());
    for (UINT z = 0; z < dst.Depth(); ++z) {
        const UINT sourceZ = Sample(z, stepZ);
        UINT decodedY = UINT(-1);
        for (UINT y = 0; y < dst.Height(); ++y) {
            const UINT sourceY = Sample(y, stepY);
            if (sourceY != decodedY) {
                const HRESULT hr = src.DecodeRow(sourceY, sourceZ, sourceRow.data());
                if (FAILED(hr)) return hr;
                decodedY = sourceY;
            }
            for (UINT x = 0; x < dst.Width(); ++x) row[x] = sourceRow[columns[x]];
            const HRESULT hr = dst.EncodeRow(y, z, row.data());
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

}  // namespace quillmark
