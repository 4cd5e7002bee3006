#include "graphics/draw_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "draw_fixture.h"
#include "graphics/graph_records.h"
#include "softrender/mem_img.h"

namespace {

using DrawSettingsTest = DrawFixture;

D3DVIEWPORT9 DeviceViewport() {
    D3DVIEWPORT9 viewport{};
    gDirect3D.device->GetViewport(&viewport);
    return viewport;
}

TEST_F(DrawSettingsTest, StartUpLeavesTheDefaults) {
    ASSERT_EQ(SetupLibrary(), 0);
    const DrawSettings& s = gDrawSettings;
    EXPECT_EQ(s.drawTargets[0], kFrontScreen);
    EXPECT_EQ(s.drawTargets[1], -1);
    EXPECT_EQ(s.drawX1, 0);
    EXPECT_EQ(s.drawX2, 640);
    EXPECT_EQ(s.drawY2, 480);
    EXPECT_EQ(s.blendMode, BlendOpaque);
    EXPECT_EQ(s.blendGraph, -1);
    EXPECT_EQ(s.brightRed + s.brightGreen + s.brightBlue, 3 * 255);
    EXPECT_EQ(s.fogMode, static_cast<int32_t>(D3DFOG_LINEAR));
    EXPECT_EQ(s.fogColor, 0xFFFFFFFFu);
    EXPECT_EQ(s.fogEnd, 1500.0f);
    EXPECT_EQ(s.textureAddress[2][7], static_cast<int32_t>(D3DTADDRESS_CLAMP));
    EXPECT_EQ(s.graphCreate.colorKeyAlpha, 1);
    EXPECT_EQ(s.graphCreate.managedPool, 1);
    EXPECT_EQ(s.vertexColor, 0xFFFFFFFFu);
    EXPECT_EQ(gMemImgDraw.bright, 0xFFFFFFu);
}

TEST_F(DrawSettingsTest, BlendModesAreCheckedAndTheirParameterClamped) {
    StartDrawing(32);
    EXPECT_EQ(ChangeBlendMode(BlendTranslucent, 300), 0);
    EXPECT_EQ(gDrawSettings.blendParam, 255);
    EXPECT_EQ(gMemImgDraw.blendParam, 255);
    EXPECT_EQ(ChangeBlendMode(BlendTranslucent, -5), 0);
    EXPECT_EQ(gDrawSettings.blendParam, 0);
    EXPECT_EQ(gDrawSettings.vertexColor, 0x00FFFFFFu);
    EXPECT_EQ(ChangeBlendMode(17, 10), -1);
    EXPECT_EQ(ChangeBlendMode(-1, 10), -1);
    EXPECT_EQ(gDrawSettings.blendMode, BlendTranslucent);
    EXPECT_EQ(gMemImgDraw.blendMode, BlendTranslucent);
    // Opaque drawing carries full alpha, except in filter passes.
    ChangeBlendMode(BlendOpaque, 80);
    EXPECT_EQ(gDrawSettings.vertexColor >> 24, 255u);
    gDrawSettings.filterPassAlpha = 1;
    EXPECT_EQ(ComputeDrawVertexColor() >> 24, 80u);
}

TEST_F(DrawSettingsTest, TheBrightIsClampedAndReachesBothRenderers) {
    StartDrawing(32);
    EXPECT_EQ(SetDrawBright(300, 128, -4), 0);
    EXPECT_EQ(gMemImgDraw.bright, 0xFF8000u);
    EXPECT_EQ(gDrawSettings.vertexColor, 0xFFFF8000u);
    ApplyBrightColorValue(0x102030);
    EXPECT_EQ(gDrawSettings.brightGreen, 0x20);
    EXPECT_EQ(gMemImgDraw.bright, 0x102030u);
}

TEST_F(DrawSettingsTest, DrawRegionsAreOrderedClampedAndReachTheDevice) {
    StartDrawing(32);
    EXPECT_EQ(SetDrawRegion(100, 100, 50, 50), 0);
    EXPECT_EQ(gDrawSettings.drawX1, 50);
    EXPECT_EQ(gDrawSettings.drawY2, 100);
    EXPECT_EQ(gMemImgDraw.drawArea.left, 50);
    D3DVIEWPORT9 viewport = DeviceViewport();
    EXPECT_EQ(viewport.X, 50u);
    EXPECT_EQ(viewport.Width, 50u);
    // A quad over the whole screen draws only inside the area.
    FillBackBuffer({0, 0, 640, 480}, 0xFF000000);
    IDirect3DTexture9* texture = MakeTexture(1, 1, {0xFFFFFFFF});
    QueueQuad(texture, TextureCreateFlags{}, 0, 0, 640, 480);
    EXPECT_EQ(BackBufferPixel(49, 60), 0xFF000000u);
    EXPECT_EQ(BackBufferPixel(50, 60), 0xFFFFFFFFu);
    EXPECT_EQ(BackBufferPixel(99, 99), 0xFFFFFFFFu);
    EXPECT_EQ(BackBufferPixel(100, 60), 0xFF000000u);

    EXPECT_EQ(SetDrawRegion(-10, -20, 700, 500), 0);
    EXPECT_EQ(gDrawSettings.drawX1, 0);
    EXPECT_EQ(gDrawSettings.drawX2, 640);
    EXPECT_EQ(gDrawSettings.drawY2, 480);
    EXPECT_EQ(gDrawSettings.requestedArea.left, -10);
}

TEST_F(DrawSettingsTest, AnEmptyRegionIsMarkedUntilANonEmptyOne) {
    StartDrawing(32);
    EXPECT_EQ(SetDrawRegion(10, 10, 10, 200), 0);
    EXPECT_EQ(gDrawSettings.emptyDrawArea, 1);
    EXPECT_EQ(SetDrawRegion(10, 10, 20, 200), 0);
    EXPECT_EQ(gDrawSettings.emptyDrawArea, 0);
}

TEST_F(DrawSettingsTest, IgnoringChangesKeepsBlendModeAndRegion) {
    StartDrawing(32);
    SetDrawRegion(1, 2, 3, 4);
    gDrawSettings.ignoreChanges = 1;
    EXPECT_EQ(ChangeBlendMode(BlendAdditive, 9), 0);
    EXPECT_EQ(SetDrawRegion(5, 6, 7, 8), 0);
    EXPECT_EQ(SetDrawSamplingMode(kSamplingLinear), 0);
    EXPECT_EQ(gDrawSettings.blendMode, BlendOpaque);
    EXPECT_EQ(gDrawSettings.drawX1, 1);
    EXPECT_EQ(gDrawSettings.samplingMode, kSamplingPoint);
    gDrawSettings.ignoreChanges = 0;
}

TEST_F(DrawSettingsTest, ScreenColoursFollowTheScreenFormat) {
    StartDrawing(16);
    EXPECT_EQ(PackScreenColor(255, 255, 255), 0xFFFFu);
    EXPECT_EQ(PackScreenColor(255, 0, 0), 0xF800u);
    EXPECT_EQ(PackScreenColor(-1, -1, -1), 0xFFFFu);
    int r = 0, g = 0, b = 0;
    UnpackScreenColor(0x07E0, &r, &g, &b);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(g, 255);
    EXPECT_EQ(b, 0);
    UnpackScreenColor(0x8410, &r, &g, &b);  // 16/31, 32/63, 16/31
    EXPECT_EQ(r, 16 * 255 / 31);
    EXPECT_EQ(g, 32 * 255 / 63);
}

TEST_F(DrawSettingsTest, ScreenColoursOnA32BitScreen) {
    StartDrawing(32);
    EXPECT_EQ(PackScreenColor(255, 255, 255), 0xFFFFFFFFu);
    EXPECT_EQ(PackScreenColor(1, 2, 3), 0xFF010203u);
    // Out-of-range channels never reach their neighbours.
    EXPECT_EQ(PackScreenColor(256, 0, 0), 0xFF000000u);
}

TEST_F(DrawSettingsTest, SamplingAndFogReachTheDeviceOnce) {
    StartDrawing(32);
    EXPECT_EQ(SetDrawSamplingMode(3), -1);
    EXPECT_EQ(SetDrawSamplingMode(kSamplingLinear), 0);
    EXPECT_EQ(TestD3d9ReadSamplerState(gDirect3D.device, 5, D3DSAMP_MINFILTER),
              static_cast<DWORD>(D3DTEXF_LINEAR));
    EXPECT_EQ(SetFogColor(0x12, 0x34, 300), 0);
    EXPECT_EQ(gDrawSettings.fogColor, 0xFF1234FFu);
    EXPECT_EQ(TestD3d9ReadRenderState(gDirect3D.device, D3DRS_FOGCOLOR), 0xFF1234FFu);
    TestD3d9RecordCalls(true);
    SetFogColor(0x12, 0x34, 0xFF);
    SetFogStartEnd(5.0f, 6.0f);
    SetFogStartEnd(5.0f, 6.0f);
    std::vector<TestD3d9Call> calls = TestD3d9RecordedCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].index, static_cast<DWORD>(D3DRS_FOGSTART));
    EXPECT_EQ(calls[1].index, static_cast<DWORD>(D3DRS_FOGEND));
}

