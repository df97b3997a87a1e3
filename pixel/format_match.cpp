#include "pixel/format_match.h"

namespace quillmark {
namespace {

constexpr std::uint32_t kSurplusChannel = 0x100;
constexpr std::uint32_t kMissingChannel = 0x1000000;

void ScoreChannel(std::uint32_t wanted, std::uint32_t candidate, std::uint32_t& score, std::uint32_t& present) {
    if (wanted > 0) ++present;
    if (wanted < candidate) score += wanted == 0 ? kSurplusChannel : candidate - wanted;
    else if (wanted > candidate) score += candidate == 0 ? kMissingChannel : (wanted - candidate) << 16;
}

bool IsInTable(const PixelFormatInfo& row) { return &row != &UnknownPixelFormat; }

}  // namespace

void BestMatch::Offer(const PixelFormatInfo& wanted, const PixelFormatInfo& candidate) {
    const std::uint32_t s = FormatMatchScore(wanted, candidate);
    if (s == kUnusableScore || s > score) return;
    if (s == score && candidate.bitsPerPixel >= row->bitsPerPixel) return;
    row = &candidate;
    score = s;
}

std::uint32_t FormatMatchScore(const PixelFormatInfo& wanted, const PixelFormatInfo& candidate) {
    if (wanted.kind >= PIXEL_KIND_COUNT || candidate.kind >= PIXEL_KIND_COUNT) return kUnusableScore;
    if (!KindCompatibility[wanted.kind][candidate.kind]) return kUnusableScore;
    std::uint32_t score = 0;
    std::uint32_t present = 0;
    ScoreChannel(wanted.extraBits, candidate.extraBits, score, present);
    ScoreChannel(wanted.alphaBits, candidate.alphaBits, score, present);
    ScoreChannel(wanted.redBits, candidate.redBits, score, present);
    ScoreChannel(wanted.greenBits, candidate.greenBits, score, present);
    ScoreChannel(wanted.blueBits, candidate.blueBits, score, present);
    return (score >> 24) == present ? kUnusableScore : score;
}

D3DFORMAT MatchFormatInList(const D3DFORMAT* list, BOOL allowPalettized, const PixelFormatInfo& wanted) {
    BestMatch best;
    for (; list != nullptr && *list != 0; ++list) {
        const PixelFormatInfo& row = LookupPixelFormat(*list);
        if (!IsInTable(row)) continue;
        if (row.kind == PIXEL_KIND_PALETTIZED && !allowPalettized) continue;
        if (row.format == wanted.format) return *list;
        best.Offer(wanted, row);
    }
    return best.Format();
}

D3DFORMAT MapInternalFormat(D3DFORMAT format) {
    if (format == FORMAT_AL16) return D3DFMT_A8L8;
    if (format == FORMAT_R16) return D3DFMT_R8G8B8;
    return format;
}

}  // namespace quillmark
