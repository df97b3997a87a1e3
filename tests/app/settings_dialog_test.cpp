// The Settings dialog driven as a user would, on the headless backend and the
// reference device: template, initial state, every control's effect on the
// settings and on the sampler and stage states of the next frame.
#include "app/analysis.h"
#include "probe_fixture.h"
#include "app/scene.h"
#include "app/settings_dialog.h"

#include "platform/win32/commctrl.h"
#include "platform/win32/dialog_template.h"
#include "platform/win32/user_input.h"

#include <bit>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace quillmark {
namespace {

using test::ProbeFixture;
namespace fs = std::filesystem;

const std::string kDegree(1, kDegreeSign);

class SettingsDialog : public ProbeFixture {
protected:
    HWND Item(int id) const { return GetDlgItem(g_app.settingsDialog, id); }
    std::string Text(int id) const {
        char text[64] = {};
        GetWindowTextA(Item(id), text, sizeof(text));
        return text;
    }
    int TrackbarPos(int id) const { return static_cast<int>(SendMessageA(Item(id), TBM_GETPOS, 0, 0)); }
    int TrackbarMin(int id) const { return static_cast<int>(SendMessageA(Item(id), TBM_GETRANGEMIN, 0, 0)); }
    int TrackbarMax(int id) const { return static_cast<int>(SendMessageA(Item(id), TBM_GETRANGEMAX, 0, 0)); }
    bool Checked(int id) const { return IsDlgButtonChecked(g_app.settingsDialog, id) == BST_CHECKED; }
    void Drag(int id, int position) { ASSERT_TRUE(win32::DragTrackbar(Item(id), position)); }
    void Press(int id, int code) { ASSERT_TRUE(win32::PressScrollBar(Item(id), code)); }

    // Sampler and stage states as the device holds them after a frame.
    DWORD Sampler(DWORD stage, D3DSAMPLERSTATETYPE type) const {
        DWORD value = 0xDEADBEEF;
        EXPECT_EQ(ActiveProbe().device->GetSamplerState(stage, type, &value), S_OK);
        return value;
    }
    DWORD StageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type) const {
        DWORD value = 0xDEADBEEF;
        EXPECT_EQ(ActiveProbe().device->GetTextureStageState(stage, type, &value), S_OK);
        return value;
    }
    IDirect3DBaseTexture9* BoundTexture(DWORD stage) const {
        IDirect3DBaseTexture9* texture = nullptr;
        EXPECT_EQ(ActiveProbe().device->GetTexture(stage, &texture), S_OK);
        if (texture) texture->Release();  // only its identity is compared
        return texture;
    }
    bool RedrawRequested() const {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            if (message.message == WM_USER && message.hwnd == g_app.mainWindow) return true;
        return false;
    }
};

