// Shows the game's texts as the game draws them, a blue shadow under a white face, in its font,
// through the Direct3D device or, with the argument "software", in software mode; a vertical
// line below them. Runs for the seconds given as the second argument (5 by default), or until
// the window is closed. For looking at the text on a real or virtual display.
#include <orbek/orbek.h>

#include <cstdlib>
#include <cstring>

#include "graphics/screen_state.h"

namespace {

const char* const kTexts[] = {"効果音",         "ブレーキ", "決定", "ボタン1",   "再開",
                              "ゲームをやめる", "1位",      "ALL",  "0123456789"};

void DrawShadowed(int x, int y, const char* text, Handle font, int vertical) {
    DrawStringWithFont(x + 2, y + 2, text, PackScreenColor(0, 0, 255), font, 0, vertical);
    DrawStringWithFont(x, y, text, PackScreenColor(255, 255, 255), font, 0, vertical);
}

}  // namespace

int main(int argc, char** argv) {
    bool software = argc > 1 && std::strcmp(argv[1], "software") == 0;
    int seconds = argc > 2 ? std::atoi(argv[2]) : 5;
    ChangeWindowMode(1);
    if (software) SwitchHardwareRendering(0);
    if (SetupLibrary() == -1) return 1;
    SelectDrawScreen(kBackScreen);
    Handle font = MakeFontHandle("ＭＳ 明朝", 16, 2, 0, -1, -1, 0, -1);
    if (font == -1) {
        ShutdownLibrary();
        return 1;
    }
    uint32_t start = GetMillisecondCount();
    while (PumpMessages() == 0 && GetMillisecondCount() - start < seconds * 1000u) {
        EraseDrawScreen(nullptr);
        for (int i = 0; i < static_cast<int>(sizeof kTexts / sizeof kTexts[0]); ++i) {
            DrawShadowed(32, 32 + 24 * i, kTexts[i], font, 0);
        }
        DrawShadowed(320, 32, "縦書きの再開ボタン", font, 1);
        FlipScreen();
    }
    ShutdownLibrary();
    return 0;
}
