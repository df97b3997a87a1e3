// The processor's vector instruction sets, detected once, and the set the
// program allows itself to use. Every vector path asks Allows() before it
// runs and keeps a scalar path that gives the same bits:
//
//   if (processor::Allows(processor::kAvx2)) ...256-bit path...
//
// What is allowed is what the processor has, capped by the environment
// variable QUILLMARK_CPU (`scalar`: no vector path at all, `sse2`: up to
// SSE2, `avx2`: everything the processor has; unset or any other value: no
// cap), less what the library switches take away at start-up (the MMX
// switch) and what tests and benchmarks take away for a while. The answer
// may change only between draws and conversions, never while one runs; a
// caller that runs long (a draw) asks once at its start.
#pragma once

#include <cstdint>

namespace quillmark::processor {

// One bit per instruction set the program has vector paths for.
enum Feature : std::uint32_t {
    kMmx = 1u << 0,
    kSse = 1u << 1,
    kSse2 = 1u << 2,
    kAvx2 = 1u << 3,
    // AVX2's gathers, for loads from scattered addresses. Detected with
    // AVX2, but allowed at start-up only where they beat ordinary loads: not
    // on family 17h processors, which split a gather into many micro-ops.
    kGather = 1u << 4,
};

inline constexpr std::uint32_t kEveryFeature = kMmx | kSse | kSse2 | kAvx2 | kGather;

// The name of the environment variable that caps the vector paths.
inline constexpr const char* kCapVariable = "QUILLMARK_CPU";

// What the processor (and the operating system, for AVX2's registers) has.
std::uint32_t Detected();

// Detected() within QUILLMARK_CPU's cap: the most that may be allowed.
std::uint32_t Available();

// Available() less what is slower here than the path it replaces (the
// gathers of family 17h processors): what the program allows at start-up.
std::uint32_t Preferred();

// The features the vector paths may use now (Preferred() at start-up).
std::uint32_t Allowed();

// True when every feature in `features` is allowed.
inline bool Allows(std::uint32_t features) { return (Allowed() & features) == features; }

// Takes features away (the library switches at start-up; tests).
void Disallow(std::uint32_t features);

// Gives features back, within Available(); false when some of them are not
// available, which are then left out.
bool Allow(std::uint32_t features);

}  // namespace quillmark::processor
