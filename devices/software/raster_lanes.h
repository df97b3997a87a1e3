// The rasteriser's lanes: how a chunk's pixels sit in them, W floats or
// integers handled as one value (portable vector types, whose every
// operation is the IEEE operation of each lane), and the depth and
// texture-coordinate planes evaluated a chunk at a time.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "devices/software/kernel_arch.h"
#include "devices/software/triangle_setup.h"
#if defined(QUILLMARK_X86_KERNELS)
#include "devices/software/raster_lanes_128.h"
#endif

namespace quillmark::software {
namespace {

// A quad row is two pixel rows from an even y; its 2 x 2 quads sit at even
// x. A triangle is walked quad row by quad row, and each row's quads a
// chunk at a time: two quads side by side in 8 lanes with AVX2, one quad in
// 4 lanes otherwise. Lane 4q + 2j + i holds pixel i across and j down in
// quad q of the chunk, so that quad q's lanes are 4q .. 4q + 3 in the
// quad's own pixel order and bit l of a chunk mask is lane l. Every value
// is per pixel or per quad from its own position, so the grouping changes
// no result.
constexpr int kQuadLanes = 4;
constexpr int kMaxChunkLanes = 8;
constexpr unsigned kFullQuad = 0xF;

// The lanes of a chunk on the path of lane width W.
template <int W>
inline constexpr int kChunkLanes = W > kQuadLanes ? W : kQuadLanes;
template <int W>
inline constexpr int kChunkQuads = kChunkLanes<W> / kQuadLanes;

constexpr int QuadX(int lane) { return 2 * (lane >> 2); }
constexpr int InQuadX(int lane) { return lane & 1; }
constexpr int InQuadY(int lane) { return (lane >> 1) & 1; }
constexpr int PixelX(int lane) { return QuadX(lane) + InQuadX(lane); }

template <class T, int (*offset)(int)>
constexpr std::array<T, kMaxChunkLanes> LaneTable() {
    std::array<T, kMaxChunkLanes> table{};
    for (int lane = 0; lane < kMaxChunkLanes; ++lane) table[std::size_t(lane)] = T(offset(lane));
    return table;
}

// Each lane's offsets from the chunk's top-left pixel, as exact floats, and
// its column as an integer.
alignas(32) constexpr std::array<float, kMaxChunkLanes> kQuadX = LaneTable<float, QuadX>();
alignas(32) constexpr std::array<float, kMaxChunkLanes> kInQuadX = LaneTable<float, InQuadX>();
alignas(32) constexpr std::array<float, kMaxChunkLanes> kInQuadY = LaneTable<float, InQuadY>();
alignas(32) constexpr std::array<float, kMaxChunkLanes> kPixelX = LaneTable<float, PixelX>();
alignas(32) constexpr std::array<std::int32_t, kMaxChunkLanes> kColumn = LaneTable<std::int32_t, PixelX>();

// ---- lanes -----------------------------------------------------------------
// W floats handled as one value: a plain float on the scalar path, a
// vector of 4 or 8 on the others. Every operation is the IEEE operation of
// each lane, so all widths give the same bits.

template <int W>
struct LaneTypes;
template <>
struct LaneTypes<1> {
    using Float = float;
    using Int = std::int32_t;
};
template <>
struct LaneTypes<4> {
    using Float = float __attribute__((vector_size(16)));
    using Int = std::int32_t __attribute__((vector_size(16)));
};
template <>
struct LaneTypes<8> {
    using Float = float __attribute__((vector_size(32)));
    using Int = std::int32_t __attribute__((vector_size(32)));
};

template <int W>
using FloatLanes = typename LaneTypes<W>::Float;
template <int W>
using IntLanes = typename LaneTypes<W>::Int;

template <int W>
[[gnu::always_inline]] inline FloatLanes<W> Load(const float* from) {
    FloatLanes<W> lanes;
    std::memcpy(&lanes, from, sizeof lanes);
    return lanes;
}

template <class Lanes>
[[gnu::always_inline]] inline void Store(const Lanes& lanes, void* to) {
    std::memcpy(to, &lanes, sizeof lanes);
}

// Every lane set to `value` (signs of zero kept).
template <int W>
[[gnu::always_inline]] inline FloatLanes<W> Broadcast(float value) {
    if constexpr (W == 1) {
        return value;
    } else {
        FloatLanes<W> lanes;
        for (int i = 0; i < W; ++i) lanes[i] = value;
        return lanes;
    }
}

template <int W>
[[gnu::always_inline]] inline IntLanes<W> Truncate(FloatLanes<W> value) {
    if constexpr (W == 1) {
        return std::int32_t(value);
    } else {
        return __builtin_convertvector(value, IntLanes<W>);
    }
}

// floor(saturate(value) * scale + 0.5): a colour channel's 8-bit value
// (scale 255) or a D16 depth (scale 65535). Saturation is max(value, 0)
// then min(·, 1), each taking its right operand unless the left is
// strictly beyond it, so NaN saturates to 0.
template <int W>
[[gnu::always_inline]] inline IntLanes<W> ScaledUnorm(FloatLanes<W> value, float scale) {
    const FloatLanes<W> zero = Broadcast<W>(0.0f), one = Broadcast<W>(1.0f);
    const FloatLanes<W> low = value > zero ? value : zero;
    const FloatLanes<W> clamped = low < one ? low : one;
    return Truncate<W>(clamped * scale + 0.5f);
}

template <int W>
[[gnu::always_inline]] inline IntLanes<W> LoadInts(const std::int32_t* from) {
    IntLanes<W> lanes;
    std::memcpy(&lanes, from, sizeof lanes);
    return lanes;
}

// Bit l set where lane l of `lanes` (each 0 or all ones) is set.
template <int W>
[[gnu::always_inline]] inline unsigned LaneBits(IntLanes<W> lanes) {
#if defined(QUILLMARK_X86_KERNELS)
    if constexpr (W > 1) return SignBits128<W>(&lanes);
#endif
    unsigned bits = 0;
    for (int l = 0; l < W; ++l) bits |= unsigned(lanes[l] != 0) << l;
    return bits;
}

// W D16 depths (each 0 .. 65535) from 32-bit lanes to out[0 .. W).
template <int W>
[[gnu::always_inline]] inline void StoreD16(IntLanes<W> depths, std::uint16_t* out) {
    if constexpr (W == 1) {
        *out = std::uint16_t(depths);
    } else {
#if defined(QUILLMARK_X86_KERNELS)
        PackD16<W>(&depths, out);
#else
        for (int i = 0; i < W; ++i) out[i] = std::uint16_t(depths[i]);
#endif
    }
}

// The depth plane in lanes, set up once per triangle for its chunks. A
// pixel's depth is (z + dz/dx · (px − originX)) + dz/dy · (py − originY);
// the second term depends on the row alone, so a quad row works it out
// once for all its chunks.
template <int W>
class DepthPlane {
public:
    explicit DepthPlane(const TriangleSetup& t)
        : z_(Broadcast<W>(t.z)), dzdx_(Broadcast<W>(t.dzdx)), dzdy_(t.dzdy), originX_(Broadcast<W>(t.originX)),
          originY_(t.originY) {}

