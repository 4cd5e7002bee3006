// The screen and the window through the public header: the size, depth, scale, title and
// switches a program sets before SetupLibrary, and the screen-mode change after it.

#include <cmath>
#include <fstream>

#include "public_fixture.h"

namespace {

using ScreenTest = PublicFixture;

HWND ScreenWindow() {
    return FindWindowA(nullptr, "Orbek");
}

std::pair<int, int> WindowSize(HWND window) {
    const TestHostWindow read = TestHostReadWindow(window);
    return {read.width, read.height};
}

// The width, height and depth that QueryScreenSizeAndDepth or GetDesktopMode gives.
std::vector<int> Mode(int (*query)(int*, int*, int*)) {
    int width = 0, height = 0, bits = 0;
    query(&width, &height, &bits);
    return {width, height, bits};
}

// An 800 x 600 screen recorded before the start-up is the window's, drawn to its far corner,
// on the device and on the software renderer; a mode no screen can have changes nothing.
TEST_F(ScreenTest, ASizeSetBeforeStartUpIsTheWindowsToItsFarCorner) {
    for (int hardware : {1, 0}) {
        SCOPED_TRACE(hardware);
        ASSERT_EQ(SwitchHardwareRendering(hardware), 0);
        ASSERT_EQ(ChangeScreenMode(800, 600, 32, 0, 0), 0);
        EXPECT_EQ(Mode(QueryScreenSizeAndDepth), (std::vector<int>{800, 600, 32}));
        StartFramework();
        EXPECT_EQ(ChangeScreenMode(800, 8193, 32, 0, 0), -1);
        EXPECT_EQ(ChangeScreenMode(800, 600, 24, 0, 0), -1);
        EXPECT_NE(ReadLog().find("画面モードの指定が正しくありません in ChangeScreenMode"),
                  std::string::npos);
        int width = 0, height = 0;
        std::vector<uint32_t> picture = DrawAndShow(
            [] { PutBoxFilled(796, 596, 800, 600, PackScreenColor(0, 255, 0)); }, &width, &height);
        ASSERT_EQ(std::make_pair(width, height), std::make_pair(800, 600));
        EXPECT_EQ(picture[599 * 800 + 799], 0x00FF00u);
        EXPECT_EQ(picture[595 * 800 + 795], 0u);
        ASSERT_EQ(ShutdownLibrary(), 0);
    }
}

// Full screen takes the recorded mode where the display has it and refuses a mode it lacks; a
// mode change takes the window along; a later start-up that the display cannot show full
// screen starts in a window. The desktop's mode stays the one the start-up found.
TEST_F(ScreenTest, FullScreenTakesTheRecordedModeWhereTheDisplayHasIt) {
    TestHostSetDisplayModes({{1024, 768, 32, 60}, {800, 600, 32, 60}});
    TestHostSetDesktopMode({1600, 900, 32, 60});
    const std::vector<int> desktop = {1600, 900, 32};
    EXPECT_EQ(Mode(GetDesktopMode), desktop);
    ASSERT_EQ(ChangeScreenMode(800, 600, 32, 0, 0), 0);
    ASSERT_EQ(ChangeWindowMode(0), 0);
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(Mode(GetDesktopMode), desktop);
    ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    EXPECT_TRUE(TestHostReadWindow(ScreenWindow()).fullScreen);
    EXPECT_EQ(WindowSize(ScreenWindow()), std::make_pair(800, 600));
    int width = 0, height = 0;
    std::vector<uint32_t> picture = DrawAndShow(
        [] { PutBoxFilled(796, 596, 800, 600, PackScreenColor(0, 0, 255)); }, &width, &height);
    ASSERT_EQ(std::make_pair(width, height), std::make_pair(800, 600));
    EXPECT_EQ(picture[599 * 800 + 799], 0x0000FFu);

    EXPECT_EQ(ChangeScreenMode(1280, 720, 32, 0, 0), -1);
    EXPECT_NE(ReadLog().find("画面モードがディスプレイにありません in ChangeScreenMode"),
              std::string::npos);
    EXPECT_EQ(Mode(QueryScreenSizeAndDepth), (std::vector<int>{800, 600, 32}));
    ASSERT_EQ(ChangeScreenMode(1024, 768, 32, 0, 0), 0);
    EXPECT_TRUE(TestHostReadWindow(ScreenWindow()).fullScreen);
    EXPECT_EQ(WindowSize(ScreenWindow()), std::make_pair(1024, 768));
    ASSERT_EQ(ShutdownLibrary(), 0);

    TestHostSetDisplayModes({{1280, 720, 32, 60}});
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_FALSE(TestHostReadWindow(ScreenWindow()).fullScreen);
    EXPECT_EQ(WindowSize(ScreenWindow()), std::make_pair(1024, 768));
}

// After the start-up the graphics start again in the new mode: graphs and fonts made before
// are gone, those made after draw.
TEST_F(ScreenTest, AModeChangeAfterStartUpDeletesGraphsAndFonts) {
    WriteBgraImage("dot.bgra", 1, 1, {0xFFFFFFFF});
    StartFramework();
    Handle graph = LoadImageFileAsGraph("dot.bgra", 0);
    Handle font = MakeFontHandle(nullptr, 16, 3, 0, -1, -1, 0, -1);
    int graphLost = -1, fontLost = -1;
    ASSERT_EQ(AttachGraphLostFlag(graph, &graphLost), 0);
    ASSERT_EQ(BindFontLostFlag(font, &fontLost), 0);
    ASSERT_EQ(ChangeScreenMode(800, 600, 32, 0, -1), 0);
    EXPECT_EQ(graphLost, 1);
    EXPECT_EQ(fontLost, 1);
    EXPECT_EQ(WindowSize(ScreenWindow()), std::make_pair(800, 600));

    graph = LoadImageFileAsGraph("dot.bgra", 0);
    ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    int width = 0, height = 0;
    const auto picture = DrawAndShow([graph] { PutGraph(790, 590, graph, 0); }, &width, &height);
    ASSERT_EQ(width, 800);
    EXPECT_EQ(picture[590 * 800 + 790], 0xFFFFFFu);
}

// The scale and the title hold from before the start-up; the title names the window and its
// class (which the double-start check looks for), one given while running the next start-up's.
TEST_F(ScreenTest, TheScaleAndTitleSetBeforeStartUpHold) {
    ASSERT_EQ(SetWindowScale(2, 0), 0);
    ASSERT_EQ(SetWindowTitle("Mine"), 0);
    StartFramework();
    HWND window = FindWindowA("Mine", "Mine");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowSize(window), std::make_pair(1280, 960));
    // A side has a bound whatever the scale asks.
    ASSERT_EQ(SetWindowScale(100, 0.01), 0);
    EXPECT_EQ(SetWindowScale(std::nan(""), 1), -1);
    EXPECT_EQ(WindowSize(window), std::make_pair(16384, 4));

