#include "app/scene.h"

#include "app/analysis.h"
#include "app/probe_state.h"
#include "app/device_lifecycle.h"
#include "texfile/math/matrix.h"
#include "app/readback.h"
#include "app/sampler_stages.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace quillmark {
namespace {

constexpr SceneVertex kPlaneVertices[4] = {
    {25, 25, 0, 9, 9},
    {25, -25, 0, 9, -9},
    {-25, 25, 0, -9, 9},
    {-25, -25, 0, -9, -9},
};

constexpr float kTunnelLength = 21.0f;
constexpr float kTunnelRepeatsAlong = 10.5f;
constexpr float kPi = 3.14159265358979323846f;

// Releases a held buffer, then creates and locks a new one of `bytes`.
HRESULT CreateLockedBuffer(IDirect3DVertexBuffer9*& holder, UINT bytes, void** data) {
    ProbeState& probe = ActiveProbe();
    if (holder) {
        holder->Release();
        holder = nullptr;
    }
    if (!probe.device || FAILED(probe.device->CreateVertexBuffer(bytes, 0, 0, D3DPOOL_DEFAULT, &holder, nullptr))) {
        holder = nullptr;
        return E_FAIL;
    }
    if (FAILED(holder->Lock(0, 0, data, 0))) {
        // A buffer that could not be filled must never be drawn.
        holder->Release();
        holder = nullptr;
        return E_FAIL;
    }
    return S_OK;
}

// Writes the tunnel's vertex pairs; returns how many vertices were written.
// The pair that closes the last face (t near 2) takes the position of the
// first: the running t and the sine of its angle miss 2 and 0 by rounding,
// and a seam open by that much leaves pixels undrawn.
int WriteTunnelVertices(int faces, SceneVertex* out) {
    const float step = 2.0f / static_cast<float>(faces);
    const float limit = step + 2.0f;
    int count = 0;
    for (float t = 0.0f; t < limit; t += step) {
        const float angle = count == 2 * faces ? 0.0f : t * kPi;
        const float x = std::sin(angle), y = std::cos(angle);
        if (out) {
            out[count] = {x, y, 0.0f, kTunnelRepeatsAlong, t};
            out[count + 1] = {x, y, kTunnelLength, -kTunnelRepeatsAlong, t};
        }
        count += 2;
    }
    return count;
}

void SetClearMaterialAndLighting() {
    ProbeState& probe = ActiveProbe();
    probe.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    D3DMATERIAL9 material{};
    material.Emissive = {255.0f, 255.0f, 255.0f, 0.0f};
    probe.device->SetMaterial(&material);
    probe.device->SetRenderState(D3DRS_LIGHTING, TRUE);
}

void DrawObject() {
    ProbeState& probe = ActiveProbe();
    IDirect3DVertexBuffer9* buffer = probe.settings.showPlane ? probe.planeBuffer : probe.tunnelBuffer;
    if (!buffer) return;
    const UINT triangles = probe.settings.showPlane ? 2u : 2u * static_cast<UINT>(probe.settings.faces);
    probe.device->SetStreamSource(0, buffer, 0, sizeof(SceneVertex));
    probe.device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, triangles);
}

}  // namespace

float CameraAspect() { return std::bit_cast<float>(0x3FAAAAA8u); }

HRESULT BuildPlane() {
    ProbeState& probe = ActiveProbe();
    void* data = nullptr;
    if (FAILED(CreateLockedBuffer(probe.planeBuffer, sizeof(kPlaneVertices), &data))) return E_FAIL;
    std::memcpy(data, kPlaneVertices, sizeof(kPlaneVertices));
    probe.planeBuffer->Unlock();
    return S_OK;
}

int TunnelVertexCount(int faces) { return faces > 0 ? WriteTunnelVertices(faces, nullptr) : 0; }

HRESULT BuildTunnel() {
    ProbeState& probe = ActiveProbe();
    const int faces = probe.settings.faces;
    if (faces <= 0) return E_FAIL;
    // Room for 2 × faces + 4 vertices: rounding of the running angle may add a pair.
    const UINT bytes = static_cast<UINT>(5 * faces + 10) * 8u;
    void* data = nullptr;
    if (FAILED(CreateLockedBuffer(probe.tunnelBuffer, bytes, &data))) return E_FAIL;
    WriteTunnelVertices(faces, static_cast<SceneVertex*>(data));
    probe.tunnelBuffer->Unlock();
    return S_OK;
}

void SetTransforms() {
    ProbeState& probe = ActiveProbe();
    Matrix rotateZ, tilt, world, view, projection, texture;
    MatRotateZ(&rotateZ, probe.settings.sceneRotation * kDegreesToRadians);
    if (probe.settings.showPlane)
        MatRotateX(&tilt, static_cast<float>(probe.settings.planeAngle * kDegreesToRadiansDouble));
    else
        MatIdentity(&tilt);
    MatMultiply(&world, &rotateZ, &tilt);
    probe.device->SetTransform(D3DTS_WORLD, &world);

    const float eyeZ = probe.settings.showPlane ? -static_cast<float>(probe.settings.distance * 0.1) : 0.25f;
    const Vector3 eye{0, 0, eyeZ}, at{0, 0, eyeZ + 1.0f}, up{0, 1, 0};
    MatLookAtLeft(&view, &eye, &at, &up);
    probe.device->SetTransform(D3DTS_VIEW, &view);

    MatPerspectiveLeft(&projection, kFieldOfViewY, CameraAspect(), kNearPlane, kFarPlane);
    probe.device->SetTransform(D3DTS_PROJECTION, &projection);

    MatRotateZ(&texture, probe.settings.textureRotation * kDegreesToRadians);
    probe.device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + probe.settings.stage), &texture);
}

void RenderFrame() {
    ProbeState& probe = ActiveProbe();
    if (!probe.device && !RecoverDevice()) return;
    if (probe.run.running && probe.run.level < 10) BuildMarkedTexture();

    SetClearMaterialAndLighting();
    if (FAILED(probe.device->BeginScene())) {
        MessageBoxA(nullptr, "TT", "TT", MB_OK);
    } else {
        SetTransforms();
        ConfigureStages();
        probe.device->SetFVF(kSceneFvf);
        DrawObject();
        probe.device->EndScene();
    }
    if (probe.run.running) ReadBack();

    if (probe.device->Present(nullptr, nullptr, nullptr, nullptr) == S_OK) {
        ++probe.run.framesDone;
        probe.run.savedPhase = probe.run.phase;
    } else {
        RecoverDevice();
    }
}

}  // namespace quillmark
