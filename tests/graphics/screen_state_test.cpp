#include <platform/testing.h>

#include "core/log.h"
#include "core/vector_math.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/graphics_system.h"
#include "graphics_fixture.h"

namespace {

class ScreenStateTest : public GraphicsFixture {
protected:
    // The log without the framework started.
    void StartLogOnly() {
        LoadPlatformDlls();
        StartLog();
    }

    static DEVMODEA CurrentDisplay() {
        DEVMODEA mode{};
        mode.dmSize = sizeof(mode);
        EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode);
        return mode;
    }

    static D3DSURFACE_DESC BackBufferDesc() {
        D3DSURFACE_DESC desc{};
        SurfaceGetDesc(gDeviceResources.backBuffer, &desc);
        return desc;
    }
};

TEST_F(ScreenStateTest, TheModeListSkipsShallowModesAndIsKeptUntilFreed) {
    TestHostSetDisplayModes({{1024, 768, 8, 60}, {800, 600, 32, 75}, {800, 600, 16, 60}});
    // The host's two deep modes, then the small modes the layer always offers.
    ASSERT_EQ(CountDisplayModes(), 6);
    DisplayModeEntry first = ReadDisplayMode(0);
    EXPECT_EQ(first.width, 800);
    EXPECT_EQ(first.bits, 32);
    EXPECT_EQ(first.refreshRate, 75);
    for (int i = 0; i < CountDisplayModes(); ++i) EXPECT_GE(ReadDisplayMode(i).bits, 16);
    EXPECT_EQ(ReadDisplayMode(6).width, -1);
    EXPECT_EQ(ReadDisplayMode(-1).refreshRate, -1);
    EXPECT_EQ(HasDisplayMode(800, 600, 32), 1);
    EXPECT_EQ(HasDisplayMode(800, 600, 24), 0);
    EXPECT_EQ(HasDisplayMode(1024, 768, 8), 0);
    EXPECT_EQ(HasDisplayMode(640, 480, 16), 1);
    EXPECT_EQ(HasDisplayMode(320, 240, 32), 1);

    TestHostSetDisplayModes({{1280, 720, 32, 60}});
    EXPECT_EQ(HasDisplayMode(1280, 720, 32), 0);
    FreeDisplayModeList();
    EXPECT_EQ(HasDisplayMode(1280, 720, 32), 1);
    EXPECT_EQ(CountDisplayModes(), 5);
}

