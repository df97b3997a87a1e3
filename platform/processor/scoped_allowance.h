// A scope that allows exactly a set of features (within what is
// available), for tests and benchmarks that run one vector path: what was
// allowed before comes back when the scope ends. Like every change of the
// allowance, it is made between draws and conversions, never while one runs.
//
//   processor::ScopedAllowance scalar(0);  // no vector path in this scope
//   if (!scalar.Granted()) ...              // (always granted: nothing asked)
#pragma once

#include <cstdint>

#include "platform/processor/processor_features.h"

namespace quillmark::processor {

class ScopedAllowance {
public:
    explicit ScopedAllowance(std::uint32_t features) : before_(Allowed()) {
        Disallow(kEveryFeature);
        granted_ = Allow(features);
    }
    ~ScopedAllowance() {
        Disallow(kEveryFeature);
        Allow(before_);
    }
    ScopedAllowance(const ScopedAllowance&) = delete;
    ScopedAllowance& operator=(const ScopedAllowance&) = delete;

    // False when some of the features are not available (the processor or
    // QUILLMARK_CPU lacks them); the scope then allows the rest.
    bool Granted() const { return granted_; }

private:
    std::uint32_t before_;
    bool granted_ = false;
};

}  // namespace quillmark::processor
