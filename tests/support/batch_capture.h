// Batch mode run in-process with its standard output and error captured.
#pragma once

#include "app/batch/batch_runner.h"
#include "devices/select/d3d9_select.h"

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

// Commands that draw on several devices leave the last one selected for the
// rest of the process; this puts back the device selected when it was made.
class KeepSelectedDevice {
public:
    KeepSelectedDevice() : name_(SelectedDeviceName()) {}
    ~KeepSelectedDevice() {
        std::string error;
        SelectDevice(name_, &error);
    }
    KeepSelectedDevice(const KeepSelectedDevice&) = delete;
    KeepSelectedDevice& operator=(const KeepSelectedDevice&) = delete;

private:
    std::string name_;
};

}  // namespace quillmark::testing
