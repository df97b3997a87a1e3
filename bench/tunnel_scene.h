// The application's default tunnel (200 faces, camera at z 0.25, 80 degree
// field of view, 512 x 512 x 10-level X8R8G8B8 texture, LINEAR mag and mip
// filters) drawn through a Direct3D device directly, for the frame-time
// benchmarks.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/d3d9/d3d9.h"

namespace quillmark::bench {

struct Vertex {
    float x, y, z, u, v;
};

inline D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

inline D3DMATRIX PerspectiveLeft(float fovY, float aspect, float zn, float zf) {
    D3DMATRIX m{};
    const float yScale = 1.0f / std::tan(fovY / 2);
    m._11 = yScale / aspect;
    m._22 = yScale;
    m._33 = zf / (zf - zn);
    m._34 = 1.0f;
    m._43 = -zn * zf / (zf - zn);
    return m;
}

// The tunnel's view (camera at z 0.25) and projection (80 degrees, 4:3).
inline D3DMATRIX TunnelView() {
    D3DMATRIX view = Identity();
    view._43 = -0.25f;
    return view;
}
inline D3DMATRIX TunnelProjection() {
    return PerspectiveLeft(1.3962634f, std::bit_cast<float>(0x3FAAAAA8u), 0.5f, 60.0f);
}

// World (identity), view and projection multiplied, for the plain programs:
// row-vector matrices whose memory, read column by column, is the
// transposed product, which multiplies column vectors the same way.
inline D3DMATRIX TunnelWorldViewProjection() {
    const D3DMATRIX view = TunnelView(), projection = TunnelProjection();
    D3DMATRIX product{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 4; ++k) product.m[r][c] += view.m[r][k] * projection.m[k][c];
    return product;
}

inline std::vector<Vertex> Tunnel(int faces) {
    std::vector<Vertex> vertices;
    const float step = 2.0f / float(faces);
    for (float t = 0.0f; t < step + 2.0f; t += step) {
        const float x = std::sin(t * 3.14159265f), y = std::cos(t * 3.14159265f);
        vertices.push_back({x, y, 0.0f, 10.5f, t});
        vertices.push_back({x, y, 21.0f, -10.5f, t});
    }
    return vertices;
}

class TunnelScene {
public:
    // Takes over the caller's reference to `direct3d`.
    explicit TunnelScene(IDirect3D9* direct3d) {
        direct3d_ = direct3d;
        D3DPRESENT_PARAMETERS p{};
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.Windowed = TRUE;
        p.EnableAutoDepthStencil = TRUE;
        p.AutoDepthStencilFormat = D3DFMT_D16;
        p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        direct3d_->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device_);
        MakeTexture();
        MakeTunnel();
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    }
    ~TunnelScene() {
        device_->SetTexture(0, nullptr);
        device_->SetStreamSource(0, nullptr, 0, 0);
        texture_->Release();
        buffer_->Release();
        device_->Release();
        direct3d_->Release();
    }

    void Frame(DWORD minFilter, DWORD anisotropy) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        D3DMATERIAL9 material{};
        material.Emissive = {255.0f, 255.0f, 255.0f, 0.0f};
        device_->SetMaterial(&material);
        device_->SetRenderState(D3DRS_LIGHTING, TRUE);
        device_->BeginScene();
        const D3DMATRIX view = TunnelView();
        const D3DMATRIX world = Identity();
        const D3DMATRIX projection = TunnelProjection();
        device_->SetTransform(D3DTS_WORLD, &world);
        device_->SetTransform(D3DTS_VIEW, &view);
        device_->SetTransform(D3DTS_PROJECTION, &projection);
        device_->SetTransform(D3DTS_TEXTURE0, &world);
        device_->SetTexture(0, texture_);
        device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        device_->SetSamplerState(0, D3DSAMP_MINFILTER, minFilter);
        device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
        device_->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, anisotropy);
        device_->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
        device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        device_->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
        device_->SetStreamSource(0, buffer_, 0, sizeof(Vertex));
        if (device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 400) != S_OK) std::abort();
        device_->EndScene();
        device_->Present(nullptr, nullptr, nullptr, nullptr);
    }

    // Locks the back buffer for reading, as the analysis's read-back does;
    // returns one pixel so that the read cannot be left out.
    std::uint32_t ReadBack() {
        IDirect3DSurface9* back = nullptr;
        device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
        D3DLOCKED_RECT locked{};
        back->LockRect(&locked, nullptr, D3DLOCK_READONLY);
        const std::uint32_t pixel = static_cast<const std::uint32_t*>(locked.pBits)[300 * locked.Pitch / 4 + 400];
        back->UnlockRect();
        back->Release();
        return pixel;
    }

private:
    void MakeTexture() {
        device_->CreateTexture(512, 512, 10, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture_, nullptr);
        for (UINT level = 0; level < 10; ++level) {
            D3DLOCKED_RECT locked{};
            texture_->LockRect(level, &locked, nullptr, 0);
            const UINT size = 512 >> level;
            for (UINT y = 0; y < size; ++y) {
                auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch);
                for (UINT x = 0; x < size; ++x) row[x] = ((x / 8 + y / 8) % 2 ? 0xFFFFFF : 0x202020) ^ (level * 0x1F0F07);
            }
            texture_->UnlockRect(level);
        }
    }
    void MakeTunnel() {
        const std::vector<Vertex> vertices = Tunnel(200);
        const UINT bytes = UINT(vertices.size() * sizeof(Vertex));
        device_->CreateVertexBuffer(bytes, 0, 0, D3DPOOL_DEFAULT, &buffer_, nullptr);
        void* data = nullptr;
        buffer_->Lock(0, 0, &data, 0);
        std::memcpy(data, vertices.data(), bytes);
        buffer_->Unlock();
    }

    IDirect3D9* direct3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    IDirect3DTexture9* texture_ = nullptr;
    IDirect3DVertexBuffer9* buffer_ = nullptr;
};

}  // namespace quillmark::bench
