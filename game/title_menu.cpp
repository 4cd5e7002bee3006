// The title screen: START, OPTION and EXIT under the title picture.
#include <orbek/orbek.h>

#include "game_assets.h"
#include "input_sampling.h"
#include "menus.h"
#include "scene_loop.h"
#include "screen_drawing.h"

MenuState gMenus;

void TitleMenu() {
    const GameInput& in = gGameInput;
    MenuState& m = gMenus;
    if (Pressed(in.inUp, in.prevUp)) m.titleCursor = m.titleCursor == 0 ? 2 : m.titleCursor - 1;
    if (Pressed(in.inDown, in.prevDown)) m.titleCursor = m.titleCursor == 2 ? 0 : m.titleCursor + 1;
    if (Pressed(in.inDecide, in.prevDecide)) {
        switch (m.titleCursor) {
            case 0:
                gScenes.currentScene = kSceneNewGame;
                break;
            case 1:
                gScenes.currentScene = kSceneOption;
                m.optionCursor = 0;
                m.uzuAngle = 0;
                break;
            default:
                gScenes.currentScene = kSceneExit;
                break;
        }
    }
    EraseDrawScreen(nullptr);
    PutGraph(15, 64, gAssets.titleGraph, 1);
    DrawGameText(288, 320, "START");
    DrawGameText(288, 352, "OPTION");
    DrawGameText(288, 384, "EXIT");
    DrawMenuCursor(268, 320 + 32 * m.titleCursor);
    FlipScreen();
}