TEST_F(DrawSettingsTest, ABlendGraphMustBeALiveGraph) {
    StartDrawing(32);
    Handle gone = MakeTargetGraph(8, 8);
    DisposeGraph(gone);
    EXPECT_EQ(SetBlendGraph(gone, 0, 128, 0), -1);
    EXPECT_EQ(AttachBlendGraph(12345, 1, 2), -1);
    EXPECT_EQ(SetBlendGraph(-1, 1, 300, 40), 0);
    EXPECT_EQ(gDrawSettings.blendGraph, -1);
    EXPECT_EQ(gDrawSettings.blendGraphParams[0], 255);
    EXPECT_EQ(gRenderStates.blendGraphType, -1);
}

TEST_F(DrawSettingsTest, TheSoftwareRendererGetsEverySetting) {
    SwitchHardwareRendering(0);
    ASSERT_EQ(SetupLibrary(), 0);
    ASSERT_EQ(IsDirect3DMode(), 0);
    std::fill(std::begin(gMemImgDraw.blendGraphThresholds),
              std::end(gMemImgDraw.blendGraphThresholds), 0x55);
    SetDrawRegion(30, 20, 10, 40);
    ChangeBlendMode(BlendAdditive, 77);
    SetDrawBright(1, 2, 3);
    SetBlendGraph(-1, 1, 10, 20);
    EXPECT_EQ(gMemImgDraw.drawArea.left, 10);
    EXPECT_EQ(gMemImgDraw.drawArea.right, 30);
    EXPECT_EQ(gMemImgDraw.blendMode, BlendAdditive);
    EXPECT_EQ(gMemImgDraw.blendParam, 77);
    EXPECT_EQ(gMemImgDraw.bright, 0x010203u);
    // Threshold 10 with a ramp of 21: 256 - (65536 / 21 + 256) x 10 / 256 at 0, rising by
    // 256 / 21 a step.
    EXPECT_EQ(gMemImgDraw.blendGraphThresholds[0], 125);
    EXPECT_EQ(gMemImgDraw.blendGraphThresholds[21], 255);
    EXPECT_EQ(PackScreenColor(0, 255, 0), 0x07E0u);
}

}  // namespace
