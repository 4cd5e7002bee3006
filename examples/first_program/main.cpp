// A program of one's own on Orbek: a window with a greeting in Japanese and a box that the
// arrow keys move inside the screen at a steady speed, timed by the frame's own length, until
// Esc is pressed or the window is closed.
#include <orbek/orbek.h>

#include <algorithm>
#include <chrono>

#include "texts.h"

int main() {
    ChangeWindowMode(1);
    if (SetupLibrary() == -1) return 1;
    SelectDrawScreen(kBackScreen);
    Handle font = MakeFontHandle(kFontName, 24, 3, 0, -1, -1, 0, -1);
    const RECT screen = {0, 0, 640, 480};
    const float size = 32.0f;
    const float speed = 240.0f;  // pixels per second
    float x = 304.0f, y = 280.0f;
    using Clock = std::chrono::steady_clock;
    Clock::time_point last = Clock::now();
    while (PumpMessages() == 0 && !TestKeyDown(kKeyEscape)) {
        const Clock::time_point now = Clock::now();
        const float seconds = std::chrono::duration<float>(now - last).count();
        last = now;
        x += speed * seconds * static_cast<float>(TestKeyDown(kKeyRight) - TestKeyDown(kKeyLeft));
        y += speed * seconds * static_cast<float>(TestKeyDown(kKeyDown) - TestKeyDown(kKeyUp));
        x = std::clamp(x, static_cast<float>(screen.left), static_cast<float>(screen.right) - size);
        y = std::clamp(y, static_cast<float>(screen.top), static_cast<float>(screen.bottom) - size);

        EraseDrawScreen(nullptr);
        DrawStringWithFont(40, 40, kGreeting, PackScreenColor(255, 255, 255), font,
                           PackScreenColor(0, 0, 0), 0);
        DrawStringWithFont(40, 80, kHowToPlay, PackScreenColor(160, 200, 255), font,
                           PackScreenColor(0, 0, 0), 0);
        const int left = static_cast<int>(x), top = static_cast<int>(y);
        PutBoxFilled(left, top, left + static_cast<int>(size), top + static_cast<int>(size),
                     PackScreenColor(255, 160, 0));
        FlipScreen();
    }
    DeleteFontHandle(font);
    ShutdownLibrary();
    return 0;
}
