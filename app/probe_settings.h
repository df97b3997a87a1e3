// Every setting the Settings dialog shows, as one value: what the probe draws
// and measures with. Each number setting's range and starting value are
// declared here once; the dialog's controls and the commands' settings flags
// take theirs from these declarations.
#pragma once

#include "platform/d3d9/d3d9.h"

#include <string>

namespace quillmark {

// The positions a number setting takes and the one it starts at.
struct SettingRange {
    int low, high, initial;
};

// Maximum anisotropy as a power of two: 2^step (1x to 16x); a device may
// allow fewer steps.
inline constexpr SettingRange kAnisotropyStepRange{0, 4, 0};
// Mip LOD bias in tenths (-8.0 to 8.0).
inline constexpr SettingRange kLodBiasTenthsRange{-80, 80, 0};
// Texture stage under test; a device may have fewer stages.
inline constexpr SettingRange kStageRange{0, 7, 0};
// Camera distance in tenths (0.5 to 30.0).
inline constexpr SettingRange kDistanceTenthsRange{5, 300, 20};
// Plane tilt, scene rotation and texture rotation, whole degrees.
inline constexpr SettingRange kAngleRange{0, 89, 0};
// Faces around the tunnel.
inline constexpr SettingRange kFacesRange{3, 200, 200};
// Checkerboard squares of the generated texture (CheckerSquareShift).
inline constexpr SettingRange kCheckerRange{-8, 8, 8};

// Colouring of the generated texture's mip levels (CheckerTexel).
inline constexpr int kTintNormal = 0, kTintTinted = 1, kTintFull = 2;

struct ProbeSettings {
    D3DTEXTUREFILTERTYPE minFilter = D3DTEXF_ANISOTROPIC;
    D3DTEXTUREFILTERTYPE magFilter = D3DTEXF_ANISOTROPIC;
    D3DTEXTUREFILTERTYPE mipFilter = D3DTEXF_LINEAR;
    int anisotropyStep = kAnisotropyStepRange.initial;
    int lodBiasTenths = kLodBiasTenthsRange.initial;
    int stage = kStageRange.initial;
    bool showPlane = false;  // the plane; otherwise the tunnel
    int distanceTenths = kDistanceTenthsRange.initial;
    int planeAngle = kAngleRange.initial;
    int sceneRotation = kAngleRange.initial;
    int textureRotation = kAngleRange.initial;
    int faces = kFacesRange.initial;
    int checkerShift = kCheckerRange.initial;
    int tintMode = kTintTinted;
    // The image file loaded as the texture file (empty: none), and whether
    // the stage samples it ("Use BMP:") rather than the generated texture.
    std::string textureFile;
    bool useFileTexture = false;

    bool operator==(const ProbeSettings&) const = default;
};

}  // namespace quillmark
