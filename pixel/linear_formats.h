// The fixed-size integer pixel layouts, one struct per format family, and
// the codec class that runs them. A field's slot is the FloatColor value it
// carries (SLOT_L: luminance, decoded into R, G and B and encoded from their
// weighted sum); slots without a field take kDefaults on decode.
#pragma once

#include "pixel/linear_layout.h"

namespace quillmark {

namespace layout {

using F = Field;
inline constexpr FloatColor kOnes = {1.0f, 1.0f, 1.0f, 1.0f};

template <int Bytes, ChannelRange Range, std::size_t N, std::array<Field, N> Fields, FloatColor Defaults = kOnes,
          bool UnitVector = false>
struct Layout {
    static constexpr int kBytes = Bytes;
    static constexpr ChannelRange kRange = Range;
    static constexpr std::array<Field, N> kFields = Fields;
    static constexpr FloatColor kDefaults = Defaults;
    static constexpr bool kUnitVector = UnitVector;
};

constexpr F U(int slot, int shift, int bits) { return {slot, shift, bits, false}; }
constexpr F S(int slot, int shift, int bits) { return {slot, shift, bits, true}; }

constexpr FloatColor kBlackAlpha = {0.0f, 0.0f, 0.0f, 1.0f};
constexpr auto UN = RANGE_UNSIGNED;
constexpr auto SR = RANGE_SIGNED_RGB;
constexpr auto SG = RANGE_SIGNED;

// clang-format off
using R8G8B8       = Layout<3, UN, 3, std::array{U(SLOT_B, 0, 8), U(SLOT_G, 8, 8), U(SLOT_R, 16, 8)}>;
using A8R8G8B8     = Layout<4, UN, 4, std::array{U(SLOT_B, 0, 8), U(SLOT_G, 8, 8), U(SLOT_R, 16, 8), U(SLOT_A, 24, 8)}>;
using X8R8G8B8     = Layout<4, UN, 3, std::array{U(SLOT_B, 0, 8), U(SLOT_G, 8, 8), U(SLOT_R, 16, 8)}>;
using A8B8G8R8     = Layout<4, UN, 4, std::array{U(SLOT_R, 0, 8), U(SLOT_G, 8, 8), U(SLOT_B, 16, 8), U(SLOT_A, 24, 8)}>;
using X8B8G8R8     = Layout<4, UN, 3, std::array{U(SLOT_R, 0, 8), U(SLOT_G, 8, 8), U(SLOT_B, 16, 8)}>;
using R5G6B5       = Layout<2, UN, 3, std::array{U(SLOT_B, 0, 5), U(SLOT_G, 5, 6), U(SLOT_R, 11, 5)}>;
using X1R5G5B5     = Layout<2, UN, 3, std::array{U(SLOT_B, 0, 5), U(SLOT_G, 5, 5), U(SLOT_R, 10, 5)}>;
using A1R5G5B5     = Layout<2, UN, 4, std::array{U(SLOT_B, 0, 5), U(SLOT_G, 5, 5), U(SLOT_R, 10, 5), U(SLOT_A, 15, 1)}>;
using A4R4G4B4     = Layout<2, UN, 4, std::array{U(SLOT_B, 0, 4), U(SLOT_G, 4, 4), U(SLOT_R, 8, 4), U(SLOT_A, 12, 4)}>;
using X4R4G4B4     = Layout<2, UN, 3, std::array{U(SLOT_B, 0, 4), U(SLOT_G, 4, 4), U(SLOT_R, 8, 4)}>;
using R3G3B2       = Layout<1, UN, 3, std::array{U(SLOT_B, 0, 2), U(SLOT_G, 2, 3), U(SLOT_R, 5, 3)}>;
using A8R3G3B2     = Layout<2, UN, 4, std::array{U(SLOT_B, 0, 2), U(SLOT_G, 2, 3), U(SLOT_R, 5, 3), U(SLOT_A, 8, 8)}>;
using A8           = Layout<1, UN, 1, std::array{U(SLOT_A, 0, 8)}, kBlackAlpha>;
using A2B10G10R10  = Layout<4, UN, 4, std::array{U(SLOT_R, 0, 10), U(SLOT_G, 10, 10), U(SLOT_B, 20, 10), U(SLOT_A, 30, 2)}>;
using A2R10G10B10  = Layout<4, UN, 4, std::array{U(SLOT_B, 0, 10), U(SLOT_G, 10, 10), U(SLOT_R, 20, 10), U(SLOT_A, 30, 2)}>;
using G16R16       = Layout<4, UN, 2, std::array{U(SLOT_R, 0, 16), U(SLOT_G, 16, 16)}>;
using A16B16G16R16 = Layout<8, UN, 4, std::array{U(SLOT_R, 0, 16), U(SLOT_G, 16, 16), U(SLOT_B, 32, 16), U(SLOT_A, 48, 16)}>;
using L8           = Layout<1, UN, 1, std::array{U(SLOT_L, 0, 8)}>;
using A8L8         = Layout<2, UN, 2, std::array{U(SLOT_L, 0, 8), U(SLOT_A, 8, 8)}>;
using A4L4         = Layout<1, UN, 2, std::array{U(SLOT_L, 0, 4), U(SLOT_A, 4, 4)}>;
using L16          = Layout<2, UN, 1, std::array{U(SLOT_L, 0, 16)}>;
using AL16         = Layout<4, UN, 2, std::array{U(SLOT_L, 0, 16), U(SLOT_A, 16, 16)}>;
using R16          = Layout<6, UN, 3, std::array{U(SLOT_B, 0, 16), U(SLOT_G, 16, 16), U(SLOT_R, 32, 16)}>;
using V8U8         = Layout<2, SR, 2, std::array{S(SLOT_R, 0, 8), S(SLOT_G, 8, 8)}>;
using L6V5U5       = Layout<2, SR, 3, std::array{S(SLOT_R, 0, 5), S(SLOT_G, 5, 5), U(SLOT_A, 10, 6)}>;
using X8L8V8U8     = Layout<4, SR, 3, std::array{S(SLOT_R, 0, 8), S(SLOT_G, 8, 8), U(SLOT_A, 16, 8)}>;
using V16U16       = Layout<4, SR, 2, std::array{S(SLOT_R, 0, 16), S(SLOT_G, 16, 16)}>;
using A2W10V10U10  = Layout<4, SR, 4, std::array{S(SLOT_R, 0, 10), S(SLOT_G, 10, 10), S(SLOT_B, 20, 10), U(SLOT_A, 30, 2)}>;
using CxV8U8       = Layout<2, SR, 2, std::array{S(SLOT_R, 0, 8), S(SLOT_G, 8, 8)}, kOnes, true>;
using Q8W8V8U8     = Layout<4, SG, 4, std::array{S(SLOT_R, 0, 8), S(SLOT_G, 8, 8), S(SLOT_B, 16, 8), S(SLOT_A, 24, 8)}>;
using Q16W16V16U16 = Layout<8, SG, 4, std::array{S(SLOT_R, 0, 16), S(SLOT_G, 16, 16), S(SLOT_B, 32, 16), S(SLOT_A, 48, 16)}>;
// clang-format on

}  // namespace layout

// One integer format: whole rows through the layout's loops.
template <class L>
class LinearCodec final : public RowCodec {
public:
    explicit LinearCodec(const SurfaceDesc& desc) : RowCodec(desc, L::kRange, L::kBytes * 8) {}

    HRESULT DecodeRow(UINT y, UINT z, FloatColor* out) override {
        layout::DecodePixels<L>(RowAddress(y, z), out, Width());
        FinishDecode(out);
        return S_OK;
    }

    HRESULT EncodeRow(UINT y, UINT z, FloatColor* in) override {
        constexpr auto seq = std::make_index_sequence<L::kFields.size()>{};
        in = PrepareEncodeInput(in);
        FloatColor* carry = CarryRow();
        if (carry != nullptr) AddDiffusedError(in);
        if (carry == nullptr && PlainThresholds()) {
            layout::EncodePlain<L>(RowAddress(y, z), in, Width(), seq);
        } else if (carry == nullptr) {
            layout::EncodeOrdered<L>(RowAddress(y, z), in, Width(), y, z, ThresholdRow(y), seq);
        } else {
            layout::EncodeDithered<L>(RowAddress(y, z), in, Width(), y, z, ThresholdRow(y), carry, seq);
        }
        return S_OK;
    }
};

}  // namespace quillmark
