// Direct row conversions. For each destination field the source field of
// the same slot (luminance standing for red, green and blue) is found at
// compile time; the field then moves as bits where the widths agree, else
// through a table of the 2^n rounded results; luminance made of red, green
// and blue is weighed as the general path weighs it. Where the processor
// has the lanes, pixels of 2 and 4 bytes (and of 3 bytes weighed into
// luminance) go four at a time, each field decoded and rounded in float
// lanes with the general path's operations. Slots the source lacks take its
// defaults. Other sources of 16-bit fields run the general path's decode
// and rounding loops over stretches of pixels.
#include "pixel/direct_rows.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <tuple>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "pixel/linear_formats.h"
#include "platform/processor/processor_features.h"

namespace quillmark {

namespace {

using namespace layout;

// The index of the source field that carries `slot` on decode, or -1.
template <class S>
constexpr int SourceFieldOf(int slot) {
    for (std::size_t i = 0; i < S::kFields.size(); ++i)
        if (S::kFields[i].slot == slot) return static_cast<int>(i);
    if (slot == SLOT_R || slot == SLOT_G || slot == SLOT_B)
        for (std::size_t i = 0; i < S::kFields.size(); ++i)
            if (S::kFields[i].slot == SLOT_L) return static_cast<int>(i);
    return -1;
}

template <Field F>
constexpr Field Unshifted() {
    return {F.slot, 0, F.bits, F.isSigned};
}

// Destination field values (unshifted) of every raw value of a source field
// of at most 8 bits: its decoded value rounded as the destination rounds.
template <Field From, Field To>
constexpr std::array<BYTE, (1u << From.bits)> MakeFieldTable() {
    std::array<BYTE, (1u << From.bits)> values{};
    for (std::uint32_t raw = 0; raw < values.size(); ++raw) {
        FloatColor c = {};
        StoreSlot<From>(c, DecodeField<Unshifted<From>()>(raw));
        values[raw] = static_cast<BYTE>(RoundField<Unshifted<To>(), std::uint32_t>(c));
    }
    return values;
}

template <Field From, Field To>
inline constexpr auto kFieldTable = MakeFieldTable<From, To>();

// Destination field To of source pixel `pixel` (layout S), in place.
template <class S, Field To, class W>
inline W DirectField(Word<S::kBytes> pixel) {
    constexpr auto seq = std::make_index_sequence<S::kFields.size()>{};
    constexpr int index = SourceFieldOf<S>(To.slot);
    if constexpr (To.slot == SLOT_L && (index < 0 || S::kFields[index].slot != SLOT_L)) {
        // Luminance weighs red, green and blue.
        return RoundField<To, W>(DecodeWord<S>(pixel, seq));
    } else if constexpr (index < 0) {
        return RoundField<To, W>(S::kDefaults);
    } else {
        constexpr Field from = S::kFields[index];
        constexpr auto mask = (std::uint64_t{1} << from.bits) - 1;
        const auto raw = static_cast<std::uint32_t>((pixel >> from.shift) & mask);
        if constexpr (from.bits == To.bits && To.slot != SLOT_L) {
            // Decoding and rounding again gives back the same value.
            return static_cast<W>(raw) << To.shift;
        } else {
            return static_cast<W>(kFieldTable<from, To>[raw]) << To.shift;
        }
    }
}

// A 3-byte pixel read as four bytes with the fourth masked off; the row's
// last pixel, whose fourth byte may lie outside it, is read byte by byte.
constexpr std::uint32_t kThreeBytes = 0x00FFFFFF;

template <class S, class D, std::size_t... I>
void ConvertRow(const BYTE* source, BYTE* destination, UINT width, std::index_sequence<I...>) {
    using W = Word<D::kBytes>;
    const auto convert = [&](UINT x, Word<S::kBytes> pixel) {
        Store<D::kBytes>(destination + std::size_t{x} * D::kBytes, (DirectField<S, D::kFields[I], W>(pixel) | ...));
    };
    UINT x = 0;
    if constexpr (S::kBytes == 3) {
        for (; x + 1 < width; ++x) convert(x, Load<4>(source + std::size_t{x} * 3) & kThreeBytes);
    }
    for (; x < width; ++x) convert(x, Load<S::kBytes>(source + std::size_t{x} * S::kBytes));
}

template <class S>
constexpr bool WideFields() {
    for (const Field& f : S::kFields)
        if (f.bits > 8) return true;
    return false;
}

// Sources of 16-bit fields decode a stretch of pixels and round it back, the
// general path's own loops without its row buffers; a narrower source goes
// field by field.
constexpr UINT kStretch = 256;

#if defined(__SSE2__)
// Whether destination field To is luminance weighed from red, green and blue.
template <class S, Field To>
constexpr bool WeighedLuminance() {
    const int index = SourceFieldOf<S>(To.slot);
    return To.slot == SLOT_L && (index < 0 || S::kFields[index].slot != SLOT_L);
}

// A field that lanes can carry: weighed luminance, a constant, or an
// unsigned source field of at most 16 bits, moved as bits where the widths
// agree and else decoded and rounded. Luminance into luminance of another
// width is not: the general path weighs the decoded value three times over.
template <class S, Field To>
constexpr bool LaneField() {
    const int index = SourceFieldOf<S>(To.slot);
    if (WeighedLuminance<S, To>() || index < 0) return true;
    const Field& from = S::kFields[index];
    return !from.isSigned && from.bits <= 16 && !(To.slot == SLOT_L && from.bits != To.bits);
}

template <class S, class D, std::size_t... I>
constexpr bool LaneFields(std::index_sequence<I...>) {
    return (LaneField<S, D::kFields[I]>() && ...);
}

// Four pixels a step, each field with the operations DecodeField, SlotValue
// and Pack take (or its bits moved where that gives the same): sources of 2
// or 4 bytes (16-bit fields included), and of 3 bytes where luminance is
// weighed (plain byte moves from 3 bytes are as fast one pixel at a time);
// destinations of 1, 2 or 4 bytes.
template <class S, class D>
constexpr bool PixelLanes() {
    constexpr bool weighs = D::kFields[0].slot == SLOT_L && SourceFieldOf<S>(SLOT_L) < 0;
    return !S::kUnitVector && (S::kBytes == 2 || S::kBytes == 4 || (S::kBytes == 3 && weighs)) && D::kBytes != 3 &&
           LaneFields<S, D>(std::make_index_sequence<D::kFields.size()>{});
}

template <class S, int Slot>
__m128 ChannelLanes(__m128i words) {
    constexpr int index = SourceFieldOf<S>(Slot);
    if constexpr (index < 0) {
        return _mm_set1_ps(SlotRef<Slot>(S::kDefaults));
    } else {
        constexpr Field f = S::kFields[index];
        const __m128i raw = _mm_and_si128(_mm_srli_epi32(words, f.shift), _mm_set1_epi32((1 << f.bits) - 1));
        return _mm_mul_ps(_mm_cvtepi32_ps(raw), _mm_set1_ps(UnsignedFactor<f.bits>()));
    }
}

// A value of field To rounded as RoundField rounds it, in place.
template <Field To>
__m128i RoundLanes(__m128 value) {
    const __m128 top = _mm_set1_ps(Scale<To>());
    __m128 v = _mm_add_ps(_mm_mul_ps(value, top), _mm_set1_ps(0.5f));
    v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), top);  // max(v, 0) takes 0 for NaN, as Pack does
    return _mm_slli_epi32(_mm_cvttps_epi32(v), To.shift);
}

