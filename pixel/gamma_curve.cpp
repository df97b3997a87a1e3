#include "pixel/gamma_curve.h"

#include <array>
#include <cmath>

namespace quillmark {

namespace {

using Table = std::array<float, 256>;

Table BuildTable(double exponent) {
    Table table{};
    for (int i = 0; i < 255; ++i) table[i] = static_cast<float>(std::pow(i / 254.0, exponent));
    table[255] = 1.0f;
    return table;
}

const Table& EncodeTable() {
    static const Table table = BuildTable(2.0 / 2.2);
    return table;
}

const Table& DecodeTable() {
    static const Table table = BuildTable(1.1);
    return table;
}

// c in [0, 254]: the table value at c, interpolated between its neighbours.
float Interpolate(const Table& table, float c) {
    int k = static_cast<int>(c);
    return table[k] + (table[k + 1] - table[k]) * (c - static_cast<float>(k));
}

// Handles the inputs the tables do not cover. Returns true with the result
// in `out` when x lies outside [0, 1] (or is NaN); `power` is the exact curve.
template <class Power>
bool OutsideUnit(float x, bool unbounded, float& out, Power power) {
    if (x >= 0.0f && x <= 1.0f) return false;
    if (!(x > 0.0f)) {
        out = 0.0f;  // NaN and negatives
    } else {
        out = unbounded ? power(x) : 1.0f;
    }
    return true;
}

}  // namespace

const float* GammaEncodeTable() { return EncodeTable().data(); }
const float* GammaDecodeTable() { return DecodeTable().data(); }

float GammaEncodeValue(float x, bool unbounded) {
    float out;
    if (OutsideUnit(x, unbounded, out, [](float v) { return std::pow(v, 1.0f / 2.2f); })) return out;
    return Interpolate(EncodeTable(), std::sqrt(x) * 254.0f);
}

float GammaDecodeValue(float x, bool unbounded) {
    float out;
    if (OutsideUnit(x, unbounded, out, [](float v) { return std::pow(v, 2.2f); })) return out;
    return Interpolate(DecodeTable(), x * x * 254.0f);
}

float SquareRootEncodeValue(float x, bool unbounded) {
    float out;
    if (OutsideUnit(x, unbounded, out, [](float v) { return std::sqrt(v); })) return out;
    return std::sqrt(x);
}

float SquareDecodeValue(float x, bool unbounded) {
    float out;
    if (OutsideUnit(x, unbounded, out, [](float v) { return v * v; })) return out;
    return x * x;
}

}  // namespace quillmark
