// Scene geometry and transforms.
#include "probe_fixture.h"
#include "app/scene.h"

#include <bit>
#include <cmath>

namespace quillmark {
namespace {

TEST(Tunnel, ThreeFacesIsAPrismOfEightVertices) { EXPECT_EQ(TunnelVertexCount(3), 8); }

TEST(Tunnel, VertexCountHasRoomInTheBuffer) {
    for (int faces = 3; faces <= 200; ++faces) {
        const int count = TunnelVertexCount(faces);
        EXPECT_GE(count, 2 * faces + 2) << faces;
        EXPECT_LE(count, 2 * faces + 4) << faces;
    }
}

TEST(Camera, AspectIsTheFixedSinglePrecisionValue) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(CameraAspect()), 0x3FAAAAA8u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(kDegreesToRadians), 0x3C8EE7A7u);
}

using SceneBuffers = test::ProbeFixture;

TEST_F(SceneBuffers, TunnelOfThreeFacesClosesTheTube) {
    ActiveProbe().settings.faces = 3;
    ASSERT_EQ(BuildTunnel(), S_OK);
    void* data = nullptr;
    ASSERT_EQ(ActiveProbe().tunnelBuffer->Lock(0, 0, &data, D3DLOCK_READONLY), S_OK);
    const auto* v = static_cast<const SceneVertex*>(data);
    EXPECT_FLOAT_EQ(v[0].x, 0.0f);
    EXPECT_FLOAT_EQ(v[0].y, 1.0f);
    EXPECT_EQ(v[0].z, 0.0f);
    EXPECT_EQ(v[0].u, 10.5f);
    EXPECT_EQ(v[1].z, 21.0f);
    EXPECT_EQ(v[1].u, -10.5f);
    EXPECT_NEAR(v[6].x, v[0].x, 1e-5f);  // the last pair meets the first
    EXPECT_NEAR(v[6].y, v[0].y, 1e-5f);
    EXPECT_NEAR(v[6].v, 2.0f, 1e-5f);
    ActiveProbe().tunnelBuffer->Unlock();
}

TEST_F(SceneBuffers, PlaneVertices) {
    void* data = nullptr;
    ASSERT_EQ(ActiveProbe().planeBuffer->Lock(0, 0, &data, D3DLOCK_READONLY), S_OK);
    const auto* v = static_cast<const SceneVertex*>(data);
    EXPECT_EQ(v[1].y, -25.0f);
    EXPECT_EQ(v[1].v, -9.0f);
    EXPECT_EQ(v[2].x, -25.0f);
    EXPECT_EQ(v[3].u, -9.0f);
    ActiveProbe().planeBuffer->Unlock();
}

TEST_F(SceneBuffers, TransformsFollowTheSettings) {
    ActiveProbe().settings.showPlane = true;
    ActiveProbe().settings.distance = 20.0;
    ActiveProbe().settings.stage = 2;
    ActiveProbe().settings.textureRotation = 45.0f;
    SetTransforms();
    D3DMATRIX view, texture;
    ASSERT_EQ(ActiveProbe().device->GetTransform(D3DTS_VIEW, &view), S_OK);
    EXPECT_FLOAT_EQ(view.m[3][2], 2.0f);  // eye at z = -2
    ASSERT_EQ(ActiveProbe().device->GetTransform(D3DTS_TEXTURE2, &texture), S_OK);
    const float angle = 45.0f * kDegreesToRadians;
    EXPECT_NEAR(texture.m[0][0], std::cos(angle), 1e-6f);
    EXPECT_NEAR(texture.m[0][1], std::sin(angle), 1e-6f);
    EXPECT_EQ(texture.m[3][0], 0.0f);  // turned about (0, 0), not about the centre

    ActiveProbe().settings.showPlane = false;
    SetTransforms();
    ASSERT_EQ(ActiveProbe().device->GetTransform(D3DTS_VIEW, &view), S_OK);
    EXPECT_FLOAT_EQ(view.m[3][2], -0.25f);  // inside the tunnel's open end
}

}  // namespace
}  // namespace quillmark
