// The message loop and the device lifecycle, driven through the headless
// backend and the reference device's fault switch.
#include "app/analysis.h"
#include "app/device_lifecycle.h"
#include "probe_fixture.h"
#include "devices/core/direct3d.h"
#include "app/scene.h"
#include "app/settings_dialog.h"

#include "devices/select/d3d9_select.h"

#include <cstdlib>

namespace quillmark {
namespace {

using test::ProbeFixture;

class MessageLoop : public ProbeFixture {
protected:
    // Runs loop passes until one leaves the loop waiting; counts frames.
    int RunUntilIdle() {
        int frames = 0;
        for (int pass = 0; pass < 1000; ++pass) {
            const LoopStep step = RunLoopStep();
            if (step == LoopStep::Rendered) ++frames;
            if (step == LoopStep::Idle || step == LoopStep::Quit) return frames;
        }
        ADD_FAILURE() << "the loop never went idle";
        return frames;
    }
};

TEST_F(MessageLoop, OneFramePerPostedUserMessageAndNoneWhileIdle) {
    RunUntilIdle();  // start-up messages and the first frame
    const unsigned long long presented = core::PresentCount();

    EXPECT_EQ(RunUntilIdle(), 0);
    EXPECT_EQ(core::PresentCount(), presented);

    PostMessageA(g_app.mainWindow, WM_USER, 0, 0);
    EXPECT_EQ(RunUntilIdle(), 1);
    EXPECT_EQ(core::PresentCount(), presented + 1);

    EXPECT_EQ(RunUntilIdle(), 0);
}

TEST_F(MessageLoop, UnfinishedRunRendersBackToBack) {
    RunUntilIdle();
    StartAnalysis();
    // Every message (Start's redraw request, the repaints of the run's
    // figures) is handled outside the loop, so no message makes a frame due:
    // the unfinished run alone makes each pass render.
    const unsigned long long presented = core::PresentCount();
    for (int frame = 0; frame < 5; ++frame) {
        DrainMessages();
        ASSERT_EQ(RunLoopStep(), LoopStep::Rendered) << "frame " << frame;
    }
    EXPECT_EQ(core::PresentCount(), presented + 5);

    ActiveProbe().run.level = 10;  // a finished run is driven by messages again
    DrainMessages();
    EXPECT_EQ(RunLoopStep(), LoopStep::Idle);
    ActiveProbe().plotSurface->UnlockRect();  // the run's plot is not saved here
    ActiveProbe().plotSurface->Release();
    ActiveProbe().plotSurface = nullptr;
}

// Each frame of a run updates the run's figures, and the repaints of those
// controls are messages too: they must not make another frame due, or a
// finished run would render without pause until Stop.
TEST_F(MessageLoop, AFinishedRunRendersNothingUntilADialogChange) {
    RunUntilIdle();
    StartAnalysis();
    DrainMessages();
    ASSERT_EQ(RunLoopStep(), LoopStep::Rendered);
    ActiveProbe().run.level = 10;
    RunUntilIdle();  // the frame that shows "DONE"
    const unsigned long long presented = core::PresentCount();
    EXPECT_EQ(RunUntilIdle(), 0);
    EXPECT_EQ(core::PresentCount(), presented);

    PostMessageA(g_app.settingsDialog, WM_COMMAND, MAKEWPARAM(kPlaneRadio, BN_CLICKED), 0);
    EXPECT_EQ(RunUntilIdle(), 1);
    EXPECT_EQ(core::PresentCount(), presented + 1);
    EXPECT_TRUE(ActiveProbe().settings.showPlane);
    EXPECT_EQ(RunUntilIdle(), 0);
    ActiveProbe().plotSurface->UnlockRect();  // the run's plot is not saved here
    ActiveProbe().plotSurface->Release();
    ActiveProbe().plotSurface = nullptr;
}

TEST_F(MessageLoop, WmQuitLeavesTheLoop) {
    RunUntilIdle();
    PostQuitMessage(0);
    EXPECT_EQ(RunLoopStep(), LoopStep::Quit);
}

TEST_F(MessageLoop, DestroyingTheMainWindowReleasesEveryDeviceObject) {
    DestroyWindow(g_app.mainWindow);
    g_app.mainWindow = nullptr;
    EXPECT_EQ(ActiveProbe().device, nullptr);
    EXPECT_EQ(ActiveProbe().direct3d, nullptr);
    EXPECT_EQ(ActiveProbe().mipTexture, nullptr);
    EXPECT_EQ(ActiveProbe().planeBuffer, nullptr);
    EXPECT_EQ(ActiveProbe().tunnelBuffer, nullptr);
    bool quit = false;
    for (int pass = 0; pass < 100 && !quit; ++pass) quit = RunLoopStep() == LoopStep::Quit;
    EXPECT_TRUE(quit);
}

using DeviceRecovery = ProbeFixture;

TEST_F(DeviceRecovery, FailedPresentRebuildsEveryObjectAndRestoresPhase) {
    RenderFrame();
    const int framesBefore = ActiveProbe().run.framesDone;
    ActiveProbe().run.savedPhase = 6;
    ActiveProbe().run.phase = 9;

    core::FailNextPresents(1);
    RenderFrame();

    EXPECT_EQ(ActiveProbe().run.phase, 6);
    EXPECT_EQ(ActiveProbe().run.framesDone, framesBefore);
    ASSERT_NE(ActiveProbe().device, nullptr);
    EXPECT_NE(ActiveProbe().direct3d, nullptr);
    EXPECT_NE(ActiveProbe().mipTexture, nullptr);
    EXPECT_NE(ActiveProbe().planeBuffer, nullptr);
    EXPECT_NE(ActiveProbe().tunnelBuffer, nullptr);
    IDirect3DDevice9* owner = nullptr;
    ASSERT_EQ(ActiveProbe().mipTexture->GetDevice(&owner), S_OK);
    EXPECT_EQ(owner, ActiveProbe().device);
    owner->Release();

    RenderFrame();
    EXPECT_EQ(ActiveProbe().run.framesDone, framesBefore + 1);
    EXPECT_EQ(ActiveProbe().run.savedPhase, 6);
}

TEST_F(DeviceRecovery, MissingDeviceSkipsFramesUntilItCanBeRebuilt) {
    ::setenv("QUILLMARK_DEVICE", "no-such-device", 1);
    core::FailNextPresents(1);
    RenderFrame();  // Present fails, the rebuild fails too
    EXPECT_EQ(ActiveProbe().device, nullptr);
    const int framesBefore = ActiveProbe().run.framesDone;
    RenderFrame();  // must not touch the missing device
    EXPECT_EQ(ActiveProbe().device, nullptr);
    EXPECT_EQ(ActiveProbe().run.framesDone, framesBefore);

    ::setenv("QUILLMARK_DEVICE", "reference", 1);
    RenderFrame();
    ASSERT_NE(ActiveProbe().device, nullptr);
    EXPECT_NE(ActiveProbe().tunnelBuffer, nullptr);
    EXPECT_EQ(ActiveProbe().run.framesDone, framesBefore + 1);
}

using ReleaseAllTest = ProbeFixture;

TEST_F(ReleaseAllTest, ReleasesOnlyTheHeldObjects) {
    ActiveProbe().tunnelBuffer->Release();
    ActiveProbe().tunnelBuffer = nullptr;
    ActiveProbe().mipTexture->Release();
    ActiveProbe().mipTexture = nullptr;
    ReleaseAll();
    EXPECT_EQ(ActiveProbe().planeBuffer, nullptr);
    EXPECT_EQ(ActiveProbe().device, nullptr);
    EXPECT_EQ(ActiveProbe().direct3d, nullptr);
    ReleaseAll();  // nothing left: a second call is harmless
}

TEST(StartProbe, UnknownDeviceFailsWithAMessage) {
    g_app = AppState{};
    ProbeState probeState;
    ActiveProbeScope probeScope(probeState);
    ::setenv("QUILLMARK_DEVICE", "no-such-device", 1);
    ::testing::internal::CaptureStderr();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    const bool started = StartProbe(instance);
    const std::string errors = ::testing::internal::GetCapturedStderr();
    ::setenv("QUILLMARK_DEVICE", "reference", 1);
    EXPECT_FALSE(started);
    // One message, from the device layer, saying which device and why.
    EXPECT_NE(errors.find(": cannot open the device \"no-such-device\": unknown device"), std::string::npos) << errors;
    EXPECT_NE(errors.find("known devices: reference"), std::string::npos) << errors;
    EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors;
    EXPECT_EQ(ActiveProbe().device, nullptr);
    g_app = AppState{};
}

}  // namespace
}  // namespace quillmark
