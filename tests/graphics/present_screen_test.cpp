#include "graphics/present_screen.h"

#include <platform/testing.h>

#include "app/message_pump.h"
#include "graphics/d3d_device.h"
#include "graphics/d3d_wrappers.h"
#include "graphics/draw_screen.h"
#include "graphics/software_screen.h"
#include "graphics_fixture.h"

namespace {

class PresentScreenTest : public GraphicsFixture {
protected:
    void SetUp() override {
        GraphicsFixture::SetUp();
        TestD3d9KeepPresents(true);
    }

    static TestD3d9Frame LastFrame() {
        TestD3d9Frame frame{};
        EXPECT_TRUE(TestD3d9LastPresent(&frame));
        return frame;
    }

    static void ExpectRect(const RECT& r, LONG left, LONG top, LONG right, LONG bottom) {
        EXPECT_EQ(r.left, left);
        EXPECT_EQ(r.top, top);
        EXPECT_EQ(r.right, right);
        EXPECT_EQ(r.bottom, bottom);
    }

    static void ClearBackBuffer(D3DCOLOR colour) {
        ASSERT_EQ(DeviceClear(0, nullptr, D3DCLEAR_TARGET, colour, 1.0f, 0), D3D_OK);
    }

    // The window's pixel at (x, y) as 0x00RRGGBB.
    static uint32_t WindowPixel(int x, int y) {
        int width = 0, height = 0;
        std::vector<uint32_t> pixels = TestHostReadSurface(GetMainHwnd(), &width, &height);
        if (x >= width || y >= height) return 0xDEADBEEF;
        return pixels[static_cast<size_t>(y) * width + x];
    }

