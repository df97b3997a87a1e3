#include "app/lod_ideal.h"

#include "app/probe_state.h"
#include "app/scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quillmark {
namespace {

constexpr double kNearestW = 1e-9;  // clip-space w below this is behind the eye

// a·x + b·y + c over screen pixels.
struct Plane {
    double a = 0, b = 0, c = 0;
    double At(double x, double y) const { return a * x + b * y + c; }
};

// A triangle as plane equations over the screen: the three homogeneous
// barycentric weights k (all ≥ 0 inside, in front of the eye), q = 1/w and
// u/w, v/w, z/w, so that u = (u/w) / q with perspective correction and the
// depth is z/w itself.
struct ScreenTriangle {
    Plane k[3];
    Plane q, u, v, z;
    int left = 0, top = 0, right = -1, bottom = -1;  // pixel bounds, inclusive
};

using Matrix3 = std::array<std::array<double, 3>, 3>;

bool Inverse(const Matrix3& m, Matrix3* out) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (!std::isfinite(det) || std::abs(det) < 1e-300) return false;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            (*out)[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
        }
    return true;
}

// The part of the triangle in front of the near plane (z ≥ 0, w > 0), as
// screen positions; empty when none of it is.
std::vector<std::array<double, 2>> VisibleOutline(const IdealScene& scene, const std::array<IdealVertex, 3>& t) {
    std::vector<IdealVertex> polygon(t.begin(), t.end());
    for (int plane = 0; plane < 2; ++plane) {
        const auto distance = [plane](const IdealVertex& p) { return plane == 0 ? p.z : p.w - kNearestW; };
        std::vector<IdealVertex> kept;
        for (std::size_t i = 0; i < polygon.size(); ++i) {
            const IdealVertex& p = polygon[i];
            const IdealVertex& q = polygon[(i + 1) % polygon.size()];
            const double dp = distance(p), dq = distance(q);
            if (dp >= 0) kept.push_back(p);
            if ((dp >= 0) != (dq >= 0)) {
                const double s = dp / (dp - dq);
                kept.push_back({p.x + (q.x - p.x) * s, p.y + (q.y - p.y) * s, p.z + (q.z - p.z) * s,
                                p.w + (q.w - p.w) * s, 0, 0});
            }
        }
        polygon = std::move(kept);
    }
    std::vector<std::array<double, 2>> outline;
    for (const IdealVertex& p : polygon)
        outline.push_back({scene.viewportX + (1 + p.x / p.w) * scene.viewportWidth * 0.5,
                           scene.viewportY + (1 - p.y / p.w) * scene.viewportHeight * 0.5});
    return outline.size() >= 3 ? outline : std::vector<std::array<double, 2>>{};
}

bool MakeScreenTriangle(const IdealScene& scene, const std::array<IdealVertex, 3>& t, int width, int height,
                        ScreenTriangle* out) {
    const Matrix3 m = {{{t[0].x, t[1].x, t[2].x}, {t[0].y, t[1].y, t[2].y}, {t[0].w, t[1].w, t[2].w}}};
    Matrix3 inverse;
    if (!Inverse(m, &inverse)) return false;
    // Pixel (px, py) in normalised device coordinates: X = sx·px + ox, Y = sy·py + oy.
    const double sx = 2 / scene.viewportWidth, ox = -2 * scene.viewportX / scene.viewportWidth - 1;
    const double sy = -2 / scene.viewportHeight, oy = 1 + 2 * scene.viewportY / scene.viewportHeight;
    for (int i = 0; i < 3; ++i)
        out->k[i] = {inverse[i][0] * sx, inverse[i][1] * sy, inverse[i][0] * ox + inverse[i][1] * oy + inverse[i][2]};
    const auto weighted = [&](auto value) {
        Plane p;
        for (int i = 0; i < 3; ++i) {
            const double f = value(t[std::size_t(i)]);
            p.a += out->k[i].a * f;
            p.b += out->k[i].b * f;
            p.c += out->k[i].c * f;
        }
        return p;
    };
    out->q = weighted([](const IdealVertex&) { return 1.0; });
    out->u = weighted([&](const IdealVertex& p) { return p.u * scene.textureWidth; });
    out->v = weighted([&](const IdealVertex& p) { return p.v * scene.textureHeight; });
    out->z = weighted([](const IdealVertex& p) { return p.z; });
    const std::vector<std::array<double, 2>> outline = VisibleOutline(scene, t);
    if (outline.empty()) return false;
    double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
    for (const auto& [x, y] : outline) {
        x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
    }
    out->left = int(std::max(0.0, std::floor(x0)));
    out->top = int(std::max(0.0, std::floor(y0)));
    out->right = int(std::min(double(width - 1), std::ceil(x1)));
    out->bottom = int(std::min(double(height - 1), std::ceil(y1)));
    return true;
}

