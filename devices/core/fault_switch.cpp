#include "devices/core/fault_switch.h"

#include <atomic>

#include "devices/core/direct3d.h"

namespace quillmark::core {
namespace {
std::atomic<unsigned> pendingFailures{0};
std::atomic<unsigned long long> presents{0};
}  // namespace

void FailNextPresents(unsigned count) { pendingFailures = count; }

unsigned long long PresentCount() { return presents; }

bool TakePresentFailure() {
    unsigned pending = pendingFailures.load();
    while (pending > 0) {
        if (pendingFailures.compare_exchange_weak(pending, pending - 1)) return true;
    }
    return false;
}

void CountPresent() { ++presents; }

}  // namespace quillmark::core
