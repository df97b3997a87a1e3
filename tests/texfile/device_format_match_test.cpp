// The closest format a device supports, with the examples worked by hand.
#include "texfile/device_format_match.h"
#include "fake_device.h"
#include "format_rows.h"

#include <gtest/gtest.h>

namespace quillmark {
namespace {

using testing::WithAlpha;

TEST(MatchFormatOnDevice, ClosestTableRowWithoutDevice) {
    EXPECT_EQ(MatchFormatOnDevice(nullptr, 0, D3DRTYPE_TEXTURE, WithAlpha(D3DFMT_X8R8G8B8, 1)), D3DFMT_A8R8G8B8);
    EXPECT_EQ(MatchFormatOnDevice(nullptr, 0, D3DRTYPE_TEXTURE, WithAlpha(D3DFMT_X1R5G5B5, 1)), D3DFMT_A1R5G5B5);
    EXPECT_EQ(MatchFormatOnDevice(nullptr, 0, D3DRTYPE_TEXTURE, WithAlpha(D3DFMT_L8, 1)), D3DFMT_A8L8);
    EXPECT_EQ(MatchFormatOnDevice(nullptr, 0, D3DRTYPE_TEXTURE, WithAlpha(D3DFMT_R5G6B5, 1)), D3DFMT_A8R8G8B8);
    EXPECT_EQ(MatchFormatOnDevice(nullptr, 0, D3DRTYPE_TEXTURE, LookupPixelFormat(D3DFMT_UNKNOWN)),
              D3DFMT_A8R8G8B8);
}

TEST(MatchFormatOnDevice, ExactSupportedFormatWinsEvenWhenNotSubstitutable) {
    testing::FakeDevice device;
    EXPECT_EQ(MatchFormatOnDevice(&device, 0, D3DRTYPE_TEXTURE, LookupPixelFormat(D3DFMT_R8G8B8)), D3DFMT_R8G8B8);
    device.direct3d.supports = [](DWORD, D3DRESOURCETYPE, D3DFORMAT f) { return f != D3DFMT_R8G8B8; };
    EXPECT_EQ(MatchFormatOnDevice(&device, 0, D3DRTYPE_TEXTURE, LookupPixelFormat(D3DFMT_R8G8B8)),
              D3DFMT_X8R8G8B8);
    device.direct3d.supports = [](DWORD, D3DRESOURCETYPE, D3DFORMAT) { return false; };
    EXPECT_EQ(MatchFormatOnDevice(&device, 0, D3DRTYPE_TEXTURE, LookupPixelFormat(D3DFMT_R8G8B8)), D3DFMT_UNKNOWN);
    EXPECT_EQ(device.direct3d.references, 1u);  // the IDirect3D9 was released
}

TEST(MatchFormatOnDevice, VertexTextureQueryOnSoftwareDeviceAsksForSoftwareProcessing) {
    testing::FakeDevice device;
    device.behaviorFlags = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    MatchFormatOnDevice(&device, D3DUSAGE_QUERY_VERTEXTEXTURE, D3DRTYPE_TEXTURE, LookupPixelFormat(D3DFMT_R32F));
    EXPECT_EQ(device.direct3d.lastUsage, DWORD{D3DUSAGE_QUERY_VERTEXTEXTURE | D3DUSAGE_SOFTWAREPROCESSING});
    device.behaviorFlags = D3DCREATE_HARDWARE_VERTEXPROCESSING;
    MatchFormatOnDevice(&device, D3DUSAGE_QUERY_VERTEXTEXTURE, D3DRTYPE_TEXTURE, LookupPixelFormat(D3DFMT_R32F));
    EXPECT_EQ(device.direct3d.lastUsage, DWORD{D3DUSAGE_QUERY_VERTEXTEXTURE});
}

}  // namespace
}  // namespace quillmark
