// Portable implementations of the dispatched math operations, and the plain
// (non-dispatched) builders.
#include "texfile/math/math_dispatch.h"

#include <cmath>
#include <cstring>

namespace quillmark {
namespace {

// sin and cos of one angle, evaluated together in extended precision and
// rounded to single, as one combined evaluation would give them.
void SinCos(float angle, float* s, float* c) {
    const double a = angle;
    *s = static_cast<float>(std::sin(a));
    *c = static_cast<float>(std::cos(a));
}

Matrix RowsToMatrix(const float (&rows)[4][4]) {
    Matrix m;
    std::memcpy(m.m, rows, sizeof(rows));
    return m;
}

Vector3 Subtract(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

Vector3 Cross(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

}  // namespace

namespace math_impl {

Matrix* MultiplyPortable(Matrix* out, const Matrix* a, const Matrix* b) {
    Matrix product;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            product.m[i][j] = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j] + a->m[i][2] * b->m[2][j] +
                              a->m[i][3] * b->m[3][j];
    *out = product;
    return out;
}

Vector3* NormalizePortable(Vector3* out, const Vector3* v) {
    const float x = v->x, y = v->y, z = v->z;
    const float lengthSquared = x * x + y * y + z * z;
    if (std::fabs(lengthSquared - 1.0f) <= 1.1920929e-7f) {
        *out = {x, y, z};
    } else if (lengthSquared <= 1.1754943508222875e-38f) {
        *out = {0.0f, 0.0f, 0.0f};
    } else {
        const float scale = 1.0f / std::sqrt(lengthSquared);
        *out = {x * scale, y * scale, z * scale};
    }
    return out;
}

}  // namespace math_impl

Matrix* MatRotateXPortable(Matrix* out, float angle) {
    float s, c;
    SinCos(angle, &s, &c);
    *out = RowsToMatrix({{1, 0, 0, 0}, {0, c, s, 0}, {0, -s, c, 0}, {0, 0, 0, 1}});
    return out;
}

Matrix* MatRotateZPortable(Matrix* out, float angle) {
    float s, c;
    SinCos(angle, &s, &c);
    *out = RowsToMatrix({{c, s, 0, 0}, {-s, c, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}});
    return out;
}

Matrix* MatIdentity(Matrix* out) {
    *out = RowsToMatrix({{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}});
    return out;
}

Matrix* MatLookAtLeft(Matrix* out, const Vector3* eye, const Vector3* at, const Vector3* up) {
    Vector3 z = Subtract(*at, *eye);
    Vec3Normalize(&z, &z);
    Vector3 x = Cross(*up, z);
    Vec3Normalize(&x, &x);
    const Vector3 y = Cross(z, x);
    *out = RowsToMatrix({{x.x, y.x, z.x, 0},
                         {x.y, y.y, z.y, 0},
                         {x.z, y.z, z.z, 0},
                         {-Dot(x, *eye), -Dot(y, *eye), -Dot(z, *eye), 1}});
    return out;
}

Matrix* MatPerspectiveLeft(Matrix* out, float fovY, float aspect, float zNear, float zFar) {
    // In single precision throughout: half the angle, its sine and cosine
    // rounded, then their quotient.
    const float half = fovY * 0.5f;
    float s, c;
    SinCos(half, &s, &c);
    const float yScale = c / s;
    const float q = zFar / (zFar - zNear);
    *out = RowsToMatrix({{yScale / aspect, 0, 0, 0}, {0, yScale, 0, 0}, {0, 0, q, 1}, {0, 0, -q * zNear, 0}});
    return out;
}

}  // namespace quillmark
