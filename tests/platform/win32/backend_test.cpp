#include "platform/win32/backend.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

using namespace quillmark::win32;

TEST(Backend, HeadlessByDefault) { EXPECT_EQ(CurrentBackend(), Backend::Headless); }

TEST(Backend, NoDisplayMeansNoDesktop) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display && *display) || (wayland && *wayland)) GTEST_SKIP() << "a display is set";
    EXPECT_FALSE(DisplayAvailable());
    EXPECT_FALSE(SelectBackend(Backend::Gtk));
    EXPECT_EQ(CurrentBackend(), Backend::Headless);
    EXPECT_TRUE(SelectBackend(Backend::Headless));
}

}  // namespace