// Destination field To of four pixels, in place.
template <class S, Field To>
__m128i FieldLanes(__m128i words) {
    constexpr int index = SourceFieldOf<S>(To.slot);
    if constexpr (WeighedLuminance<S, To>()) {
        return RoundLanes<To>(_mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(kLumaR), ChannelLanes<S, SLOT_R>(words)),
                                                    _mm_mul_ps(_mm_set1_ps(kLumaG), ChannelLanes<S, SLOT_G>(words))),
                                         _mm_mul_ps(_mm_set1_ps(kLumaB), ChannelLanes<S, SLOT_B>(words))));
    } else if constexpr (index < 0) {
        return _mm_set1_epi32(static_cast<int>(RoundField<To, std::uint32_t>(S::kDefaults)));
    } else if constexpr (S::kFields[index].bits != To.bits) {
        constexpr Field from = S::kFields[index];
        const __m128i raw = _mm_and_si128(_mm_srli_epi32(words, from.shift), _mm_set1_epi32((1 << from.bits) - 1));
        return RoundLanes<To>(_mm_mul_ps(_mm_cvtepi32_ps(raw), _mm_set1_ps(UnsignedFactor<from.bits>())));
    } else {
        constexpr Field from = S::kFields[index];
        const __m128i raw = _mm_and_si128(_mm_srli_epi32(words, from.shift), _mm_set1_epi32((1 << from.bits) - 1));
        return _mm_slli_epi32(raw, To.shift);
    }
}

