#include "graphics/graphics_system.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/async_load.h"
#include "draw_fixture.h"
#include "graphics/camera.h"
#include "graphics/graph_records.h"
#include "graphics/model_resources.h"
#include "graphics/shaders.h"
#include "graphics/software_screen.h"

namespace {

using GraphicsSystemTest = DrawFixture;

int gRestoreCalls = 0;
void CountRestore() {
    ++gRestoreCalls;
}

TEST_F(GraphicsSystemTest, StartUpRegistersTheFourHandleKinds) {
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(IsGraphicsInitialized(), 1);
    EXPECT_EQ(gGraphRegistry.kindBits, 0x04000000);
    EXPECT_EQ(gGraphRegistry.maxCount, 32768);
    EXPECT_STREQ(gGraphRegistry.kindName, "グラフィック");
    EXPECT_EQ(gShaderRegistry.kindBits, 0x30000000);
    EXPECT_EQ(gShaderRegistry.maxCount, 4096);
    EXPECT_EQ(gVertexBufferRegistry.kindBits, 0x3C000000);
    EXPECT_EQ(gIndexBufferRegistry.kindBits, 0x40000000);
    EXPECT_EQ(gIndexBufferRegistry.maxCount, 16384);
    Handle graph = IssueHandle(&gGraphRegistry, -1);
    EXPECT_EQ(GetGraphRecord(graph, 0)->movie, -1);
    ShutdownLibrary();
    EXPECT_EQ(IsGraphicsInitialized(), 0);
    EXPECT_EQ(gGraphRegistry.setUp, 0);
    EXPECT_EQ(gShaderRegistry.setUp, 0);
    EXPECT_EQ(GetGraphRecord(graph, 0), nullptr);
}

TEST_F(GraphicsSystemTest, ASecondStartUpChangesNothing) {
    ASSERT_EQ(SetupLibrary(), 0);
    SetDrawRegion(1, 2, 3, 4);
    int objects = TestD3d9LiveObjects();
    IDirect3DDevice9* device = gDirect3D.device;
    EXPECT_EQ(InitializeGraphics(), 0);
    EXPECT_EQ(gDirect3D.device, device);
    EXPECT_EQ(TestD3d9LiveObjects(), objects);
    EXPECT_EQ(gDrawSettings.drawX2, 3);
    EXPECT_EQ(ShutdownGraphicsSystem(), 0);
    EXPECT_EQ(ShutdownGraphicsSystem(), 0);
}

TEST_F(GraphicsSystemTest, TheDefaultFullScreenIs640By480At16Bits) {
    ASSERT_EQ(SetupFullScreen(), 0);
    EXPECT_EQ(gScreen.screenWidth, 640);
    EXPECT_EQ(gScreen.screenHeight, 480);
    EXPECT_EQ(QueryColorBitDepth(), 16);
    EXPECT_EQ(gMemImgDraw.defaultColorType, kMemImgRgb565);
}

// The self-test runs only with programmable shaders: without them, or in software mode, a filter
// pass is never known to be exact.
TEST_F(GraphicsSystemTest, FiltersAreNotExactWithoutShadersOrInSoftwareMode) {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.shaders = false;
    TestD3d9SetProfile(profile);
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(GetUsableShaderVersion(), 0);
    EXPECT_EQ(gGraphicsSystem.FilterResultExact, 0);
    ShutdownLibrary();
    SwitchHardwareRendering(0);
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(gGraphicsSystem.FilterResultExact, 0);
}

TEST_F(GraphicsSystemTest, TheRestoreCallbackRunsWithAsyncLoadingOff) {
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_NE(GetGraphRestoreHandler(), nullptr);
    InstallGraphRestoreHandler(CountRestore);
    SwitchAsyncLoad(1);
    gRestoreCalls = 0;
    RunGraphRestore();
    EXPECT_EQ(gRestoreCalls, 1);
    EXPECT_EQ(IsAsyncLoadOn(), 1);
    InstallGraphRestoreHandler(nullptr);
    RunGraphRestore();
    EXPECT_EQ(gRestoreCalls, 1);
}

// The device is rebuilt with a new back buffer; the draw area, camera and draw screen that
// were in force come back, the restore callback runs once, and both buffers start cleared.
TEST_F(GraphicsSystemTest, ReCreationKeepsTheAreaTheCameraAndTheTarget) {
    StartDrawing(32);
    InstallGraphRestoreHandler(CountRestore);
    SetDrawRegion(30, 40, 330, 240);
    SetCameraPositionAndTarget(1, 2, 3, 4, 5, 6, 0, 1, 0);
    CameraSettings camera = gDrawSettings.camera;
    Matrix4x4 view = gDrawSettings.viewMatrix;
    D3DMATRIX deviceProjection = TestD3d9ReadTransform(gDirect3D.device, D3DTS_PROJECTION);
    gScreen.backgroundBlue = 0x40;
    gRestoreCalls = 0;

    ASSERT_EQ(RecreateDeviceKeepingMode(), 0);
    EXPECT_EQ(gRestoreCalls, 1);
    ASSERT_EQ(HasDirect3DDevice(), 1);
    // The back buffer kept is the new device's, and that device draws into it (the new one
    // may well sit where the old one was).
    IDirect3DSurface9* backBuffer = nullptr;
    ASSERT_EQ(gDirect3D.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer), D3D_OK);
    EXPECT_EQ(gDeviceResources.backBuffer, backBuffer);
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(gDirect3D.device->GetRenderTarget(0, &target), D3D_OK);
    EXPECT_EQ(target, backBuffer);
    target->Release();
    backBuffer->Release();
    EXPECT_EQ(GetDrawScreen(), kBackScreen);
    EXPECT_EQ(gRenderStates.renderTargets[0], gDeviceResources.backBuffer);
    EXPECT_EQ(gDrawSettings.drawX1, 30);
    EXPECT_EQ(gDrawSettings.drawY2, 240);
    D3DVIEWPORT9 viewport{};
    gDirect3D.device->GetViewport(&viewport);
    EXPECT_EQ(viewport.X, 30u);
    EXPECT_EQ(viewport.Height, 200u);
    EXPECT_EQ(std::memcmp(&gDrawSettings.camera, &camera, sizeof camera), 0);
    EXPECT_EQ(std::memcmp(&gDrawSettings.viewMatrix, &view, sizeof view), 0);
    D3DMATRIX projection = TestD3d9ReadTransform(gDirect3D.device, D3DTS_PROJECTION);
    EXPECT_EQ(std::memcmp(&projection, &deviceProjection, sizeof projection), 0);
    TestD3d9Frame frame{};
    ASSERT_TRUE(TestD3d9LastPresent(&frame));
    EXPECT_EQ(frame.pixels[0], 0xFF000040u);
    EXPECT_EQ(BackBufferPixel(639, 479), 0xFF000040u);
}

