// A program of one's own on Orbek: a window with a greeting in Japanese and a box that the
// arrow keys move inside the screen, until Esc is pressed or the window is closed.
#include <orbek/orbek.h>

#include <algorithm>

int main() {
    ChangeWindowMode(1);
    if (SetupLibrary() == -1) return 1;
    SelectDrawScreen(kBackScreen);
    // Narrow strings are Shift-JIS; linking orbek_framework has GCC compile this UTF-8 source's
    // literals so.
    Handle font = MakeFontHandle("ＭＳ ゴシック", 24, 3, 0, -1, -1, 0, -1);
    const RECT screen = {0, 0, 640, 480};
    const int size = 32;
    int x = 304, y = 280;
    while (PumpMessages() == 0 && !TestKeyDown(kKeyEscape)) {
        x += 4 * (TestKeyDown(kKeyRight) - TestKeyDown(kKeyLeft));
        y += 4 * (TestKeyDown(kKeyDown) - TestKeyDown(kKeyUp));
        x = std::clamp(x, static_cast<int>(screen.left), static_cast<int>(screen.right) - size);
        y = std::clamp(y, static_cast<int>(screen.top), static_cast<int>(screen.bottom) - size);

        EraseDrawScreen(nullptr);
        DrawStringWithFont(40, 40, "こんにちは、Orbek！", PackScreenColor(255, 255, 255), font,
                           PackScreenColor(0, 0, 0), 0);
        DrawStringWithFont(40, 80, "矢印キーで動かし、Escで終わります。",
                           PackScreenColor(160, 200, 255), font, PackScreenColor(0, 0, 0), 0);
        PutBoxFilled(x, y, x + size, y + size, PackScreenColor(255, 160, 0));
        FlipScreen();
    }
    DeleteFontHandle(font);
    ShutdownLibrary();
    return 0;
}
