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

constexpr int32_t kNoAnswer = -1;

// The loop of a two-item prompt whose cursor starts on item 0 at firstY and stops at both
// ends. Returns the item chosen by decide (or by pause, when pause answers too), or kNoAnswer
// when it stopped for Esc (currentScene is then -1) or for the end of the pump.
int32_t AskTwoItems(int firstY, bool pauseAnswers, void (*draw)(int cursorY)) {
    const GameInput& in = gGameInput;
    int32_t cursor = 0;
    for (;;) {
        UpdateInput();
        if (Pressed(in.inUp, in.prevUp) && cursor >= 1) cursor -= 1;
        if (Pressed(in.inDown, in.prevDown) && cursor < 1) cursor += 1;
        if (Pressed(in.inDecide, in.prevDecide)) return cursor;
        if (pauseAnswers && Pressed(in.inPause, in.prevPause)) return cursor;
        draw(firstY + 32 * cursor);
        FlipScreen();
        if (in.inQuit != 0) {
            gScenes.currentScene = kSceneExit;
            return kNoAnswer;
        }
        if (PumpGame() == -1) return kNoAnswer;
    }
}

void DrawContinuePrompt(int cursorY) {
    PutGraph(65, 141, gAssets.gameOverGraph, 1);
    DrawMenuBox(144, 240, 336, 352);
    DrawGameText(204, 256, "CONTINUE");
    DrawGameText(224, 288, "YES");
    DrawGameText(224, 320, "NO");
    DrawMenuCursor(204, cursorY);
}

void DrawPausePrompt(int cursorY) {
    DrawMenuBox(144, 184, 336, 296);
    DrawGameText(224, 200, "PAUSE");
    DrawGameText(192, 232, "再開");
    DrawGameText(192, 264, "ゲームをやめる");
    DrawMenuCursor(172, cursorY);
}

// Stops the music and the loop sound; true when the loop sound was playing. *pumpEnded tells
// whether the pump that follows reported the end.
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
    int32_t answer = AskTwoItems(288, false, DrawContinuePrompt);
    if (answer == kNoAnswer) return 0;
    if (answer == 0) PlayGameSound(gAssets.currentBgm, kPlayLoop, 0);
    return answer;
}

void PauseMenu() {
    bool pumpEnded = false;
    bool loopWasPlaying = StopPlaySounds(&pumpEnded);
    if (pumpEnded) return;
    int32_t answer = AskTwoItems(232, true, DrawPausePrompt);
    if (answer == 1) {
        DisposeGraph(gAssets.backgroundGraph);
        gScenes.currentScene = kSceneTitle;  // the game is not ranked
    } else if (answer == 0) {
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
