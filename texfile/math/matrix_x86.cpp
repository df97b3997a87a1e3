// Processor-specific implementations: the plain-x86 normalisation with its
// reciprocal-square-root segment table, and the SSE matrix product.
#include "texfile/math/math_dispatch.h"

#include <array>
#include <bit>
#include <cmath>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace quillmark::math_impl {
namespace {

struct Segment {
    float slope;
    float offset;
};

// The segments whose lines are fixed numbers: the first, the first of
// [1, 2) and the last.
struct FixedSegment {
    unsigned index;
    Segment segment;
};
constexpr FixedSegment kFixedSegments[] = {
    {0, {-1.4101f, 2.11926f}},
    {256, {-0.49854f, 1.49854f}},
    {511, {-0.17703f, 1.06117f}},
};

// 512 lines approximating 1/sqrt(m): segments 0-255 split [0.5, 1), 256-511
// split [1, 2), each in 256 equal steps. The fixed segments hold their
// numbers; every other line is the chord meeting the curve at both ends of
// its segment.
std::array<Segment, 512> BuildRsqrtTable() {
    std::array<Segment, 512> table{};
    for (unsigned i = 0; i < 512; ++i) {
        const double start = i < 256 ? 0.5 : 1.0;
        const double step = start / 256.0;
        const double a = start + (i % 256) * step;
        const double b = a + step;
        const double fa = 1.0 / std::sqrt(a), fb = 1.0 / std::sqrt(b);
        const double slope = (fb - fa) / (b - a);
        table[i] = {static_cast<float>(slope), static_cast<float>(fa - slope * a)};
    }
    for (const FixedSegment& fixed : kFixedSegments) table[fixed.index] = fixed.segment;
    return table;
}

const std::array<Segment, 512>& RsqrtTable() {
    static const std::array<Segment, 512> table = BuildRsqrtTable();
    return table;
}

// Approximate 1/sqrt(value) for a positive normal float.
float ApproximateRsqrt(float value) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    const Segment& segment = RsqrtTable()[(bits >> 15) & 0x1FF];
    const float mantissa = std::bit_cast<float>((bits & 0x00FFFFFFu) | 0x3F000000u);
    const float factor = std::bit_cast<float>(((0xBEFFFFFFu - bits) >> 1) & 0xFF800000u);
    return (mantissa * segment.slope + segment.offset) * factor;
}

}  // namespace

void RsqrtSegment(unsigned index, float* slope, float* offset) {
    const Segment& segment = RsqrtTable()[index & 0x1FF];
    *slope = segment.slope;
    *offset = segment.offset;
}

Vector3* NormalizePlainX86(Vector3* out, const Vector3* v) {
    const float x = v->x, y = v->y, z = v->z;
    const float lengthSquared = x * x + y * y + z * z;
    if (lengthSquared == 0.0f) {
        *out = {0.0f, 0.0f, 0.0f};
    } else if (std::fabs(lengthSquared - 1.0f) <= 1e-5f) {
        *out = {x, y, z};
    } else {
        const float scale = ApproximateRsqrt(lengthSquared);
        *out = {x * scale, y * scale, z * scale};
    }
    return out;
}

Matrix* MultiplySse(Matrix* out, const Matrix* a, const Matrix* b) {
#if defined(__SSE__)
    const __m128 b0 = _mm_loadu_ps(b->m[0]), b1 = _mm_loadu_ps(b->m[1]);
    const __m128 b2 = _mm_loadu_ps(b->m[2]), b3 = _mm_loadu_ps(b->m[3]);
    __m128 rows[4];
    for (int i = 0; i < 4; ++i) {
        // Same operation order as the portable product: ((a0·b0 + a1·b1) + a2·b2) + a3·b3.
        __m128 sum = _mm_mul_ps(_mm_set1_ps(a->m[i][0]), b0);
        sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(a->m[i][1]), b1));
        sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(a->m[i][2]), b2));
        rows[i] = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(a->m[i][3]), b3));
    }
    for (int i = 0; i < 4; ++i) _mm_storeu_ps(out->m[i], rows[i]);
    return out;
#else
    return MultiplyPortable(out, a, b);
#endif
}

}  // namespace quillmark::math_impl
