#include "graphics/device_resources.h"

#include <cstring>

#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/graphics_system.h"
#include "graphics/memory_textures.h"
#include "graphics/pixel_format_table.h"
#include "graphics/screen_pixel_access.h"
#include "graphics/software_screen.h"
#include "graphics_fixture.h"

namespace {

using DeviceResourcesTest = GraphicsFixture;

struct Rgb {
    int red, green, blue;
};

Rgb Brightest(int red, int green, int blue) {
    Rgb out{};
    MaxBrightnessColor(red, green, blue, &out.red, &out.green, &out.blue);
    return out;
}

D3DSURFACE_DESC Desc(IDirect3DSurface9* surface) {
    D3DSURFACE_DESC desc{};
    SurfaceGetDesc(surface, &desc);
    return desc;
}

TEST(MaxBrightnessColorTest, GreysAndBlackBecomeWhite) {
    for (int grey : {0, 1, 128, 255, 300}) {
        Rgb out = Brightest(grey, grey, grey);
        EXPECT_EQ(out.red, 255);
        EXPECT_EQ(out.green, 255);
        EXPECT_EQ(out.blue, 255);
    }
}

TEST(MaxBrightnessColorTest, TheLargestChannelReachesFullBrightnessInIntegerSteps) {
    // k = 150 * 255 / 200 = 191; t = 255 + (-50 * 255) / 150 = 170; middle 255 - 170 * 191 / 255.
    Rgb out = Brightest(200, 100, 50);
    EXPECT_EQ(out.red, 255);
    EXPECT_EQ(out.green, 128);
    EXPECT_EQ(out.blue, 64);
    out = Brightest(50, 100, 200);
    EXPECT_EQ(out.red, 64);
    EXPECT_EQ(out.green, 128);
    EXPECT_EQ(out.blue, 255);
    out = Brightest(100, 200, 200);
    EXPECT_EQ(out.red, 128);
    EXPECT_EQ(out.green, 255);
    EXPECT_EQ(out.blue, 255);
    // Channels above 255 count as 255.
    out = Brightest(1000, 0, 0);
    EXPECT_EQ(out.red, 255);
    EXPECT_EQ(out.green, 0);
    EXPECT_EQ(out.blue, 0);
}

TEST(MaxBrightnessColorTest, EveryColourStaysWithinAStepOfTheScaledColour) {
    for (int r = 0; r < 256; r += 15) {
        for (int g = 0; g < 256; g += 17) {
            for (int b = 1; b < 256; b += 23) {
                Rgb out = Brightest(r, g, b);
                int max = std::max({r, g, b});
                EXPECT_NEAR(out.red, r * 255 / max, 2) << r << " " << g << " " << b;
                EXPECT_NEAR(out.green, g * 255 / max, 2) << r << " " << g << " " << b;
                EXPECT_NEAR(out.blue, b * 255 / max, 2) << r << " " << g << " " << b;
            }
        }
    }
}

TEST_F(DeviceResourcesTest, TheZBufferCoversTheScreenInPowersOfTwoUnlessSized) {
    ASSERT_EQ(SetupLibrary(), 0);
    D3DSURFACE_DESC desc = Desc(gDeviceResources.zBuffer);
    EXPECT_EQ(desc.Width, 1024u);
    EXPECT_EQ(desc.Height, 512u);
    EXPECT_EQ(desc.Format, D3DFMT_D16);
    IDirect3DSurface9* bound = nullptr;
    ASSERT_EQ(DeviceGetDepthStencilSurface(&bound), D3D_OK);
    EXPECT_EQ(bound, gDeviceResources.zBuffer);
    ReleaseComObject(bound);
    EXPECT_FLOAT_EQ(TestD3d9ReadDepth(gDeviceResources.zBuffer, 100, 100), 1.0f);

    gDeviceResources.zBufferWidth = 700;
    gDeviceResources.zBufferHeight = 500;
    ASSERT_EQ(CreateZBuffer(), 0);
    EXPECT_EQ(Desc(gDeviceResources.zBuffer).Width, 700u);
}

TEST_F(DeviceResourcesTest, TheCapabilitiesAreReadFromTheDevice) {
    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.nativeSubtract = false;
    profile.tempRegister = false;
    profile.textureCaps = D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY;
    profile.maxTextureSize = 1024;
    profile.simultaneousRenderTargets = 1;
    TestD3d9SetProfile(profile);
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(gDeviceResources.nativeBlendOp, 0);
    EXPECT_EQ(gDeviceResources.tempRegister, 0);
    EXPECT_EQ(gDeviceResources.pow2Only, 1);
    EXPECT_EQ(gDeviceResources.squareOnly, 1);
    EXPECT_EQ(gDeviceResources.nonPow2Conditional, 0);
    EXPECT_EQ(gDeviceResources.maxTextureSize, 1024);
    EXPECT_EQ(gDeviceResources.simultaneousRenderTargets, 1);
    EXPECT_EQ(gDeviceResources.pixelShaderModel2, 1);
    EXPECT_TRUE(InOrder(ReadLog(), {"同時にレンダリングできるバッファの数:1\r\n",
                                    "テクスチャステージテンポラリレジスタ：使用不可\r\n",
                                    "減算合成のハードウェア対応：エミュレート\r\n"}));
}

TEST_F(DeviceResourcesTest, TheBrightnessTextureIsMadeOnlyWithShaders) {
    ASSERT_EQ(SetupLibrary(), 0);
    ASSERT_NE(gDeviceResources.brightnessTexture, nullptr);
    ShutdownLibrary();

    TestD3d9Profile profile = TestD3d9DefaultProfile();
    profile.shaders = false;
    TestD3d9SetProfile(profile);
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(IsDirect3DMode(), 1);
    EXPECT_EQ(gDeviceResources.brightnessTexture, nullptr);
    EXPECT_EQ(gDeviceResources.pixelShaderModel2, 0);
}

TEST_F(DeviceResourcesTest, TheLockTestLogsItsTimesAndChoosesAWay) {
    ASSERT_EQ(SetupLibrary(), 0);
    std::string log = ReadLog();
    EXPECT_TRUE(InOrder(log, {"バックバッファロック転送の時間:",
                              "nsec  一時的な描画可能バッファを使用した転送の時間:"}));
    bool chosen = log.find("バックバッファロックを使用します\r\n") != std::string::npos ||
                  log.find("バックバッファロックを使用しません\r\n") != std::string::npos;
    EXPECT_TRUE(chosen);
}

TEST_F(DeviceResourcesTest, SixteenTexturesOfAShapeAreLentAtOnce) {
    ASSERT_EQ(SetupLibrary(), 0);
    // Empty, whatever filled graphs at start-up (all of them, on an Ex device).
    ReleaseAllMemoryTextures();
    int live = TestD3d9LiveObjects();
    int lent[kMemoryTexturesPerShape];
    for (int& index : lent) {
        index = AcquireMemoryTexture(64, 32, 1, kFormatAlpha32, 0);
        ASSERT_GE(index, 0);
    }
    EXPECT_EQ(AcquireMemoryTexture(64, 32, 1, kFormatAlpha32, 0), kMemoryTextureBusy);
    // Another shape is not limited by the first.
    int other = AcquireMemoryTexture(64, 32, 2, kFormatAlpha32, 0);
    EXPECT_GE(other, 0);
    EXPECT_GT(TestD3d9LiveObjects(), live + kMemoryTexturesPerShape);

    ASSERT_EQ(ReleaseMemoryTexture(lent[5], 0), 0);
    EXPECT_EQ(AcquireMemoryTexture(64, 32, 1, kFormatAlpha32, 0), lent[5]);
    IDirect3DTexture9* texture = GetMemoryTexture(lent[5]);
    ASSERT_NE(texture, nullptr);
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 64u);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Pool, D3DPOOL_SYSTEMMEM);
    EXPECT_EQ(desc.Usage & D3DUSAGE_DYNAMIC, D3DUSAGE_DYNAMIC);

    EXPECT_EQ(ReleaseMemoryTexture(-1, 0), -1);
    EXPECT_EQ(ReleaseMemoryTexture(kMemoryTextureCount, 0), -1);
    EXPECT_EQ(AcquireMemoryTexture(0, 32, 1, kFormatAlpha32, 0), -1);
    EXPECT_EQ(AcquireMemoryTexture(64, 32, 1, kPixelFormatCount, 0), -1);
    ReleaseAllMemoryTextures();
    EXPECT_EQ(TestD3d9LiveObjects(), live);
    EXPECT_EQ(GetMemoryTexture(lent[0]), nullptr);
}

