// The SDL2 host under SDL's dummy video driver: a window is made, shown, drawn, pumped and
// destroyed through the window layer without a display. And the host chosen by name.
#include <gtest/gtest.h>
#include <platform/testing.h>
#include <platform/testing_host.h>
#include <platform/win32.h>
#include <platform/win32_user.h>

#include <cstdlib>
#include <string>

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

TEST(SdlHostTest, AWindowIsMadeDrawnPumpedAndDestroyed) {
    if (std::getenv("SDL_VIDEODRIVER") == nullptr) setenv("SDL_VIDEODRIVER", "dummy", 1);
    TestResetPlatform();
    TestUseHeadlessHost(false);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = CountingProcedure;
    windowClass.lpszClassName = "SdlSmoke";
    ASSERT_NE(RegisterClassExA(&windowClass), 0);
    HWND window = CreateWindowExA(0, "SdlSmoke", "Orbek", WS_POPUP | WS_CAPTION, 0, 0, 320, 240,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOW);
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

}  // namespace
