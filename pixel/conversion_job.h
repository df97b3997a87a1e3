// The state one RunConversion call shares with its filters, and the filters
// themselves. Each filter returns a negative code to decline or when it
// fails; the next filter then gets the same job.
#pragma once

#include <memory>

#include "pixel/row_codec.h"

namespace quillmark {

struct ConversionJob {
    std::unique_ptr<RowCodec> destination;
    std::unique_ptr<RowCodec> source;
    DWORD filter = 0;
    // What the codecs were built from, for filters that build more of them.
    SurfaceDesc destinationDesc;
    SurfaceDesc sourceDesc;

    DWORD Kind() const { return filter & RESAMPLE_KIND_MASK; }
    bool Has(DWORD flag) const { return (filter & flag) != 0; }
    bool SameSize() const {
        return source->Width() == destination->Width() && source->Height() == destination->Height() &&
               source->Depth() == destination->Depth();
    }
    void ClearGammaIfBoth() {
        if (source->Gamma() && destination->Gamma()) {
            source->ClearGamma();
            destination->ClearGamma();
        }
    }
    ~ConversionJob() {
        destination.reset();  // writes back any cached row first
        source.reset();
    }
};

HRESULT RawCopyFilter(ConversionJob& job);
HRESULT DirectFilter(ConversionJob& job);
HRESULT ParallelBlockRowsFilter(ConversionJob& job);
HRESULT SameSizeFilter(ConversionJob& job);
HRESULT NoneFilter(ConversionJob& job);
HRESULT PointFilter(ConversionJob& job);
HRESULT BoxHalvingFilter(ConversionJob& job);
HRESULT BoxVolumeFilter(ConversionJob& job);
HRESULT LinearFilter(ConversionJob& job);
HRESULT LinearVolumeFilter(ConversionJob& job);
HRESULT TentFilter(ConversionJob& job);
HRESULT TentVolumeFilter(ConversionJob& job);

// Whether packed box halving may take its vector form: while MMX is allowed.
bool BoxVectorPathEnabled();

// Row buffers of FloatColor; allocation failures surface as bad_alloc and
// are turned into E_OUTOFMEMORY by RunConversion.
using ColorRow = std::vector<FloatColor>;

}  // namespace quillmark
