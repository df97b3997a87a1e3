// Helpers for the pixel tests: descs over plain byte buffers and codec
// construction that fails the test when no codec comes back.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pixel/row_codec.h"

namespace quillmark::testing {

inline SurfaceDesc DescOver(void* data, D3DFORMAT format, UINT width, UINT height, INT rowPitch,
                            UINT depth = 1, INT slicePitch = 0) {
    SurfaceDesc desc;
    desc.Data = static_cast<BYTE*>(data);
    desc.Format = format;
    desc.RowPitch = rowPitch;
    desc.SlicePitch = slicePitch;
    desc.Box = {0, 0, width, height, 0, depth};
    desc.Extent = desc.Box;
    return desc;
}

inline std::unique_ptr<RowCodec> MustCreate(const SurfaceDesc& desc) {
    std::unique_ptr<RowCodec> codec;
    EXPECT_EQ(CreateRowCodec(desc, codec), S_OK) << "no codec for format " << desc.Format;
    return codec;
}

template <class T>
T ReadAt(const std::vector<BYTE>& bytes, std::size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

inline void ExpectColor(const FloatColor& got, FloatColor want, float tolerance = 0.0f) {
    EXPECT_NEAR(got.r, want.r, tolerance);
    EXPECT_NEAR(got.g, want.g, tolerance);
    EXPECT_NEAR(got.b, want.b, tolerance);
    EXPECT_NEAR(got.a, want.a, tolerance);
}

}  // namespace quillmark::testing
