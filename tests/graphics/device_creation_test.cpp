#include <platform/testing.h>

#include "core/system_info.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/graphics_system.h"
#include "graphics/pixel_format_table.h"
#include "graphics/present_screen.h"
#include "graphics/software_screen.h"
#include "graphics/vertical_blank.h"
#include "graphics_fixture.h"
#include "softrender/mem_img.h"

namespace {

using DeviceCreationTest = GraphicsFixture;

D3DSURFACE_DESC BackBufferDesc() {
    D3DSURFACE_DESC desc{};
    SurfaceGetDesc(gDeviceResources.backBuffer, &desc);
    return desc;
}

void ExpectSoftwareScreen(int width, int height, int colorType) {
    EXPECT_EQ(IsDirect3DMode(), 0);
    EXPECT_EQ(HasDirect3DDevice(), 0);
    ASSERT_EQ(IsMemImgValid(&gSoftwareScreen.screen), 1);
    EXPECT_EQ(gSoftwareScreen.screen.width, width);
    EXPECT_EQ(gSoftwareScreen.screen.height, height);
    EXPECT_EQ(gSoftwareScreen.screen.body->colorType, colorType);
    EXPECT_EQ(IsMemImgValid(&gSoftwareScreen.work), 1);
    EXPECT_EQ(gSoftwareScreen.workAlpha.body->alphaFlag, 1);
}

TEST_F(DeviceCreationTest, AWindowStartMakesADeviceAtTheDesktopDepth) {
    TestD3d9KeepPresents(true);
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(IsDirect3DMode(), 1);
    EXPECT_EQ(gDirect3D.mixedVertexProcessing, 1);
    EXPECT_EQ(QueryColorBitDepth(), 32);
    EXPECT_EQ(gMemImgDraw.defaultColorType, kMemImgXrgb8888);
    D3DSURFACE_DESC desc = BackBufferDesc();
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(desc.Width, 640u);
    EXPECT_EQ(desc.Height, 480u);
    // The back buffer is lockable: the copy swap effect without multisampling.
    D3DLOCKED_RECT lock{};
    ASSERT_EQ(SurfaceLockRect(gDeviceResources.backBuffer, &lock, nullptr, D3DLOCK_READONLY),
              D3D_OK);
    SurfaceUnlockRect(gDeviceResources.backBuffer);
    // Three presents of the cleared buffer at creation.
    TestD3d9Frame frame;
    ASSERT_TRUE(TestD3d9LastPresent(&frame));
    EXPECT_EQ(frame.presentCount, 3);
    EXPECT_EQ(frame.window, GetMainHwnd());
    EXPECT_EQ(frame.pixels[0], 0xFF000000u);
    bool ex = ExInterfacesOffered();
    EXPECT_EQ(HasDirect3DExObject(), ex ? 1 : 0);
    EXPECT_TRUE(InOrder(
        ReadLog(), {
                       "DirectDraw オブジェクトの取得を行います....  成功\r\n",
                       "引き続き初期化処理... 初期化に成功しました\r\n",
                       ex ? "IDirect3D9Ex オブジェクトを取得します.... 成功\r\n"
                          : "IDirect3D9Ex オブジェクトを取得します.... "
                            "IDirect3D9 オブジェクトを取得します.... 成功\r\n",
                       DeviceHeading(),
                       "ハードウエア頂点演算を使用します\r\n",
                       "成功\r\n",
                       "Driver:orbek_d3d9.dll  Description:",
                       "画面のフォーマットは D3DFMT_X8R8G8B8 です\r\n",
                       "ハードウェア頂点シェーダーバージョンコード：fffe0200\r\n",
                       "エミュレーション頂点シェーダーバージョンコード：エミュレーション無し\r\n",
                       "ピクセルシェーダーバージョンコード：ffff0200\r\n",
                       "Ｚバッファを作成します.... 成功\r\n",
                   }));
}

TEST_F(DeviceCreationTest, ShutdownReleasesTheDeviceTheObjectAndTheLibrary) {
    ASSERT_EQ(SetupLibrary(), 0);
    ASSERT_GT(TestD3d9LiveObjects(), 0);
    ShutdownLibrary();
    EXPECT_EQ(TestD3d9LiveObjects(), 0);
    EXPECT_EQ(GetDirectDraw7Object(), nullptr);
    EXPECT_EQ(gDirect3D.d3d9Module, nullptr);
    EXPECT_TRUE(InOrder(ReadLog(), {"Direct3DDevice9 の解放 2\r\n", "Direct3D9 DLL の解放 1\r\n"}));
}

TEST_F(DeviceCreationTest, ASixteenBitDesktopMakesASixteenBitScreen) {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.desktop.Format = D3DFMT_R5G6B5;
    TestD3d9SetProfile(profile);
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(QueryColorBitDepth(), 16);
    EXPECT_EQ(gMemImgDraw.defaultColorType, kMemImgRgb565);
    EXPECT_EQ(BackBufferDesc().Format, D3DFMT_R5G6B5);
    EXPECT_EQ(gPixelFormats.drawTargetIndex, kFormatDrawTarget16);
    EXPECT_EQ(gPixelFormats.alphaTestIndex, kFormatAlphaTest16);
}

TEST_F(DeviceCreationTest, RefusedMixedProcessingFallsBackToSoftwareProcessing) {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.refusedVertexProcessing = D3DCREATE_MIXED_VERTEXPROCESSING;
    TestD3d9SetProfile(profile);
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(IsDirect3DMode(), 1);
    EXPECT_EQ(gDirect3D.mixedVertexProcessing, 0);
    EXPECT_TRUE(
        InOrder(ReadLog(), {
                               "ソフトウエア頂点演算を使用します\r\n",
                               "ハードウェア頂点シェーダーバージョンコード：fffe0200\r\n",
                               "エミュレーション頂点シェーダーバージョンコード：fffe0200\r\n",
                           }));
}

TEST_F(DeviceCreationTest, ADeviceThatCannotBeMadeLeavesSoftwareMode) {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.refusedVertexProcessing =
        D3DCREATE_MIXED_VERTEXPROCESSING | D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    TestD3d9SetProfile(profile);
    ASSERT_EQ(SetupLibrary(), 0);
    ExpectSoftwareScreen(640, 480, kMemImgXrgb8888);
    EXPECT_EQ(HasDirect3DObject(), 0);
    // The vertical blank is still measured for the software screen's presents.
    EXPECT_NE(GetDirectDraw7Object(), nullptr);
    EXPECT_TRUE(InOrder(ReadLog(), {"IDirect3DDevice9 オブジェクトを取得します.... "
                                    "Direct3DDevice9 の作成に失敗しました\r\n"}));
}

// ---- The Ex object and device ----------------------------------------------------------

class ExDeviceCreationTest : public DeviceCreationTest {
protected:
    void SetUp() override {
        DeviceCreationTest::SetUp();
        // Offered whatever the run's environment says.
        TestSetExportMissing("d3d9.dll", "Direct3DCreate9Ex", false);
    }
};

TEST_F(ExDeviceCreationTest, TheExObjectMakesAnExDeviceThatQueuesOneFrame) {
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(IsDirect3DMode(), 1);
    EXPECT_EQ(HasDirect3DExObject(), 1);
    ASSERT_NE(gDirect3D.deviceEx, nullptr);
    EXPECT_EQ(static_cast<IDirect3DDevice9*>(gDirect3D.deviceEx), gDirect3D.device);
    EXPECT_EQ(TestD3d9ReadMaximumFrameLatency(gDirect3D.device), 1u);
    EXPECT_EQ(gDirect3D.mixedVertexProcessing, 1);
    std::string log = ReadLog();
    EXPECT_TRUE(InOrder(log, {"IDirect3D9Ex オブジェクトを取得します.... 成功\r\n",
                              "IDirect3DDevice9Ex オブジェクトを取得します.... "
                              "ハードウエア頂点演算を使用します\r\n"}));
    EXPECT_EQ(log.find("IDirect3D9 オブジェクトを取得します"), std::string::npos);
}

TEST_F(ExDeviceCreationTest, AnExclusiveFullScreenExDeviceGetsTheBackBuffersDisplayMode) {
    // The device refuses a full-screen display mode that differs from its back buffer.
    ASSERT_EQ(SetupFullScreen(), 0);
    EXPECT_EQ(gDirect3D.exclusiveFullScreen, 1);
    EXPECT_NE(gDirect3D.deviceEx, nullptr);
    EXPECT_EQ(BackBufferDesc().Format, D3DFMT_R5G6B5);
}

TEST_F(ExDeviceCreationTest, AFailedExDeviceIsAskedForAgainWithSoftwareProcessing) {
    TestFailNthCall("CreateDeviceEx", 1);
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_NE(gDirect3D.deviceEx, nullptr);
    EXPECT_EQ(gDirect3D.mixedVertexProcessing, 0);
    EXPECT_EQ(gDirect3D.noExDevice, 0);
    EXPECT_TRUE(InOrder(ReadLog(), {"IDirect3DDevice9Ex オブジェクトを取得します.... "
                                    "ソフトウエア頂点演算を使用します\r\n"}));
}

TEST_F(ExDeviceCreationTest, WithoutAnExDeviceThePlainObjectMakesThePlainDeviceFromThenOn) {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.exDevices = false;
    TestD3d9SetProfile(profile);
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(IsDirect3DMode(), 1);
    EXPECT_EQ(gDirect3D.noExDevice, 1);
    EXPECT_EQ(HasDirect3DExObject(), 0);
    EXPECT_EQ(gDirect3D.deviceEx, nullptr);
    // The plain device asks for mixed processing again, as the adapter offers it.
    EXPECT_EQ(gDirect3D.mixedVertexProcessing, 1);
    EXPECT_TRUE(InOrder(ReadLog(), {"IDirect3D9Ex オブジェクトを取得します.... 成功\r\n",
                                    "IDirect3DDevice9Ex オブジェクトを取得します.... "
                                    "Direct3DDevice9Ex の作成に失敗しました\r\n",
                                    "IDirect3D9 オブジェクトを取得します.... 成功\r\n",
                                    "IDirect3DDevice9 オブジェクトを取得します.... "
                                    "ハードウエア頂点演算を使用します\r\n"}));

    // A later device is plain at once, even where Ex devices could be made again.
    TestD3d9SetProfile(TestD3d9DefaultProfile());
    size_t logged = ReadLog().size();
    RecreateDeviceKeepingMode();
    EXPECT_EQ(IsDirect3DMode(), 1);
    EXPECT_EQ(gDirect3D.deviceEx, nullptr);
    EXPECT_EQ(ReadLog().find("IDirect3D9Ex", logged), std::string::npos);
}

TEST_F(ExDeviceCreationTest, WithoutTheExEntryPointThePlainObjectIsUsed) {
    TestSetExportMissing("d3d9.dll", "Direct3DCreate9Ex", true);
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(IsDirect3DMode(), 1);
    EXPECT_EQ(HasDirect3DExObject(), 0);
    EXPECT_EQ(gDirect3D.deviceEx, nullptr);
    // Not a failure of the Ex device: the next device may be an Ex one again.
    EXPECT_EQ(gDirect3D.noExDevice, 0);
    EXPECT_TRUE(InOrder(ReadLog(), {"IDirect3D9Ex オブジェクトを取得します.... "
                                    "IDirect3D9 オブジェクトを取得します.... 成功\r\n",
                                    "IDirect3DDevice9 オブジェクトを取得します.... "}));
}

TEST_F(ExDeviceCreationTest, AHungExDeviceIsNotReadyUntilItIsMadeAgain) {
    ASSERT_EQ(SetupLibrary(), 0);
    TestD3d9LoseDevices();
    EXPECT_EQ(gDirect3D.device->TestCooperativeLevel(), D3DERR_DEVICEHUNG);
    EXPECT_EQ(IsDeviceNotReady(), 1);
    EXPECT_EQ(PresentScreen(), -1);
    RecreateDeviceKeepingMode();
    EXPECT_EQ(IsDeviceNotReady(), 0);
    EXPECT_NE(gDirect3D.deviceEx, nullptr);
}

TEST_F(DeviceCreationTest, WithoutEitherEntryPointTheScreenIsSoftware) {
    TestSetExportMissing("d3d9.dll", "Direct3DCreate9Ex", true);
    TestSetExportMissing("d3d9.dll", "Direct3DCreate9", true);
    ASSERT_EQ(SetupLibrary(), 0);
    ExpectSoftwareScreen(640, 480, kMemImgRgb565);
    EXPECT_TRUE(InOrder(ReadLog(), {"IDirect3D9 オブジェクトを取得します.... "
                                    "Direct3DCreate9 APIのアドレス取得に失敗しました\r\n"}));
}

TEST_F(DeviceCreationTest, ANullDirect3DObjectLeavesSoftwareMode) {
    TestFailNthCall("Direct3DCreate9Ex", 1);
    TestFailNthCall("Direct3DCreate9", 1);
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(IsDirect3DMode(), 0);
    EXPECT_TRUE(InOrder(ReadLog(), {"IDirect3D9 オブジェクトの取得に失敗しました\r\n"}));
}

TEST_F(DeviceCreationTest, WithoutD3d9DllTheGraphicsStartFails) {
    TestSetModuleMissing("d3d9.dll", true);
    EXPECT_EQ(SetupLibrary(), -1);
    EXPECT_TRUE(InOrder(ReadLog(), {"d3d9.dll の読み込みに失敗しました\r\n"}));
    EXPECT_EQ(GetDirectDraw7Object(), nullptr);
}

TEST_F(DeviceCreationTest, AFailedDirectDrawStartFailsTheGraphicsAndFreesTheDll) {
    TestFailNthCall("IDirectDraw7::Initialize", 1);
    EXPECT_EQ(SetupLibrary(), -1);
    EXPECT_EQ(gDirect3D.d3d9Module, nullptr);
    EXPECT_EQ(GetDirectDraw7Object(), nullptr);
    EXPECT_TRUE(InOrder(ReadLog(), {"DirectDraw オブジェクトの取得を行います....  成功\r\n",
                                    "引き続き初期化処理... "
                                    "DirectDrawオブジェクトの初期化に失敗しました\r\n",
                                    "Direct3D9 DLL の解放 1\r\n"}));
}

TEST_F(DeviceCreationTest, ForcedSoftwareRenderingMakesNoDevice) {
    ASSERT_EQ(SwitchHardwareRendering(0), 0);
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(IsHardwareRenderingRequested(), 0);
    ExpectSoftwareScreen(640, 480, kMemImgRgb565);
    EXPECT_EQ(ReadLog().find("IDirect3D9 オブジェクトを取得します"), std::string::npos);
    EXPECT_EQ(SwitchHardwareRendering(1), -1);
}

TEST_F(DeviceCreationTest, ASixteenBitFullScreenPrefersR5G6B5) {
    ASSERT_EQ(SetupFullScreen(), 0);
    EXPECT_EQ(gDirect3D.exclusiveFullScreen, 1);
    EXPECT_EQ(BackBufferDesc().Format, D3DFMT_R5G6B5);
    EXPECT_TRUE(InOrder(ReadLog(), {"Desktop Window Manager を無効にしました\r\n",
                                    "画面のフォーマットは D3DFMT_R5G6B5 です\r\n"}));
}

TEST_F(DeviceCreationTest, ASixteenBitFullScreenWithoutR5G6B5ModesUsesX1R5G5B5) {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.modes = {{640, 480, 60, D3DFMT_X1R5G5B5}, {640, 480, 60, D3DFMT_X8R8G8B8}};
    TestD3d9SetProfile(profile);
    ASSERT_EQ(SetupFullScreen(), 0);
    EXPECT_EQ(BackBufferDesc().Format, D3DFMT_X1R5G5B5);
    // A 16-bit draw target follows the back buffer's layout.
    EXPECT_EQ(gPixelFormats.formats[kFormatDrawTarget16], D3DFMT_X1R5G5B5);
    EXPECT_TRUE(InOrder(ReadLog(), {"画面のフォーマットは D3DFMT_X1R5G5B5 です\r\n"}));
}

TEST_F(DeviceCreationTest, ATwentyFourBitFullScreenIsRefused) {
    ASSERT_EQ(SetupFullScreen(), 0);
    ShutdownGraphicsSystem();
    gScreen.colorBits = 24;
    // No device, and the software full screen cannot take 24 bits either.
    EXPECT_EQ(InitializeGraphics(), -1);
    EXPECT_EQ(HasDirect3DDevice(), 0);
    EXPECT_TRUE(InOrder(ReadLog(), {"非対応のバックバッファービット深度が指定されました\r\n",
                                    "画面モードの変更処理を開始します 640 x 480  24 bit \r\n"}));
    gScreen.colorBits = 16;
    EXPECT_EQ(InitializeGraphics(), 0);
    EXPECT_EQ(IsDirect3DMode(), 1);
}

TEST_F(DeviceCreationTest, TheEmulatedFullScreenIsAWindowedDeviceOverAChangedDisplay) {
    StoreScreenSize(320, 240);
    ASSERT_EQ(SetupFullScreen(), 0);
    EXPECT_EQ(IsEmulating320x240(), 1);
    EXPECT_EQ(gDirect3D.exclusiveFullScreen, 0);
    EXPECT_EQ(BackBufferDesc().Width, 640u);
    int width = 0, height = 0, bits = 0;
    QueryScreenSizeAndDepth(&width, &height, &bits);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    EXPECT_EQ(bits, 16);
    DEVMODEA mode{};
    mode.dmSize = sizeof(mode);
    ASSERT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_EQ(mode.dmPelsWidth, 640u);
    EXPECT_EQ(mode.dmBitsPerPel, 16u);
    EXPECT_TRUE(
        InOrder(ReadLog(), {"画面モードの変更処理を開始します 640 x 480  16 bit \r\n",
                            "画面解像度を変更します... 成功しました\r\n", DeviceHeading()}));
    // The display goes back to the desktop's mode with the device.
    ShutdownLibrary();
    ASSERT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_EQ(mode.dmPelsWidth, 1920u);
}

TEST_F(DeviceCreationTest, BeforeVistaTheEmulatedFullScreenOwnsTheDisplay) {
    TestSetOsVersion(2, 5, 1, 2600, "Service Pack 3");
    StoreScreenSize(320, 240);
    ASSERT_EQ(SetupFullScreen(), 0);
    EXPECT_LT(gSystemInfo.osCode, kOsCodeWindowsVista);
    EXPECT_EQ(gDirect3D.exclusiveFullScreen, 1);
    EXPECT_EQ(ReadLog().find("画面解像度を変更します"), std::string::npos);
}

TEST_F(DeviceCreationTest, MultisampleProbesStepDownOrRefuseExactly) {
    ASSERT_EQ(SetupLibrary(), 0);
    int32_t type = 4, quality = 3;
    EXPECT_EQ(ProbeMultisampleType(D3DFMT_X8R8G8B8, &type, &quality, 0), 0);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(quality, 0);
    type = 4;
    quality = 3;
    EXPECT_EQ(ProbeMultisampleType(D3DFMT_X8R8G8B8, &type, &quality, 1), -1);
    EXPECT_EQ(type, 4);
    EXPECT_EQ(quality, 0);
}

TEST_F(DeviceCreationTest, ALostDeviceIsNotReadyUntilItIsMadeAgain) {
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(IsDeviceNotReady(), 0);
    TestD3d9LoseDevices();
    EXPECT_EQ(IsDeviceNotReady(), 1);
    EXPECT_EQ(IsDeviceReady(), 0);
    RecreateDeviceKeepingMode();
    EXPECT_EQ(IsDirect3DMode(), 1);
    EXPECT_EQ(IsDeviceNotReady(), 0);
}

TEST_F(DeviceCreationTest, WrappersAnswerInvalidCallWithoutADevice) {
    EXPECT_EQ(HasDirect3DDevice(), 0);
    EXPECT_EQ(IsDeviceNotReady(), 1);
    EXPECT_EQ(DeviceBeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(Direct3DCheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE,
                                        D3DFMT_A8R8G8B8),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(ReleaseComObject(nullptr), 0u);
}

}  // namespace