    // dz/dy · (py − originY) of each lane of the chunks of quad row y.
    struct Row {
        alignas(32) float down[kChunkLanes<W>];
    };

    [[gnu::always_inline]] Row RowAt(int y) const {
        Row row;
        for (int l = 0; l < kChunkLanes<W>; l += W) {
            const FloatLanes<W> py = Load<W>(&kInQuadY[std::size_t(l)]) + float(y);
            Store(dzdy_ * (py - originY_), row.down + l);
        }
        return row;
    }

    // The D16 depths of the chunk's pixels at x in `row`.
    [[gnu::always_inline]] void At(const Row& row, int x, std::uint16_t* out) const {
        for (int l = 0; l < kChunkLanes<W>; l += W) {
            const FloatLanes<W> px = Load<W>(&kPixelX[std::size_t(l)]) + float(x);
            const FloatLanes<W> z = (z_ + dzdx_ * (px - originX_)) + Load<W>(row.down + l);
            StoreD16<W>(ScaledUnorm<W>(z, 65535.0f), out + l);
        }
    }

private:
    FloatLanes<W> z_, dzdx_;
    float dzdy_;
    FloatLanes<W> originX_;
    float originY_;
};

// One stage's (s/w, t/w, q/w) planes, set up once per triangle for its
// chunks: each plane's value and steps, and every lane's in-quad steps
// ddx · i and ddy · j.
template <int W>
class StagePlanes {
public:
    StagePlanes() = default;  // for a draw without a direct stage: never evaluated
    StagePlanes(const TriangleSetup& t, int base)
        : originX_(Broadcast<W>(t.originX)), originY_(t.originY), rowY_(1) {
        for (int k = 0; k < 3; ++k) {
            Plane& plane = planes_[k];
            const auto attribute = std::size_t(base + k);
            plane.value = Broadcast<W>(t.value[attribute]);
            plane.ddx = Broadcast<W>(t.ddx[attribute]);
            plane.ddy = t.ddy[attribute];
            for (int l = 0; l < kChunkLanes<W>; l += W) {
                Store(plane.ddx * Load<W>(&kInQuadX[std::size_t(l)]), plane.across + l);
                Store(plane.ddy * Load<W>(&kInQuadY[std::size_t(l)]), plane.down + l);
            }
        }
    }

