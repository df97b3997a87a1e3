// Processor feature tests through CPUID, for the library's dispatch choices.
// On a processor without CPUID (or not x86) every test answers false.
#pragma once

#include <cstdint>

namespace quillmark::cpu {

struct CpuidResult {
    std::uint32_t eax, ebx, ecx, edx;
};

// Executes CPUID for a leaf; false when the instruction or the leaf is absent.
bool Cpuid(std::uint32_t leaf, CpuidResult* out);

bool HasMmx();   // leaf 1, EDX bit 23
bool HasSse();   // leaf 1, EDX bit 25
bool HasSse2();  // leaf 1, EDX bit 26

}  // namespace quillmark::cpu
