// A triangle's rows: the spans of successive rows walked exactly along two
// of its edges, in integers.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "devices/software/rasterizer.h"
#include "devices/software/triangle_setup.h"

namespace quillmark::software {
namespace {

inline std::int64_t FloorDiv(std::int64_t n, std::int64_t d) {  // d > 0
    return n >= 0 ? n / d : -((-n + d - 1) / d);
}

constexpr RowSpan kEmptySpan{1, 0};

// The spans of successive rows by two of the triangle's edges. Each edge
// function is linear in x, so its inequality a·x + k ≥ 0 (k = b·y + c)
// solves exactly in integers: for a > 0 the first pixel is -floor(k / a),
// for a < 0 the last is floor(k / -a). The quotient and remainder of k by
// |a| are stepped from row to row without dividing.
class RowWalk {
public:
    static constexpr std::size_t kEdges = 2;

    // The walk of the edges `which` from row y.
    RowWalk(const TriangleSetup& t, const std::array<int, kEdges>& which, int y) {
        for (std::size_t e = 0; e < kEdges; ++e) {
            Edge& edge = edges_[e];
            const auto index = std::size_t(which[e]);
            const std::int64_t a = t.edgeA[index], b = t.edgeB[index];
            const std::int64_t k = b * y + t.edgeC[index];
            edge.sign = a > 0 ? 1 : a < 0 ? -1 : 0;
            edge.divisor = edge.sign ? (a > 0 ? a : -a) : 1;
            edge.quotient = FloorDiv(k, edge.divisor);
            edge.remainder = k - edge.quotient * edge.divisor;
            edge.stepQuotient = FloorDiv(b, edge.divisor);
            edge.stepRemainder = b - edge.stepQuotient * edge.divisor;
        }
    }

    // The spans of `rows` rows from the current one within [left, right),
    // walked with the edges' signs fixed.
    void Spans(int left, int right, int rows, RowSpan* out);

private:
    struct Edge {
        int sign;
        std::int64_t divisor, quotient, remainder, stepQuotient, stepRemainder;
    };

    // One edge's bound on the current row, then the edge on to the next
    // row: a > 0 bounds the span on the left, a < 0 on the right, and
    // a = 0 keeps or empties the whole row.
    template <int sign>
    [[gnu::always_inline]] static void Step(Edge& edge, std::int64_t& first, std::int64_t& last, bool& empty) {
        const std::int64_t quotient = edge.quotient;
        if constexpr (sign > 0) first = std::max(first, -quotient);
        if constexpr (sign < 0) last = std::min(last, quotient);
        if constexpr (sign == 0) empty = empty || quotient < 0;  // k itself when a = 0
        edge.remainder += edge.stepRemainder;
        const bool carry = edge.remainder >= edge.divisor;
        edge.quotient = quotient + edge.stepQuotient + std::int64_t{carry};
        edge.remainder -= carry ? edge.divisor : 0;
    }

    // The current row's span within [left, right), then on to the next row.
    template <int... signs>
    [[gnu::always_inline]] RowSpan Next(int left, int right) {
        std::int64_t first = left, last = right - 1;
        bool empty = false;
        std::size_t e = 0;
        (Step<signs>(edges_[e++], first, last, empty), ...);
        if (empty) return kEmptySpan;
        // Both ends stay within [left - 1, right] so that they convert exactly.
        first = std::min<std::int64_t>(first, right);
        last = std::max<std::int64_t>(last, left - 1);
        return {int(first), int(last)};
    }

    template <int... signs>
    static void Walk(RowWalk& walk, int left, int right, int rows, RowSpan* out) {
        for (int r = 0; r < rows; ++r) out[r] = walk.Next<signs...>(left, right);
    }

    // Walk for each of the 9 pairs of signs, indexed 3 (sign0 + 1) +
    // sign1 + 1.
    using Walker = void (*)(RowWalk&, int, int, int, RowSpan*);
    static constexpr std::size_t kSignCombinations = 9;
    template <std::size_t... index>
    static constexpr std::array<Walker, sizeof...(index)> Walkers(std::index_sequence<index...>) {
        return {Walk<int(index / 3) - 1, int(index % 3) - 1>...};
    }

    std::array<Edge, kEdges> edges_;
};

inline void RowWalk::Spans(int left, int right, int rows, RowSpan* out) {
    static constexpr std::array<Walker, kSignCombinations> kWalkers =
        Walkers(std::make_index_sequence<kSignCombinations>());
    kWalkers[std::size_t(3 * (edges_[0].sign + 1) + edges_[1].sign + 1)](*this, left, right, rows, out);
}

}  // namespace
}  // namespace quillmark::software
