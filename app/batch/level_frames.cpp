#include "app/batch/level_frames.h"

#include "app/probe_state.h"
#include "app/probe.h"
#include "app/scene.h"
#include "app/test_textures.h"

#include "texfile/surface_save.h"

#include <algorithm>
#include <cstring>

namespace quillmark::batch {

std::vector<std::uint32_t> BackBufferPixels() {
    ProbeState& probe = ActiveProbe();
    std::vector<std::uint32_t> pixels(std::size_t(probe.windowWidth) * std::size_t(probe.windowHeight));
    IDirect3DSurface9* back = nullptr;
    if (!probe.device || FAILED(probe.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back))) return {};
    D3DLOCKED_RECT locked{};
    const bool read = back->LockRect(&locked, nullptr, D3DLOCK_READONLY) == S_OK;
    if (read) {
        for (int y = 0; y < probe.windowHeight; ++y)
            std::memcpy(&pixels[std::size_t(y) * std::size_t(probe.windowWidth)],
                        static_cast<const std::uint8_t*>(locked.pBits) + std::ptrdiff_t(y) * locked.Pitch,
                        std::size_t(probe.windowWidth) * 4);
        back->UnlockRect();
    }
    back->Release();
    return read ? pixels : std::vector<std::uint32_t>{};
}

bool WritePixels(const std::filesystem::path& path, const std::vector<std::uint32_t>& pixels) {
    ProbeState& probe = ActiveProbe();
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(probe.device->CreateOffscreenPlainSurface(UINT(probe.windowWidth), UINT(probe.windowHeight),
                                                         D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &surface, nullptr)))
        return false;
    D3DLOCKED_RECT locked{};
    HRESULT result = surface->LockRect(&locked, nullptr, 0);
    if (SUCCEEDED(result)) {
        for (int y = 0; y < probe.windowHeight; ++y)
            std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + std::ptrdiff_t(y) * locked.Pitch,
                        &pixels[std::size_t(y) * std::size_t(probe.windowWidth)],
                        std::size_t(probe.windowWidth) * 4);
        surface->UnlockRect();
        result = WriteSurfaceToImageFile(path.string().c_str(), ImageFileFormat::Bmp, surface, nullptr, nullptr);
    }
    surface->Release();
    return SUCCEEDED(result);
}

bool FillGeneratedTexture(const std::function<std::uint32_t(int level, int x, int y)>& colour) {
    ProbeState& probe = ActiveProbe();
    if (!probe.mipTexture) return false;
    const int levels = int(probe.mipTexture->GetLevelCount());
    for (int level = 0; level < levels; ++level) {
        D3DSURFACE_DESC desc{};
        D3DLOCKED_RECT locked{};
        if (FAILED(probe.mipTexture->GetLevelDesc(UINT(level), &desc)) ||
            FAILED(probe.mipTexture->LockRect(UINT(level), &locked, nullptr, 0)))
            return false;
        for (UINT y = 0; y < desc.Height; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) +
                                                         std::ptrdiff_t(y) * locked.Pitch);
            for (UINT x = 0; x < desc.Width; ++x) row[x] = 0xFF000000u | colour(level, int(x), int(y));
        }
        probe.mipTexture->UnlockRect(UINT(level));
    }
    return true;
}

bool DrawLevelColouredFrame(Probe& probe, const std::function<std::uint32_t(int)>& colour,
                            std::optional<DWORD> mipFilter, std::vector<std::uint32_t>* frame) {
    return DrawTexelColouredFrame(
        probe, [&colour](int level, int, int) { return colour(level); }, mipFilter, frame);
}

bool DrawLevelColouredFrameNow(const std::function<std::uint32_t(int)>& colour, std::vector<std::uint32_t>* frame) {
    if (!FillGeneratedTexture([&colour](int level, int, int) { return colour(level); })) return false;
    RenderFrame();
    *frame = BackBufferPixels();
    return ActiveProbe().device && !frame->empty();
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
