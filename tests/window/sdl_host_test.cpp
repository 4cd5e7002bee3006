// The SDL2 host under SDL's dummy video driver: a window is made, shown, drawn, pumped and
// destroyed through the window layer without a display, and the host chosen by name. On an X
// display of Xvfb's without a window manager (when Xvfb is installed), full screen scales the
// picture to fit the display; with openbox on it (when openbox and xdotool are installed), a
// window minimised and restored by the window manager comes back active and shown, and the
// framework reads back where xdotool puts the mouse and which buttons it holds. Without an
// audio device the host says so once on standard error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <orbek/orbek.h>
#include <platform/testing.h>
#include <platform/testing_host.h>
#include <platform/win32.h>
#include <platform/win32_user.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "host/host.h"

namespace {

TEST(HostChoiceTest, TheEnvironmentNamesTheHostAndSdlIsTheDefault) {
    const char* previous = std::getenv("ORBEK_HOST");
    std::string kept = previous != nullptr ? previous : "";
    setenv("ORBEK_HOST", "headless", 1);
    EXPECT_EQ(&HostFromEnvironment(), &kHeadlessHost);
    setenv("ORBEK_HOST", "sdl", 1);
    EXPECT_EQ(&HostFromEnvironment(), &kSdlHost);
    setenv("ORBEK_HOST", "vulkan", 1);
    EXPECT_EQ(&HostFromEnvironment(), &kSdlHost);
    unsetenv("ORBEK_HOST");
    EXPECT_EQ(&HostFromEnvironment(), &kSdlHost);
    if (previous != nullptr) setenv("ORBEK_HOST", kept.c_str(), 1);
}

int gPaints = 0;

LRESULT CountingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) gPaints++;
    return DefWindowProcA(window, message, wParam, lParam);
}

// On the SDL host (SDL's dummy driver unless another is chosen): a shown 320 x 240 window of a
// class registered with the procedure.
HWND OpenSdlWindow(const char* className, WNDPROC procedure) {
    if (std::getenv("SDL_VIDEODRIVER") == nullptr) setenv("SDL_VIDEODRIVER", "dummy", 1);
    TestResetPlatform();
    TestUseHeadlessHost(false);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.lpszClassName = className;
    if (RegisterClassExA(&windowClass) == 0) return nullptr;
    HWND window = CreateWindowExA(0, className, "Orbek", WS_POPUP | WS_CAPTION, 0, 0, 320, 240,
                                  nullptr, nullptr, nullptr, nullptr);
    if (window != nullptr) ShowWindow(window, SW_SHOW);
    return window;
}

TEST(SdlHostTest, AWindowIsMadeDrawnPumpedAndDestroyed) {
    HWND window = OpenSdlWindow("SdlSmoke", CountingProcedure);
    ASSERT_NE(window, nullptr);
    HDC dc = GetDC(window);
    RECT all = {0, 0, 320, 240};
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    EXPECT_EQ(FillRect(dc, &all, blue), 1);
    DeleteObject(blue);
    ReleaseDC(window, dc);
    MSG msg;
    for (int frame = 0; frame < 5; frame++) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    EXPECT_GE(gPaints, 1);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_TRUE(UnregisterClassA("SdlSmoke", nullptr));
    TestUseHeadlessHost(true);
}

