// The scene: the plane and tunnel vertex buffers, the camera and texture
// transforms, and the drawing of one frame.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "platform/win32/windows.h"

namespace quillmark {

// Vertex layout D3DFVF_XYZ | D3DFVF_TEX1: position and one texture coordinate pair.
struct SceneVertex {
    float x, y, z;
    float u, v;
};
static_assert(sizeof(SceneVertex) == 20);

inline constexpr DWORD kSceneFvf = D3DFVF_XYZ | D3DFVF_TEX1;

// Degrees to radians with the factor 3.14 / 180, in single and double precision.
inline constexpr float kDegreesToRadians = 0.017444445f;
inline constexpr double kDegreesToRadiansDouble = 0.017444445027245417;

// Fixed camera.
inline constexpr float kFieldOfViewY = 1.3962634f;
inline constexpr float kNearPlane = 0.5f;
inline constexpr float kFarPlane = 60.0f;
float CameraAspect();  // the single-precision value with bits 0x3FAAAAA8

// (Re)creates and fills planeBuffer (4 vertices); S_OK or E_FAIL.
HRESULT BuildPlane();

// (Re)creates and fills tunnelBuffer for the current face count; S_OK or E_FAIL.
HRESULT BuildTunnel();

// Number of vertices BuildTunnel writes for a face count.
int TunnelVertexCount(int faces);

// Sets world, view, projection and texture transforms from the settings.
void SetTransforms();

// Draws, analyses (during a run) and presents one frame; a failed Present
// rebuilds the device. Without a device the frame is skipped after one try
// to rebuild it.
void RenderFrame();

}  // namespace quillmark
