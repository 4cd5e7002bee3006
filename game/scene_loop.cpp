// Start-up, the scene loop and its dispatch.
#include "scene_loop.h"

#include <orbek/orbek.h>

#include "ending_roll.h"
#include "game_assets.h"
#include "game_sounds.h"
#include "input_sampling.h"
#include "menus.h"
#include "play_field.h"
#include "ranking.h"
#include "save_file.h"
#include "screen_drawing.h"
#include "stage_scenes.h"
#include "test_hooks.h"

SceneState gScenes;

namespace {

constexpr uint32_t kClockMask = 0x7FFFFFFF;

void RunScene(int32_t scene) {
    switch (scene) {
        case kSceneTitle:
            TitleMenu();
            break;
        case kSceneOption:
            JoypadConfigMenu();
            break;
        case kSceneRankingView:
            RankingView();
            break;
        case kSceneNewGame:
            StartNewGame();
            break;
        case kSceneStageIntro:
            ShowStageIntro();
            break;
        case kSceneMusicWait:
            WaitForStageMusic();
            break;
        case kScenePlay:
            PlayFrame();
            break;
        case kSceneStageClear:
            ClearStage();
            break;
        case kSceneEndingRoll:
            RunEndingRoll();
            break;
        case kSceneNameEntry:
            NameEntry();
            break;
        default:
            break;  // no scene: the pass still plays sounds and tests Esc
    }
}

}  // namespace

int PumpGame() {
    TestHookBeforePump();
    return PumpMessages();
}

uint32_t ElapsedSince(uint32_t start) {
    return (GetMillisecondCount(0) - start) & kClockMask;
}

int WinMain(void* module, void* previousInstance, char* commandLine, int showCode) {
    ChangeWindowMode(0);
    SetupLibrary();
    SelectDrawScreen(kBackScreen);
    gAssets.gameFont = MakeFontHandle("ＭＳ 明朝", 16, 2, 0, -1, -1, 0, -1);
    EraseDrawScreen(nullptr);
    DrawGameText(256, 232, "Now loading...");
    FlipScreen();
    gGameInput.padCount = CountJoypads();
    LoadGameAssets();
    ClearHeldButtons();
    LoadSaveData();
    if (PumpGame() == -1) {
        ShutdownLibrary();
        return 0;
    }

    while (gScenes.currentScene != kSceneExit) {
        UpdateInput();
        RunScene(gScenes.currentScene);
        FlushSoundRequests();
        if (gGameInput.inQuit != 0) break;
        if (PumpGame() == -1) break;
    }
    ShutdownLibrary();
    return 0;
}
