// The matrix functions the scene uses: multiply, rotations about X and Z,
// left-handed look-at and perspective. Matrices are row-major with row
// vectors (v' = v·M, translation in row 3). Every function returns its
// output pointer; the output may alias an input.
#pragma once

#include "platform/d3d9/d3d9types.h"

namespace quillmark {

using Matrix = D3DMATRIX;
using Vector3 = D3DVECTOR;

// Dispatched through the first-call table (see math_dispatch.h).
Matrix* MatMultiply(Matrix* out, const Matrix* a, const Matrix* b);
Matrix* MatRotateX(Matrix* out, float angle);
Matrix* MatRotateZ(Matrix* out, float angle);
Vector3* Vec3Normalize(Vector3* out, const Vector3* v);

// Plain functions.
Matrix* MatLookAtLeft(Matrix* out, const Vector3* eye, const Vector3* at, const Vector3* up);
Matrix* MatPerspectiveLeft(Matrix* out, float fovY, float aspect, float zNear, float zFar);
Matrix* MatIdentity(Matrix* out);

}  // namespace quillmark
