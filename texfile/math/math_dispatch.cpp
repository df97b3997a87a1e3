#include "texfile/math/math_dispatch.h"

#include "texfile/library_switches.h"
#include "platform/processor/processor_features.h"

namespace quillmark {

Matrix* MatRotateXPortable(Matrix* out, float angle);
Matrix* MatRotateZPortable(Matrix* out, float angle);

namespace {

std::uint32_t gState = MATH_DISPATCH_UNINITIALISED;

// First-call routines: initialise, then repeat the call through the slot.
Matrix* FirstMultiply(Matrix* out, const Matrix* a, const Matrix* b);
Matrix* FirstRotateX(Matrix* out, float angle);
Matrix* FirstRotateZ(Matrix* out, float angle);
Vector3* FirstNormalize(Vector3* out, const Vector3* v);

constexpr MathDispatchTable kFirstCall = {&FirstMultiply, &FirstRotateX, &FirstRotateZ, &FirstNormalize};
constexpr MathDispatchTable kPortable = {&math_impl::MultiplyPortable, &MatRotateXPortable,
                                         &MatRotateZPortable, &math_impl::NormalizePortable};

MathDispatchTable gLive = kFirstCall;

Matrix* FirstMultiply(Matrix* out, const Matrix* a, const Matrix* b) {
    InitializeMathDispatch();
    return gLive.multiply(out, a, b);
}
Matrix* FirstRotateX(Matrix* out, float angle) {
    InitializeMathDispatch();
    return gLive.rotateX(out, angle);
}
Matrix* FirstRotateZ(Matrix* out, float angle) {
    InitializeMathDispatch();
    return gLive.rotateZ(out, angle);
}
Vector3* FirstNormalize(Vector3* out, const Vector3* v) {
    InitializeMathDispatch();
    return gLive.normalize(out, v);
}

// "DisablePSGP", replaced by "DisableTexLibPSGP" when that one is present.
DWORD ProcessorSetSwitch() {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (!ReadLibrarySwitch(REG_DWORD, "DisablePSGP", &value, &size)) value = 0;
    DWORD override = 0;
    size = sizeof(override);
    if (ReadLibrarySwitch(REG_DWORD, "DisableTexLibPSGP", &override, &size)) value = override;
    return value;
}

}  // namespace

std::uint32_t InitializeMathDispatch() {
    if (gState != MATH_DISPATCH_UNINITIALISED) return gState;
    gState = MATH_DISPATCH_PORTABLE;
    gLive = kPortable;
    gLive.normalize = &math_impl::NormalizePlainX86;
    const DWORD processorSets = ProcessorSetSwitch();
    if (processorSets == 1) return gState;
    if (processorSets != 2 && IsProcessorFeaturePresent(PF_3DNOW_INSTRUCTIONS_AVAILABLE)) {
        // No 3DNow! set is built: the state says it was chosen, and the
        // portable and plain-x86 implementations serve in its place.
        gState = MATH_DISPATCH_3DNOW;
    } else if (processor::Allows(processor::kSse2)) {
        gLive.multiply = &math_impl::MultiplySse;
        gState = MATH_DISPATCH_SSE2;
    } else if (processor::Allows(processor::kSse) && IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE)) {
        gLive.multiply = &math_impl::MultiplySse;
        gState = MATH_DISPATCH_SSE;
    }
    return gState;
}

const MathDispatchTable& LiveMathDispatch() { return gLive; }

Matrix* MatMultiply(Matrix* out, const Matrix* a, const Matrix* b) { return gLive.multiply(out, a, b); }
Matrix* MatRotateX(Matrix* out, float angle) { return gLive.rotateX(out, angle); }
Matrix* MatRotateZ(Matrix* out, float angle) { return gLive.rotateZ(out, angle); }
Vector3* Vec3Normalize(Vector3* out, const Vector3* v) { return gLive.normalize(out, v); }

namespace testing {
void ResetMathDispatch() {
    gState = MATH_DISPATCH_UNINITIALISED;
    gLive = kFirstCall;
}
}  // namespace testing

}  // namespace quillmark