TEST_F(DeviceResourcesTest, AFormatWithoutATextureFailsWithItsLogLine) {
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(AcquireMemoryTexture(16, 16, 1, 14, 0), -1);
    EXPECT_TRUE(InOrder(ReadLog(), {"メモリテクスチャの作成に失敗しました\r\n"}));
}

TEST_F(DeviceResourcesTest, AFullPoolGivesUpTheIdleEntryUsedLeastOften) {
    ASSERT_EQ(SetupLibrary(), 0);
    ReleaseAllMemoryTextures();
    for (int i = 0; i < kMemoryTextureCount; ++i) {
        ASSERT_EQ(AcquireMemoryTexture(1 + i % 64, 1 + i / 64, 1, kFormat16, 0), i);
    }
    EXPECT_EQ(AcquireMemoryTexture(100, 100, 1, kFormat16, 0), kMemoryTextureBusy);
    // Entry 3 is used a second time; of the idle entries with one use the later one goes.
    for (int i : {3, 7, 9}) ReleaseMemoryTexture(i, 0);
    EXPECT_EQ(AcquireMemoryTexture(1 + 3 % 64, 1, 1, kFormat16, 0), 3);
    ReleaseMemoryTexture(3, 0);
    EXPECT_EQ(AcquireMemoryTexture(100, 100, 1, kFormat16, 0), 9);
    EXPECT_EQ(AcquireMemoryTexture(100, 100, 1, kFormat16, 0), 7);
    EXPECT_EQ(AcquireMemoryTexture(101, 100, 1, kFormat16, 0), 3);
    EXPECT_EQ(AcquireMemoryTexture(102, 100, 1, kFormat16, 0), kMemoryTextureBusy);
    ReleaseAllMemoryTextures();
}