// Depth (z/w) of the triangle at the pixel centre when it covers it, else NaN.
double CoverageDepth(const ScreenTriangle& t, double x, double y) {
    const double q = t.q.At(x, y);
    if (!(q > 0)) return NAN;
    for (const Plane& k : t.k)
        if (k.At(x, y) < 0) return NAN;
    const double depth = t.z.At(x, y);  // Σ k·z = (Σ β·z) / w = z/w
    return depth >= 0 && depth <= 1 ? depth : NAN;
}

// Texture coordinates (texels of level 0) of the triangle's plane at a pixel.
bool TexelsAt(const ScreenTriangle& t, double x, double y, double* u, double* v) {
    const double q = t.q.At(x, y);
    if (!(q > 0)) return false;
    *u = t.u.At(x, y) / q;
    *v = t.v.At(x, y) / q;
    return true;
}

// The footprint of the 2 × 2 quad holding the pixel, on the triangle's plane;
// nothing when a helper pixel lies beyond the horizon.
std::optional<Footprint> QuadFootprint(const ScreenTriangle& t, int x, int y) {
    const double qx = x & ~1, qy = y & ~1;
    double u0, v0, ux, vx, uy, vy;
    if (!TexelsAt(t, qx, qy, &u0, &v0) || !TexelsAt(t, qx + 1, qy, &ux, &vx) || !TexelsAt(t, qx, qy + 1, &uy, &vy))
        return std::nullopt;
    return Footprint{ux - u0, vx - v0, uy - u0, vy - v0};
}

IdealLod PixelLod(const PixelFootprint& pixel, const LodRule& rule) {
    IdealLod out;
    out.covered = pixel.covered;
    if (!pixel.covered) return out;
    if (!pixel.footprint) {
        out.clamped = true;  // no finite footprint
        return out;
    }
    const LodBand band = LodOfFootprint(*pixel.footprint, rule);
    out.clamped = rule.mip != MipRule::None && !(band.lambda >= 0 && band.lambda <= rule.lastLevel);
    out.level = RuleLevel(band.lambda, rule.mip);
    out.low = RuleLevel(band.low, rule.mip);
    out.high = RuleLevel(band.high, rule.mip);
    return out;
}

// The lengths the rules allow one axis of a footprint: anywhere from the
// larger coordinate difference to their sum.
struct AxisRange {
    double shortest, longest;
};

// The probe count for a ratio of axis lengths, counted exactly or rounded up
// to a power of two, at most the maximum anisotropy.
double ProbeCount(double ratio, bool powerOfTwo, int limit) {
    if (!(ratio < limit)) return limit;  // also a zero short axis
    double count = std::max(1.0, std::ceil(ratio));
    if (powerOfTwo) count = std::exp2(std::ceil(std::log2(count)));
    return std::min(count, double(limit));
}

struct LengthRange {
    double low = HUGE_VAL, high = -HUGE_VAL;
    void Take(double value) { low = std::min(low, value), high = std::max(high, value); }
};

// The smallest and largest length per probe, ρmax / N, over every choice the
// rules allow when `major` is the longer axis: each axis length in its range
// (major no shorter than minor), N counted exactly or rounded up to a power
// of two. For a fixed major length M, ρmax / N grows with the minor length
// (a smaller ratio never takes more probes), so the smallest value takes the
// shortest minor length c and the largest min(longest minor, M); along M the
// value M / N(M / c) grows between the steps of N and drops at them, so the
// ends are at the ends of M's range or at a step, M = k·c, with N at k
// (the top of a step) or at k + 1 (just past it). Steps past the maximum
// anisotropy change nothing, so k stops there. Empty when major cannot be
// the longer axis.
LengthRange ProbeLengthRange(const AxisRange& major, const AxisRange& minor, int limit) {
    LengthRange range;
    const double first = std::max(major.shortest, minor.shortest), last = major.longest;
    if (first > last) return range;
    for (const bool powerOfTwo : {false, true}) {
        const auto perProbe = [&](double length, double minorLength) {
            return length / ProbeCount(minorLength > 0 ? length / minorLength : HUGE_VAL, powerOfTwo, limit);
        };
        // Smallest: minor at its shortest.
        const double c = minor.shortest;
        range.Take(perProbe(first, c));
        range.Take(perProbe(last, c));
        if (c > 0)
            for (double k = std::ceil(first / c); k <= limit && k * c < last; ++k)
                range.Take(k * c / ProbeCount(k + 1, powerOfTwo, limit));
        // Largest: minor as long as it may be and no longer than the major.
        const double d = minor.longest;
        range.Take(perProbe(first, std::min(d, first)));
        range.Take(perProbe(last, std::min(d, last)));
        if (d > first && d <= last) range.Take(d);  // M = d: ratio 1, one probe
        if (d > 0)
            for (double k = std::max(1.0, std::floor(first / d)); k <= limit && k * d <= last; ++k)
                if (k * d >= first) range.Take(k * d / ProbeCount(k, powerOfTwo, limit));
    }
    return range;
}

}  // namespace

