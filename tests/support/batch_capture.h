// Batch mode run in-process with its standard output and error captured.
#pragma once

#include "app/batch/batch_runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillmark::testing {

struct BatchOutput {
    int code = -1;
    std::string out, err;
};

inline BatchOutput RunBatchCaptured(const std::vector<std::string>& arguments) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    BatchOutput result;
    result.code = batch::RunBatch(arguments);
    result.out = ::testing::internal::GetCapturedStdout();
    result.err = ::testing::internal::GetCapturedStderr();
    return result;
}

}  // namespace quillmark::testing