TEST_F(ScreenStateTest, TheOutputAndProjectionFollowTheScreenSizeAndTheEmulation) {
    int width = 0, height = 0, bits = 0;
    QueryOutputSize(&width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_EQ(QueryColorBitDepth(), 16);

    StoreScreenSize(400, 800);
    QueryOutputSize(&width, &height);
    EXPECT_EQ(width, 400);
    EXPECT_EQ(height, 800);
    Matrix4x4 m;
    MakePerspectiveMatrix(&m, 1.5707964f, 1.0f, 2.0f, -1.0f);
    EXPECT_NEAR(m.m[0][0], 2.0f, 1e-5f);

    SetEmulation320x240(1);
    StoreScreenSize(640, 480);
    QueryScreenSizeAndDepth(&width, &height, &bits);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    EXPECT_EQ(gScreen.screenWidth, 640);
    QueryOutputSize(&width, &height);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    MakePerspectiveMatrix(&m, 1.5707964f, 1.0f, 2.0f, -1.0f);
    EXPECT_NEAR(m.m[0][0], 0.75f, 1e-5f);
    StoreScreenSize(640, 0);
    QueryOutputSize(&width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);

    SetEmulation320x240(0);
    SetEmulation320x240Fallback(1);
    EXPECT_EQ(IsEmulating320x240(), 1);
    SetProjectionScreenSize(0, 0);
}

TEST_F(ScreenStateTest, TheDisplayModeIsSetWithoutTheRefreshRateWhenItMustBe) {
    StartLogOnly();
    TestHostSetDisplayModes({{800, 600, 16, 60}});
    gScreen.screenWidth = 800;
    gScreen.screenHeight = 600;
    gScreen.colorBits = 16;
    gScreen.refreshRate = 75;
    int indent = gLog.indentLevel;
    EXPECT_EQ(ApplyDisplayModeSettings(), 0);
    EXPECT_EQ(gScreen.refreshRate, 0);
    EXPECT_EQ(gLog.indentLevel, indent);
    DEVMODEA display = CurrentDisplay();
    EXPECT_EQ(display.dmPelsWidth, 800u);
    EXPECT_EQ(display.dmBitsPerPel, 16u);

    gScreen.screenWidth = 1000;
    gScreen.screenHeight = 700;
    EXPECT_EQ(ApplyDisplayModeSettings(), -1);
    gScreen.colorBits = 24;
    EXPECT_EQ(ApplyDisplayModeSettings(), -1);
    EXPECT_EQ(gLog.indentLevel, indent);
    EXPECT_TRUE(InOrder(ReadLog(), {"画面モードの変更処理を開始します 800 x 600  16 bit \r\n",
                                    "画面解像度を変更します... 成功しました\r\n",
                                    "画面モードの変更処理を開始します 1000 x 700  16 bit \r\n",
                                    "画面解像度を変更します... 画面モードの変更に失敗しました\r\n",
                                    "画面モードの変更処理を開始します 1000 x 700  24 bit \r\n"}));
    ChangeDisplaySettingsA(nullptr, 0);
}

TEST_F(ScreenStateTest, BeforeStartUpAModeChangeIsOnlyRecorded) {
    EXPECT_EQ(ChangeScreenMode(800, 600, 32, 0, 75), 0);
    EXPECT_EQ(gScreen.screenWidth, 800);
    EXPECT_EQ(gScreen.screenHeight, 600);
    EXPECT_EQ(gScreen.colorBits, 32);
    EXPECT_EQ(gScreen.refreshRate, 75);
    EXPECT_EQ(IsGraphicsInitialized(), 0);
}

TEST_F(ScreenStateTest, AnUnchangedModeDoesNothingUnlessForced) {
    ASSERT_EQ(SetupLibrary(), 0);
    size_t logged = ReadLog().size();
    EXPECT_EQ(ChangeScreenMode(-1, -1, -1, 0, -1), 0);
    EXPECT_EQ(ReadLog().size(), logged);

    EXPECT_EQ(ChangeScreenMode(-1, -1, -1, 1, -1), 0);
    EXPECT_EQ(IsDirect3DMode(), 1);
    ASSERT_NE(gDirect3D.device, nullptr);
    std::string log = ReadLog().substr(logged);
    EXPECT_TRUE(InOrder(log, {"画面モード変更処理を開始します\r\n", "Direct3DDevice9 の解放 2\r\n",
                              DeviceHeading(), "画面モード変更処理は正常に終了しました\r\n"}));
}

TEST_F(ScreenStateTest, AWindowModeChangeRebuildsTheDeviceAtTheNewSize) {
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(ChangeScreenMode(800, 600, 32, 0, -1), 0);
    EXPECT_EQ(gScreen.screenWidth, 800);
    EXPECT_EQ(BackBufferDesc().Width, 800u);
    EXPECT_EQ(BackBufferDesc().Height, 600u);
    EXPECT_EQ(TestHostReadWindow(GetMainHwnd()).width, 800);
}

TEST_F(ScreenStateTest, AFullScreenModeTheDisplayLacksIsRefusedAndChangesNothing) {
    TestHostSetDisplayModes({{800, 600, 16, 60}});
    ASSERT_EQ(SetupFullScreen(), 0);
    IDirect3DDevice9* device = gDirect3D.device;
    EXPECT_EQ(ChangeScreenMode(1024, 768, 16, 0, -1), -1);
    EXPECT_EQ(gScreen.screenWidth, 640);
    EXPECT_EQ(gDirect3D.device, device);
    EXPECT_EQ(ChangeScreenMode(800, 600, 16, 0, -1), 0);
    EXPECT_EQ(gScreen.screenWidth, 800);
    EXPECT_EQ(BackBufferDesc().Width, 800u);
}

TEST_F(ScreenStateTest, AFullScreen320x240IsEmulatedInA640x480BackBuffer) {
    ASSERT_EQ(SetupFullScreen(), 0);
    EXPECT_EQ(ChangeScreenMode(320, 240, -1, 0, -1), 0);
    EXPECT_EQ(IsEmulating320x240(), 1);
    EXPECT_EQ(gScreen.screenWidth, 640);
    EXPECT_EQ(BackBufferDesc().Width, 640u);
    int width = 0, height = 0;
    QueryScreenSizeAndDepth(&width, &height, nullptr);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);

    // Back in a window the emulated screen becomes a real 320x240 one.
    ASSERT_EQ(ChangeWindowMode(1), 0);
    EXPECT_EQ(IsEmulating320x240(), 0);
    EXPECT_EQ(gScreen.screenWidth, 320);
    EXPECT_EQ(BackBufferDesc().Width, 320u);
}

TEST_F(ScreenStateTest, AModeThatCannotBeBroughtUpFallsBackToTheOldOne) {
    ASSERT_EQ(SetupLibrary(), 0);
    TestFailNthCall("IDirectDraw7::Initialize", 1);
    EXPECT_EQ(ChangeScreenMode(800, 600, 32, 0, -1), -1);
    EXPECT_EQ(gScreen.screenWidth, 640);
    EXPECT_EQ(IsDirect3DMode(), 1);
    EXPECT_EQ(BackBufferDesc().Width, 640u);
    EXPECT_TRUE(InOrder(ReadLog(), {"DirectDrawオブジェクトの初期化に失敗しました\r\n",
                                    "画面モード変更処理は正常に終了しました\r\n"}));
}

TEST_F(ScreenStateTest, AFailing320x240WindowFallsBackToTheEmulation) {
    ASSERT_EQ(SetupLibrary(), 0);
    TestFailNthCall("IDirectDraw7::Initialize", 1);
    EXPECT_EQ(ChangeScreenMode(320, 240, -1, 0, -1), 0);
    EXPECT_EQ(gScreen.emulate320x240Fallback, 1);
    EXPECT_EQ(gScreen.screenWidth, 640);
    EXPECT_EQ(gScreen.screenHeight, 480);
    int width = 0, height = 0;
    QueryScreenSizeAndDepth(&width, &height, nullptr);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(BackBufferDesc().Width, 640u);
}

TEST_F(ScreenStateTest, WhenEvenTheSafeModeFailsTheProcessEnds) {
    // The dying process is a fork of this one: with one processor no stream-sound thread runs
    // whose locks the fork could inherit held.
    TestSetProcessorCount(1);
    ASSERT_EQ(SetupLibrary(), 0);
    EndWorkersBeforeFork();
    EXPECT_EXIT(
        {
            TestSetModuleMissing("d3d9.dll", true);
            ChangeScreenMode(800, 600, 32, 0, -1);
        },
        ::testing::ExitedWithCode(255), "");
    EXPECT_TRUE(InOrder(ReadLog(), {"d3d9.dll の読み込みに失敗しました\r\n",
                                    "予期せぬ画面モード変更不能現象が起きました2\r\n"}));
}

}  // namespace