    // The texture coordinates at the pixels of the chunk at (x, y). Each
    // quad starts from its top-left pixel, f0 = (value + ddx · (qx −
    // originX)) + ddy · (qy − originY), and steps (f0 + ddx · i) + ddy · j
    // to its pixel (i, j); then u = (s/w) / (q/w) and v alike, through one
    // division. The row's terms ddy · (qy − originY) are kept from the
    // chunk before when it lay in the same quad row.
    [[gnu::always_inline]] void At(int x, int y, float* u, float* v) const {
        if (y != rowY_) StartRow(y);
        const FloatLanes<W> qx = Broadcast<W>(float(x));
        for (int l = 0; l < kChunkLanes<W>; l += W) {
            const FloatLanes<W> ox = (Load<W>(&kQuadX[std::size_t(l)]) + qx) - originX_;
            FloatLanes<W> attribute[3];
#pragma GCC unroll 3
            for (int k = 0; k < 3; ++k) {
                const Plane& plane = planes_[k];
                const FloatLanes<W> first = (plane.value + plane.ddx * ox) + rowDown_[k];
                attribute[k] = (first + Load<W>(plane.across + l)) + Load<W>(plane.down + l);
            }
            const FloatLanes<W> inverse = Broadcast<W>(1.0f) / attribute[2];
            Store(attribute[0] * inverse, u + l);
            Store(attribute[1] * inverse, v + l);
        }
    }

private:
    // Each plane's ddy · (qy − originY) for the quad row y, in every lane.
    void StartRow(int y) const {
        const float oy = float(y) - originY_;
        for (int k = 0; k < 3; ++k) rowDown_[k] = Broadcast<W>(planes_[k].ddy * oy);
        rowY_ = y;
    }

    struct Plane {
        FloatLanes<W> value, ddx;  // in every lane
        float ddy;
        alignas(32) float across[kChunkLanes<W>], down[kChunkLanes<W>];
    };
    std::array<Plane, 3> planes_;
    FloatLanes<W> originX_;
    float originY_;
    // The quad row whose terms rowDown_ holds; odd, so no quad row's, at first.
    mutable int rowY_;
    mutable FloatLanes<W> rowDown_[3];
};

}  // namespace
}  // namespace quillmark::software
