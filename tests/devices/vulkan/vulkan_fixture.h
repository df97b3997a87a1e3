// The Vulkan device under the validation layers: every test of this program
// runs with them on and fails on any validation warning or error; a machine
// without a Vulkan driver skips the tests, saying why.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "../gl/gl_fixture.h"
#include "devices/select/d3d9_select.h"
#include "devices/vulkan/vulkan_context.h"

namespace quillmark::vulkan::testing {

using gl::testing::Device;
using gl::testing::Differences;
using gl::testing::kHeight;
using gl::testing::kWidth;

constexpr const char* kLavapipe = "lavapipe";

// Set before any instance of this program exists.
inline const bool kValidationOn = setenv(kValidationVariable, "1", 1) == 0;

// Skips the test where no Vulkan driver gives lavapipe; fails where only
// the validation layers are missing (the tests need them).
#define QUILLMARK_REQUIRE_VULKAN()                                                                      \
    do {                                                                                                \
        ASSERT_TRUE(::quillmark::vulkan::testing::kValidationOn);                                                                     \
        std::string error_;                                                                             \
        if (!::quillmark::gl::testing::DeviceOpensApart(::quillmark::vulkan::testing::kLavapipe, &error_)) { \
            ASSERT_EQ(error_.find(::quillmark::vulkan::kValidationVariable), std::string::npos) << error_;                   \
            GTEST_SKIP() << "no Vulkan driver gives lavapipe here (" << error_ << ")";                  \
        }                                                                                               \
        ::quillmark::vulkan::TakeValidationMessages();                                                   \
    } while (0)

// Every validation message since the test began, one a line.
inline std::string ValidationReport() {
    std::string report;
    for (const std::string& message : TakeValidationMessages()) report += message + "\n";
    return report;
}

class VulkanTest : public ::testing::Test {
protected:
    void SetUp() override { QUILLMARK_REQUIRE_VULKAN(); }
    void TearDown() override { EXPECT_EQ(ValidationReport(), ""); }
};

}  // namespace quillmark::vulkan::testing
