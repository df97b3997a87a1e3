// A whole start-up of the probe on the headless backend and the reference
// device, torn down after each test.
#pragma once

#include "app/app_state.h"
#include "app/probe_state.h"
#include "app/shell.h"

#include <gtest/gtest.h>

namespace quillmark::test {

class ProbeFixture : public ::testing::Test {
protected:
    void SetUp() override {
        g_app = AppState{};
        instance_ = GetModuleHandleA(nullptr);
        ASSERT_TRUE(StartProbe(instance_));
    }

    void TearDown() override {
        if (g_app.mainWindow) DestroyWindow(g_app.mainWindow);
        DrainMessages();
        FinishProbe(instance_);
        g_app = AppState{};
    }

    // Dispatches every queued message (WM_QUIT included) without rendering.
    static void DrainMessages() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }

    HINSTANCE instance_ = nullptr;
    ProbeState probeState_;
    ActiveProbeScope probeScope_{probeState_};
};

}  // namespace quillmark::test
