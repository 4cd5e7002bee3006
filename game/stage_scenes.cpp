// New game, stage intro, the wait for the stage music and stage clear.
#include "stage_scenes.h"

#include <orbek/orbek.h>

#include "ending_roll.h"
#include "game_assets.h"
#include "game_sounds.h"
#include "play_field.h"
#include "ranking.h"
#include "scene_loop.h"
#include "screen_drawing.h"
#include "wave_engine.h"

namespace {

constexpr uint32_t kIntroMs = 2000;
constexpr int32_t kLastStage = 7;

}  // namespace

void StartNewGame() {
    gWaves.stageNumber = 1;
    gPlayField.playerState = kPlayerAlive;
    gPlayField.lives = 3;
    gPlayField.score = 0;
    gPlayField.hiScore = RankingTable[0].score;
    ShowStageIntro();
}

void ShowStageIntro() {
    gScenes.introStartTime = GetMillisecondCount(0);
    EraseDrawScreen(nullptr);
    DrawGameFormat(296, 232, "STAGE %d", gWaves.stageNumber);
    FlipScreen();
    PlayField& p = gPlayField;
    p.playerX = 240;
    p.playerY = 432;
    gWaves.waveActive = 0;
    p.frameCount = 0;
    p.scrollOffset = 0;
    gAssets.backgroundGraph = LoadImageFileAsGraph(StageBackgroundPath(gWaves.stageNumber), 0);
    p.goalActive = 0;
    gWaves.waveIndex = 0;
    p.scoreTick = 0;
    p.scrollSpeed = kStageScrollSpeed;
    gScenes.currentScene = kSceneMusicWait;
    WaitForStageMusic();
}

void WaitForStageMusic() {
    if (ElapsedSince(gScenes.introStartTime) < kIntroMs) return;
    gAssets.currentBgm = StageBgm(gWaves.stageNumber);
    PlayGameSound(gAssets.currentBgm, kPlayLoop, 1);
    PlayGameSound(gAssets.loopSound, kPlayLoop, 1);
    gScenes.currentScene = kScenePlay;
}

void ClearStage() {
    StopGameSound(gAssets.currentBgm);
    StopGameSound(gAssets.loopSound);
    gWaves.stageNumber += 1;
    DisposeGraph(gAssets.backgroundGraph);
    if (gWaves.stageNumber == kLastStage + 1) {
        StartEndingRoll();
    } else {
        gScenes.currentScene = kSceneStageIntro;
    }
}
