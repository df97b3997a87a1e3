// First-call dispatch of the math operations. Every dispatched operation
// forwards through one slot of a live table; before initialisation each slot
// holds a routine that initialises the table and then repeats the call.
// Initialisation installs the portable implementations, then the plain-x86
// ones, then (unless the "DisablePSGP"/"DisableTexLibPSGP" switch says 1)
// a processor-specific set.
#pragma once

#include "texfile/math/matrix.h"

#include <cstdint>

namespace quillmark {

enum MathDispatchState : std::uint32_t {
    MATH_DISPATCH_UNINITIALISED = 0xFFFF,
    MATH_DISPATCH_PORTABLE = 0,  // portable and plain-x86 implementations only
    MATH_DISPATCH_3DNOW = 1,
    MATH_DISPATCH_SSE2 = 2,
    MATH_DISPATCH_SSE = 3,
};

struct MathDispatchTable {
    Matrix* (*multiply)(Matrix*, const Matrix*, const Matrix*);
    Matrix* (*rotateX)(Matrix*, float);
    Matrix* (*rotateZ)(Matrix*, float);
    Vector3* (*normalize)(Vector3*, const Vector3*);
};

// Chooses the implementations once; later calls return the state chosen.
std::uint32_t InitializeMathDispatch();

// The live table, for inspection.
const MathDispatchTable& LiveMathDispatch();

// Implementation sets, exposed so each can be checked on its own.
namespace math_impl {
Matrix* MultiplyPortable(Matrix* out, const Matrix* a, const Matrix* b);
Matrix* MultiplySse(Matrix* out, const Matrix* a, const Matrix* b);
Vector3* NormalizePortable(Vector3* out, const Vector3* v);
Vector3* NormalizePlainX86(Vector3* out, const Vector3* v);
// The reciprocal-square-root segment (slope, offset) for segment 0..511.
void RsqrtSegment(unsigned index, float* slope, float* offset);
}  // namespace math_impl

namespace testing {
// Returns the table to its first-call routines, as at process start.
void ResetMathDispatch();
}  // namespace testing

}  // namespace quillmark
