// Choosing a pixel format from the format table: the closeness score between
// two rows, the closest format of a list, and the mapping of the library's
// private 16-bit formats onto device formats.
#pragma once

#include "pixel/pixel_format.h"

#include <cstdint>

namespace quillmark {

// Score that marks a candidate as unusable.
inline constexpr std::uint32_t kUnusableScore = 0xFFFFFFFFu;

// Lower is better: missing channels weigh most, then lost bits, then surplus
// channels, then surplus bits. kUnusableScore when the kinds do not mix or
// no wanted channel survives.
std::uint32_t FormatMatchScore(const PixelFormatInfo& wanted, const PixelFormatInfo& candidate);

// The list and device searches share this step: take `candidate` when it
// scores better, or equal with strictly fewer bits per pixel.
struct BestMatch {
    const PixelFormatInfo* row = &UnknownPixelFormat;
    std::uint32_t score = kUnusableScore;

    void Offer(const PixelFormatInfo& wanted, const PixelFormatInfo& candidate);
    D3DFORMAT Format() const { return static_cast<D3DFORMAT>(row->format); }
};

// The closest format of a zero-terminated list (the wanted id itself when
// listed); palettized candidates only when `allowPalettized`. 0 when none fits.
D3DFORMAT MatchFormatInList(const D3DFORMAT* list, BOOL allowPalettized, const PixelFormatInfo& wanted);

// FORMAT_AL16 becomes D3DFMT_A8L8 and FORMAT_R16 D3DFMT_R8G8B8; any other id
// is returned unchanged.
D3DFORMAT MapInternalFormat(D3DFORMAT format);

}  // namespace quillmark
