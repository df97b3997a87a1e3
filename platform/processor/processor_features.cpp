#include "platform/processor/processor_features.h"

#include <atomic>
#include <cstdlib>
#include <string_view>

namespace quillmark::processor {
namespace {

// Every bit set: no mask settled yet (a settled one has only kEveryFeature's bits).
constexpr std::uint32_t kUnset = ~0u;

std::uint32_t Detect() {
#if defined(__i386__) || defined(__x86_64__)
    __builtin_cpu_init();  // this may run among the static initialisers
    std::uint32_t found = 0;
    if (__builtin_cpu_supports("mmx")) found |= kMmx;
    if (__builtin_cpu_supports("sse")) found |= kSse;
    if (__builtin_cpu_supports("sse2")) found |= kSse2;
    if (__builtin_cpu_supports("avx2")) found |= kAvx2 | kGather;
    return found;
#else
    return 0;
#endif
}

// The features QUILLMARK_CPU leaves, as its value names them.
std::uint32_t Cap() {
    const char* value = std::getenv(kCapVariable);
    if (value == nullptr) return kEveryFeature;
    const std::string_view name(value);
    if (name == "scalar") return 0;
    if (name == "sse2") return kMmx | kSse | kSse2;
    return kEveryFeature;
}

std::atomic<std::uint32_t> g_allowed{kUnset};

}  // namespace

std::uint32_t Detected() {
    static const std::uint32_t detected = Detect();
    return detected;
}

std::uint32_t Available() {
    static const std::uint32_t available = Detected() & Cap();
    return available;
}

std::uint32_t Preferred() {
    static const std::uint32_t preferred = [] {
#if defined(__i386__) || defined(__x86_64__)
        __builtin_cpu_init();
        // Family 17h splits a gather into many micro-ops: ordinary loads are faster.
        if (__builtin_cpu_is("znver1") || __builtin_cpu_is("znver2")) return Available() & ~kGather;
#endif
        return Available();
    }();
    return preferred;
}

std::uint32_t Allowed() {
    std::uint32_t allowed = g_allowed.load(std::memory_order_relaxed);
    if (allowed == kUnset) {
        std::uint32_t expected = kUnset;
        g_allowed.compare_exchange_strong(expected, Preferred(), std::memory_order_relaxed);
        allowed = g_allowed.load(std::memory_order_relaxed);
    }
    return allowed;
}

void Disallow(std::uint32_t features) {
    Allowed();  // settles the starting mask first
    g_allowed.fetch_and(~features, std::memory_order_relaxed);
}

bool Allow(std::uint32_t features) {
    Allowed();
    g_allowed.fetch_or(features & Available(), std::memory_order_relaxed);
    return (Available() & features) == features;
}

}  // namespace quillmark::processor
