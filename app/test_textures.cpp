#include "app/test_textures.h"

#include "app/probe_state.h"

namespace quillmark {

int CheckerSquareShift(int checkerShift, int level) {
    if (checkerShift >= 0) {
        const int shift = checkerShift < 8 - level ? checkerShift : 8 - level;
        return shift < 0 ? 0 : shift;
    }
    return checkerShift + level <= 0 ? -(checkerShift + level) : 0;
}

std::uint32_t CheckerTexel(int level, int x, int y, int checkerShift, int tintMode) {
    const int shift = CheckerSquareShift(checkerShift, level);
    const std::uint32_t p = static_cast<std::uint32_t>(((x >> shift) + (y >> shift) + 1) % 2);
    if (level == 0) return p * 0xFEFEFEu;
    const std::uint32_t t = static_cast<std::uint32_t>(tintMode);
    return p * (2 - t) * 0x7F7F7Fu + t * kLevelTints[level];
}

HRESULT CreateMipTexture() {
    ProbeState& probe = ActiveProbe();
    if (!probe.device ||
        FAILED(probe.device->CreateTexture(kMipTextureSize, kMipTextureSize, kMipLevels, 0, D3DFMT_X8R8G8B8,
                                           D3DPOOL_MANAGED, &probe.mipTexture, nullptr))) {
        probe.mipTexture = nullptr;
        MessageBoxA(nullptr, "Could not generate Texture", "Quillmark", MB_OK);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT BuildMipTexture() {
    ProbeState& probe = ActiveProbe();
    if (probe.mipTexture) {
        probe.mipTexture->Release();
        probe.mipTexture = nullptr;
    }
    if (FAILED(CreateMipTexture())) return E_FAIL;
    for (int level = 0; level < kMipLevels; ++level) {
        D3DLOCKED_RECT locked;
        if (FAILED(probe.mipTexture->LockRect(level, &locked, nullptr, 0))) return E_FAIL;
        const int size = kMipTextureSize >> level;
        for (int y = 0; y < size; ++y) {
            auto* row = static_cast<std::uint32_t*>(locked.pBits) + y * (locked.Pitch / 4);
            for (int x = 0; x < size; ++x)
                row[x] = CheckerTexel(level, x, y, probe.settings.checkerShift, probe.settings.tintMode);
        }
        probe.mipTexture->UnlockRect(level);
    }
    return S_OK;
}

}  // namespace quillmark