    EXPECT_EQ(SetWindowTitle(nullptr), -1);
    EXPECT_EQ(SetWindowTitle(std::string(256, 'x').c_str()), -1);
    ASSERT_EQ(SetWindowTitle(""), 0);
    EXPECT_EQ(TestHostReadWindow(window).titleUtf8, "Orbek");
    const std::string longest(255, 'x');
    ASSERT_EQ(SetWindowTitle(longest.c_str()), 0);
    EXPECT_EQ(TestHostReadWindow(window).titleUtf8, longest);
    ASSERT_EQ(ShutdownLibrary(), 0);
    StartFramework();
    EXPECT_NE(FindWindowA(longest.c_str(), longest.c_str()), nullptr);
}

// Without sound, graphics and input the start-up succeeds: sound calls fail (on a file that
// loads with sound), no graph or font is made, drawing does nothing, and screen-mode changes
// size the window but start no graphics; input starts with the first query, which answers "no
// key down" whatever the buffer held.
TEST_F(ScreenTest, WithoutSoundGraphicsAndInputTheStartUpSucceeds) {
    WriteSilentWave("silence.wav");
    WriteBgraImage("dot.bgra", 1, 1, {0xFFFFFFFF});
    StartFramework();
    ASSERT_NE(LoadSoundHandle("silence.wav", 1, -1), -1);
    ASSERT_EQ(ShutdownLibrary(), 0);
    for (auto leaveOut : {SetNoSoundSwitch, SetNoGraphicsSwitch, SetNoInputSwitch}) {
        ASSERT_EQ(leaveOut(1), 0);
    }
    ASSERT_EQ(SetupLibrary(), 0);
    ASSERT_EQ(ChangeScreenMode(800, 600, 32, 0, 0), 0);
    EXPECT_EQ(Mode(QueryScreenSizeAndDepth), (std::vector<int>{800, 600, 32}));
    EXPECT_EQ(WindowSize(ScreenWindow()), std::make_pair(800, 600));
    ASSERT_EQ(ChangeWindowMode(0), 0);
    ASSERT_EQ(ChangeWindowMode(1), 0);
    EXPECT_EQ(GetUsableShaderVersion(), 0);
    EXPECT_EQ(SetNoSoundSwitch(0), -1);
    EXPECT_EQ(LoadSoundHandle("silence.wav", 1, -1), -1);
    EXPECT_EQ(LoadImageFileAsGraph("dot.bgra", 0), -1);
    EXPECT_EQ(MakeFontHandle(nullptr, 16, 3, 0, -1, -1, 0, -1), -1);
    PutBoxFilled(0, 0, 8, 8, 0xFFFFFFFF);
    DrawStringWithFont(0, 0, "A", 0xFFFFFFFF, -1, 0, 0);
    FlipScreen();
    HostEvent key;
    key.kind = HostEventKind::KeyDown;
    key.virtualKey = 'Z';
    TestHostPushEvent(ScreenWindow(), key);
    uint8_t keys[256];
    std::fill(std::begin(keys), std::end(keys), 0xAA);
    EXPECT_EQ(CopyAllKeyStates(keys), 0);
    EXPECT_EQ(std::count(std::begin(keys), std::end(keys), 0), 256);
    AdvanceClock(1);
    EXPECT_EQ(TestKeyDown(kKeyZ), 1);
}

