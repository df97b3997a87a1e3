// Image files and devices for the tests of textures from image files: bitmap
// files built in memory, reading a level back, and a device whose texture
// caps a test chooses while its resources come from the reference device.
#pragma once

#include "../imagecodec/bmp_test_files.h"
#include "device_fixture.h"
#include "fake_device.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace quillmark::testing {

// A bottom-up 24-bit bitmap whose pixel (x, y) is rgb(x, y) as 0xRRGGBB.
inline Bytes Bitmap24(int width, int height, const std::function<std::uint32_t(int, int)>& rgb) {
    Bytes bits;
    const std::size_t rowBytes = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    for (int y = height - 1; y >= 0; --y) {
        const std::size_t start = bits.size();
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = rgb(x, y);
            bits.push_back(static_cast<std::uint8_t>(c));
            bits.push_back(static_cast<std::uint8_t>(c >> 8));
            bits.push_back(static_cast<std::uint8_t>(c >> 16));
        }
        bits.resize(start + rowBytes, 0);
    }
    DibSpec spec;
    spec.width = width;
    spec.height = height;
    return Bmp(Dib(spec, {}, bits));
}

// A bottom-up 8-bit bitmap with the given colour table (0xRRGGBB entries)
// whose pixel (x, y) has index index(x, y).
inline Bytes Bitmap8(int width, int height, const std::vector<std::uint32_t>& colours,
                     const std::function<std::uint8_t(int, int)>& index) {
    Bytes bits;
    const std::size_t rowBytes = (static_cast<std::size_t>(width) + 3) & ~std::size_t{3};
    for (int y = height - 1; y >= 0; --y) {
        const std::size_t start = bits.size();
        for (int x = 0; x < width; ++x) bits.push_back(index(x, y));
        bits.resize(start + rowBytes, 0);
    }
    DibSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bitCount = 8;
    spec.clrUsed = static_cast<std::uint32_t>(colours.size());
    return Bmp(Dib(spec, colours, bits));
}

// The 32-bit texels of one level of a lockable texture, row by row.
inline std::vector<std::uint32_t> LevelTexels(IDirect3DTexture9* texture, UINT level) {
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(level, &desc);
    D3DLOCKED_RECT locked{};
    std::vector<std::uint32_t> texels;
    if (FAILED(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY))) return texels;
    for (UINT y = 0; y < desc.Height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(static_cast<const BYTE*>(locked.pBits) +
                                                                 static_cast<std::size_t>(y) * locked.Pitch);
        texels.insert(texels.end(), row, row + desc.Width);
    }
    texture->UnlockRect(level);
    return texels;
}

// Asks questions of its own caps but creates its resources on a real device.
class CapsDevice : public FakeDevice {
public:
    explicit CapsDevice(IDirect3DDevice9* resources) : resources_(resources) {}

    HRESULT CreateTexture(UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** out, HANDLE* shared) override {
        created.push_back({w, h, levels, format});
        return resources_->CreateTexture(w, h, levels, usage, format, pool, out, shared);
    }
    HRESULT UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination) override {
        ++updates;
        return resources_->UpdateTexture(source, destination);
    }

    struct Creation {
        UINT width, height, levels;
        D3DFORMAT format;
    };
    std::vector<Creation> created;
    int updates = 0;

private:
    IDirect3DDevice9* resources_;
};

}  // namespace quillmark::testing
