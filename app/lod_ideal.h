// The ideal level of detail: the same triangles the device drew (its
// vertices through its own world, view, projection and texture transforms)
// evaluated again in double precision, per pixel, with the rules of
// anisotropic filtering, and the band of λ those rules allow a device.
// docs/level-of-detail.md states the formulas.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace quillmark {

// One vertex in clip space, with its texture coordinates after the texture
// transform.
struct IdealVertex {
    double x, y, z, w;
    double u, v;
};

struct IdealScene {
    std::vector<std::array<IdealVertex, 3>> triangles;
    double viewportX = 0, viewportY = 0, viewportWidth = 0, viewportHeight = 0;
    double textureWidth = 0, textureHeight = 0;  // level 0, in texels
};

enum class MipRule { None, Point, Linear };

// The sampler settings that decide λ.
struct LodRule {
    bool anisotropic = false;  // minification filter ANISOTROPIC
    int maxAnisotropy = 1;
    double bias = 0.0;
    MipRule mip = MipRule::Linear;
    int lastLevel = 0;
};

// Texture-coordinate differences across one pixel step, in texels of level 0.
struct Footprint {
    double dudx, dvdx, dudy, dvdy;
};

// λ of a footprint (bias included, not clamped) and the band [low, high]
// that the rules allow: each axis length anywhere between the larger
// coordinate difference and their sum, N rounded up to a power of two.
struct LodBand {
    double lambda, low, high;
};
LodBand LodOfFootprint(const Footprint& footprint, const LodRule& rule);

// The level a mip rule reads for λ: λ itself (linear), the nearest level
// (point), 0 (none); not clamped.
double RuleLevel(double lambda, MipRule mip);

// The probes the rules take along a footprint's longer axis: the ratio of
// its axis lengths rounded up, at most the maximum anisotropy; 1 unless the
// minification filter is anisotropic.
int IdealProbeCount(const Footprint& footprint, const LodRule& rule);

// One pixel of the ideal.
struct IdealLod {
    bool covered = false;  // a triangle covers the pixel centre
    bool clamped = false;  // λ lies below 0 or beyond the last level
    double level = 0.0;    // the level the rule reads: λ (linear mip), the nearest level (point), 0 (none)
    double low = 0.0, high = 0.0;  // the band in the same terms
};

// The footprint at one pixel of the screen: none where no triangle covers the
// pixel centre, or where a pixel of its quad lies beyond the horizon.
struct PixelFootprint {
    bool covered = false;
    std::optional<Footprint> footprint;
};

// Per pixel of a width × height screen, row by row, the footprint of the
// 2 × 2 quad holding the pixel, taken on the triangle covering the pixel.
std::vector<PixelFootprint> ComputeFootprints(const IdealScene& scene, int width, int height);

// The texture coordinates at one pixel's centre, in texels of level 0 (a
// texel's centre lies at half a texel, wrap addressing repeats the
// texture beyond 0 .. size), with the footprint of its quad; nothing where
// no triangle covers the pixel centre.
struct PixelTexture {
    double u = 0, v = 0;
    std::optional<Footprint> footprint;
};
std::optional<PixelTexture> TextureAtPixel(const IdealScene& scene, int width, int height, int x, int y);

// Per pixel of a width × height screen, row by row. Pixel (x, y) has its
// centre at screen position (x, y); λ comes from the 2 × 2 quad's
// differences at its top-left pixel, taken on the triangle covering the pixel.
std::vector<IdealLod> ComputeIdealLod(const IdealScene& scene, const LodRule& rule, int width, int height);

// The scene the device drew last: the plane or tunnel buffer, the device's
// transforms for the stage under test, its viewport and the generated
// texture's size. False with the reason in *error when the device refuses a
// query.
bool SceneFromDevice(IdealScene* scene, std::string* error);

// The rule of the probe's settings, for the generated texture.
LodRule RuleFromSettings();

}  // namespace quillmark