// Four source pixels in 32-bit lanes; a 3-byte pixel read as four bytes
// masked, so pixel x + 4 must exist.
template <class S>
__m128i WordLanes(const BYTE* source) {
    if constexpr (S::kBytes == 4) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
    } else if constexpr (S::kBytes == 2) {
        return _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(source)), _mm_setzero_si128());
    } else {
        const auto word = [source](int i) { return static_cast<int>(Load<4>(source + 3 * i) & kThreeBytes); };
        return _mm_setr_epi32(word(0), word(1), word(2), word(3));
    }
}

// Four pixels of one, two or four bytes from their 32-bit lanes.
template <int Bytes>
void StoreLanes(BYTE* destination, __m128i pixels) {
    if constexpr (Bytes == 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination), pixels);
    } else if constexpr (Bytes == 1) {
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(pixels, pixels), _mm_setzero_si128());
        const auto four = static_cast<std::uint32_t>(_mm_cvtsi128_si32(bytes));
        std::memcpy(destination, &four, 4);
    } else {
        // Signed packing keeps 16-bit patterns when biased by 0x8000 and back.
        const __m128i bias = _mm_set1_epi32(0x8000);
        const __m128i halves = _mm_packs_epi32(_mm_sub_epi32(pixels, bias), _mm_setzero_si128());
        _mm_storel_epi64(reinterpret_cast<__m128i*>(destination), _mm_add_epi16(halves, _mm_set1_epi16(-0x8000)));
    }
}

template <class S, class D, std::size_t... I>
UINT LaneRow(const BYTE* source, BYTE* destination, UINT width, std::index_sequence<I...>) {
    UINT x = 0;
    for (; x + 4 + (S::kBytes == 3) <= width; x += 4) {
        const __m128i words = WordLanes<S>(source + std::size_t{x} * S::kBytes);
        StoreLanes<D::kBytes>(destination + std::size_t{x} * D::kBytes,
                              (FieldLanes<S, D::kFields[I]>(words) | ...));
    }
    return x;
}
#endif

template <class S, class D>
void DirectRow(const BYTE* source, BYTE* destination, UINT width, const BYTE*) {
    constexpr auto seq = std::make_index_sequence<D::kFields.size()>{};
#if defined(__SSE2__)
    if constexpr (PixelLanes<S, D>()) {
        if (processor::Allows(processor::kSse2)) {
            const UINT done = LaneRow<S, D>(source, destination, width, seq);
            ConvertRow<S, D>(source + std::size_t{done} * S::kBytes, destination + std::size_t{done} * D::kBytes,
                             width - done, seq);
            return;
        }
    }
#endif
    if constexpr (WideFields<S>()) {
        FloatColor stretch[kStretch];
        for (UINT x = 0; x < width; x += kStretch) {
            const UINT count = std::min(kStretch, width - x);
            DecodePixels<S>(source + std::size_t{x} * S::kBytes, stretch, count);
            EncodePlain<D>(destination + std::size_t{x} * D::kBytes, stretch, count, seq);
        }
    } else {
        ConvertRow<S, D>(source, destination, width, seq);
    }
}

// P8: every pixel is its palette entry, encoded once per conversion.
template <class D>
void EncodePalette(const FloatColor* palette, BYTE* table) {
    EncodePlain<D>(table, palette, kPaletteEntries, std::make_index_sequence<D::kFields.size()>{});
}

template <class D>
void PaletteRow(const BYTE* source, BYTE* destination, UINT width, const BYTE* table) {
    for (UINT x = 0; x < width; ++x) {
        const BYTE* entry = table + std::size_t{source[x]} * D::kBytes;
        Store<D::kBytes>(destination + std::size_t{x} * D::kBytes, Load<D::kBytes>(entry));
    }
}

// Whether every ordered-dither threshold rounds `value` into field F as
// plain rounding does.
template <Field F>
constexpr bool ThresholdsAgree(float value) {
    const auto plain = Pack<F, std::uint32_t>(value * Scale<F>() + 0.5f);
    for (const auto& row : kOrderedThresholds)
        for (const float t : row)
            if (Pack<F, std::uint32_t>(value * Scale<F>() + t) != plain) return false;
    return true;
}

