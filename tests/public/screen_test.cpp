// The screen and the window through the public header: the size, depth, scale, title and
// switches a program sets before SetupLibrary, and the screen-mode change after it.

#include <cmath>
#include <cstdio>

#include "public_fixture.h"

namespace {

using ScreenTest = PublicFixture;

HWND ScreenWindow(const char* title = "Orbek") {
    return FindWindowA(nullptr, title);
}

void AppendLittleEndian(std::vector<uint8_t>* bytes, uint32_t value, int count) {
    for (int i = 0; i < count; ++i) bytes->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void WriteScreenTestFile(const char* name, const std::vector<uint8_t>& bytes) {
    FILE* out = std::fopen(name, "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
}

// A tenth of a second of silence, 16-bit mono at 8,000 Hz, as a WAVE file.
void WriteSilence(const char* name) {
    constexpr uint32_t kDataBytes = 1600;
    std::vector<uint8_t> file = {'R', 'I', 'F', 'F'};
    AppendLittleEndian(&file, 36 + kDataBytes, 4);
    for (char c : std::string("WAVEfmt ")) file.push_back(static_cast<uint8_t>(c));
    AppendLittleEndian(&file, 16, 4);
    AppendLittleEndian(&file, 1, 2);  // PCM
    AppendLittleEndian(&file, 1, 2);  // mono
    AppendLittleEndian(&file, 8000, 4);
    AppendLittleEndian(&file, 16000, 4);
    AppendLittleEndian(&file, 2, 2);
    AppendLittleEndian(&file, 16, 2);
    for (char c : std::string("data")) file.push_back(static_cast<uint8_t>(c));
    AppendLittleEndian(&file, kDataBytes, 4);
    file.resize(file.size() + kDataBytes);
    WriteScreenTestFile(name, file);
}

std::vector<uint32_t> ScreenSizeAndDepth() {
    int width = 0, height = 0, bits = 0;
    QueryScreenSizeAndDepth(&width, &height, &bits);
    return {static_cast<uint32_t>(width), static_cast<uint32_t>(height),
            static_cast<uint32_t>(bits)};
}

// An 800 x 600 screen recorded before the start-up is the window's, drawn to its far corner,
// on the device and on the software renderer.
TEST_F(ScreenTest, ASizeSetBeforeStartUpIsTheWindowsToItsFarCorner) {
    for (int hardware : {1, 0}) {
        SCOPED_TRACE(hardware);
        ASSERT_EQ(SwitchHardwareRendering(hardware), 0);
        ASSERT_EQ(ChangeScreenMode(800, 600, 32, 0, 0), 0);
        EXPECT_EQ(ScreenSizeAndDepth(), (std::vector<uint32_t>{800, 600, 32}));
        StartFramework();
        EXPECT_EQ(ScreenSizeAndDepth(), (std::vector<uint32_t>{800, 600, 32}));
        int width = 0, height = 0;
        std::vector<uint32_t> picture = DrawAndShow(
            [] { PutBoxFilled(796, 596, 800, 600, PackScreenColor(0, 255, 0)); }, &width, &height);
        ASSERT_EQ(width, 800);
        ASSERT_EQ(height, 600);
        EXPECT_EQ(picture[599 * 800 + 799], 0x00FF00u);
        EXPECT_EQ(picture[595 * 800 + 795], 0u);
        EXPECT_EQ(SwitchHardwareRendering(1), -1);
        ASSERT_EQ(ShutdownLibrary(), 0);
    }
}

// Full screen takes the size where the display has it, else the program starts in a window.
TEST_F(ScreenTest, AFullScreenStartTakesTheRecordedModeWhereTheDisplayHasIt) {
    TestHostSetDisplayModes({{1024, 768, 32, 60}, {800, 600, 32, 60}});
    ASSERT_EQ(ChangeScreenMode(800, 600, 32, 0, 0), 0);
    ASSERT_EQ(ChangeWindowMode(0), 0);
    ASSERT_EQ(SetupLibrary(), 0);
    TestHostWindow window = TestHostReadWindow(ScreenWindow());
    EXPECT_TRUE(window.fullScreen);
    EXPECT_EQ(window.width, 800);
    EXPECT_EQ(ScreenSizeAndDepth(), (std::vector<uint32_t>{800, 600, 32}));
    ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    int width = 0, height = 0;
    std::vector<uint32_t> picture = DrawAndShow(
        [] { PutBoxFilled(796, 596, 800, 600, PackScreenColor(0, 0, 255)); }, &width, &height);
    ASSERT_EQ(width, 800);
    ASSERT_EQ(height, 600);
    EXPECT_EQ(picture[599 * 800 + 799], 0x0000FFu);
    // A mode the display lacks is refused and changes nothing.
    EXPECT_EQ(ChangeScreenMode(1280, 720, 32, 0, 0), -1);
    EXPECT_NE(ReadLog().find("画面モードがディスプレイにありません in ChangeScreenMode"),
              std::string::npos);
    EXPECT_EQ(ScreenSizeAndDepth(), (std::vector<uint32_t>{800, 600, 32}));
    // A mode it has is taken, the window and the picture with it.
    ASSERT_EQ(ChangeScreenMode(1024, 768, 32, 0, 0), 0);
    ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    picture = DrawAndShow([] { PutBoxFilled(1020, 764, 1024, 768, PackScreenColor(0, 0, 255)); },
                          &width, &height);
    ASSERT_EQ(width, 1024);
    ASSERT_EQ(height, 768);
    EXPECT_EQ(picture[767 * 1024 + 1023], 0x0000FFu);
    EXPECT_TRUE(TestHostReadWindow(ScreenWindow()).fullScreen);
    ASSERT_EQ(ShutdownLibrary(), 0);

    TestHostSetDisplayModes({{1280, 720, 32, 60}});
    ASSERT_EQ(SetupLibrary(), 0);
    window = TestHostReadWindow(ScreenWindow());
    EXPECT_FALSE(window.fullScreen);
    EXPECT_EQ(window.width, 1024);
    EXPECT_EQ(window.height, 768);
}

// After the start-up the graphics start again in the new mode: graphs and fonts made before
// are gone, those made after draw.
TEST_F(ScreenTest, AModeChangeAfterStartUpDeletesGraphsAndFonts) {
    WriteBgraImage("dot.bgra", 1, 1, {0xFFFFFFFF});
    StartFramework();
    Handle graph = LoadImageFileAsGraph("dot.bgra", 0);
    Handle font = MakeFontHandle(nullptr, 16, 3, 0, -1, -1, 0, -1);
    ASSERT_NE(graph, -1);
    ASSERT_NE(font, -1);
    int graphLost = -1, fontLost = -1;
    ASSERT_EQ(AttachGraphLostFlag(graph, &graphLost), 0);
    ASSERT_EQ(BindFontLostFlag(font, &fontLost), 0);
    EXPECT_EQ(fontLost, 0);
    ASSERT_EQ(ChangeScreenMode(800, 600, 32, 0, -1), 0);
    EXPECT_EQ(graphLost, 1);
    EXPECT_EQ(fontLost, 1);
    EXPECT_EQ(ScreenSizeAndDepth(), (std::vector<uint32_t>{800, 600, 32}));
    EXPECT_EQ(TestHostReadWindow(ScreenWindow()).width, 800);
    EXPECT_EQ(PutGraph(0, 0, graph, 0), -1);
    EXPECT_EQ(DrawStringWithFont(0, 0, "A", PackScreenColor(255, 255, 255), font, 0, 0), -1);

    graph = LoadImageFileAsGraph("dot.bgra", 0);
    ASSERT_NE(graph, -1);
    ASSERT_EQ(SelectDrawScreen(kBackScreen), 0);
    int width = 0, height = 0;
    std::vector<uint32_t> picture =
        DrawAndShow([graph] { PutGraph(790, 590, graph, 0); }, &width, &height);
    ASSERT_EQ(width, 800);
    EXPECT_EQ(picture[590 * 800 + 790], 0xFFFFFFu);
}

TEST_F(ScreenTest, AModeNoScreenCanHaveIsRefusedBeforeAndAfterStartUp) {
    for (bool started : {false, true}) {
        SCOPED_TRACE(started);
        if (started) StartFramework();
        std::vector<uint32_t> before = ScreenSizeAndDepth();
        EXPECT_EQ(ChangeScreenMode(0, 600, 32, 0, 0), -1);
        EXPECT_EQ(ChangeScreenMode(800, 8193, 32, 0, 0), -1);
        EXPECT_EQ(ChangeScreenMode(800, 600, 24, 0, 0), -1);
        EXPECT_EQ(ChangeScreenMode(800, 600, 32, 0, -2), -1);
        EXPECT_EQ(ScreenSizeAndDepth(), before);
    }
    EXPECT_NE(ReadLog().find("画面モードの指定が正しくありません in ChangeScreenMode"),
              std::string::npos);
}

// The scale holds from before the start-up; the window's side has a bound whatever it asks.
TEST_F(ScreenTest, TheWindowScaleSetBeforeStartUpHolds) {
    ASSERT_EQ(SetWindowScale(2, 0), 0);
    StartFramework();
    TestHostWindow window = TestHostReadWindow(ScreenWindow());
    EXPECT_EQ(window.width, 1280);
    EXPECT_EQ(window.height, 960);
    ASSERT_EQ(SetWindowScale(100, 0.01), 0);
    window = TestHostReadWindow(ScreenWindow());
    EXPECT_EQ(window.width, 16384);
    EXPECT_EQ(window.height, 4);
    EXPECT_EQ(SetWindowScale(std::nan(""), 1), -1);
    EXPECT_EQ(SetWindowScale(1, INFINITY), -1);
    EXPECT_EQ(TestHostReadWindow(ScreenWindow()).width, 16384);
}

// The title names the window and its class, which the check against a second copy looks for.
TEST_F(ScreenTest, TheTitleNamesTheWindowAndItsClass) {
    ASSERT_EQ(SetWindowTitle("Mine"), 0);
    StartFramework();
    EXPECT_EQ(ScreenWindow(), nullptr);
    HWND window = ScreenWindow("Mine");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(FindWindowA("Mine", nullptr), window);
    ASSERT_EQ(SetWindowTitle(""), 0);
    EXPECT_EQ(TestHostReadWindow(window).titleUtf8, "Orbek");
    EXPECT_EQ(SetWindowTitle(nullptr), -1);
    EXPECT_EQ(SetWindowTitle(std::string(256, 'x').c_str()), -1);
    ASSERT_EQ(SetWindowTitle("Renamed"), 0);
    EXPECT_EQ(TestHostReadWindow(window).titleUtf8, "Renamed");
    // A title given while running names the class of the next start-up.
    ASSERT_EQ(ShutdownLibrary(), 0);
    StartFramework();
    EXPECT_NE(FindWindowA("Renamed", nullptr), nullptr);
    ASSERT_EQ(ShutdownLibrary(), 0);
    ASSERT_EQ(SetWindowTitle(std::string(255, 'x').c_str()), 0);
    StartFramework();
    EXPECT_NE(ScreenWindow(std::string(255, 'x').c_str()), nullptr);
}

// Without sound the start-up succeeds and every sound call fails; the switches are set before
// it only.
TEST_F(ScreenTest, WithoutSoundTheStartUpSucceedsAndSoundCallsFail) {
    WriteSilence("silence.wav");
    ASSERT_EQ(SetNoSoundSwitch(1), 0);
    StartFramework();
    EXPECT_EQ(SetNoSoundSwitch(0), -1);
    EXPECT_EQ(SetNoInputSwitch(1), -1);
    EXPECT_EQ(SetNoGraphicsSwitch(1), -1);
    EXPECT_EQ(LoadSoundHandle("silence.wav", 1, -1), -1);
    const Handle firstSound = 0x0C000000;
    EXPECT_EQ(PlaySoundHandle(firstSound, kPlayBackground, 1), -1);
    EXPECT_EQ(IsSoundHandlePlaying(firstSound), -1);
    EXPECT_EQ(GetSoundTotalTime(firstSound), -1);
    EXPECT_EQ(DeleteSoundHandle(firstSound), -1);
    ASSERT_EQ(ShutdownLibrary(), 0);

    ASSERT_EQ(SetNoSoundSwitch(0), 0);
    StartFramework();
    Handle sound = LoadSoundHandle("silence.wav", 1, -1);
    ASSERT_NE(sound, -1);
    EXPECT_EQ(GetSoundTotalTime(sound), 100);
}

TEST_F(ScreenTest, WithoutGraphicsTheStartUpSucceedsAndNothingIsMade) {
    WriteBgraImage("dot.bgra", 1, 1, {0xFFFFFFFF});
    ASSERT_EQ(SetNoGraphicsSwitch(1), 0);
    ASSERT_EQ(SetupLibrary(), 0);
    EXPECT_EQ(LoadImageFileAsGraph("dot.bgra", 0), -1);
    EXPECT_EQ(MakeFontHandle(nullptr, 16, 3, 0, -1, -1, 0, -1), -1);
    // Nothing is drawn, and nothing fails on the way.
    PutBoxFilled(0, 0, 8, 8, 0xFFFFFFFF);
    DrawStringWithFont(0, 0, "A", 0xFFFFFFFF, -1, 0, 0);
    EraseDrawScreen(nullptr);
    FlipScreen();
    EXPECT_EQ(PumpMessages(), 0);
}

// Input left out of the start-up starts with the first query, which answers with that start.
TEST_F(ScreenTest, WithoutInputTheFirstQueryStartsIt) {
    ASSERT_EQ(SetNoInputSwitch(1), 0);
    StartFramework();
    HostEvent down;
    down.kind = HostEventKind::KeyDown;
    down.virtualKey = 'Z';
    TestHostPushEvent(ScreenWindow(), down);
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
        uint32_t start = GetMillisecondCount();
        for (int frame = 0; frame < 6; ++frame) FlipScreen();
        uint32_t spent = GetMillisecondCount() - start;
        if (wait != 0) {
            EXPECT_GE(spent, 80u);
        } else {
            EXPECT_LT(spent, 20u);
        }
        ASSERT_EQ(ShutdownLibrary(), 0);
    }
}

TEST_F(ScreenTest, TheDesktopModeIsTheDisplays) {
    TestHostSetDesktopMode({1600, 900, 32, 60});
    int32_t width = 0, height = 0, bits = 0;
    EXPECT_EQ(GetDesktopMode(&width, &height, &bits), 0);
    EXPECT_EQ(width, 1600);
    EXPECT_EQ(height, 900);
    EXPECT_EQ(bits, 32);
    StartFramework();
    width = height = 0;
    EXPECT_EQ(GetDesktopMode(&width, &height, nullptr), 0);
    EXPECT_EQ(width, 1600);
    EXPECT_EQ(height, 900);
}

}  // namespace