// An image goes into the surface in its own layout, clipped to it, bottom-up rows and all; GDI
// drawing afterwards finds the picture there as 0x00RRGGBB around what it drew before.
TEST(SdlHostTest, AnImageShownInItsOwnLayoutIsThereForGdiAfterwards) {
    if (std::getenv("SDL_VIDEODRIVER") == nullptr) setenv("SDL_VIDEODRIVER", "dummy", 1);
    const HostDriver& host = kSdlHost;
    ASSERT_TRUE(host.start());
    uint32_t window = host.createWindow("image", 0, 0, 8, 6);
    ASSERT_NE(window, 0u);
    int width = 0, height = 0, pitch = 0;
    uint32_t* pixels = host.lockSurface(window, &width, &height, &pitch);
    ASSERT_NE(pixels, nullptr);
    auto at = [&](int x, int y) -> uint32_t& {
        return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(pixels) + y * pitch)[x];
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) at(x, y) = 0xFFFFFF;
    }
    host.unlockSurface(window);
    // 5-6-5 rows stored bottom up: red below green; 4 wide at (6, 2), so 2 columns overhang.
    const uint16_t rows[2][4] = {{0xF800, 0xF800, 0xF800, 0xF800},
                                 {0x07E0, 0x07E0, 0x07E0, 0x07E0}};
    HostImage image;
    image.pixels = rows[1];
    image.pitchBytes = -static_cast<int32_t>(sizeof rows[0]);
    image.width = 4;
    image.height = 2;
    image.format = HostPixelFormat::Rgb565;
    EXPECT_TRUE(host.showImage(window, image, 6, 2));
    pixels = host.lockSurface(window, &width, &height, &pitch);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(at(6, 2) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(at(7, 2) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(at(7, 3) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(at(5, 2) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(at(6, 4) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(at(0, 0) & 0xFFFFFF, 0xFFFFFFu);
    host.unlockSurface(window);
    host.destroyWindow(window);
    host.stop();
}

// SDL's numbers for the window events a window manager's minimise and restore bring.
constexpr int kSdlShown = 1, kSdlHidden = 2, kSdlExposed = 3, kSdlMinimised = 7,
              kSdlFocusGained = 12, kSdlFocusLost = 13;

TEST(SdlHostTest, AWindowShownAgainAfterMinimisingIsRestoredAndActive) {
    HWND window = OpenSdlWindow("SdlRestore", DefWindowProcA);
    ASSERT_NE(window, nullptr);
    auto pump = [] {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    };
    pump();
    // SDL's report of a minimise under X11, and of the restore that maps the window again.
    for (int event : {kSdlFocusLost, kSdlHidden, kSdlMinimised}) {
        TestSdlPushWindowEvent(window, event);
    }
    pump();
    ASSERT_TRUE(IsIconic(window));
    TestRecordWindowCalls(true);
    for (int event : {kSdlShown, kSdlExposed, kSdlFocusGained}) {
        TestSdlPushWindowEvent(window, event);
    }
    pump();
    std::vector<std::pair<UINT, WPARAM>> seen;
    for (const TestWindowCall& call : TestTakeWindowCalls()) {
        if (call.message == WM_SIZE || call.message == WM_ACTIVATE) {
            seen.emplace_back(call.message, call.wParam);
        }
    }
    TestRecordWindowCalls(false);
    EXPECT_EQ(seen, (std::vector<std::pair<UINT, WPARAM>>{{WM_SIZE, SIZE_RESTORED},
                                                          {WM_ACTIVATE, WA_ACTIVE}}));
    EXPECT_EQ(GetActiveWindow(), window);
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_TRUE(UnregisterClassA("SdlRestore", nullptr));
    TestUseHeadlessHost(true);
}

// The sound output that cannot be opened is told of once on standard error, however often the
// layer asks: the child's standard error is that one line. (Told once a process: in a child.)
TEST(SdlHostTest, NoAudioDeviceIsToldOnceOnStandardError) {
    EXPECT_EXIT(
        {
            setenv("SDL_AUDIODRIVER", "orbek-no-such-driver", 1);
            auto mix = [](void*, int16_t*, int32_t) {};
            _exit(kSdlHost.openAudio(44100, mix, nullptr) ||
                  kSdlHost.openAudio(44100, mix, nullptr));
        },
        ::testing::ExitedWithCode(0), "^Orbek: the sound could not be started[^\n]*\n$");
}

// Xvfb at 1280x720 with no window manager, its screen kept as an XWD image in a file.
class VirtualDisplay {
public:
    ~VirtualDisplay() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (!directory_.empty()) {
            unlink((directory_ + "/Xvfb_screen0").c_str());
            rmdir(directory_.c_str());
        }
    }

    // False when Xvfb is missing or does not come up within ten seconds.
    bool Start() {
        char pattern[] = "/tmp/orbek_xvfb_XXXXXX";
        int ready[2];
        if (mkdtemp(pattern) == nullptr || pipe(ready) != 0) return false;
        directory_ = pattern;
        std::string fd = std::to_string(ready[1]);
        const char* argv[] = {"Xvfb",      "-displayfd",  fd.c_str(), "-screen",
                              "0",         "1280x720x24", "-fbdir",   directory_.c_str(),
                              "-nolisten", "tcp",         nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, ready[0]);
        int spawned =
            posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(ready[1]);
        if (spawned != 0) pid_ = 0;
        // Xvfb writes its display number once it takes clients.
        std::string number;
        pollfd wait = {ready[0], POLLIN, 0};
        char c;
        while (pid_ > 0 && poll(&wait, 1, 10000) > 0 && read(ready[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        close(ready[0]);
        name_ = ":" + number;
        return !number.empty();
    }

    const std::string& Name() const { return name_; }

    // The screen as 0xRRGGBB pixels, row by row; empty when the image cannot be read.
    std::vector<uint32_t> Screen() const {
        std::ifstream file(directory_ + "/Xvfb_screen0", std::ios::binary | std::ios::ate);
        std::vector<uint8_t> image(file ? static_cast<size_t>(file.tellg()) : 0);
        file.seekg(0);
        file.read(reinterpret_cast<char*>(image.data()),
                  static_cast<std::streamsize>(image.size()));
        auto word = [&image](size_t at, bool bigEndian) -> uint32_t {
            const uint8_t* p = image.data() + at;
            return bigEndian ? uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3]
                             : uint32_t{p[3]} << 24 | p[2] << 16 | p[1] << 8 | p[0];
        };
        if (image.size() < 100) return {};
        // The header's fields are big-endian words; the pixels are in the server's byte order.
        uint32_t headerBytes = word(0, true), width = word(16, true), height = word(20, true);
        bool bigEndianPixels = word(28, true) != 0;
        uint32_t bitsPerPixel = word(44, true), lineBytes = word(48, true);
        size_t pixels = headerBytes + size_t{word(76, true)} * 12;
        if (width != kWidth || height != kHeight || bitsPerPixel != 32 ||
            pixels + size_t{lineBytes} * height > image.size()) {
            return {};
        }
        std::vector<uint32_t> screen;
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                screen.push_back(word(pixels + y * lineBytes + x * 4, bigEndianPixels) & 0xFFFFFF);
            }
        }
        return screen;
    }

    static constexpr uint32_t kWidth = 1280, kHeight = 720;

private:
    pid_t pid_ = 0;
    std::string directory_;
    std::string name_;
};

// What a check run on a display of its own reports when the display was there but SDL (2), or
// the window manager (3), could not start on it.
bool CouldNotStart(int code) {
    return code == 2 || code == 3;
}
// Xvfb is missing or did not come up.
constexpr int kNoDisplay = -2;

// Runs the check in a child process of its own, as a death test would, on a new Xvfb display:
// its exit code, or kNoDisplay. On a machine loaded with other work the starts of the display's
// clients can lag far behind; a check that could not start runs once more on another display.
int RunOnNewDisplay(const std::function<int(const VirtualDisplay&)>& check) {
    int code = kNoDisplay;
    for (int attempt = 0; attempt < 2; ++attempt) {
        VirtualDisplay display;
        if (!display.Start()) return kNoDisplay;
        std::fflush(nullptr);
        pid_t child = fork();
        if (child == 0) _exit(check(display));
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
        code = WEXITSTATUS(status);
        if (!CouldNotStart(code)) break;
    }
    return code;
}

// The first line a shell command prints; empty when it prints none or fails.
std::string FirstLine(const std::string& command) {
    FILE* out = popen(command.c_str(), "r");
    if (out == nullptr) return "";
    char line[256] = {};
    bool read = fgets(line, sizeof line, out) != nullptr;
    if (pclose(out) != 0 || !read) return "";
    std::string text = line;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// A 640x480 picture, red on the left and blue on the right, fills the 1280x720 display's height
// at 1.5 times its size between black bars of 160 pixels, and the pointer is placed and read in
// its pixels (where xdotool is installed); back in a window at (100, 50) it is shown at its own
// size there. Drawn on the surface, or shown as a 5-6-5 image as a back buffer is. Run in a
// child process of its own: 0 when all of it is seen.
int ShowFullScreenPicture(const VirtualDisplay& display, bool asImage) {
    setenv("DISPLAY", display.Name().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    TestResetPlatform();
    TestUseHeadlessHost(false);
    const HostDriver& host = Host();
    if (!host.start()) return 2;
    uint32_t window = host.createWindow("full screen", 0, 0, 640, 480);
    std::vector<uint16_t> halves(640 * 480);
    for (size_t i = 0; i < halves.size(); ++i) halves[i] = i % 640 < 320 ? 0xF800 : 0x001F;
    HostImage image;
    image.pixels = halves.data();
    image.pitchBytes = 640 * 2;
    image.width = 640;
    image.height = 480;
    image.format = HostPixelFormat::Rgb565;
    // Draws until the screen shows what `expected` gives at each sampled point.
    auto shows = [&](uint32_t (*expected)(uint32_t x, uint32_t y)) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            HostEvent event;
            while (host.pollEvent(&event)) {
            }
            if (asImage) {
                if (!host.showImage(window, image, 0, 0)) return false;
            } else {
                int width, height, pitch;
                uint32_t* pixels = host.lockSurface(window, &width, &height, &pitch);
                if (pixels == nullptr) return false;
                for (int y = 0; y < height; ++y) {
                    for (int x = 0; x < width; ++x) {
                        pixels[y * width + x] = x < width / 2 ? 0xFF0000 : 0x0000FF;
                    }
                }
                host.unlockSurface(window);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::vector<uint32_t> screen = display.Screen();
            bool seen = !screen.empty();
            // Away from the picture's edges, where scaling may blend neighbours.
            for (uint32_t x : {0u, 90u, 110u, 150u, 170u, 400u, 630u, 650u, 900u, 1110u, 1130u}) {
                for (uint32_t y : {0u, 40u, 60u, 360u, 719u}) {
                    seen = seen && screen[y * VirtualDisplay::kWidth + x] == expected(x, y);
                }
            }
            if (seen) return true;
        }
        return false;
    };
    // In the window layer's order for a full-screen window: full screen, place, show.
    host.setFullScreen(window, true);
    host.placeWindow(window, 0, 0, 640, 480);
    host.showWindow(window, true);
    if (!shows([](uint32_t x, uint32_t) -> uint32_t {
            return x < 160 || x >= 1120 ? 0 : x < 640 ? 0xFF0000 : 0x0000FF;
        })) {
        return 1;
    }
    if (!FirstLine("command -v xdotool").empty()) {
        // Surface pixel (20, 30) is display pixels 190 to 191 and 45 to 46; the left bar lies
        // left of the surface.
        int x = 0, y = 0;
        if (!host.placePointer(20, 30) ||
            FirstLine("xdotool getmouselocation").rfind("x:190 y:45 ", 0) != 0) {
            return 5;
        }
        for (auto [displayX, expectedX] : {std::pair{385, 150}, std::pair{100, -40}}) {
            const std::string move = "xdotool mousemove " + std::to_string(displayX) + " 300";
            if (std::system(move.c_str()) != 0) return 6;
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            HostEvent event;
            do {
                while (host.pollEvent(&event)) {
                }
                host.pointerPosition(&x, &y);
            } while ((x != expectedX || y != 200) && std::chrono::steady_clock::now() < deadline);
            if (x != expectedX || y != 200) return 7;
        }
    }
    host.setFullScreen(window, false);
    host.placeWindow(window, 100, 50, 640, 480);
    if (!shows([](uint32_t x, uint32_t y) -> uint32_t {
            if (x < 100 || x >= 740 || y < 50 || y >= 530) return 0;
            return x < 420 ? 0xFF0000 : 0x0000FF;
        })) {
        return 4;
    }
    return 0;
}

TEST(SdlHostXvfbTest, FullScreenScalesThePictureToTheDisplayWithoutAWindowManager) {
    int code = RunOnNewDisplay([](const VirtualDisplay& display) {
        return ShowFullScreenPicture(display, false);
    });
    if (code == kNoDisplay) GTEST_SKIP() << "Xvfb is not installed or did not start";
    EXPECT_EQ(code, 0);
}

// The same with the picture in a back buffer's 5-6-5 layout: through the window's framebuffer
// (asked for, or chosen without a GPU, as on Xvfb) and through a texture (asked for).
TEST(SdlHostXvfbTest, ABackBufferImageIsShownThroughTheFramebufferAndThroughATexture) {
    for (const char* acceleration : {"", "0", "1"}) {
        SCOPED_TRACE(acceleration);
        int code = RunOnNewDisplay([acceleration](const VirtualDisplay& display) {
            if (*acceleration != 0) setenv("SDL_FRAMEBUFFER_ACCELERATION", acceleration, 1);
            if (*acceleration == 0) unsetenv("SDL_FRAMEBUFFER_ACCELERATION");
            return ShowFullScreenPicture(display, true);
        });
        if (code == kNoDisplay) GTEST_SKIP() << "Xvfb is not installed or did not start";
        EXPECT_EQ(code, 0);
    }
}

// Pumps the window layer until `done` holds; false after `seconds` (ten unless given) without.
template <typename Condition>
bool PumpUntil(Condition done, int seconds = 10) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Under openbox, a window minimised through the window manager stays minimised, and brought
// back (asked by xdotool, as a click on a task bar would) is restored and active again, and
// what it draws then is on the screen. Run in a child process of its own: 0 when all of it is
// seen.
int MinimiseAndRestoreUnderAWindowManager(const VirtualDisplay& display) {
    setenv("DISPLAY", display.Name().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    pid_t manager = 0;
    const char* argv[] = {"openbox", "--sm-disable", nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&quiet, 1, 2);
    int spawned =
        posix_spawnp(&manager, "openbox", &quiet, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) return 2;
    struct EndManager {
        pid_t pid;
        ~EndManager() {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    } endManager{manager};
    // The window manager is up once it answers for its desktops; on a machine busy with other
    // work its start takes a while.
    if (!PumpUntil([] { return !FirstLine("xdotool get_num_desktops 2>/dev/null").empty(); },
                   60)) {
        return 3;
    }
    TestResetPlatform();
    TestUseHeadlessHost(false);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = "WmRestore";
    if (RegisterClassExA(&windowClass) == 0) return 4;
    HWND window = CreateWindowExA(0, "WmRestore", "OrbekWmRestore", WS_POPUP | WS_CAPTION, 100, 100,
                                  320, 240, nullptr, nullptr, nullptr, nullptr);
    if (window == nullptr) return 4;
    ShowWindow(window, SW_SHOW);
    std::string id = FirstLine("timeout 10 xdotool search --sync --name '^OrbekWmRestore$'");
    if (id.empty()) return 5;
    HBRUSH mark = CreateSolidBrush(RGB(0x12, 0xAB, 0x34));
    // Draws the window full of the mark colour; true once the screen shows all of it.
    auto drawnAndSeen = [&] {
        HDC dc = GetDC(window);
        RECT all = {0, 0, 320, 240};
        FillRect(dc, &all, mark);
        ReleaseDC(window, dc);
        std::vector<uint32_t> screen = display.Screen();
        return std::count(screen.begin(), screen.end(), 0x12AB34u) == 320 * 240;
    };
    if (!PumpUntil(drawnAndSeen)) return 6;
    if (std::system(("xdotool windowminimize " + id).c_str()) != 0) return 7;
    if (!PumpUntil([&] { return IsIconic(window) && GetActiveWindow() == nullptr; })) return 8;
    // Minimising it again, as the framework does when full screen loses the focus, leaves it
    // off the screen.
    ShowWindow(window, SW_MINIMIZE);
    if (!PumpUntil([] { return true; }) || !IsIconic(window)) return 12;
    if (!FirstLine("xdotool search --onlyvisible --name '^OrbekWmRestore$'").empty()) return 13;
    if (std::system(("xdotool windowactivate " + id).c_str()) != 0) return 9;
    if (!PumpUntil([&] { return !IsIconic(window) && GetActiveWindow() == window; })) return 10;
    if (!PumpUntil(drawnAndSeen)) return 11;
    DeleteObject(mark);
    return 0;
}

// The framework in a window at the scale, on the display: xdotool moves the mouse over the
// window and off it and holds its buttons; ReadMousePosition and GetMouseButtonBits read them
// back in screen pixels. Run in a child process of its own: 0 when all of it is read back.
int ReadBackTheMouse(const VirtualDisplay& display, int scale) {
    setenv("DISPLAY", display.Name().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    TestResetPlatform();
    TestUseHeadlessHost(false);
    SetWindowTitle("OrbekMouse");
    SetWindowScale(scale, scale);
    ChangeWindowMode(1);
    if (SetupLibrary() != 0) return 2;
    const std::string id = FirstLine("timeout 10 xdotool search --sync --name '^OrbekMouse$'");
    if (id.empty()) return 4;
    auto holds = [](int32_t bits) -> std::function<bool()> {
        return [bits] { return GetMouseButtonBits() == bits; };
    };
    // The last window pixel of a screen pixel reads back as that screen pixel; X's buttons 1, 2
    // and 3 are the left, middle and right ones.
    const std::pair<std::string, std::function<bool()>> steps[] = {
        {"mousemove --window " + id + " " + std::to_string(601 * scale - 1) + " " +
             std::to_string(341 * scale - 1),
         [] {
             int32_t x = -1, y = -1;
             ReadMousePosition(&x, &y);
             return x == 600 && y == 340;
         }},
        {"mousedown 1 mousedown 2", holds(kMouseLeft | kMouseMiddle)},
        {"mouseup 1 mousedown 3", holds(kMouseMiddle | kMouseRight)},
        {"mouseup 2 mouseup 3", holds(0)},
        // Display pixel (100, 50): off the window centred at (320, 120) at scale 1, on the one
        // moved to the display's origin at scale 2. The last step is the device's, which SDL
        // watches off its windows (an absolute move warps the pointer, which it does not).
        {"mousemove 99 50 mousemove_relative 1 0",
         [scale] {
             int32_t x = 0, y = 0;
             ReadMousePosition(&x, &y);
             return scale == 1 ? x == -220 && y == -70 : x == 50 && y == 25;
         }},
    };
    for (const auto& [command, done] : steps) {
        if (std::system(("xdotool " + command).c_str()) != 0) return 5;
        // Read back within five seconds.
        if (!PumpUntil([&done = done] { return PumpMessages() == 0 && done(); }, 5)) return 6;
    }
    return 0;
}

TEST(SdlHostXvfbTest, TheMouseIsReadBackInScreenPixelsAtScale1And2) {
    if (FirstLine("command -v xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
    for (int scale : {1, 2}) {
        SCOPED_TRACE(scale);
        int code = RunOnNewDisplay(
            [scale](const VirtualDisplay& display) { return ReadBackTheMouse(display, scale); });
        if (code == kNoDisplay) GTEST_SKIP() << "Xvfb is not installed or did not start";
        EXPECT_EQ(code, 0);
    }
}

TEST(SdlHostXvfbTest, AWindowManagersMinimiseAndRestoreBringTheWindowBackActive) {
    if (FirstLine("command -v openbox").empty() || FirstLine("command -v xdotool").empty()) {
        GTEST_SKIP() << "openbox or xdotool is not installed";
    }
    int code = RunOnNewDisplay(MinimiseAndRestoreUnderAWindowManager);
    if (code == kNoDisplay) GTEST_SKIP() << "Xvfb is not installed or did not start";
    EXPECT_EQ(code, 0);
}

}  // namespace