double RuleLevel(double lambda, MipRule mip) {
    switch (mip) {
    case MipRule::None: return 0.0;
    case MipRule::Point: return std::floor(lambda + 0.5);
    case MipRule::Linear: break;
    }
    return lambda;
}

int IdealProbeCount(const Footprint& f, const LodRule& rule) {
    if (!rule.anisotropic || rule.maxAnisotropy <= 1) return 1;
    const double rhoX = std::hypot(f.dudx, f.dvdx), rhoY = std::hypot(f.dudy, f.dvdy);
    const double rhoMax = std::max(rhoX, rhoY), rhoMin = std::min(rhoX, rhoY);
    const int limit = rule.maxAnisotropy;
    return rhoMin > 0 ? int(std::min(std::ceil(rhoMax / rhoMin), double(limit))) : limit;
}

LodBand LodOfFootprint(const Footprint& f, const LodRule& rule) {
    const double rhoX = std::hypot(f.dudx, f.dvdx), rhoY = std::hypot(f.dudy, f.dvdy);
    const double rhoMax = std::max(rhoX, rhoY);
    // The shortest and longest length the rules allow for each axis.
    const AxisRange x{std::max(std::abs(f.dudx), std::abs(f.dvdx)), std::abs(f.dudx) + std::abs(f.dvdx)};
    const AxisRange y{std::max(std::abs(f.dudy), std::abs(f.dvdy)), std::abs(f.dudy) + std::abs(f.dvdy)};
    LodBand band;
    if (!rule.anisotropic || rule.maxAnisotropy <= 1) {
        band = {std::log2(rhoMax), std::log2(std::max(x.shortest, y.shortest)),
                std::log2(std::max(x.longest, y.longest))};
    } else {
        const int limit = rule.maxAnisotropy;
        const double n = IdealProbeCount(f, rule);
        // Either axis may be the longer one.
        const LengthRange a = ProbeLengthRange(x, y, limit), b = ProbeLengthRange(y, x, limit);
        band = {std::log2(rhoMax / n), std::log2(std::min(a.low, b.low)), std::log2(std::max(a.high, b.high))};
    }
    band.lambda += rule.bias;
    band.low += rule.bias;
    band.high += rule.bias;
    return band;
}

std::vector<PixelFootprint> ComputeFootprints(const IdealScene& scene, int width, int height) {
    std::vector<ScreenTriangle> triangles;
    for (const auto& t : scene.triangles) {
        ScreenTriangle screen;
        if (MakeScreenTriangle(scene, t, width, height, &screen)) triangles.push_back(screen);
    }
    // The nearest triangle at each pixel centre.
    std::vector<int> owner(std::size_t(width) * std::size_t(height), -1);
    std::vector<double> depth(owner.size(), HUGE_VAL);
    for (std::size_t i = 0; i < triangles.size(); ++i) {
        const ScreenTriangle& t = triangles[i];
        for (int y = t.top; y <= t.bottom; ++y)
            for (int x = t.left; x <= t.right; ++x) {
                const double d = CoverageDepth(t, x, y);
                const std::size_t p = std::size_t(y) * std::size_t(width) + std::size_t(x);
                if (d < depth[p]) depth[p] = d, owner[p] = int(i);
            }
    }
    std::vector<PixelFootprint> out(owner.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::size_t p = std::size_t(y) * std::size_t(width) + std::size_t(x);
            if (owner[p] >= 0) out[p] = {true, QuadFootprint(triangles[std::size_t(owner[p])], x, y)};
        }
    return out;
}

std::optional<PixelTexture> TextureAtPixel(const IdealScene& scene, int width, int height, int x, int y) {
    std::optional<ScreenTriangle> nearest;
    double nearestDepth = HUGE_VAL;
    for (const auto& t : scene.triangles) {
        ScreenTriangle screen;
        if (!MakeScreenTriangle(scene, t, width, height, &screen)) continue;
        const double d = CoverageDepth(screen, x, y);
        if (d < nearestDepth) nearestDepth = d, nearest = screen;
    }
    PixelTexture out;
    if (!nearest || !TexelsAt(*nearest, x, y, &out.u, &out.v)) return std::nullopt;
    out.footprint = QuadFootprint(*nearest, x, y);
    return out;
}