TEST(SettingsTemplate, HasTheDialogFrameAndFiftyFourControlsInOrder) {
    RegisterSettingsDialogTemplate();
    RegisterSettingsDialogTemplate();  // repeat calls change nothing
    const win32::DialogTemplate* dialog = win32::FindDialogTemplate(MAKEINTRESOURCEA(101));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->caption, "Settings");
    EXPECT_EQ(dialog->style, 0x10C002C0u);
    EXPECT_EQ(dialog->x, 500);
    EXPECT_EQ(dialog->y, 80);
    EXPECT_EQ(dialog->cx, 205);
    EXPECT_EQ(dialog->cy, 450);
    EXPECT_EQ(dialog->fontName, "MS Sans Serif");
    EXPECT_EQ(dialog->pointSize, 8);
    ASSERT_EQ(dialog->controls.size(), 54u);

    const int ids[54] = {1000, 1001, 1010, 1011, 1020, 1021, 1022, 1012, 1023, 1024, 1025, 1026, 1017, 1014,
                         1027, 1019, 1004, 1006, -1,   -1,   1002, 1003, -1,   1005, -1,   1007, -1,   -1,
                         1013, -1,   1018, -1,   -1,   -1,   -1,   1028, -1,   1015, 1016, -1,   -1,   1029,
                         1030, 1031, 1032, 1033, 1008, -1,   1009, 1035, -1,   -1,   1036, -1};
    for (int i = 0; i < 54; ++i) EXPECT_EQ(dialog->controls[i].id, ids[i]) << "control " << i;

    const auto& stop = dialog->controls[42];
    EXPECT_EQ(stop.text, "Stop");
    EXPECT_TRUE(stop.style & WS_DISABLED);
    const auto& sceneLabel = dialog->controls[23];
    EXPECT_EQ(sceneLabel.text, "0\xB0");
    EXPECT_EQ(sceneLabel.style & SS_RIGHT, static_cast<DWORD>(SS_RIGHT));
    const auto& useBmp = dialog->controls[4];
    EXPECT_EQ(useBmp.text, "Use BMP:");
    EXPECT_EQ(useBmp.style & (BS_TYPEMASK | WS_GROUP), static_cast<DWORD>(BS_AUTORADIOBUTTON | WS_GROUP));
    const auto& browse = dialog->controls[5];
    EXPECT_EQ(browse.x, 65);
    EXPECT_EQ(browse.y, 120);
    EXPECT_EQ(browse.cx, 130);
    EXPECT_EQ(browse.cy, 14);
    EXPECT_TRUE(browse.style & WS_TABSTOP);
    const auto& progress = dialog->controls[43];
    EXPECT_EQ(progress.className, PROGRESS_CLASSA);
    EXPECT_EQ(progress.style & (WS_BORDER | PBS_SMOOTH), static_cast<DWORD>(WS_BORDER | PBS_SMOOTH));
    const auto& texelSum = dialog->controls[52];
    EXPECT_EQ(texelSum.className, "EDIT");
    EXPECT_EQ(texelSum.style & (ES_READONLY | ES_AUTOHSCROLL | WS_BORDER),
              static_cast<DWORD>(ES_READONLY | ES_AUTOHSCROLL | WS_BORDER));
}

TEST_F(SettingsDialog, InitialisationSetsEverySetting) {
    EXPECT_FALSE(ActiveProbe().run.running);
    EXPECT_EQ(ActiveProbe().settings.maxAnisotropy, 1);
    EXPECT_EQ(ActiveProbe().settings.anisotropySliderMax, 4);  // the reference device offers 16x
    EXPECT_EQ(ActiveProbe().settings.stage, 0);
    EXPECT_EQ(ActiveProbe().settings.stageSliderMax, static_cast<int>(ActiveProbe().caps.MaxTextureBlendStages) - 1);
    EXPECT_EQ(ActiveProbe().settings.lodBias, 0.0f);
    EXPECT_EQ(g_app.lodBiasRange, 8.0f);
    EXPECT_EQ(ActiveProbe().settings.checkerShift, 8);
    EXPECT_EQ(ActiveProbe().settings.distance, 20.0);
    EXPECT_EQ(ActiveProbe().settings.faces, 200);
    EXPECT_EQ(ActiveProbe().settings.planeAngle, 0.0);
    EXPECT_EQ(ActiveProbe().settings.sceneRotation, 0.0f);
    EXPECT_EQ(ActiveProbe().settings.textureRotation, 0.0f);
    EXPECT_EQ(ActiveProbe().settings.minFilter, 3);
    EXPECT_EQ(ActiveProbe().settings.magFilter, 3);
    EXPECT_EQ(ActiveProbe().settings.mipFilter, 2);
    EXPECT_FALSE(ActiveProbe().settings.useFileTexture);
    EXPECT_FALSE(ActiveProbe().settings.showPlane);
    EXPECT_EQ(ActiveProbe().settings.tintMode, 1);
}

