// RowCodec: the per-format object that decodes one row of a pixel block into
// FloatColor values and encodes such a row back, with the services its base
// class gives every format (channel-range conversion, gamma, colour key,
// palette, error diffusion). CreateRowCodec picks the class for a format.
#pragma once

#include <memory>
#include <vector>

#include "pixel/pixel_format.h"
#include "pixel/surface_desc.h"

namespace quillmark {

// One colour with float channels; arithmetic works channel by channel.
struct FloatColor {
    float r;
    float g;
    float b;
    float a;

    FloatColor& operator+=(const FloatColor& o) {
        r += o.r;
        g += o.g;
        b += o.b;
        a += o.a;
        return *this;
    }
};

inline bool operator==(const FloatColor& x, const FloatColor& y) {
    return x.r == y.r && x.g == y.g && x.b == y.b && x.a == y.a;
}

inline FloatColor operator+(FloatColor x, const FloatColor& y) { return x += y; }

inline FloatColor operator-(const FloatColor& x, const FloatColor& y) {
    return {x.r - y.r, x.g - y.g, x.b - y.b, x.a - y.a};
}

inline FloatColor operator*(const FloatColor& c, float k) { return {c.r * k, c.g * k, c.b * k, c.a * k}; }

class RowCodec {
public:
    virtual ~RowCodec() = default;
    RowCodec(const RowCodec&) = delete;
    RowCodec& operator=(const RowCodec&) = delete;

    // Reads row y of slice z (both within the box) into width values in this
    // codec's range, then applies the colour key and gamma decoding.
    virtual HRESULT DecodeRow(UINT y, UINT z, FloatColor* out) = 0;
    // Writes width values into row y of slice z. Range conversion and gamma
    // encoding go to the conversion row; error diffusion may add the carried
    // error into the row it quantises (the caller's row when no conversion ran).
    virtual HRESULT EncodeRow(UINT y, UINT z, FloatColor* in) = 0;
    // Replaces the colour key value by what this format can store of it.
    virtual void PrepareColorKey();

    // Called on the destination codec once both sides exist.
    void AttachSource(RowCodec& source);

    FloatColor* ConvertRangeRow(const FloatColor* row);
    FloatColor* GammaEncodeRow(const FloatColor* row);
    void GammaDecodeRow(FloatColor* row) const;
    void ApplyColorKey(FloatColor* row) const;
    void BuildPalette(const SurfaceDesc& desc);
    void AddDiffusedError(FloatColor* row);

    D3DFORMAT Format() const { return format_; }
    ChannelRange Range() const { return range_; }
    bool LinearLayout() const { return bytesPerPixel_ != 0; }
    bool Gamma() const { return gamma_; }
    bool BothGamma() const { return bothGamma_; }
    void ClearGamma() { gamma_ = bothGamma_ = false; }
    const FloatColor* Palette() const { return palette_.empty() ? nullptr : palette_.data(); }
    D3DCOLOR ColorKey() const { return colorKey_; }
    const FloatColor& ColorKeyValue() const { return colorKeyValue_; }
    ChannelRange IncomingRange() const { return incomingRange_; }

    UINT Width() const { return block_.width; }
    UINT Height() const { return block_.height; }
    UINT Depth() const { return block_.depth; }
    const D3DBOX& Box() const { return block_.box; }
    BYTE* Data() const { return block_.data; }
    INT RowPitch() const { return block_.rowPitch; }
    INT SlicePitch() const { return block_.slicePitch; }
    UINT BytesPerPixel() const { return bytesPerPixel_; }
    std::size_t RowBytes() const { return std::size_t{block_.width} * bytesPerPixel_; }

protected:
    RowCodec(const SurfaceDesc& desc, ChannelRange range, UINT bitsPerPixel);

    // The address of row y of slice z of a linear layout.
    BYTE* RowAddress(UINT y, UINT z) const {
        return block_.data + static_cast<std::ptrdiff_t>(y) * block_.rowPitch +
               static_cast<std::ptrdiff_t>(z) * block_.slicePitch;
    }
    // Range conversion and gamma encoding as EncodeRow needs them.
    FloatColor* PrepareEncodeInput(FloatColor* in);
    // Colour key and gamma decoding after a row has been decoded.
    void FinishDecode(FloatColor* out) const;

    void SetColorKeyValue(const FloatColor& value) { colorKeyValue_ = value; }
    bool PlainThresholds() const;
    const float* ThresholdRow(UINT y) const;
    FloatColor* CarryRow() { return errorCarryRow_.empty() ? nullptr : errorCarryRow_.data(); }
    const FloatColor* PaletteEntries() const { return palette_.data(); }

    // What PrepareColorKey saves and restores around its one-pixel encode.
    struct BlockState {
        BYTE* data = nullptr;
        D3DBOX box = {};
        UINT width = 0;
        UINT height = 0;
        UINT depth = 0;
        INT rowPitch = 0;
        INT slicePitch = 0;
        const float (*thresholds)[8] = nullptr;
    };

private:
    FloatColor* ConversionRow();

    D3DFORMAT format_;
    ChannelRange range_;
    UINT bytesPerPixel_;
    bool gamma_;
    bool bothGamma_ = false;
    D3DCOLOR colorKey_;
    FloatColor colorKeyValue_ = {};
    ChannelRange incomingRange_ = static_cast<ChannelRange>(0);
    BlockState block_;
    std::vector<FloatColor> palette_;
    std::vector<FloatColor> errorCarryRow_;
    std::vector<FloatColor> conversionStorage_;
    FloatColor* conversionRow_ = nullptr;
    alignas(16) BYTE scratch_[16] = {};
};

// A new codec for the desc's format in `codec`: S_OK, E_FAIL when the format
// has none, D3DERR_INVALIDCALL when the box is inverted. Memory running out
// throws std::bad_alloc here as everywhere in the pixel layer; the library's
// entry points (RunConversion, the readers' and writers' entries, the
// device's calls) answer E_OUTOFMEMORY for it.
HRESULT CreateRowCodec(const SurfaceDesc& desc, std::unique_ptr<RowCodec>& codec);

}  // namespace quillmark
