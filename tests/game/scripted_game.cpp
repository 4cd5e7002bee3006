#include "scripted_game.h"

#include <algorithm>

#include "play_field.h"
#include "scene_loop.h"
#include "wave_engine.h"

namespace {

// Frames of each stage's first wave before it is ended and the goal comes.
constexpr int32_t kPlayFramesPerStage = 240;
// The roll's pages change every 20 s; each is shown for two passes.
constexpr uint32_t kRollPageMs = 20000;
constexpr int kPassesPerRollPage = 2;

bool InTitle() {
    return gScenes.currentScene == kSceneTitle;
}

}  // namespace

ScriptedGame::ScriptedGame() {
    script.Press(InTitle, {{kDikZ}})
        .Press([] { return DrewInLastPass("CONTINUE"); }, {{kDikZ}})
        .Press([] { return DrewInLastPass("PROGRAM: THE BROVANE TEAM"); }, {{kDikZ}})
        .Press([] { return gScenes.currentScene == kSceneNameEntry; }, {{kDikRight}})
        .Press({{kDikZ}})
        .Press({{kDikZ}})
        .Press({{kDikZ}})
        .Press(InTitle, {{kDikEscape}});
}

void ScriptedGame::Steer() {
    if (gScenes.currentScene == kSceneEndingRoll) {
        rollPasses += 1;
        if (rollPasses % kPassesPerRollPage == 0) gScenes.endingStartTime -= kRollPageMs;
        return;
    }
    if (gScenes.currentScene != kScenePlay) return;
    PlayField& p = gPlayField;
    lastStage = std::max(lastStage, gWaves.stageNumber);
    if (p.frameCount == 1) {
        // The goal comes when the wave already running ends.
        gWaves.waveIndex = kWavesPerStageMax - 1;
        if (gWaves.stageNumber == 2) p.lives = 1;
    }
    if (p.playerState == kPlayerExploding && p.playerTimer == 1) deaths += 1;
    // No life is lost but that one.
    const bool dying = gWaves.stageNumber == 2 && deaths == 0;
    gReplay.invincible = !dying;
    if (!dying && p.frameCount >= kPlayFramesPerStage && gWaves.waveActive == 1) EndWave();
    if (!dying || p.frameCount <= 1 || p.playerState != kPlayerAlive || gWaves.waveActive != 1) {
        return;
    }
    // Until then the player is put on the first object inside the field.
    for (int32_t i = 0; i < ObjectPool.usedCount; ++i) {
        double x = ObjectPool.x[i], y = ObjectPool.y[i];
        if (ObjectPool.state[i] != kObjectAlive || x < 24 || x > 456 || y < 24 || y > 456) {
            continue;
        }
        p.playerX = static_cast<int32_t>(x);
        p.playerY = static_cast<int32_t>(y);
        return;
    }
}
