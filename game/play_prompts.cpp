// The prompts of play: continue after the last life, pause, and the F5 hold. Each runs its own
// loop, sampling input and pumping messages once per pass; the continue and pause prompts draw
// over the last picture without erasing it.
#include <orbek/orbek.h>

#include "game_assets.h"
#include "game_sounds.h"
#include "input_sampling.h"
#include "menus.h"
#include "scene_loop.h"
#include "screen_drawing.h"

namespace {

// A two-item cursor that stops at its ends, 32 pixels a step.
void MoveTwoItemCursor(int32_t* cursor, int* cursorY) {
    const GameInput& in = gGameInput;
    if (Pressed(in.inUp, in.prevUp) && *cursor >= 1) {
        *cursor -= 1;
        *cursorY -= 32;
    }
    if (Pressed(in.inDown, in.prevDown) && *cursor < 1) {
        *cursor += 1;
        *cursorY += 32;
    }
}

// Stops the music and the loop sound; true when the loop sound was playing. False in
// *pumpEnded when the pump reports the end.
bool StopPlaySounds(bool* pumpEnded) {
    StopGameSound(gAssets.currentBgm);
    bool loopWasPlaying = IsSoundHandlePlaying(gAssets.loopSound) == 1;
    if (loopWasPlaying) StopGameSound(gAssets.loopSound);
    *pumpEnded = PumpGame() == -1;
    return loopWasPlaying;
}

void ResumePlaySounds(bool loopWasPlaying) {
    PlayGameSound(gAssets.currentBgm, kPlayLoop, 0);
    if (loopWasPlaying) PlayGameSound(gAssets.loopSound, kPlayLoop, 0);
}

}  // namespace

int32_t ContinueMenu() {
    StopGameSound(gAssets.currentBgm);
    if (PumpGame() == -1) return 0;
    int32_t cursor = 0;
    int cursorY = 288;
    const GameInput& in = gGameInput;
    for (;;) {
        UpdateInput();
        MoveTwoItemCursor(&cursor, &cursorY);
        if (Pressed(in.inDecide, in.prevDecide)) break;
        PutGraph(65, 141, gAssets.gameOverGraph, 1);
        DrawMenuBox(144, 240, 336, 352);
        DrawGameText(204, 256, "CONTINUE");
        DrawGameText(224, 288, "YES");
        DrawGameText(224, 320, "NO");
        DrawMenuCursor(204, cursorY);
        FlipScreen();
        if (in.inQuit != 0) {
            gScenes.currentScene = kSceneExit;
            return 0;
        }
        if (PumpGame() == -1) return 0;
    }
    if (cursor == 0) {
        PlayGameSound(gAssets.currentBgm, kPlayLoop, 0);
        return 0;
    }
    return 1;
}

void PauseMenu() {
    bool pumpEnded = false;
    bool loopWasPlaying = StopPlaySounds(&pumpEnded);
    if (pumpEnded) return;
    int32_t cursor = 0;
    int cursorY = 232;
    const GameInput& in = gGameInput;
    for (;;) {
        UpdateInput();
        MoveTwoItemCursor(&cursor, &cursorY);
        if (Pressed(in.inDecide, in.prevDecide) || Pressed(in.inPause, in.prevPause)) break;
        DrawMenuBox(144, 184, 336, 296);
        DrawGameText(224, 200, "PAUSE");
        DrawGameText(192, 232, "再開");
        DrawGameText(192, 264, "ゲームをやめる");
        DrawMenuCursor(172, cursorY);
        FlipScreen();
        if (in.inQuit != 0) {
            gScenes.currentScene = kSceneExit;
            return;
        }
        if (PumpGame() == -1) return;
    }
    if (cursor == 1) {
        DisposeGraph(gAssets.backgroundGraph);
        gScenes.currentScene = kSceneTitle;  // the game is not ranked
    } else {
        ResumePlaySounds(loopWasPlaying);
    }
}

void HoldUntilF5() {
    bool pumpEnded = false;
    bool loopWasPlaying = StopPlaySounds(&pumpEnded);
    if (pumpEnded) return;
    const GameInput& in = gGameInput;
    for (;;) {
        UpdateInput();
        if (Pressed(in.inHold, in.prevHold)) break;
        if (in.inQuit != 0) {
            gScenes.currentScene = kSceneExit;
            return;
        }
        if (PumpGame() == -1) return;
    }
    ResumePlaySounds(loopWasPlaying);
}
