// Limits every reader and writer applies to what a file claims, and the
// overflow-checked size arithmetic they use. Sizes are computed in 64 bits
// and refused when they pass the limits, so that no product of header fields
// can wrap around before it is used for an allocation or a bounds check.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillmark {

// Largest width or height of a decoded image, in pixels.
inline constexpr std::uint64_t kMaxImageDimension = 32768;

// Largest pixel block a reader allocates or a writer emits, in bytes (1 GiB).
inline constexpr std::uint64_t kMaxImageBytes = std::uint64_t{1} << 30;

// `value` rounded up to a multiple of 4.
constexpr std::uint64_t RoundUpTo4(std::uint64_t value) { return (value + 3) & ~std::uint64_t{3}; }

// True when a width and height are both within 1 .. kMaxImageDimension.
constexpr bool IsSaneImageSize(std::uint64_t width, std::uint64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxImageDimension && height <= kMaxImageDimension;
}

// True when `rows` rows of `rowBytes` bytes stay within kMaxImageBytes; the
// product is formed only when it cannot wrap.
constexpr bool FitsImageBytes(std::uint64_t rowBytes, std::uint64_t rows) {
    return rowBytes <= kMaxImageBytes && rows <= kMaxImageBytes && rowBytes * rows <= kMaxImageBytes;
}

}  // namespace quillmark
