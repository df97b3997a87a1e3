// Reference counting of the reference device and what it creates.
#include "device_fixture.h"

namespace quillmark::software::testing {
namespace {

using LifetimeTest = DeviceTest;

TEST_F(LifetimeTest, ResourcesKeepTheDeviceAlive) {
    EXPECT_EQ(RefCount(device), 1u);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
    EXPECT_EQ(RefCount(device), 2u);
    EXPECT_EQ(device->Release(), 1u) << "the texture still holds the device";
    IDirect3DDevice9* again = nullptr;
    ASSERT_EQ(texture->GetDevice(&again), S_OK);
    device = again;  // released by TearDown, after the texture
    EXPECT_EQ(texture->Release(), 0u);
    EXPECT_EQ(RefCount(device), 1u);
}

TEST_F(LifetimeTest, ASurfaceLevelSharesItsTexturesCount) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(2, &level), S_OK);
    EXPECT_EQ(RefCount(texture), 2u);
    EXPECT_EQ(texture->Release(), 1u) << "the level keeps its container alive";
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(level->GetDesc(&desc), S_OK);
    EXPECT_EQ(desc.Width, 2u);
    IDirect3DTexture9* container = nullptr;
    ASSERT_EQ(level->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(&container)), S_OK);
    EXPECT_EQ(container, texture);
    container->Release();
    EXPECT_EQ(level->Release(), 0u);
}

TEST_F(LifetimeTest, BoundTextureOutlivesItsLastPublicReference) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
    ASSERT_EQ(device->SetTexture(3, texture), S_OK);
    EXPECT_EQ(texture->Release(), 0u);
    EXPECT_EQ(RefCount(device), 1u) << "a binding does not hold the device";
    IDirect3DBaseTexture9* bound = nullptr;
    ASSERT_EQ(device->GetTexture(3, &bound), S_OK);
    ASSERT_EQ(bound, static_cast<IDirect3DBaseTexture9*>(texture));
    EXPECT_EQ(bound->GetLevelCount(), 1u);
    EXPECT_EQ(bound->Release(), 0u);
    EXPECT_EQ(device->SetTexture(3, nullptr), S_OK);
}

TEST_F(LifetimeTest, SetTextureRefusesSystemMemoryTextures) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &texture, nullptr), S_OK);
    EXPECT_EQ(device->SetTexture(0, texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTexture(8, nullptr), D3DERR_INVALIDCALL);
    texture->Release();
}

TEST_F(LifetimeTest, BackBufferReferencesCountOnTheDevice) {
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), S_OK);
    EXPECT_EQ(RefCount(device), 2u);
    IDirect3DDevice9* container = nullptr;
    ASSERT_EQ(back->GetContainer(IID_IDirect3DDevice9, reinterpret_cast<void**>(&container)), S_OK);
    EXPECT_EQ(container, device);
    container->Release();
    back->Release();
    EXPECT_EQ(RefCount(device), 1u);
}

TEST_F(LifetimeTest, QueryInterfaceAnswersOnlyForOwnInterfaces) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), S_OK);
    void* object = nullptr;
    EXPECT_EQ(cube->QueryInterface(IID_IDirect3DBaseTexture9, &object), S_OK);
    EXPECT_EQ(object, static_cast<void*>(static_cast<IDirect3DBaseTexture9*>(cube)));
    static_cast<IUnknown*>(static_cast<IDirect3DBaseTexture9*>(cube))->Release();
    EXPECT_EQ(cube->QueryInterface(IID_IDirect3DTexture9, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    IDirect3DSurface9* face = nullptr;
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_Y, 0, &face), S_OK);
    EXPECT_EQ(cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(6), 0, &face), D3DERR_INVALIDCALL);
    face->Release();
    EXPECT_EQ(cube->Release(), 0u);
}

TEST_F(LifetimeTest, StreamSourceIsHeldUntilReplaced) {
    IDirect3DVertexBuffer9* buffer = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(60, 0, 0, D3DPOOL_DEFAULT, &buffer, nullptr), S_OK);
    ASSERT_EQ(device->SetStreamSource(0, buffer, 0, 20), S_OK);
    EXPECT_EQ(buffer->Release(), 0u);
    IDirect3DVertexBuffer9* bound = nullptr;
    UINT offset = 1, stride = 0;
    ASSERT_EQ(device->GetStreamSource(0, &bound, &offset, &stride), S_OK);
    EXPECT_EQ(stride, 20u);
    D3DVERTEXBUFFER_DESC desc{};
    ASSERT_EQ(bound->GetDesc(&desc), S_OK);
    EXPECT_EQ(desc.Size, 60u);
    bound->Release();
}

}  // namespace
}  // namespace quillmark::software::testing
