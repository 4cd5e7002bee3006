// Start-up and shutdown of the framework: the order of their steps as the log and the window
// layer record them, refusals, failures that undo nothing, and the fatal exit.
#include "app/library_setup.h"

#include <gtest/gtest.h>
#include <platform/testing.h>
#include <platform/testing_host.h>
#include <platform/win32.h>

#include <cstdlib>

#include "app/main_window.h"
#include "app/message_pump.h"
#include "core/clocks.h"
#include "core/fatal_error.h"
#include "graphics/screen_state.h"
#include "library_fixture.h"

namespace {

using LibrarySetupTest = LibraryFixture;

LRESULT IdleProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

// A window of the framework's default class that is not the framework's.
HWND CreateOtherWindow() {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = IdleProcedure;
    windowClass.lpszClassName = "K402618Q";
    EXPECT_NE(RegisterClassExA(&windowClass), 0);
    return CreateWindowExA(0, "K402618Q", "other", 0, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                           nullptr);
}

TEST_F(LibrarySetupTest, StartsAndEndsInTheirOrder) {
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(gShell.setUp, 1);
    EXPECT_EQ(gShell.initialising, 0);
    HWND window = GetMainHwnd();
    ASSERT_TRUE(IsWindow(window));
    TestHostWindow shown = TestHostReadWindow(window);
    EXPECT_TRUE(shown.visible);
    EXPECT_FALSE(shown.fullScreen);
    EXPECT_EQ(shown.width, 640);
    EXPECT_EQ(shown.height, 480);
    EXPECT_EQ(shown.titleUtf8, "Orbek");
    EXPECT_FALSE(TestHostScreenSaverEnabled());
    EXPECT_EQ(IsAppActive(), 1);

    ASSERT_EQ(ShutdownLibrary(), 0);
    EXPECT_EQ(gShell.setUp, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(TestHostScreenSaverEnabled());
    // The run-time DLLs are gone: the clock answers -1 again.
    EXPECT_EQ(GetMillisecondCount(0), 0xFFFFFFFFu);
    // The class was unregistered, so it can be registered anew.
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = IdleProcedure;
    windowClass.lpszClassName = "K402618Q";
    EXPECT_NE(RegisterClassExA(&windowClass), 0);

    EXPECT_TRUE(
        InOrder(ReadLog(), {
                               "システムの情報を出力します",
                               "ＣＯＭの初期化... 成功しました\r\n",
                               "ソフトの二重起動検査... 二重起動はされていませんでした\r\n",
                               "ウインドウクラスを登録します... 登録に成功しました\r\n",
                               "ウインドウモード起動用のウインドウを作成します\r\n",
                               "ウインドウの作成に成功しました\r\n",
                               "ウインドウを表示します\r\n",
                               "ＩＭＥを無効にしました\r\n",
                               "ウインドウスタイルをウインドウモード用に変更します... 完了\r\n",
                               "ウインドウを閉じようとしています\r\n",
                               "ウインドウが破棄されようとしています\r\n",
                               "ソフトを終了する準備が整いました\r\n",
                               "ＣＯＭを終了... 完了\r\n",
                               "Alloc memory dump",
                           }));
}

TEST_F(LibrarySetupTest, SecondStartAndUnstartedShutdownDoNothing) {
    EXPECT_EQ(ShutdownLibrary(), 0);
    EXPECT_EQ(ReadLog(), "");
    ASSERT_EQ(SetupLibrary(), 0);
    HWND window = GetMainHwnd();
    std::string log = ReadLog();
    EXPECT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(GetMainHwnd(), window);
    EXPECT_EQ(ReadLog(), log);
}

TEST_F(LibrarySetupTest, ARunningCopyRefusesTheStart) {
    HWND other = CreateOtherWindow();
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(SetupLibrary(), -1);
    EXPECT_EQ(gShell.setUp, 0);
    EXPECT_EQ(gShell.initialising, 0);
    EXPECT_EQ(IsQuitting(), 1);
    EXPECT_EQ(GetMainHwnd(), nullptr);
    EXPECT_TRUE(InOrder(ReadLog(),
                        {"ソフトの二重起動検査... 二重起動されています、ソフトを終了します\r\n"}));
}

TEST_F(LibrarySetupTest, AllowedDoubleStartGoesOnAndLeavesTheOtherWindow) {
    HWND other = CreateOtherWindow();
    gMainWindow.settings.allowDoubleStart = 1;
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_NE(GetMainHwnd(), other);
    EXPECT_TRUE(InOrder(ReadLog(), {"二重起動されていますが続行します\r\n"}));
    ASSERT_EQ(ShutdownLibrary(), 0);
    // Shutdown destroys only its own window, even though the other one has the same class.
    EXPECT_TRUE(IsWindow(other));
    DestroyWindow(other);
}

TEST_F(LibrarySetupTest, ATwentyFourBitDesktopIsRefusedInWindowMode) {
    TestHostSetDesktopMode({1920, 1080, 24, 60});
    EXPECT_EQ(SetupLibrary(), -1);
    EXPECT_EQ(gShell.setUp, 0);
    // This refusal alone leaves the initialising flag set.
    EXPECT_EQ(gShell.initialising, 1);
    EXPECT_EQ(GetMainHwnd(), nullptr);
    EXPECT_TRUE(
        InOrder(ReadLog(), {"ＯＲＢＥＫライブラリは２４ビットカラーモードに対応していません\r\n"}));
}

TEST_F(LibrarySetupTest, AFailedWindowCreationUndoesNothingAndClearsInitialising) {
    TestFailNthCall("CreateWindowExA", 1);
    EXPECT_EQ(SetupLibrary(), -1);
    EXPECT_EQ(gShell.setUp, 0);
    EXPECT_EQ(gShell.initialising, 0);
    EXPECT_EQ(gMainWindow.quit, 1);
    EXPECT_TRUE(InOrder(ReadLog(),
                        {"ＣＯＭの初期化... 成功しました", "ウインドウの作成に失敗しました\r\n"}));
    // COM stays initialised: nothing is undone.
    EXPECT_EQ(gLibrary.comInitialised, 1);
}

TEST_F(LibrarySetupTest, WithoutADisplayTheStartFailsLikeAFailedWindow) {
    TestHostFailStart(true);
    EXPECT_EQ(SetupLibrary(), -1);
    EXPECT_TRUE(InOrder(ReadLog(), {"ウインドウの作成に失敗しました\r\n"}));
}

TEST_F(LibrarySetupTest, AFailedComStartIsLoggedAndStartUpGoesOn) {
    TestSetExportMissing("ole32.dll", "CoInitializeEx", true);
    // Without COM no DirectDraw object can be made, so graphics would fail the start-up.
    gShell.noGraphics = 1;
    EXPECT_EQ(SetupLibrary(), 0);
    gShell.noGraphics = 0;
    EXPECT_EQ(gLibrary.comInitialised, 0);
    EXPECT_TRUE(InOrder(ReadLog(), {"ＣＯＭの初期化... ＣＯＭの初期化に失敗しました\r\n"}));
    EXPECT_EQ(ShutdownCom(), -1);
}

TEST_F(LibrarySetupTest, FullScreenOfAnUnlistedSizeStartsInWindowMode) {
    gShell.windowed = 0;
    StoreScreenSize(800, 601);
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(IsWindowedMode(), 1);
    EXPECT_FALSE(TestHostReadWindow(GetMainHwnd()).fullScreen);
    StoreScreenSize(0, 0);
}

TEST_F(LibrarySetupTest, FullScreenStartsFullScreenAndTopmost) {
    gShell.windowed = 0;
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(IsWindowedMode(), 0);
    TestHostWindow shown = TestHostReadWindow(GetMainHwnd());
    EXPECT_TRUE(shown.fullScreen);
    EXPECT_EQ(shown.width, 640);
    EXPECT_FALSE(TestHostCursorShown());
    EXPECT_NE(GetWindowLongA(GetMainHwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_TRUE(InOrder(ReadLog(), {"フルスクリーンモード用のウインドウを作成します\r\n",
                                    "カーソルを不可視にしました\r\n"}));
}

TEST_F(LibrarySetupTest, A320x240FullScreenIsEmulatedAt640x480) {
    gShell.windowed = 0;
    StoreScreenSize(320, 240);
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(IsWindowedMode(), 0);
    EXPECT_EQ(IsEmulating320x240(), 1);
    int width = 0, height = 0;
    QueryOutputSize(&width, &height);
    // The program sees a 320x240 picture; the window shows it at 640x480.
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    EXPECT_EQ(TestHostReadWindow(GetMainHwnd()).width, 640);
    EXPECT_EQ(TestHostReadWindow(GetMainHwnd()).height, 480);
    SetEmulation320x240(0);
    StoreScreenSize(0, 0);
}

TEST_F(LibrarySetupTest, TheTimerTestPrefersTheClockThatChangesMoreOften) {
    ASSERT_EQ(SetupLibrary(), 0);
    // The virtual counter changes on every read, the millisecond time only every 20 reads.
    EXPECT_EQ(gClocks.hasPerformanceCounter, 1);
    EXPECT_TRUE(InOrder(
        ReadLog(), {"タイマーの精度を検査します\r\n", "精度結果 更新回数 マルチメディアタイマー：",
                    "パフォーマンスカウンターを使用します タイマー精度 : 1000.000000 KHz"}));
}

TEST_F(LibrarySetupTest, AFatalErrorLogsAndEndsTheProcess) {
    // The dying process is a fork of this one: with one processor no stream-sound thread runs
    // whose locks the fork could inherit held.
    TestSetProcessorCount(1);
    ASSERT_EQ(SetupLibrary(), 0);
    EndWorkersBeforeFork();
    EXPECT_EXIT(ExitOnFatalError("致命的な誤りです"), ::testing::ExitedWithCode(255), "");
    EXPECT_TRUE(InOrder(ReadLog(), {"致命的な誤りです\r\n", "ウインドウが破棄されようとしています",
                                    "Alloc memory dump"}));
}

// The program's own host. Under SDL's dummy driver this needs no display; with a real X
// display (SDL_VIDEODRIVER=x11) the same test opens a real window.
TEST_F(LibrarySetupTest, RunsOnTheSdlHost) {
    if (std::getenv("SDL_VIDEODRIVER") == nullptr) setenv("SDL_VIDEODRIVER", "dummy", 1);
    TestUseHeadlessHost(false);
    TestUseVirtualClock(false);
    ASSERT_EQ(SetupLibrary(), 0);
    for (int frame = 0; frame < 5; frame++) EXPECT_EQ(PumpMessages(), 0);
    HDC dc = GetDC(GetMainHwnd());
    RECT all = {0, 0, 640, 480};
    EXPECT_EQ(FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))), 1);
    ReleaseDC(GetMainHwnd(), dc);
    ASSERT_EQ(ShutdownLibrary(), 0);
    EXPECT_TRUE(InOrder(ReadLog(), {"システムの情報を出力します", "ウインドウの作成に成功しました",
                                    "ソフトを終了する準備が整いました", "Alloc num:0"}));
}

// Started on the SDL host in a child process of its own, as a user would start the program:
// no display unless `driver` names SDL's video driver. 0 when SetupLibrary answers `expected`
// and the log says whether the window was made.
int StartOnTheSdlHost(const std::string& logDirectory, const char* driver, int expected) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    // No Wayland socket of the session's either.
    setenv("XDG_RUNTIME_DIR", logDirectory.c_str(), 1);
    if (driver != nullptr) {
        setenv("SDL_VIDEODRIVER", driver, 1);
    } else {
        unsetenv("SDL_VIDEODRIVER");
    }
    TestUseHeadlessHost(false);
    TestUseVirtualClock(false);
    if (SetupLibrary() != expected) return 1;
    std::ifstream file(logDirectory + "/Log.txt", std::ios::binary);
    std::string log((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const char* line =
        expected == 0 ? "ウインドウの作成に成功しました" : "ウインドウの作成に失敗しました";
    if (log.find(line) == std::string::npos) return 2;
    if (expected == 0 && ShutdownLibrary() != 0) return 3;
    return 0;
}

// SDL falls back to a driver that shows nothing where it reaches no display: unasked, that is
// a window that cannot be made, and the user reads why on standard error; asked for by name,
// it runs as the tests do.
TEST_F(LibrarySetupTest, WithoutADisplayTheSdlHostFailsTheStartUnlessADriverIsNamed) {
    EndWorkersBeforeFork();
    const std::string directory = directory_;
    EXPECT_EXIT(std::_Exit(StartOnTheSdlHost(directory, nullptr, -1)), ::testing::ExitedWithCode(0),
                "no display");
    EXPECT_EXIT(std::_Exit(StartOnTheSdlHost(directory, "offscreen", 0)),
                ::testing::ExitedWithCode(0), "");
}

}  // namespace