std::vector<IdealLod> ComputeIdealLod(const IdealScene& scene, const LodRule& rule, int width, int height) {
    const std::vector<PixelFootprint> footprints = ComputeFootprints(scene, width, height);
    std::vector<IdealLod> out(footprints.size());
    for (std::size_t p = 0; p < footprints.size(); ++p) out[p] = PixelLod(footprints[p], rule);
    return out;
}

namespace {

using Matrix4 = std::array<std::array<double, 4>, 4>;

Matrix4 ToDouble(const D3DMATRIX& m) {
    Matrix4 out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out[std::size_t(r)][std::size_t(c)] = m.m[r][c];
    return out;
}

Matrix4 Multiply(const Matrix4& a, const Matrix4& b) {
    Matrix4 out{};
    for (std::size_t r = 0; r < 4; ++r)
        for (std::size_t c = 0; c < 4; ++c)
            for (std::size_t k = 0; k < 4; ++k) out[r][c] += a[r][k] * b[k][c];
    return out;
}

// The device's vertex: position through world, view and projection, texture
// coordinates through the stage's texture transform (a row vector (u, v, 1, 0)).
IdealVertex Transformed(const SceneVertex& vertex, const Matrix4& clip, const Matrix4& texture) {
    const double p[4] = {vertex.x, vertex.y, vertex.z, 1.0};
    double c[4] = {};
    for (std::size_t j = 0; j < 4; ++j)
        for (std::size_t i = 0; i < 4; ++i) c[j] += p[i] * clip[i][j];
    return {c[0], c[1], c[2], c[3], vertex.u * texture[0][0] + vertex.v * texture[1][0] + texture[2][0],
            vertex.u * texture[0][1] + vertex.v * texture[1][1] + texture[2][1]};
}

}  // namespace

bool SceneFromDevice(IdealScene* scene, std::string* error) {
    ProbeState& probe = ActiveProbe();
    IDirect3DDevice9* device = probe.device;
    IDirect3DVertexBuffer9* buffer = probe.settings.showPlane ? probe.planeBuffer : probe.tunnelBuffer;
    const int triangleCount = probe.settings.showPlane ? 2 : 2 * probe.settings.faces;
    D3DMATRIX world{}, view{}, projection{}, texture{};
    D3DVIEWPORT9 viewport{};
    D3DSURFACE_DESC level0{};
    if (!device || !buffer || !probe.mipTexture || FAILED(device->GetTransform(D3DTS_WORLD, &world)) ||
        FAILED(device->GetTransform(D3DTS_VIEW, &view)) ||
        FAILED(device->GetTransform(D3DTS_PROJECTION, &projection)) ||
        FAILED(device->GetTransform(D3DTRANSFORMSTATETYPE(D3DTS_TEXTURE0 + probe.settings.stage), &texture)) ||
        FAILED(device->GetViewport(&viewport)) || FAILED(probe.mipTexture->GetLevelDesc(0, &level0))) {
        *error = "the device did not report its transforms, viewport or texture";
        return false;
    }
    void* data = nullptr;
    if (FAILED(buffer->Lock(0, 0, &data, D3DLOCK_READONLY))) {
        *error = "the vertex buffer could not be read";
        return false;
    }
    std::vector<SceneVertex> vertices(std::size_t(triangleCount) + 2);
    std::memcpy(vertices.data(), data, vertices.size() * sizeof(SceneVertex));
    buffer->Unlock();

    const Matrix4 clip = Multiply(Multiply(ToDouble(world), ToDouble(view)), ToDouble(projection));
    const Matrix4 textureMatrix = ToDouble(texture);
    scene->triangles.clear();
    for (int i = 0; i < triangleCount; ++i) {
        const auto at = [&](int k) { return Transformed(vertices[std::size_t(i + k)], clip, textureMatrix); };
        scene->triangles.push_back({at(0), at(1), at(2)});  // winding does not matter: nothing is culled
    }
    scene->viewportX = viewport.X;
    scene->viewportY = viewport.Y;
    scene->viewportWidth = viewport.Width;
    scene->viewportHeight = viewport.Height;
    scene->textureWidth = level0.Width;
    scene->textureHeight = level0.Height;
    return true;
}

LodRule RuleFromSettings() {
    ProbeState& probe = ActiveProbe();
    LodRule rule;
    rule.anisotropic = probe.settings.minFilter == D3DTEXF_ANISOTROPIC;
    rule.maxAnisotropy = std::max(1, probe.settings.maxAnisotropy);
    rule.bias = probe.settings.lodBias;
    rule.mip = probe.settings.mipFilter == D3DTEXF_POINT ? MipRule::Point
               : probe.settings.mipFilter == D3DTEXF_NONE ? MipRule::None
                                                 : MipRule::Linear;
    rule.lastLevel = probe.mipTexture ? int(probe.mipTexture->GetLevelCount()) - 1 : 0;
    return rule;
}

}  // namespace quillmark