// Presents wait for the vertical blank unless switched off before the device is made.
TEST_F(ScreenTest, TheVerticalBlankWaitIsSwitchedOffBeforeStartUp) {
    for (int wait : {1, 0}) {
        SCOPED_TRACE(wait);
        ASSERT_EQ(SwitchVSyncWait(wait), 0);
        EXPECT_EQ(IsVSyncWaitOn(), wait);
        StartFramework();
        const uint32_t start = GetMillisecondCount();
        for (int frame = 0; frame < 6; ++frame) FlipScreen();
        const uint32_t spent = GetMillisecondCount() - start;
        EXPECT_TRUE(wait != 0 ? spent >= 80 : spent < 20) << spent;
        ASSERT_EQ(ShutdownLibrary(), 0);
    }
}

using WindowScaleTest = RendererFixture;
INSTANTIATE_TEST_SUITE_P(Renderers, WindowScaleTest, ::testing::Bool(), RendererName);

// A scale far past the largest window shows the whole screen on the window it was given, from
// its left half to its right, and the mouse reads the screen's pixel under it; so do full screen
// after it and the window again. A scale too small for one pixel gives a window of one pixel,
// which shows the screen's middle.
TEST_P(WindowScaleTest, ThePictureFillsTheWindowWhateverTheScale) {
    StartFramework();
    HWND window = ScreenWindow();
    auto show = [this](int* width, int* height) {
        return DrawAndShow([] { PutBoxFilled(320, 0, 640, 480, PackScreenColor(0, 255, 0)); },
                           width, height);
    };
    auto mouseAt = [window](int x, int y) {
        HostEvent move;
        move.kind = HostEventKind::MouseMove;
        move.x = x;
        move.y = y;
        TestHostPushEvent(window, move);
        PumpMessages();
        int32_t screenX = -1, screenY = -1;
        ReadMousePosition(&screenX, &screenY);
        return std::make_pair(screenX, screenY);
    };
    auto expectWholeScreen = [&] {
        int width = 0, height = 0;
        const std::vector<uint32_t> picture = show(&width, &height);
        ASSERT_EQ(std::make_pair(width, height), std::make_pair(16384, 4));
        for (int row = 0; row < 4; ++row) {
            EXPECT_EQ(picture[row * 16384 + 8191], 0u);
            EXPECT_TRUE(Near(picture[row * 16384 + 8192], 0x00FF00));
            EXPECT_TRUE(Near(picture[row * 16384 + 16383], 0x00FF00));
        }
        EXPECT_EQ(mouseAt(16383, 3), std::make_pair(639, 360));
        EXPECT_EQ(mouseAt(8192, 1), std::make_pair(320, 120));
    };
    ASSERT_EQ(SetWindowScale(100000, 0.01), 0);
    expectWholeScreen();
    EXPECT_EQ(SetWindowScale(INFINITY, 1), -1);
    EXPECT_EQ(SetWindowScale(1, -INFINITY), -1);

    TestHostSetDisplayModes({{640, 480, 16, 60}});
    ASSERT_EQ(ChangeWindowMode(0), 0);
    ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    int width = 0, height = 0;
    std::vector<uint32_t> picture = show(&width, &height);
    ASSERT_EQ(std::make_pair(width, height), std::make_pair(640, 480));
    EXPECT_TRUE(Near(picture[479 * 640 + 639], 0x00FF00));
    ASSERT_EQ(ChangeWindowMode(1), 0);
    ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    expectWholeScreen();

    ASSERT_EQ(SetWindowScale(1e-300, 5e-324), 0);
    picture = show(&width, &height);
    ASSERT_EQ(std::make_pair(width, height), std::make_pair(1, 1));
    EXPECT_TRUE(Near(picture[0], 0x00FF00));
    EXPECT_EQ(mouseAt(0, 0), std::make_pair(0, 0));
}

}  // namespace
