#include "app/batch/level_frames.h"

#include "app/app_state.h"
#include "app/probe.h"
#include "app/test_textures.h"

#include "texfile/surface_save.h"

#include <algorithm>
#include <cstring>

namespace quillmark::batch {

std::vector<std::uint32_t> BackBufferPixels() {
    std::vector<std::uint32_t> pixels(std::size_t(g_app.windowWidth) * std::size_t(g_app.windowHeight));
    IDirect3DSurface9* back = nullptr;
    if (!g_app.device || FAILED(g_app.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back))) return {};
    D3DLOCKED_RECT locked{};
    const bool read = back->LockRect(&locked, nullptr, D3DLOCK_READONLY) == S_OK;
    if (read) {
        for (int y = 0; y < g_app.windowHeight; ++y)
            std::memcpy(&pixels[std::size_t(y) * std::size_t(g_app.windowWidth)],
                        static_cast<const std::uint8_t*>(locked.pBits) + std::ptrdiff_t(y) * locked.Pitch,
                        std::size_t(g_app.windowWidth) * 4);
        back->UnlockRect();
    }
    back->Release();
    return read ? pixels : std::vector<std::uint32_t>{};
}

bool WritePixels(const std::filesystem::path& path, const std::vector<std::uint32_t>& pixels) {
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(g_app.device->CreateOffscreenPlainSurface(UINT(g_app.windowWidth), UINT(g_app.windowHeight),
                                                         D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &surface, nullptr)))
        return false;
    D3DLOCKED_RECT locked{};
    HRESULT result = surface->LockRect(&locked, nullptr, 0);
    if (SUCCEEDED(result)) {
        for (int y = 0; y < g_app.windowHeight; ++y)
            std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + std::ptrdiff_t(y) * locked.Pitch,
                        &pixels[std::size_t(y) * std::size_t(g_app.windowWidth)],
                        std::size_t(g_app.windowWidth) * 4);
        surface->UnlockRect();
        result = WriteSurfaceToImageFile(path.string().c_str(), ImageFileFormat::Bmp, surface, nullptr, nullptr);
    }
    surface->Release();
    return SUCCEEDED(result);
}

bool FillGeneratedTexture(const std::function<std::uint32_t(int level, int x, int y)>& colour) {
    if (!g_app.mipTexture) return false;
    const int levels = int(g_app.mipTexture->GetLevelCount());
    for (int level = 0; level < levels; ++level) {
        D3DSURFACE_DESC desc{};
        D3DLOCKED_RECT locked{};
        if (FAILED(g_app.mipTexture->GetLevelDesc(UINT(level), &desc)) ||
            FAILED(g_app.mipTexture->LockRect(UINT(level), &locked, nullptr, 0)))
            return false;
        for (UINT y = 0; y < desc.Height; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) +
                                                         std::ptrdiff_t(y) * locked.Pitch);
            for (UINT x = 0; x < desc.Width; ++x) row[x] = 0xFF000000u | colour(level, int(x), int(y));
        }
        g_app.mipTexture->UnlockRect(UINT(level));
    }
    return true;
}

bool DrawLevelColouredFrame(Probe& probe, const std::function<std::uint32_t(int)>& colour,
                            std::optional<DWORD> mipFilter, std::vector<std::uint32_t>* frame) {
    return DrawTexelColouredFrame(
        probe, [&colour](int level, int, int) { return colour(level); }, mipFilter, frame);
}

bool DrawTexelColouredFrame(Probe& probe, const std::function<std::uint32_t(int level, int x, int y)>& colour,
                            std::optional<DWORD> mipFilter, std::vector<std::uint32_t>* frame) {
    if (!FillGeneratedTexture(colour)) return false;
    const ProbeSettings user = probe.Settings();
    ProbeSettings measuring = user;
    if (mipFilter) measuring.mipFilter = static_cast<D3DTEXTUREFILTERTYPE>(*mipFilter);
    measuring.useFileTexture = false;
    probe.Apply(measuring);
    bool drawn = probe.DrawFrame();
    if (drawn) *frame = BackBufferPixels();
    drawn = drawn && !frame->empty();
    probe.Apply(user);
    BuildMipTexture();
    return probe.DrawFrame() && drawn;
}

}  // namespace quillmark::batch
