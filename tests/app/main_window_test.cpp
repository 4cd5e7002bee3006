// The main window around the pump: the window-mode scale, the mouse position it divides by,
// frame dragging that keeps the screen's aspect, display changes the screen cannot follow,
// and the mode flag set before start-up.
#include "app/main_window.h"

#include <gtest/gtest.h>
#include <platform/testing_host.h>
#include <platform/win32.h>

#include "app/library_setup.h"
#include "app/message_pump.h"
#include "graphics/screen_state.h"
#include "library_fixture.h"

namespace {

using MainWindowTest = LibraryFixture;

TEST_F(MainWindowTest, BeforeStartUpChangeWindowModeOnlyStoresTheFlag) {
    gShell.windowed = 0;
    EXPECT_EQ(ChangeWindowMode(1), 0);
    EXPECT_EQ(IsWindowedMode(), 1);
    EXPECT_EQ(ChangeWindowMode(1), 0);
    EXPECT_EQ(GetMainHwnd(), nullptr);
    double x = 0, y = 0;
    EXPECT_EQ(GetWindowScale(&x, &y), 1.0);
    EXPECT_EQ(y, 1.0);
}

TEST_F(MainWindowTest, TheScaleSizesTheWindowAndDividesTheMousePosition) {
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(SetWindowScale(1.5, 0), 0);
    double x = 0, y = 0;
    GetWindowScale(&x, &y);
    EXPECT_EQ(x, 1.5);
    EXPECT_EQ(y, 1.5);
    TestHostWindow shown = TestHostReadWindow(GetMainHwnd());
    EXPECT_EQ(shown.width, 960);
    EXPECT_EQ(shown.height, 720);
    // Centred on the 1920 x 1080 desktop.
    EXPECT_EQ(shown.x, 480);
    EXPECT_EQ(shown.y, 180);

    SetCursorPos(shown.x + 300, shown.y + 150);
    int32_t mouseX = 0, mouseY = 0;
    ReadMousePosition(&mouseX, &mouseY);
    EXPECT_EQ(mouseX, 200);
    EXPECT_EQ(mouseY, 100);

    SetWindowScale(-2, -2);
    GetWindowScale(&x, &y);
    EXPECT_EQ(x, 1.0);
    EXPECT_EQ(TestHostReadWindow(GetMainHwnd()).width, 640);
}

TEST_F(MainWindowTest, DraggingTheFrameKeepsTheScreensAspect) {
    ASSERT_EQ(SetupLibrary(), 0);
    HWND window = GetMainHwnd();
    RECT rect = {100, 100, 900, 200};
    SendMessageA(window, WM_SIZING, WMSZ_RIGHT, reinterpret_cast<LPARAM>(&rect));
    EXPECT_EQ(rect.right - rect.left, 800);
    EXPECT_EQ(rect.bottom - rect.top, 600);
    EXPECT_EQ(rect.left, 100);
    EXPECT_EQ(gShell.scaleX, 1.25);

    rect = {500, 500, 600, 520};
    SendMessageA(window, WM_SIZING, WMSZ_TOPLEFT, reinterpret_cast<LPARAM>(&rect));
    // At least 128 pixels on the shorter side, grown from the dragged corner.
    EXPECT_EQ(rect.bottom - rect.top, 128);
    EXPECT_EQ(rect.right - rect.left, 170);
    EXPECT_EQ(rect.right, 600);
    EXPECT_EQ(rect.bottom, 520);
}

TEST_F(MainWindowTest, DraggingTheTopOrBottomEdgeSetsTheWidthFromTheHeight) {
    ASSERT_EQ(SetupLibrary(), 0);
    HWND window = GetMainHwnd();
    RECT rect = {100, 100, 120, 400};
    SendMessageA(window, WM_SIZING, WMSZ_BOTTOM, reinterpret_cast<LPARAM>(&rect));
    // 300 rows of a 640 x 480 screen: 400 columns, grown to the right from the fixed left.
    EXPECT_EQ(rect.left, 100);
    EXPECT_EQ(rect.right, 500);
    EXPECT_EQ(rect.top, 100);
    EXPECT_EQ(rect.bottom, 400);
    EXPECT_EQ(gShell.scaleX, 0.625);
    EXPECT_EQ(gShell.scaleY, 0.625);

    rect = {50, 40, 2000, 400};
    SendMessageA(window, WM_SIZING, WMSZ_TOP, reinterpret_cast<LPARAM>(&rect));
    // The width follows the height whatever it was; the bottom edge stays where it is.
    EXPECT_EQ(rect.right - rect.left, 480);
    EXPECT_EQ(rect.left, 50);
    EXPECT_EQ(rect.bottom, 400);
    EXPECT_EQ(rect.top, 40);
    EXPECT_EQ(gShell.scaleX, 0.75);
}

TEST_F(MainWindowTest, ADisplayChangeToTwentyFourBitsClosesTheProgram) {
    StoreScreenSize(640, 480);
    ASSERT_EQ(SetupLibrary(), 0);
    SendMessageA(GetMainHwnd(), WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768));
    EXPECT_EQ(IsCloseRequested(), 0);
    EXPECT_EQ(gMainWindow.displayChanged, 1);
    SendMessageA(GetMainHwnd(), WM_DISPLAYCHANGE, 24, MAKELPARAM(1024, 768));
    EXPECT_EQ(IsCloseRequested(), 1);
    EXPECT_EQ(PumpMessages(), -1);
    EXPECT_TRUE(InOrder(ReadLog(), {"画面が２４ビットカラーに変更されたため終了します\r\n",
                                    "色ビット数の違いが大きいためか終了します\r\n",
                                    "ウインドウを閉じようとしています\r\n"}));
    StoreScreenSize(0, 0);
}

TEST_F(MainWindowTest, HidingTheWindowDeactivatesTheProgram) {
    ASSERT_EQ(SetupLibrary(), 0);
    ShowWindow(GetMainHwnd(), SW_HIDE);
    // Outside the pump the procedure handles the deactivation at once.
    EXPECT_EQ(IsAppActive(), 0);
    EXPECT_EQ(CountQueuedActivations(), 0);
    EXPECT_EQ(ShouldWaitWhileInactive(), 1);
}

TEST_F(MainWindowTest, WhileCreatingActivationIsOnlyStored) {
    gMainWindow.creating = 1;
    gShell.active = 1;
    EXPECT_EQ(HandleActivation(WA_INACTIVE, 0), 0);
    EXPECT_EQ(gShell.active, 0);
    gMainWindow.creating = 0;
    // A minimised activation counts as inactive: nothing changes.
    EXPECT_EQ(HandleActivation(MAKEWPARAM(WA_ACTIVE, 1), 0), 0);
    EXPECT_EQ(gShell.active, 0);
}

}  // namespace
