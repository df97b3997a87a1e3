// Rows of a large block shared out among the machine's cores. The rows
// [0, count) are cut into consecutive bands, one per core and none smaller
// than a minimum, and work(first, last) runs once for each band: the last
// on the calling thread, the others on threads of their own (on the calling
// thread too when one cannot be started). Each call of `work` must write
// only the rows of its band, so that the result does not depend on how the
// rows were cut.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/win32/wintypes.h"

namespace quillmark {

// Pixels of work below which a band is not worth a thread.
inline constexpr std::uint64_t kBandPixelsMin = 128 * 1024;

// The cores bands are shared among (at least 1), asked once.
UINT BandThreads();

// The fewest rows a band gets when each row is `pixelsPerRow` pixels of work.
inline UINT BandRowsMin(std::uint64_t pixelsPerRow) {
    const std::uint64_t rows = (kBandPixelsMin + pixelsPerRow - 1) / std::max<std::uint64_t>(pixelsPerRow, 1);
    return static_cast<UINT>(std::min<std::uint64_t>(rows, std::numeric_limits<UINT>::max()));
}

template <class Work>
void ForEachRowBand(UINT count, UINT minRows, const Work& work) {
    const UINT bands = std::clamp(count / std::max(minRows, 1u), 1u, BandThreads());
    std::vector<std::jthread> helpers;
    helpers.reserve(bands - 1);
    UINT first = 0;
    for (UINT band = 1; band < bands; ++band) {
        const auto last = static_cast<UINT>(std::uint64_t{count} * band / bands);
        try {
            helpers.emplace_back([&work, first, last] { work(first, last); });
        } catch (const std::system_error&) {
            work(first, last);
        }
        first = last;
    }
    work(first, count);
}

}  // namespace quillmark