// A device that cannot be made again leaves a working software screen.
TEST_F(GraphicsSystemTest, ReCreationWithoutADeviceContinuesInSoftwareMode) {
    StartDrawing(32);
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.refusedVertexProcessing =
        D3DCREATE_MIXED_VERTEXPROCESSING | D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    TestD3d9SetProfile(profile);
    ASSERT_EQ(RecreateDeviceKeepingMode(), 0);
    EXPECT_EQ(IsDirect3DMode(), 0);
    ASSERT_EQ(IsMemImgValid(&gSoftwareScreen.screen), 1);
    EXPECT_EQ(gSoftwareScreen.target, &gSoftwareScreen.screen);
    EXPECT_EQ(EraseDrawScreen(nullptr), 0);
    EXPECT_EQ(FlipScreen(), 0);
}

TEST_F(GraphicsSystemTest, DialogBoxModeIsKeptAndReachesTheDevice) {
    StartDrawing(32);
    EXPECT_EQ(SwitchDialogBoxMode(1), 0);
    EXPECT_EQ(IsDialogBoxModeOn(), 1);
    OpenDeviceScene();
    EXPECT_EQ(ApplyDialogBoxMode(0), 0);
    EXPECT_FALSE(TestD3d9InScene(gDirect3D.device));
    EXPECT_EQ(gRenderStates.sceneOpen, 0);
}

}  // namespace