// The same for every value of a source field decoded into field To.
template <Field From, Field To>
constexpr bool ThresholdsAgreeOnEveryValue() {
    for (std::uint32_t raw = 0; raw < (1u << From.bits); ++raw)
        if (!ThresholdsAgree<Unshifted<To>()>(DecodeField<Unshifted<From>()>(raw))) return false;
    return true;
}

template <Field From, Field To>
inline constexpr bool kThresholdsAgreeOnEveryValue = ThresholdsAgreeOnEveryValue<From, To>();

// Whether ordered dithering leaves destination field To as plain rounding
// leaves it: a field moved as bits whose every value the thresholds keep, or
// a constant they all round alike.
template <class S, Field To>
constexpr bool DitherFreeField() {
    constexpr int index = SourceFieldOf<S>(To.slot);
    if constexpr (To.slot == SLOT_L) {
        return false;
    } else if constexpr (index < 0) {
        return ThresholdsAgree<Unshifted<To>()>(SlotValue<To>(S::kDefaults));
    } else {
        constexpr Field from = S::kFields[index];
        if constexpr (from.bits != To.bits) return false;
        else return kThresholdsAgreeOnEveryValue<from, To>;
    }
}

template <class S, class D, std::size_t... I>
constexpr bool DitherFree(std::index_sequence<I...>) {
    return (DitherFreeField<S, D::kFields[I]>() && ...);
}

template <class S, class D>
constexpr bool DitherFree() {
    return DitherFree<S, D>(std::make_index_sequence<D::kFields.size()>{});
}

template <std::uint32_t F, class L>
struct Entry {
    static constexpr D3DFORMAT kFormat = static_cast<D3DFORMAT>(F);
    using Layout = L;
};

// clang-format off
using Destinations = std::tuple<
    Entry<D3DFMT_R8G8B8, R8G8B8>, Entry<D3DFMT_X8R8G8B8, X8R8G8B8>, Entry<D3DFMT_A8R8G8B8, A8R8G8B8>,
    Entry<D3DFMT_A8B8G8R8, A8B8G8R8>, Entry<D3DFMT_X8B8G8R8, X8B8G8R8>, Entry<D3DFMT_R5G6B5, R5G6B5>,
    Entry<D3DFMT_X1R5G5B5, X1R5G5B5>, Entry<D3DFMT_A1R5G5B5, A1R5G5B5>, Entry<D3DFMT_A4R4G4B4, A4R4G4B4>,
    Entry<D3DFMT_L8, L8>, Entry<D3DFMT_A8L8, A8L8>>;
using WideSources = std::tuple<
    Entry<D3DFMT_A16B16G16R16, A16B16G16R16>, Entry<D3DFMT_G16R16, G16R16>, Entry<D3DFMT_L16, L16>,
    Entry<FORMAT_AL16, AL16>, Entry<FORMAT_R16, R16>>;
// clang-format on

template <class S, class... D>
DirectConversion FindDestination(D3DFORMAT destination, std::tuple<D...>*) {
    DirectConversion found = {};
    (void)((destination == D::kFormat &&
            (found = {DirectRow<typename S::Layout, typename D::Layout>, nullptr,
                      DitherFree<typename S::Layout, typename D::Layout>()},
             true)) ||
           ...);
    return found;
}

template <class... D>
DirectConversion FindPaletteDestination(D3DFORMAT destination, std::tuple<D...>*) {
    DirectConversion found = {};
    (void)((destination == D::kFormat &&
            (found = {PaletteRow<typename D::Layout>, EncodePalette<typename D::Layout>, false}, true)) ||
           ...);
    return found;
}

template <class... S>
DirectConversion FindSource(D3DFORMAT source, D3DFORMAT destination, std::tuple<S...>*) {
    DirectConversion found = {};
    (void)((source == S::kFormat && (found = FindDestination<S>(destination, static_cast<Destinations*>(nullptr)), true)) ||
           ...);
    return found;
}

}  // namespace

DirectConversion FindDirectConversion(D3DFORMAT source, D3DFORMAT destination) {
    if (source == D3DFMT_P8) return FindPaletteDestination(destination, static_cast<Destinations*>(nullptr));
    const DirectConversion narrow = FindSource(source, destination, static_cast<Destinations*>(nullptr));
    if (narrow.row != nullptr) return narrow;
    return FindSource(source, destination, static_cast<WideSources*>(nullptr));
}

}  // namespace quillmark
