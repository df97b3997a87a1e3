#include "cpu_features.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace quillmark::cpu {

bool Cpuid(std::uint32_t leaf, CpuidResult* out) {
#if defined(__i386__) || defined(__x86_64__)
    const std::uint32_t highest = __get_cpuid_max(leaf & 0x80000000u, nullptr);
    if (highest == 0 || leaf > highest) return false;
    __cpuid(leaf, out->eax, out->ebx, out->ecx, out->edx);
    return true;
#else
    (void)leaf;
    (void)out;
    return false;
#endif
}

namespace {
bool Leaf1EdxBit(int bit) {
    CpuidResult result{};
    return Cpuid(1, &result) && ((result.edx >> bit) & 1u) != 0;
}
}  // namespace

bool HasMmx() { return Leaf1EdxBit(23); }
bool HasSse() { return Leaf1EdxBit(25); }
bool HasSse2() { return Leaf1EdxBit(26); }

}  // namespace quillmark::cpu