TEST_F(SettingsDialog, InitialisationSetsEveryControl) {
    const struct {
        int id, low, high, position;
    } trackbars[] = {{1000, 0, 4, 0},   {1001, -80, 80, 0}, {1008, 0, ActiveProbe().settings.stageSliderMax, 0},
                     {1012, -8, 8, 8}, {1017, 5, 300, 20}, {1019, 3, 200, 200}};
    for (const auto& t : trackbars) {
        EXPECT_EQ(TrackbarMin(t.id), t.low) << t.id;
        EXPECT_EQ(TrackbarMax(t.id), t.high) << t.id;
        EXPECT_EQ(TrackbarPos(t.id), t.position) << t.id;
    }
    for (int id : {1014, 1004, 1006}) {
        int low = -1, high = -1;
        GetScrollRange(Item(id), SB_CTL, &low, &high);
        EXPECT_EQ(low, 0);
        EXPECT_EQ(high, 89);
        EXPECT_EQ(GetScrollPos(Item(id), SB_CTL), 0);
    }
    for (int id : {1010, 1011, 1016}) {
        EXPECT_EQ(SendMessageA(Item(id), CB_GETCOUNT, 0, 0), 3) << id;
        EXPECT_EQ(SendMessageA(Item(id), CB_GETCURSEL, 0, 0), 2) << id;
    }
    EXPECT_EQ(Text(1010), "ANISOTROPIC");
    EXPECT_EQ(Text(1016), "LINEAR");
    char first[32] = {};
    SendMessageA(Item(1016), CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(first));
    EXPECT_STREQ(first, "OFF");

    EXPECT_TRUE(Checked(1022));
    EXPECT_FALSE(Checked(1020));
    EXPECT_TRUE(Checked(1027));
    EXPECT_FALSE(Checked(1026));
    EXPECT_TRUE(Checked(1024));
    EXPECT_FALSE(Checked(1023));
    EXPECT_FALSE(Checked(1025));

    // Labels keep their template texts until their control first reports.
    EXPECT_EQ(Text(1002), "1x");
    EXPECT_EQ(Text(1003), "0.0");
    EXPECT_EQ(Text(1009), "0");
    EXPECT_EQ(Text(1013), "0");
    EXPECT_EQ(Text(1018), "2.0");
    EXPECT_EQ(Text(1028), "200");
    EXPECT_EQ(Text(1015), "0" + kDegree);

    EXPECT_TRUE(IsWindowEnabled(Item(kStartButton)));
    EXPECT_FALSE(IsWindowEnabled(Item(kStopButton)));
    EXPECT_EQ(SendMessageA(Item(kRunProgressBar), PBM_GETPOS, 0, 0), 0);
    PBRANGE range{-1, -1};
    SendMessageA(Item(kRunProgressBar), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 0);
}

// A second dialog initialised from other device capabilities.
TEST_F(SettingsDialog, SliderEndsFollowTheDeviceWithinSoundLimits) {
    const struct {
        DWORD maxAnisotropy, blendStages;
        int anisotropyMax, stageMax;
    } devices[] = {{1, 8, 0, 7}, {0, 1, 0, 0}, {12, 4, 3, 3}, {16, 16, 4, 7}, {0xFFFFFFFF, 0, 30, 0}};
    for (const auto& device : devices) {
        ActiveProbe().caps.MaxAnisotropy = device.maxAnisotropy;
        ActiveProbe().caps.MaxTextureBlendStages = device.blendStages;
        const HWND dialog = CreateDialogParamA(instance_, MAKEINTRESOURCEA(101), g_app.mainWindow,
                                               SettingsDialogProc, 0);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(ActiveProbe().settings.anisotropySliderMax, device.anisotropyMax) << device.maxAnisotropy;
        EXPECT_EQ(SendDlgItemMessageA(dialog, 1000, TBM_GETRANGEMAX, 0, 0), device.anisotropyMax);
        EXPECT_EQ(ActiveProbe().settings.stageSliderMax, device.stageMax) << device.blendStages;
        EXPECT_EQ(SendDlgItemMessageA(dialog, 1008, TBM_GETRANGEMAX, 0, 0), device.stageMax);
        DestroyWindow(dialog);
    }
}