TEST_F(DeviceResourcesTest, PooledTexturesOutliveADeviceRebuild) {
    ASSERT_EQ(SetupLibrary(), 0);
    int index = AcquireMemoryTexture(32, 32, 1, kFormat32, 0);
    ASSERT_GE(index, 0);
    RecreateDeviceKeepingMode();
    ASSERT_EQ(IsDirect3DMode(), 1);
    IDirect3DTexture9* texture = GetMemoryTexture(index);
    ASSERT_NE(texture, nullptr);
    D3DLOCKED_RECT lock{};
    EXPECT_EQ(texture->LockRect(0, &lock, nullptr, 0), D3D_OK);
    texture->UnlockRect(0);
    // The entry stays lent across the rebuild.
    ReleaseMemoryTexture(index, 0);
    EXPECT_EQ(AcquireMemoryTexture(32, 32, 1, kFormat32, 0), index);
}

TEST_F(DeviceResourcesTest, ScreenPixelsAreReadByLockOrByCopy) {
    ASSERT_EQ(SetupLibrary(), 0);
    D3DRECT spot = {10, 20, 11, 21};
    ASSERT_EQ(DeviceClear(1, &spot, D3DCLEAR_TARGET, 0x00ABCDEF, 1.0f, 0), D3D_OK);
    RECT rect = {10, 20, 30, 40};
    for (int lock : {1, 0}) {
        gDeviceResources.useBackBufferLock = lock;
        GraphImage image{};
        ASSERT_EQ(OpenScreenPixelAccess(&rect, &image, -1, 1, 0), 0);
        EXPECT_EQ(image.width, 20);
        EXPECT_EQ(image.height, 20);
        EXPECT_EQ(image.format.pixelBytes, 4);
        EXPECT_EQ(image.mipCount, 0);
        uint32_t first;
        std::memcpy(&first, image.pixels, sizeof first);
        EXPECT_EQ(first & 0xFFFFFF, 0xABCDEFu);
        // One access at a time.
        GraphImage second{};
        EXPECT_EQ(OpenScreenPixelAccess(&rect, &second, -1, 1, 0), -1);
        CloseScreenPixelAccess();
    }
    int live = TestD3d9LiveObjects();
    GraphImage image{};
    ASSERT_EQ(OpenScreenPixelAccess(&rect, &image, -1, 1, 0), 0);
    CloseScreenPixelAccess();
    EXPECT_EQ(TestD3d9LiveObjects(), live);
}

TEST_F(DeviceResourcesTest, AnAccessRectangleMustLieInsideTheScreen) {
    ASSERT_EQ(SetupLibrary(), 0);
    GraphImage image{};
    for (RECT rect : {RECT{0, 0, 641, 10}, RECT{-1, 0, 10, 10}, RECT{5, 5, 5, 10},
                      RECT{0, 470, 10, 481}, RECT{0, 10, 10, 9}}) {
        EXPECT_EQ(OpenScreenPixelAccess(&rect, &image, -1, 1, 0), -1);
    }
    RECT whole = {0, 0, 640, 480};
    EXPECT_EQ(OpenScreenPixelAccess(&whole, &image, -1, 0, 0), 0);
    CloseScreenPixelAccess();
}

TEST_F(DeviceResourcesTest, TheSoftwareScreenIsAccessedInPlace) {
    SwitchHardwareRendering(0);
    ASSERT_EQ(SetupLibrary(), 0);
    RECT rect = {3, 2, 10, 10};
    GraphImage image{};
    ASSERT_EQ(OpenScreenPixelAccess(&rect, &image, -1, 0, 0), 0);
    const MEMIMG& screen = gSoftwareScreen.screen;
    EXPECT_EQ(image.pixels, screen.pixels + 2 * screen.body->pitch + 3 * 2);
    EXPECT_EQ(image.pitch, screen.body->pitch);
    EXPECT_EQ(image.format.greenMask, 0x07E0u);
    CloseScreenPixelAccess();
}

}  // namespace
