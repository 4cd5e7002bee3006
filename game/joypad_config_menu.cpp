// The option screen: which pad buttons are decide/brake and pause, the ranking view, and EXIT,
// which saves the assignment.
#include <orbek/orbek.h>

#include "game_assets.h"
#include "input_sampling.h"
#include "menus.h"
#include "ranking.h"
#include "save_file.h"
#include "scene_loop.h"
#include "screen_drawing.h"

namespace {

enum OptionItem : int32_t {
    kItemDecideButton = 0,
    kItemPauseButton = 1,
    kItemRanking = 2,
    kItemExit = 3
};

}  // namespace

void JoypadConfigMenu() {
    GameInput& in = gGameInput;
    MenuState& m = gMenus;
    if (Pressed(in.inUp, in.prevUp)) m.optionCursor = m.optionCursor == 0 ? 3 : m.optionCursor - 1;
    if (Pressed(in.inDown, in.prevDown))
        m.optionCursor = m.optionCursor == 3 ? 0 : m.optionCursor + 1;
    // Only pad buttons assign; with several pressed at once the highest wins.
    for (int32_t b = 0; b < kPadButtonFlags; ++b) {
        if (Pressed(in.inButton[b], in.prevButton[b]) &&
            (m.optionCursor == kItemDecideButton || m.optionCursor == kItemPauseButton)) {
            in.PadButtonConfig[m.optionCursor] = b;
        }
    }
    if (Pressed(in.inDecide, in.prevDecide)) {
        if (m.optionCursor == kItemRanking) {
            gRanking.rankingTimer = 0;
            gScenes.currentScene = kSceneRankingView;
        } else if (m.optionCursor == kItemExit) {
            WriteSaveData();
            gScenes.currentScene = kSceneTitle;
        }
    }
    m.uzuAngle -= 4;
    if (m.uzuAngle == -4) m.uzuAngle = 356;

    EraseDrawScreen(nullptr);
    DrawTurningTiles(gAssets.uzuGraph, m.uzuAngle, m.uzuAngle);
    DrawGameText(32, 16, "JOYPAD CONFIG");
    DrawGameText(96, 48, "ブレーキ / 決定");
    DrawGameText(96, 80, "PAUSE");
    DrawGameText(32, 112, "RANKING");
    DrawGameText(32, 144, "EXIT");
    int cursorX = m.optionCursor <= kItemPauseButton ? 76 : 12;
    DrawMenuCursor(cursorX, 48 + 32 * m.optionCursor);
    DrawGameFormat(320, 48, "ボタン%d", in.PadButtonConfig[0] + 1);
    DrawGameFormat(320, 80, "ボタン%d", in.PadButtonConfig[1] + 1);
    FlipScreen();
}