TEST_F(SettingsDialog, AnisotropySliderDoublesFromOneToSixteen) {
    const char* labels[] = {"1x", "2x", "4x", "8x", "16x"};
    for (int position : {1, 2, 3, 4, 0}) {
        Drag(1000, position);
        EXPECT_EQ(ActiveProbe().settings.maxAnisotropy, 1 << position);
        EXPECT_EQ(Text(1002), labels[position]);
    }
    Drag(1000, 9);  // the slider ends at 16x
    EXPECT_EQ(ActiveProbe().settings.maxAnisotropy, 16);
    RenderFrame();
    EXPECT_EQ(Sampler(0, D3DSAMP_MAXANISOTROPY), 16u);
}

TEST_F(SettingsDialog, LodBiasSliderSetsTheBitPatternOfItsTenth) {
    Drag(1001, -25);
    EXPECT_EQ(ActiveProbe().settings.lodBias, -2.5f);
    EXPECT_EQ(Text(1003), "-2.5");
    RenderFrame();
    EXPECT_EQ(Sampler(0, D3DSAMP_MIPMAPLODBIAS), 0xC0200000u);  // -2.5f

    Drag(1001, 3);
    EXPECT_EQ(ActiveProbe().settings.lodBias, 0.3f);
    EXPECT_EQ(Text(1003), "0.3");
    Drag(1001, 80);
    EXPECT_EQ(Text(1003), "8.0");

    // -77 x 0.1f is -7.70000011 before rounding to single precision, which
    // gives 0xC0F66667; the double product -7.7 would round to 0xC0F66666.
    Drag(1001, -77);
    EXPECT_EQ(Text(1003), "-7.7");
    RenderFrame();
    EXPECT_EQ(Sampler(0, D3DSAMP_MIPMAPLODBIAS), 0xC0F66667u);
}

TEST_F(SettingsDialog, FilterListsSelectTheirFilters) {
    ASSERT_TRUE(win32::SelectComboItem(Item(1016), 0));
    EXPECT_EQ(ActiveProbe().settings.mipFilter, D3DTEXF_NONE);
    ASSERT_TRUE(win32::SelectComboItem(Item(1010), 0));
    EXPECT_EQ(ActiveProbe().settings.minFilter, D3DTEXF_POINT);
    ASSERT_TRUE(win32::SelectComboItem(Item(1011), 1));
    EXPECT_EQ(ActiveProbe().settings.magFilter, D3DTEXF_LINEAR);
    EXPECT_TRUE(RedrawRequested());
    RenderFrame();
    EXPECT_EQ(Sampler(0, D3DSAMP_MIPFILTER), 0u);
    EXPECT_EQ(Sampler(0, D3DSAMP_MINFILTER), 1u);
    EXPECT_EQ(Sampler(0, D3DSAMP_MAGFILTER), 2u);

    EXPECT_EQ(FilterFromList(g_app.settingsDialog, 1016), 0);
    ASSERT_TRUE(win32::SelectComboItem(Item(1016), 1));
    EXPECT_EQ(FilterFromList(g_app.settingsDialog, 1016), 1);
    ASSERT_TRUE(win32::SelectComboItem(Item(1010), 2));
    EXPECT_EQ(FilterFromList(g_app.settingsDialog, 1010), 3);
}

