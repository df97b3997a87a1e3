// Scanning the text headers of the portable maps and Radiance HDR files:
// lines that must end within a bound, whitespace, unsigned decimals (no sign)
// and decimal numbers. Independent of the C locale.
#pragma once

#include "platform/win32/wintypes.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillmark::header_text {

// Longest header line a reader looks at, line feed included.
inline constexpr std::size_t kMaxLine = 256;

// The line at `text` without its line feed, when a line feed lies within the
// first min(available, kMaxLine) bytes; empty when none does or the line is
// empty (an empty line counts as missing).
std::string_view Line(const BYTE* text, std::size_t available);

// True for the C locale's whitespace: space, \t, \n, \v, \f, \r.
constexpr bool IsSpace(BYTE c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Drops leading whitespace.
void SkipSpaces(std::string_view& text);

// Takes an unsigned decimal after optional whitespace; false when there is no
// digit (a sign is not one) or the value does not fit in 64 bits.
bool TakeUnsigned(std::string_view& text, std::uint64_t& value);

// Takes a decimal number (optionally signed, with fraction and exponent, or
// inf or nan) after optional whitespace; false when there is none.
bool TakeFloat(std::string_view& text, float& value);

// True when nothing but whitespace is left.
bool OnlySpacesLeft(std::string_view text);

}  // namespace quillmark::header_text
