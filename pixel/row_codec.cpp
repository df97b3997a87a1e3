#include "pixel/row_codec.h"

#include <algorithm>
#include <cstring>

#include "pixel/dither_thresholds.h"
#include "pixel/gamma_curve.h"

namespace quillmark {

namespace {

// Gamma stays only on unsigned and float codecs, and on L6V5U5 whose
// luminance travels in the alpha slot.
bool KeepsGamma(D3DFORMAT format, ChannelRange range) {
    if (range == RANGE_UNSIGNED || range == RANGE_FLOAT) return true;
    return format == D3DFMT_L6V5U5;
}

float Clamp(float x, float lo, float hi) { return x < lo ? lo : (x > hi ? hi : x); }

float Expand(float x) { return (x + 1.0f) * 0.5f; }
float Compress(float x) { return 2.0f * x - 1.0f; }

FloatColor ConvertRange(FloatColor c, ChannelRange from, ChannelRange to) {
    switch (to) {
    case RANGE_UNSIGNED:
        if (from == RANGE_SIGNED_RGB) return {Expand(c.r), Expand(c.g), Expand(c.b), c.a};
        if (from == RANGE_SIGNED) return {Expand(c.r), Expand(c.g), Expand(c.b), Expand(c.a)};
        return {Clamp(c.r, 0, 1), Clamp(c.g, 0, 1), Clamp(c.b, 0, 1), Clamp(c.a, 0, 1)};
    case RANGE_SIGNED_RGB:
        if (from == RANGE_UNSIGNED) return {Compress(c.r), Compress(c.g), Compress(c.b), c.a};
        if (from == RANGE_SIGNED) return {c.r, c.g, c.b, Expand(c.a)};
        return {Clamp(c.r, -1, 1), Clamp(c.g, -1, 1), Clamp(c.b, -1, 1), Clamp(c.a, 0, 1)};
    case RANGE_SIGNED:
        if (from == RANGE_UNSIGNED) return {Compress(c.r), Compress(c.g), Compress(c.b), Compress(c.a)};
        if (from == RANGE_SIGNED_RGB) return {c.r, c.g, c.b, Compress(c.a)};
        return {Clamp(c.r, -1, 1), Clamp(c.g, -1, 1), Clamp(c.b, -1, 1), Clamp(c.a, -1, 1)};
    case RANGE_FLOAT:
        break;
    }
    return c;
}

}  // namespace

RowCodec::RowCodec(const SurfaceDesc& desc, ChannelRange range, UINT bitsPerPixel)
    : format_(desc.Format),
      range_(range),
      bytesPerPixel_(bitsPerPixel / 8),
      gamma_(desc.Srgb != 0 && KeepsGamma(desc.Format, range)),
      colorKey_(desc.ColorKey) {
    const D3DBOX& box = desc.Box;
    block_.box = box;
    block_.width = box.Right - box.Left;
    block_.height = box.Bottom - box.Top;
    block_.depth = box.Back - box.Front;
    block_.rowPitch = desc.RowPitch;
    block_.slicePitch = desc.SlicePitch;
    block_.data = desc.Data;
    block_.thresholds = desc.Dither ? kOrderedThresholds : kPlainThresholds;
    if (bytesPerPixel_ != 0) {
        block_.data += static_cast<std::ptrdiff_t>(box.Left) * bytesPerPixel_ +
                       static_cast<std::ptrdiff_t>(box.Top) * desc.RowPitch +
                       static_cast<std::ptrdiff_t>(box.Front) * desc.SlicePitch;
        block_.box = {0, 0, block_.width, block_.height, 0, block_.depth};
    }
    colorKeyValue_ = {static_cast<float>((colorKey_ >> 16) & 0xFF) / 255.0f,
                      static_cast<float>((colorKey_ >> 8) & 0xFF) / 255.0f,
                      static_cast<float>(colorKey_ & 0xFF) / 255.0f,
                      static_cast<float>(colorKey_ >> 24) / 255.0f};
    if (desc.DiffusionDither) errorCarryRow_.assign(std::size_t{block_.width} + 2, FloatColor{});
}

FloatColor* RowCodec::ConversionRow() {
    if (conversionRow_ == nullptr) {
        conversionStorage_.assign(std::max<std::size_t>(block_.width, 1), FloatColor{});
        conversionRow_ = conversionStorage_.data();
    }
    return conversionRow_;
}

void RowCodec::AttachSource(RowCodec& source) {
    if (source.range_ != range_ && range_ != RANGE_FLOAT) incomingRange_ = source.range_;
    if (incomingRange_ == 0 && !gamma_) return;
    ConversionRow();
    if (gamma_ && source.gamma_) bothGamma_ = source.bothGamma_ = true;
}

FloatColor* RowCodec::ConvertRangeRow(const FloatColor* row) {
    FloatColor* out = ConversionRow();
    for (UINT x = 0; x < block_.width; ++x) out[x] = ConvertRange(row[x], incomingRange_, range_);
    return out;
}

FloatColor* RowCodec::GammaEncodeRow(const FloatColor* row) {
    FloatColor* out = ConversionRow();
    const bool unbounded = range_ == RANGE_FLOAT;
    auto curve = bothGamma_ ? SquareRootEncodeValue : GammaEncodeValue;
    for (UINT x = 0; x < block_.width; ++x) {
        FloatColor c = row[x];
        if (range_ == RANGE_SIGNED_RGB) {
            c.a = curve(c.a, unbounded);
        } else {
            c.r = curve(c.r, unbounded);
            c.g = curve(c.g, unbounded);
            c.b = curve(c.b, unbounded);
        }
        out[x] = c;
    }
    return out;
}

void RowCodec::GammaDecodeRow(FloatColor* row) const {
    const bool unbounded = range_ == RANGE_FLOAT;
    auto curve = bothGamma_ ? SquareDecodeValue : GammaDecodeValue;
    for (UINT x = 0; x < block_.width; ++x) {
        FloatColor& c = row[x];
        if (range_ == RANGE_SIGNED_RGB) {
            c.a = curve(c.a, unbounded);
        } else {
            c.r = curve(c.r, unbounded);
            c.g = curve(c.g, unbounded);
            c.b = curve(c.b, unbounded);
        }
    }
}

void RowCodec::ApplyColorKey(FloatColor* row) const {
    for (UINT x = 0; x < block_.width; ++x) {
        if (row[x] == colorKeyValue_) row[x] = FloatColor{};
    }
}

void RowCodec::BuildPalette(const SurfaceDesc& desc) {
    palette_.assign(256, FloatColor{1.0f, 1.0f, 1.0f, 1.0f});
    if (desc.Palette == nullptr) return;
    // Each entry is four bytes: red, green, blue, flags (the alpha).
    const BYTE* entry = reinterpret_cast<const BYTE*>(desc.Palette);
    for (FloatColor& c : palette_) {
        c = {entry[0] / 255.0f, entry[1] / 255.0f, entry[2] / 255.0f, entry[3] / 255.0f};
        entry += 4;
    }
}

void RowCodec::AddDiffusedError(FloatColor* row) {
    FloatColor* carry = errorCarryRow_.data();
    for (UINT x = 0; x < block_.width; ++x) row[x] += carry[x + 1];
    std::fill(errorCarryRow_.begin(), errorCarryRow_.end(), FloatColor{});
}

FloatColor* RowCodec::PrepareEncodeInput(FloatColor* in) {
    if (incomingRange_ != 0) in = ConvertRangeRow(in);
    if (gamma_) in = GammaEncodeRow(in);
    return in;
}

void RowCodec::FinishDecode(FloatColor* out) const {
    if (colorKey_ != 0) ApplyColorKey(out);
    if (gamma_) GammaDecodeRow(out);
}

bool RowCodec::PlainThresholds() const { return block_.thresholds == kPlainThresholds; }

const float* RowCodec::ThresholdRow(UINT y) const { return block_.thresholds[y & 3]; }

// The key is encoded into and decoded from a one-pixel scratch block, so it
// takes the value a stored pixel of the same colour decodes to. The
// comparison happens on stored values, before gamma decoding, so gamma is
// kept out of this round trip.
void RowCodec::PrepareColorKey() {
    const BlockState savedBlock = block_;
    const D3DCOLOR savedKey = colorKey_;
    const bool savedGamma = gamma_;
    const bool savedBothGamma = bothGamma_;
    const ChannelRange savedIncoming = incomingRange_;
    FloatColor* const savedConversion = conversionRow_;
    std::vector<FloatColor> savedCarry;
    savedCarry.swap(errorCarryRow_);

    std::memset(scratch_, 0, sizeof scratch_);
    block_.data = scratch_;
    block_.box = {0, 0, 1, 1, 0, 1};
    block_.width = block_.height = block_.depth = 1;
    block_.thresholds = kPlainThresholds;
    colorKey_ = 0;
    gamma_ = bothGamma_ = false;
    FloatColor key = colorKeyValue_;
    conversionRow_ = &key;
    if (range_ != RANGE_UNSIGNED && range_ != RANGE_FLOAT) {
        incomingRange_ = RANGE_UNSIGNED;
        ConvertRangeRow(&key);
    }
    incomingRange_ = static_cast<ChannelRange>(0);
    EncodeRow(0, 0, &key);
    DecodeRow(0, 0, &key);
    colorKeyValue_ = key;

    block_ = savedBlock;
    colorKey_ = savedKey;
    gamma_ = savedGamma;
    bothGamma_ = savedBothGamma;
    incomingRange_ = savedIncoming;
    conversionRow_ = savedConversion;
    errorCarryRow_.swap(savedCarry);
}

}  // namespace quillmark
