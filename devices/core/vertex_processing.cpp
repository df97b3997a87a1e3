#include "devices/core/vertex_processing.h"

#include <cstring>

#include "devices/core/renderer.h"

namespace quillmark::core {

std::uint32_t VertexSizeOf(DWORD fvf, std::uint32_t* textureSets) {
    const DWORD sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    const DWORD known = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEXCOUNT_MASK;
    // Any coordinate-size bits (16 and up) ask for sets other than 2-D.
    if ((fvf & D3DFVF_POSITION_MASK) != D3DFVF_XYZ || (fvf & ~known) || sets > 8) return 0;
    *textureSets = sets;
    return 12 + ((fvf & D3DFVF_NORMAL) ? 12 : 0) + 8 * sets;
}

bool IsSupportedTransform(DWORD flags) {
    const DWORD count = flags & ~DWORD{D3DTTFF_PROJECTED};
    return count <= D3DTTFF_COUNT4;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) sum += double(a.m[i][k]) * double(b.m[k][j]);
            r.m[i][j] = float(sum);
        }
    }
    return r;
}

// (s, t, q) of one stage. A 2-D coordinate is transformed as the row vector
// (u, v, 1, 0); COUNTn keeps n results, PROJECTED divides by the nth.
static void StageCoordinates(float u, float v, const CoordinateSource& source, float* out) {
    const DWORD count = source.transformFlags & ~DWORD{D3DTTFF_PROJECTED};
    if (count == D3DTTFF_DISABLE) {
        out[0] = u, out[1] = v, out[2] = 1.0f;
        return;
    }
    const D3DMATRIX& m = source.matrix;
    float r[4];
    for (int j = 0; j < 4; ++j) r[j] = u * m.m[0][j] + v * m.m[1][j] + m.m[2][j];
    for (DWORD j = count; j < 4; ++j) r[j] = 0.0f;
    out[0] = r[0];
    out[1] = r[1];
    out[2] = (source.transformFlags & D3DTTFF_PROJECTED) && count >= 2 ? r[count - 1] : 1.0f;
}

void TransformVertices(const std::uint8_t* data, std::uint32_t count, std::uint32_t stride,
                       const D3DMATRIX& m, const std::vector<CoordinateSource>& sources,
                       std::vector<ClipVertex>& out) {
    out.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* vertex = data + std::size_t(i) * stride;
        float p[3];
        std::memcpy(p, vertex, sizeof p);
        ClipVertex& c = out[i];
        c.x = p[0] * m._11 + p[1] * m._21 + p[2] * m._31 + m._41;
        c.y = p[0] * m._12 + p[1] * m._22 + p[2] * m._32 + m._42;
        c.z = p[0] * m._13 + p[1] * m._23 + p[2] * m._33 + m._43;
        c.w = p[0] * m._14 + p[1] * m._24 + p[2] * m._34 + m._44;
        for (std::size_t k = 0; k < sources.size(); ++k) {
            float uv[2];
            std::memcpy(uv, vertex + sources[k].offset, sizeof uv);
            StageCoordinates(uv[0], uv[1], sources[k], &c.attributes[3 * k]);
        }
    }
}

namespace {

// Signed distance-like value of a clip plane: the vertex is kept when >= 0.
using PlaneFunction = float (*)(const ClipVertex&);
constexpr PlaneFunction kPlanes[] = {
    [](const ClipVertex& v) { return v.w - 1.0e-6f; },            // w > 0
    [](const ClipVertex& v) { return v.z; },                      // near
    [](const ClipVertex& v) { return v.w - v.z; },                // far
    [](const ClipVertex& v) { return kGuardBand * v.w - v.x; },   // right
    [](const ClipVertex& v) { return kGuardBand * v.w + v.x; },   // left
    [](const ClipVertex& v) { return kGuardBand * v.w - v.y; },   // top
    [](const ClipVertex& v) { return kGuardBand * v.w + v.y; },   // bottom
};

ClipVertex Lerp(const ClipVertex& a, const ClipVertex& b, float t, std::uint32_t attributeCount) {
    ClipVertex r;
    r.x = a.x + (b.x - a.x) * t;
    r.y = a.y + (b.y - a.y) * t;
    r.z = a.z + (b.z - a.z) * t;
    r.w = a.w + (b.w - a.w) * t;
    for (std::uint32_t k = 0; k < attributeCount; ++k)
        r.attributes[k] = a.attributes[k] + (b.attributes[k] - a.attributes[k]) * t;
    return r;
}

}  // namespace

std::uint32_t ClipTriangle(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c,
                           std::uint32_t attributeCount, ClipVertex* out) {
    ClipVertex buffers[2][kMaxClippedVertices];
    buffers[0][0] = a, buffers[0][1] = b, buffers[0][2] = c;
    std::uint32_t count = 3;
    int current = 0;
    for (PlaneFunction plane : kPlanes) {
        const ClipVertex* in = buffers[current];
        ClipVertex* next = buffers[1 - current];
        std::uint32_t kept = 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            const ClipVertex& p = in[i];
            const ClipVertex& q = in[(i + 1) % count];
            const float dp = plane(p), dq = plane(q);
            if (dp >= 0) next[kept++] = p;
            if ((dp >= 0) != (dq >= 0)) next[kept++] = dp >= 0 ? Lerp(p, q, dp / (dp - dq), attributeCount)
                                                             : Lerp(q, p, dq / (dq - dp), attributeCount);
        }
        count = kept;
        current = 1 - current;
        if (count < 3) return 0;
    }
    for (std::uint32_t i = 0; i < count; ++i) out[i] = buffers[current][i];
    return count;
}

void TransformDrawVertices(const DrawCall& call, std::vector<ClipVertex>& out) {
    const DeviceState& state = call.state;
    const D3DMATRIX worldViewProjection = Multiply(Multiply(state.world[0], state.view), state.projection);
    TransformVertices(call.plan.firstVertex, call.plan.vertexCount, call.plan.stride, worldViewProjection,
                      call.plan.sources, out);
}

}  // namespace quillmark::core
