// Resources too large to address or to allocate are refused with an error,
// never handed out as empty memory, and running out of memory inside the
// device gives E_OUTOFMEMORY with the device still usable.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "device_fixture.h"
#include "self_child.h"

namespace quillmark::software::testing {
namespace {

class MemoryLimits : public DeviceTest {};

TEST_F(MemoryLimits, ARowWhosePitchALockCannotStateIsRefused) {
    // 2^30 A8R8G8B8 texels: a 4 GiB row, which wrapped to 0 bytes in 32 bits.
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(0x40000000, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &texture, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);
    IDirect3DSurface9* surface = nullptr;
    EXPECT_EQ(device->CreateOffscreenPlainSurface(0x7FFFFFFF, 0x7FFFFFFF, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &surface,
                                                  nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(surface, nullptr);
    EXPECT_EQ(device->CreateTexture(0x7FFFFFFF, 0x7FFFFFFF, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &texture, nullptr),
              D3DERR_INVALIDCALL);
}

TEST_F(MemoryLimits, ResourcesBeyondTheDevicesLimitAreOutOfMemory) {
    // 16 GiB in one level: its slice wrapped to 0 bytes in 32 bits.
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(65536, 65536, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &texture, nullptr),
              E_OUTOFMEMORY);
    EXPECT_EQ(texture, nullptr);
    // 128 GiB of volume, within the 2048 extent limit.
    IDirect3DVolumeTexture9* volume = nullptr;
    EXPECT_EQ(device->CreateVolumeTexture(2048, 2048, 2048, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &volume,
                                          nullptr),
              E_OUTOFMEMORY);
    EXPECT_EQ(volume, nullptr);
    // Six 1 GiB faces with their chains.
    IDirect3DCubeTexture9* cube = nullptr;
    EXPECT_EQ(device->CreateCubeTexture(8192, 0, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &cube, nullptr),
              E_OUTOFMEMORY);
    EXPECT_EQ(cube, nullptr);
}

TEST_F(MemoryLimits, EveryLevelOfATextureAtTheEdgeOfItsSizeLocksToMemory) {
    // A long thin chain: each level's last byte must be writable.
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(65536, 4, 0, 0, D3DFMT_DXT5, D3DPOOL_SCRATCH, &texture, nullptr), S_OK);
    for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
        D3DSURFACE_DESC desc{};
        texture->GetLevelDesc(level, &desc);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(level, &locked, nullptr, 0), S_OK);
        ASSERT_NE(locked.pBits, nullptr);
        EXPECT_EQ(locked.Pitch, INT((desc.Width + 3) / 4 * 16));
        static_cast<std::uint8_t*>(locked.pBits)[locked.Pitch - 1] = 0xAB;
        texture->UnlockRect(level);
    }
    EXPECT_EQ(texture->Release(), 0u);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;  // it reserves address space of its own and aborts on failed allocations
#else
constexpr bool kAddressSanitizer = false;
#endif

// Whether a limit on the address space takes in this process: an emulator
// such as qemu-user accepts one and keeps it to itself.
bool AddressSpaceLimitsTake() {
    rlimit old{};
    if (getrlimit(RLIMIT_AS, &old) != 0) return false;
    const rlimit probe{old.rlim_max == RLIM_INFINITY ? rlim_t{1} << 62 : old.rlim_max - 1, old.rlim_max};
    rlimit now{};
    const bool took =
        setrlimit(RLIMIT_AS, &probe) == 0 && getrlimit(RLIMIT_AS, &now) == 0 && now.rlim_cur == probe.rlim_cur;
    setrlimit(RLIMIT_AS, &old);
    return took;
}

// Limits the process's address space to what it uses now plus `headroom`.
void LimitAddressSpace(std::size_t headroom) {
    std::size_t pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%zu", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    const rlimit limit{pages * std::size_t(sysconf(_SC_PAGESIZE)) + headroom, RLIM_INFINITY};
    setrlimit(RLIMIT_AS, &limit);
}

// In a child process with little address space left: a texture within the
// device's limits whose memory cannot be had.
int RunOutOfMemory() {
    IDirect3D9* direct3d = CreateReferenceDirect3D();
    D3DPRESENT_PARAMETERS parameters = ApplicationPresentParameters();
    IDirect3DDevice9* device = nullptr;
    if (direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                               &parameters, &device) != S_OK)
        return 2;
    LimitAddressSpace(std::size_t{256} << 20);
    IDirect3DTexture9* texture = nullptr;
    // 1 GiB: within the device's limit, beyond the address space left.
    if (device->CreateTexture(8192, 8192, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_MANAGED, &texture, nullptr) !=
            E_OUTOFMEMORY || texture)
        return 3;
    // The device works on, and nothing of the failed texture holds it.
    if (device->CreateTexture(64, 64, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr) != S_OK) return 4;
    if (texture->Release() != 0) return 5;
    if (device->Release() != 0) return 6;
    direct3d->Release();
    return 0;
}

TEST(MemoryExhaustion, IsReportedAsOutOfMemoryAndTheDeviceWorksOn) {
    if (kAddressSanitizer) GTEST_SKIP() << "an address-space limit does not reach the sanitizer's allocator";
    if (!AddressSpaceLimitsTake()) GTEST_SKIP() << "a limit on the address space does not take here (an emulator?)";
    quillmark::test::ExpectInChild([] {
        const int failed = RunOutOfMemory();
        if (failed) std::fprintf(stderr, "RunOutOfMemory failed at its check %d\n", failed);
        return failed == 0;
    });
}

}  // namespace
}  // namespace quillmark::software::testing