TEST_F(SettingsDialog, StageUnderTestSamplesAndTheOthersPassOrStop) {
    ASSERT_TRUE(win32::SelectComboItem(Item(1010), 1));
    Drag(1001, -25);
    Drag(1008, 3);
    EXPECT_EQ(ActiveProbe().settings.stage, 3);
    EXPECT_EQ(Text(1009), "3");
    RenderFrame();

    for (DWORD s = 0; s < 3; ++s) {
        EXPECT_EQ(BoundTexture(s), nullptr) << s;
        EXPECT_EQ(StageState(s, D3DTSS_COLORARG1), static_cast<DWORD>(D3DTA_CURRENT)) << s;
        EXPECT_EQ(StageState(s, D3DTSS_COLORARG2), static_cast<DWORD>(D3DTA_DIFFUSE)) << s;
        EXPECT_EQ(StageState(s, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE)) << s;
        EXPECT_EQ(StageState(s, D3DTSS_TEXCOORDINDEX), s) << s;
    }
    EXPECT_EQ(BoundTexture(3), ActiveProbe().mipTexture);
    EXPECT_EQ(Sampler(3, D3DSAMP_MINFILTER), 2u);
    EXPECT_EQ(Sampler(3, D3DSAMP_MAGFILTER), 3u);
    EXPECT_EQ(Sampler(3, D3DSAMP_MIPFILTER), 2u);
    EXPECT_EQ(Sampler(3, D3DSAMP_MIPMAPLODBIAS), std::bit_cast<DWORD>(-2.5f));
    EXPECT_EQ(StageState(3, D3DTSS_COLORARG1), static_cast<DWORD>(D3DTA_TEXTURE));
    EXPECT_EQ(StageState(3, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE));
    EXPECT_EQ(StageState(3, D3DTSS_TEXCOORDINDEX), 0u);
    EXPECT_EQ(StageState(3, D3DTSS_TEXTURETRANSFORMFLAGS), static_cast<DWORD>(D3DTTFF_COUNT2));
    for (DWORD s = 4; s < 8; ++s) {
        EXPECT_EQ(BoundTexture(s), nullptr) << s;
        EXPECT_EQ(StageState(s, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_DISABLE)) << s;
        EXPECT_EQ(StageState(s, D3DTSS_ALPHAOP), static_cast<DWORD>(D3DTOP_DISABLE)) << s;
        EXPECT_EQ(StageState(s, D3DTSS_TEXCOORDINDEX), s) << s;
    }
}

TEST_F(SettingsDialog, ScrollBarCodesMoveByStepsAndStayInRange) {
    Press(1014, SB_RIGHT);
    Press(1014, SB_RIGHT);
    EXPECT_EQ(ActiveProbe().settings.planeAngle, 2.0);  // End moves one step, not to the end
    Press(1014, SB_LEFT);
    EXPECT_EQ(ActiveProbe().settings.planeAngle, 1.0);
    EXPECT_EQ(Text(1015), "1.0" + kDegree);
    Press(1014, SB_PAGERIGHT);
    EXPECT_EQ(ActiveProbe().settings.planeAngle, 11.0);
    Press(1014, SB_LINELEFT);
    EXPECT_EQ(ActiveProbe().settings.planeAngle, 10.0);
    for (int i = 0; i < 10; ++i) Press(1014, SB_PAGERIGHT);
    EXPECT_EQ(ActiveProbe().settings.planeAngle, 89.0);
    EXPECT_EQ(GetScrollPos(Item(1014), SB_CTL), 89);
    EXPECT_EQ(Text(1015), "89.0" + kDegree);

    Press(1004, SB_PAGELEFT);
    EXPECT_EQ(ActiveProbe().settings.sceneRotation, 0.0f);
    ASSERT_TRUE(win32::DragScrollThumb(Item(1004), 45));
    EXPECT_EQ(ActiveProbe().settings.sceneRotation, 45.0f);
    EXPECT_EQ(Text(1005), "45.0" + kDegree);
    ASSERT_TRUE(win32::DragScrollThumb(Item(1006), 7));
    EXPECT_EQ(ActiveProbe().settings.textureRotation, 7.0f);
    EXPECT_EQ(Text(1007), "7.0" + kDegree);
}

TEST_F(SettingsDialog, ObjectSlidersSetTheirFieldsAndLabels) {
    Drag(1017, 35);
    EXPECT_EQ(ActiveProbe().settings.distance, 35.0);
    EXPECT_EQ(Text(1018), "3.5");
    Drag(1019, 3);
    EXPECT_EQ(ActiveProbe().settings.faces, 3);
    EXPECT_EQ(Text(1028), "3");
    ASSERT_NE(ActiveProbe().tunnelBuffer, nullptr);
    Drag(1012, -2);
    EXPECT_EQ(ActiveProbe().settings.checkerShift, -2);
    EXPECT_EQ(Text(1013), "-2");
    ASSERT_NE(ActiveProbe().mipTexture, nullptr);
}

