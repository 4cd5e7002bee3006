// Text, cursor, tiles and boxes as every screen of the game draws them.
#include "screen_drawing.h"

#include <cstdarg>
#include <cstdio>

#include "game_assets.h"
#include "test_hooks.h"

namespace {

constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;
constexpr int kTileCell = 128;
constexpr double kTwoPi = 6.283185308;

}  // namespace

void DrawGameText(int x, int y, const char* text) {
    TestHookTextDrawn(x, y, text);
    DrawStringWithFont(x + 2, y + 2, text, PackScreenColor(0, 0, 255), gAssets.gameFont, 0, 0);
    DrawStringWithFont(x, y, text, PackScreenColor(255, 255, 255), gAssets.gameFont, 0, 0);
}

void DrawGameFormat(int x, int y, const char* format, ...) {
    char text[128];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    DrawGameText(x, y, text);
}

void DrawMenuCursor(int x, int y) {
    PutGraph(x, y, gAssets.size16Cells[1], 1);
}

void DrawTurningTiles(Handle graph, double evenDegrees, double oddDegrees) {
    SetDrawSamplingMode(1);
    for (int column = 0; column < 5; ++column) {
        for (int row = 0; row < 4; ++row) {
            int left = kTileCell * column;
            int top = kTileCell * row;
            int bottom = row == 3 ? kScreenHeight : top + kTileCell;
            SetDrawRegion(left, top, left + kTileCell, bottom);
            double degrees = (column + row) % 2 == 0 ? evenDegrees : oddDegrees;
            PutGraphRotated(static_cast<float>(left + kTileCell / 2),
                            static_cast<float>(top + kTileCell / 2), 1.0, degrees * kTwoPi / 360,
                            graph, 1, 0);
        }
    }
    SetDrawSamplingMode(0);
    SetDrawRegion(0, 0, kScreenWidth, kScreenHeight);
}

void DrawMenuBox(int x1, int y1, int x2, int y2) {
    PutBox(x1, y1, x2, y2, PackScreenColor(0, 0, 0), 1);
    PutBox(x1, y1, x2, y2, PackScreenColor(255, 255, 255), 0);
}