    // Writes one 16-bit pixel of the software screen.
    static void PutScreenPixel(int x, int y, uint16_t value) {
        const MEMIMG& screen = gSoftwareScreen.screen;
        auto* row = reinterpret_cast<uint16_t*>(screen.pixels +
                                                static_cast<size_t>(y) * screen.body->pitch);
        row[x] = value;
    }
};

TEST_F(PresentScreenTest, AWindowShowsTheWholeScreenAtTheWindowScale) {
    ASSERT_EQ(SetupLibrary(), 0);
    ClearBackBuffer(0x00FF0000);
    ASSERT_EQ(PresentScreen(), 0);
    TestD3d9Frame frame = LastFrame();
    ExpectRect(frame.source, 0, 0, 640, 480);
    ExpectRect(frame.dest, 0, 0, 640, 480);
    EXPECT_FALSE(frame.wholeClientArea);
    EXPECT_EQ(frame.pixels[0], 0xFFFF0000u);
    ExpectRect(gPresent.lastDest, 0, 0, 640, 480);

    SetWindowScale(1.5, 1.25);
    ASSERT_EQ(PresentScreen(), 0);
    frame = LastFrame();
    ExpectRect(frame.source, 0, 0, 640, 480);
    ExpectRect(frame.dest, 0, 0, 960, 600);
    ExpectRect(gPresent.lastSource, 0, 0, 640, 480);
}

TEST_F(PresentScreenTest, TheBackBufferKeepsItsContentAfterAPresent) {
    ASSERT_EQ(SetupLibrary(), 0);
    ClearBackBuffer(0x000000FF);
    D3DRECT corner = {0, 0, 8, 8};
    ASSERT_EQ(DeviceClear(1, &corner, D3DCLEAR_TARGET, 0x0000FF00, 1.0f, 0), D3D_OK);
    ASSERT_EQ(PresentScreen(), 0);
    ASSERT_EQ(PresentScreen(), 0);
    TestD3d9Frame frame = LastFrame();
    EXPECT_EQ(frame.pixels[0], 0xFF00FF00u);
    EXPECT_EQ(frame.pixels[8], 0xFF0000FFu);
    EXPECT_EQ(TestD3d9ReadPixel(gDeviceResources.backBuffer, 7, 7), 0xFF00FF00u);
}

TEST_F(PresentScreenTest, AFullScreenPresentsTheWholeBackBufferToTheWindow) {
    ASSERT_EQ(SetupFullScreen(), 0);
    ASSERT_EQ(PresentScreen(), 0);
    TestD3d9Frame frame = LastFrame();
    EXPECT_TRUE(frame.wholeClientArea);
    EXPECT_EQ(frame.window, GetMainHwnd());
    ExpectRect(frame.source, 0, 0, 640, 480);
}

TEST_F(PresentScreenTest, TheEmulationStretchesTheCornerOverTheScreen) {
    StoreScreenSize(320, 240);
    ASSERT_EQ(SetupFullScreen(), 0);
    ASSERT_EQ(PresentScreen(), 0);
    TestD3d9Frame frame = LastFrame();
    ExpectRect(frame.source, 0, 0, 320, 240);
    ExpectRect(frame.dest, 0, 0, 640, 480);
}

TEST_F(PresentScreenTest, ALostDeviceRefusesThePresent) {
    ASSERT_EQ(SetupLibrary(), 0);
    TestD3d9LoseDevices();
    EXPECT_EQ(PresentScreen(), -1);
}

TEST_F(PresentScreenTest, ASubBackBufferIsCopiedToTheBackBufferFirst) {
    ASSERT_EQ(SetupLibrary(), 0);
    ASSERT_EQ(CreateSubBackBuffer(), 0);
    ASSERT_EQ(DeviceColorFill(gDeviceResources.subBackBuffer, nullptr, 0xFF123456), D3D_OK);
    ASSERT_EQ(PresentScreen(), 0);
    EXPECT_EQ(LastFrame().pixels[640 * 480 - 1], 0xFF123456u);
}

TEST_F(PresentScreenTest, RunningInTheBackgroundPacesQuickPresents) {
    ASSERT_EQ(SetupLibrary(), 0);
    int waits = TestCountVerticalBlankWaits();
    ASSERT_EQ(PresentScreen(), 0);
    EXPECT_EQ(TestCountVerticalBlankWaits(), waits);

    // A minimised window's present returns at once, so running in the background paces it.
    gShell.backgroundRun = 1;
    ShowWindow(GetMainHwnd(), SW_MINIMIZE);
    ASSERT_EQ(PresentScreen(), 0);
    EXPECT_EQ(TestCountVerticalBlankWaits(), waits + 1);
    gScreen.noVSyncWait = 1;
    ASSERT_EQ(PresentScreen(), 0);
    EXPECT_EQ(TestCountVerticalBlankWaits(), waits + 1);
}

TEST_F(PresentScreenTest, TheSoftwareScreenIsStretchedIntoTheWindow) {
    SwitchHardwareRendering(0);
    ASSERT_EQ(SetupLibrary(), 0);
    ASSERT_EQ(IsDirect3DMode(), 0);
    PutScreenPixel(1, 0, 0xF800);
    PutScreenPixel(639, 479, 0x001F);
    SetWindowScale(2.0, 2.0);
    int waits = TestCountVerticalBlankWaits();
    ASSERT_EQ(PresentScreen(), 0);
    EXPECT_EQ(TestCountVerticalBlankWaits(), waits + 1);
    EXPECT_EQ(WindowPixel(0, 0), 0x000000u);
    EXPECT_EQ(WindowPixel(2, 0), 0xFF0000u);
    EXPECT_EQ(WindowPixel(3, 1), 0xFF0000u);
    EXPECT_EQ(WindowPixel(4, 0), 0x000000u);
    EXPECT_EQ(WindowPixel(1279, 959), 0x0000FFu);

    gScreen.noVSyncWait = 1;
    ASSERT_EQ(PresentScreen(), 0);
    EXPECT_EQ(TestCountVerticalBlankWaits(), waits + 1);
}

TEST_F(PresentScreenTest, TheEmulatedSoftwareScreenShowsItsCornerAtDoubleSize) {
    SwitchHardwareRendering(0);
    StoreScreenSize(320, 240);
    ASSERT_EQ(SetupFullScreen(), 0);
    ASSERT_EQ(IsEmulating320x240(), 1);
    PutScreenPixel(10, 10, 0x07E0);
    PutScreenPixel(320, 0, 0xFFFF);  // outside the emulated corner
    ASSERT_EQ(PresentScreen(), 0);
    EXPECT_EQ(WindowPixel(20, 20), 0x00FF00u);
    EXPECT_EQ(WindowPixel(21, 21), 0x00FF00u);
    EXPECT_EQ(WindowPixel(22, 20), 0x000000u);
    EXPECT_EQ(WindowPixel(639, 0), 0x000000u);
    ExpectRect(gPresent.lastSource, 0, 0, 640, 480);
    ExpectRect(gPresent.lastDest, 0, 0, 640, 480);
}

TEST_F(PresentScreenTest, TheFrontScreenIsShownEvery32MillisecondsWhileSelected) {
    ASSERT_EQ(SetupLibrary(), 0);
    // Start-up leaves the front screen selected.
    ASSERT_EQ(GetDrawScreen(), kFrontScreen);
    int presents = LastFrame().presentCount;
    TestAdvanceClockMicroseconds(40'000);
    PumpMessages();
    EXPECT_GT(LastFrame().presentCount, presents);

    SelectDrawScreen(kBackScreen);
    for (int i = 0; i < 3; ++i) {
        TestAdvanceClockMicroseconds(40'000);
        PumpMessages();
    }
    presents = LastFrame().presentCount;
    for (int i = 0; i < 3; ++i) {
        TestAdvanceClockMicroseconds(40'000);
        PumpMessages();
    }
    EXPECT_EQ(LastFrame().presentCount, presents);
}

}  // namespace