TEST_F(SettingsDialog, RadioButtonsChooseTextureObjectAndTint) {
    ASSERT_TRUE(win32::ClickButton(Item(1026)));
    EXPECT_TRUE(ActiveProbe().settings.showPlane);
    EXPECT_FALSE(Checked(1027));
    ASSERT_TRUE(win32::ClickButton(Item(1027)));
    EXPECT_FALSE(ActiveProbe().settings.showPlane);
    ASSERT_TRUE(win32::ClickButton(Item(1020)));
    EXPECT_TRUE(ActiveProbe().settings.useFileTexture);
    EXPECT_FALSE(Checked(1022));
    ASSERT_TRUE(win32::ClickButton(Item(1022)));
    EXPECT_FALSE(ActiveProbe().settings.useFileTexture);
    for (int mode : {0, 2, 1}) {
        ASSERT_TRUE(win32::ClickButton(Item(1023 + mode)));
        EXPECT_EQ(ActiveProbe().settings.tintMode, mode);
        ASSERT_NE(ActiveProbe().mipTexture, nullptr);
    }
    EXPECT_TRUE(Checked(1024));
    EXPECT_FALSE(Checked(1023));
    EXPECT_TRUE(RedrawRequested());
}

TEST_F(SettingsDialog, UnknownCommandsAndMessagesChangeNothing) {
    DrainMessages();
    const HWND dialog = g_app.settingsDialog;
    EXPECT_EQ(SettingsDialogProc(dialog, WM_COMMAND, MAKEWPARAM(4242, BN_CLICKED), 0), TRUE);
    EXPECT_FALSE(RedrawRequested());
    EXPECT_EQ(SettingsDialogProc(dialog, WM_TIMER, 0, 0), FALSE);
    EXPECT_EQ(SettingsDialogProc(dialog, WM_CLOSE, 0, 0), FALSE);
}

TEST_F(SettingsDialog, TwoCaptionDoubleClicksRestoreTheSize) {
    RECT before{};
    GetWindowRect(g_app.settingsDialog, &before);
    ASSERT_TRUE(win32::DoubleClickCaption(g_app.settingsDialog));
    EXPECT_TRUE(g_app.dialogRolledUp);
    RECT rolled{};
    GetWindowRect(g_app.settingsDialog, &rolled);
    EXPECT_EQ(rolled.left, before.left);
    EXPECT_EQ(rolled.top, before.top);
    EXPECT_EQ(rolled.right - rolled.left, before.right - before.left);
    EXPECT_GT(rolled.bottom - rolled.top, 0);
    EXPECT_LT(rolled.bottom - rolled.top, 60);  // the caption only

    ASSERT_TRUE(win32::DoubleClickCaption(g_app.settingsDialog));
    EXPECT_FALSE(g_app.dialogRolledUp);
    RECT after{};
    GetWindowRect(g_app.settingsDialog, &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right, before.right);
    EXPECT_EQ(after.bottom, before.bottom);
}

