#include "graphics/draw_screen.h"

#include <gtest/gtest.h>

#include "app/screen_log.h"
#include "draw_fixture.h"
#include "graphics/device_resources.h"
#include "graphics/present_screen.h"
#include "graphics/software_screen.h"

namespace {

using DrawScreenTest = DrawFixture;

TEST_F(DrawScreenTest, NothingIsSelectedBeforeStartUp) {
    EXPECT_EQ(SelectDrawScreen(kBackScreen), -1);
    EXPECT_EQ(FlipScreen(), -1);
}

TEST_F(DrawScreenTest, ABadHandleOrAGraphThatIsNoTargetLeavesTheTarget) {
    StartDrawing(32);
    Handle plain = IssueHandle(&gGraphRegistry, -1);
    ASSERT_NE(plain, -1);
    EXPECT_EQ(SelectDrawScreen(plain), -1);
    EXPECT_EQ(SelectDrawScreen(0x04000123), -1);
    EXPECT_EQ(SelectDrawScreen(-7), -1);
    EXPECT_EQ(GetDrawScreen(), kBackScreen);
}

TEST_F(DrawScreenTest, ATargetOfTheSameSizeKeepsTheAreaAnotherSizeResetsIt) {
    StartDrawing(32);
    SetDrawRegion(10, 20, 300, 200);
    Handle same = MakeTargetGraph(640, 480);
    ASSERT_EQ(SelectDrawScreen(same), 0);
    EXPECT_EQ(gDrawSettings.drawX1, 10);
    EXPECT_EQ(gDrawSettings.drawY2, 200);
    EXPECT_EQ(gRenderStates.renderTargets[0], TargetSurface(same));
    // Drawing now lands in the graph's texture, inside the kept area.
    IDirect3DTexture9* white = MakeTexture(1, 1, {0xFFFFFFFF});
    EraseDrawScreen(nullptr);
    QueueQuad(white, TextureCreateFlags{}, 0, 0, 640, 480);
    FlushVertexBatchNow();
    EXPECT_EQ(TestD3d9ReadPixel(TargetSurface(same), 10, 20), 0xFFFFFFFFu);
    EXPECT_EQ(TestD3d9ReadPixel(TargetSurface(same), 9, 20), 0xFF000000u);

    ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    EXPECT_EQ(gDrawSettings.drawX1, 10);
    EXPECT_EQ(gRenderStates.renderTargets[0], gDeviceResources.backBuffer);
    Handle small = MakeTargetGraph(128, 64);
    ASSERT_EQ(SelectDrawScreen(small), 0);
    EXPECT_EQ(gDrawSettings.drawX1, 0);
    EXPECT_EQ(gDrawSettings.drawX2, 128);
    EXPECT_EQ(gDrawSettings.drawY2, 64);
    SelectDrawScreen(kBackScreen);
}

TEST_F(DrawScreenTest, TheOtherScreenIdsKeepTheTargetSize) {
    StartDrawing(32);
    SetDrawRegion(5, 5, 50, 50);
    ASSERT_EQ(SelectDrawScreen(kBackScreenAlias3), 0);
    EXPECT_EQ(gDrawSettings.targetWidth, 640);
    EXPECT_EQ(gDrawSettings.drawX1, 5);
    EXPECT_EQ(gRenderStates.renderTargets[0], gDeviceResources.backBuffer);
}

// The 2D camera sees the target's plane at z = 0 pixel for pixel, its y axis pointing up.
TEST_F(DrawScreenTest, TheCameraLooksAtTheTargetFromItsHeight) {
    StartDrawing(32);
    const CameraSettings& c = gDrawSettings.camera;
    float distance = 240.0f / 0.57735026f;
    EXPECT_FLOAT_EQ(c.position.x, 320.0f);
    EXPECT_FLOAT_EQ(c.position.z, -distance);
    EXPECT_FLOAT_EQ(c.nearZ, distance * 0.1f);
    EXPECT_FLOAT_EQ(c.farZ, distance + 20000.0f);
    Matrix4x4 m;
    MultiplyMatrices(&m, &gDrawSettings.viewMatrix, &gDrawSettings.projectionMatrix);
    MultiplyMatrices(&m, &m, &gDrawSettings.viewportAdjustMatrix);
    MultiplyMatrices(&m, &m, &gDrawSettings.drawAreaAdjustMatrix);
    // A point on the target plane at (100, 50) projects to the viewport's (100, 480 - 50).
    Vector3 point = {100.0f, 50.0f, 0.0f}, out;
    float w = 0.0f;
    TransformPointWithW(&out, &w, &point, 1.0f, &m);
    EXPECT_NEAR(320.0f + out.x / w * 320.0f, 100.0f, 1e-2f);
    EXPECT_NEAR(240.0f - out.y / w * 240.0f, 430.0f, 1e-2f);
}

TEST_F(DrawScreenTest, ErasingClearsTheTargetNotLimitedByTheArea) {
    StartDrawing(32);
    gScreen.backgroundRed = 0x10;
    gScreen.backgroundGreen = 0x20;
    gScreen.backgroundBlue = 0x30;
    FillBackBuffer({0, 0, 640, 480}, 0xFFFFFFFF);
    SetDrawRegion(100, 100, 110, 110);
    RECT part = {0, 0, 4, 4};
    EXPECT_EQ(EraseDrawScreen(&part), 0);
    EXPECT_EQ(BackBufferPixel(3, 3), 0xFF102030u);
    EXPECT_EQ(BackBufferPixel(4, 4), 0xFFFFFFFFu);
    RECT whole = {-1, 0, 4, 4};
    EXPECT_EQ(EraseDrawScreen(&whole), 0);
    EXPECT_EQ(BackBufferPixel(639, 479), 0xFF102030u);
    EXPECT_EQ(TestD3d9ReadDepth(gDeviceResources.zBuffer, 639, 479), 1.0f);
    // The viewport is the draw area again.
    D3DVIEWPORT9 viewport{};
    gDirect3D.device->GetViewport(&viewport);
    EXPECT_EQ(viewport.X, 100u);
    EXPECT_EQ(viewport.Width, 10u);
}

TEST_F(DrawScreenTest, FlippingWithTheScreenLogRestoresTheSettings) {
    StartDrawing(32);
    SetDrawRegion(1, 2, 30, 40);
    ChangeBlendMode(BlendAdditive, 99);
    SetDrawBright(10, 20, 30);
    TestSetScreenLogShown(1);
    TestD3d9Frame frame{};
    int presents = TestD3d9LastPresent(&frame) ? frame.presentCount : 0;
    EXPECT_EQ(FlipScreen(), 0);
    TestSetScreenLogShown(0);
    ASSERT_TRUE(TestD3d9LastPresent(&frame));
    EXPECT_EQ(frame.presentCount, presents + 1);
    const DrawSettings& s = gDrawSettings;
    EXPECT_EQ(s.drawX1, 1);
    EXPECT_EQ(s.drawY2, 40);
    EXPECT_EQ(s.blendMode, BlendAdditive);
    EXPECT_EQ(s.blendParam, 99);
    EXPECT_EQ(s.brightGreen, 20);
    EXPECT_EQ(IsFlipRunning(), 0);
}

TEST_F(DrawScreenTest, FlippingWhileQuittingFails) {
    StartDrawing(32);
    EXPECT_EQ(FlipScreen(), 0);
    SetQuittingFlag();
    EXPECT_EQ(FlipScreen(), -1);
    EXPECT_EQ(IsFlipRunning(), 0);
    ClearQuittingFlag();
}

TEST_F(DrawScreenTest, TheEmulatedScreenFlipsItsCornerOverTheWholeScreen) {
    StoreScreenSize(320, 240);
    ASSERT_EQ(SetupFullScreen(), 0);
    ASSERT_EQ(IsEmulating320x240(), 1);
    ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    FillBackBuffer({0, 0, 640, 480}, 0xFF000000);
    IDirect3DTexture9* texture = MakeTexture(1, 1, {0xFF00FF00});
    QueueQuad(texture, TextureCreateFlags{}, 10, 10, 1, 1);
    ASSERT_EQ(FlipScreen(), 0);
    TestD3d9Frame frame{};
    ASSERT_TRUE(TestD3d9LastPresent(&frame));
    EXPECT_EQ(frame.pixels[10 * 640 + 10], 0xFF00FF00u);
    EXPECT_EQ(gPresent.lastSource.right, 320);
    EXPECT_EQ(gPresent.lastDest.right, 640);
}

// In full screen the window is repainted from a sub back buffer, which the screen ids then draw
// into and the flip copies to the back buffer.
TEST_F(DrawScreenTest, AFullScreenRepaintMovesDrawingToTheSubBackBuffer) {
    StartDrawing(16);
    FillBackBuffer({0, 0, 1, 1}, 0xFFFF0000);
    EXPECT_EQ(ShowBackBufferOnWindow(), 0);
    IDirect3DSurface9* sub = gDeviceResources.subBackBuffer;
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(gRenderStates.renderTargets[0], sub);
    EXPECT_EQ(TestD3d9ReadPixel(sub, 0, 0), 0xFFFF0000u);
    IDirect3DTexture9* texture = MakeTexture(1, 1, {0xFF0000FF});
    QueueQuad(texture, TextureCreateFlags{}, 1, 0, 1, 1);
    ASSERT_EQ(FlipScreen(), 0);
    EXPECT_EQ(TestD3d9ReadPixel(gDeviceResources.backBuffer, 1, 0), 0xFF0000FFu);
    ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    EXPECT_EQ(gRenderStates.renderTargets[0], sub);
}

TEST_F(DrawScreenTest, TheSoftwareScreenIsClearedAndFlippedToTheWindow) {
    SwitchHardwareRendering(0);
    ASSERT_EQ(SetupLibrary(), 0);
    ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    ASSERT_EQ(gSoftwareScreen.target, &gSoftwareScreen.screen);
    gScreen.backgroundRed = 0xF8;
    EXPECT_EQ(EraseDrawScreen(nullptr), 0);
    EXPECT_EQ(*reinterpret_cast<uint16_t*>(gSoftwareScreen.screen.pixels), 0xF800u);
    EXPECT_EQ(FlipScreen(), 0);
    int width = 0, height = 0;
    std::vector<uint32_t> window = TestHostReadSurface(GetMainHwnd(), &width, &height);
    ASSERT_EQ(width, 640);
    EXPECT_EQ(window[0], 0xFF0000u);
    EXPECT_EQ(window[static_cast<size_t>(height - 1) * width + width - 1], 0xFF0000u);
}

}  // namespace