// Runs a test body in a fresh directory (Stop writes its plot there).
class ScratchDirectory {
public:
    ScratchDirectory() : previous_(fs::current_path()) {
        char pattern[] = "/tmp/quillmark-dialog-XXXXXX";
        path_ = mkdtemp(pattern);
        fs::current_path(path_);
    }
    ~ScratchDirectory() {
        fs::current_path(previous_);
        fs::remove_all(path_);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path previous_;
    fs::path path_;
};

TEST_F(SettingsDialog, StartAndStopRunTheAnalysis) {
    ScratchDirectory scratch;
    ASSERT_TRUE(win32::ClickButton(Item(kStartButton)));
    EXPECT_TRUE(ActiveProbe().run.running);
    ASSERT_TRUE(win32::ClickButton(Item(kStopButton)));
    EXPECT_FALSE(ActiveProbe().run.running);
    EXPECT_TRUE(fs::exists(scratch.path() / "MipBand.bmp"));
}

// The controls a keyboard reaches, in the order Tab reaches them: every
// trackbar, list, scroll bar and push button, as the dialog is laid out top
// to bottom (left to right within a row); the read-only figure fields and
// the radio buttons (reached with the mouse) are no stops.
TEST_F(SettingsDialog, TabStopsFollowTheLayoutAndLeaveOutTheReadOnlyFields) {
    std::vector<int> stops;
    std::vector<RECT> places;
    for (HWND child = GetWindow(g_app.settingsDialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!(GetWindowLongPtrA(child, GWL_STYLE) & WS_TABSTOP)) continue;
        stops.push_back(GetDlgCtrlID(child));
        RECT rect{};
        GetWindowRect(child, &rect);
        places.push_back(rect);
    }
    EXPECT_EQ(stops, (std::vector<int>{kAnisotropySlider, kLodBiasSlider, kStageSlider, kMinFilterList,
                                       kMagFilterList, kMipFilterList, kBrowseButton, kCheckerSlider, kDistanceSlider,
                                       kPlaneAngleBar, kFacesSlider, kSceneRotationBar, kTextureRotationBar,
                                       kStartButton, kStopButton}));
    for (std::size_t i = 1; i < places.size(); ++i)
        EXPECT_TRUE(places[i].top > places[i - 1].top ||
                    (places[i].top == places[i - 1].top && places[i].left > places[i - 1].left))
            << "stop " << i << " lies above or left of the one before";
    EXPECT_EQ(GetDlgItem(g_app.settingsDialog, 1000), Item(kAnisotropySlider));
    // The template is as it was: the changes are the running dialog's.
    const win32::DialogTemplate* dialog = win32::FindDialogTemplate(MAKEINTRESOURCEA(101));
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->controls[52].style & WS_TABSTOP);
    EXPECT_FALSE(dialog->controls[16].style & WS_TABSTOP);
    // The radio groups still hold: checking one radio unchecks only its own group.
    ASSERT_TRUE(win32::ClickButton(Item(kPlaneRadio)));
    EXPECT_TRUE(Checked(kPlaneRadio));
    EXPECT_FALSE(Checked(kTunnelRadio));
    EXPECT_TRUE(Checked(kTintTintedRadio));
    EXPECT_TRUE(Checked(kUseCheckerboardRadio));
}

// While a run is active every control that changes the frame is disabled
// (a change would mix two scenes in the run's figures); Stop gives them back.
TEST_F(SettingsDialog, SettingsAreDisabledWhileARunIsActive) {
    ScratchDirectory scratch;
    const int settings[] = {kAnisotropySlider, kLodBiasSlider, kStageSlider,     kMinFilterList,   kMagFilterList,
                            kMipFilterList,    kBrowseButton,  kUseFileTextureRadio, kUseCheckerboardRadio,
                            kCheckerSlider,    kTintNormalRadio, kTintTintedRadio, kTintFullRadio, kPlaneRadio,
                            kTunnelRadio,      kDistanceSlider, kPlaneAngleBar,  kFacesSlider,     kSceneRotationBar,
                            kTextureRotationBar};
    ASSERT_TRUE(win32::ClickButton(Item(kStartButton)));
    for (const int id : settings) EXPECT_FALSE(IsWindowEnabled(Item(id))) << id;
    EXPECT_TRUE(IsWindowEnabled(Item(kStopButton)));
    const double distance = ActiveProbe().settings.distance;
    EXPECT_FALSE(win32::DragTrackbar(Item(kDistanceSlider), 100)) << "a disabled trackbar takes no input";
    EXPECT_EQ(ActiveProbe().settings.distance, distance);
    ASSERT_TRUE(win32::ClickButton(Item(kStopButton)));
    for (const int id : settings) EXPECT_TRUE(IsWindowEnabled(Item(id))) << id;
    EXPECT_TRUE(win32::DragTrackbar(Item(kDistanceSlider), 100));
    EXPECT_EQ(ActiveProbe().settings.distance, 100.0);
}

}  // namespace
}  // namespace quillmark
