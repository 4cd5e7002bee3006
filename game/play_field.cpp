// One frame of play, in its fixed order: move, burst and respawn, goal, waves, explosions,
// hits, score, drawing, counters, then pause and hold.
#include "play_field.h"

#include <orbek/orbek.h>

#include <algorithm>
#include <cmath>

#include "game_assets.h"
#include "game_sounds.h"
#include "input_sampling.h"
#include "menus.h"
#include "ranking.h"
#include "scene_loop.h"
#include "screen_drawing.h"
#include "test_hooks.h"
#include "wave_engine.h"

ObjectPoolSlots ObjectPool;
PlayField gPlayField;

namespace {

constexpr int32_t kFieldMin = 16;
constexpr int32_t kFieldMax = 464;
constexpr int32_t kFieldSize = 480;
constexpr int32_t kExplosionFrames = 64;
constexpr int32_t kRespawnFrames = 128;
constexpr int32_t kTicksPer100 = 32;
constexpr int32_t kExtraLifeEvery = 70000;
constexpr int32_t kGoalScrollSpeed = 4;
constexpr int32_t kSlowStepFrames = 16;
constexpr double kBurstAngleStep = 0.39269908175;  // pi / 8

// Frames 8..15 of every 16 show the blink pictures, four cells on.
int32_t BlinkCells() {
    return gPlayField.frameCount % 16 >= 8 ? 4 : 0;
}

// A cell of a 16-cell sheet, or -1 (drawn as nothing) for a number outside the sheet.
Handle SheetCell(const Handle (&cells)[16], int32_t cell) {
    return cell >= 0 && cell < 16 ? cells[cell] : -1;
}

void MovePlayer() {
    PlayField& p = gPlayField;
    const GameInput& in = gGameInput;
    int32_t step = in.inDecide != 0 ? 2 : 4;
    if (in.inLeft != 0) p.playerX -= step;
    if (in.inRight != 0) p.playerX += step;
    if (in.inUp != 0) p.playerY -= step;
    if (in.inDown != 0) p.playerY += step;
    p.playerX = std::clamp(p.playerX, kFieldMin, kFieldMax);
    p.playerY = std::clamp(p.playerY, kFieldMin, kFieldMax);
    if (p.playerState == kPlayerRespawning && ++p.playerTimer == kRespawnFrames) {
        p.playerState = kPlayerAlive;
    }
}

// The burst grows; when it is over a life goes, and the last one brings the continue prompt.
// False when the frame ends here.
bool RunBurst() {
    PlayField& p = gPlayField;
    for (int32_t i = 0; i < kBurstParticles; ++i) {
        double a = i * kBurstAngleStep;
        double r = 2 * p.playerTimer;
        p.burstX[i] = std::cos(a) * r + p.playerX;
        p.burstY[i] = std::sin(a) * r + p.playerY;
    }
    if (++p.playerTimer < kExplosionFrames) return true;
    p.lives -= 1;
    if (p.lives <= 0) {
        int32_t answer = ContinueMenu();
        if (gScenes.currentScene == kSceneExit) return false;
        if (answer == 1) {
            DisposeGraph(gAssets.backgroundGraph);
            InsertRanking();
            return false;
        }
        p.score = 0;
        p.lives = 3;
    }
    PlayGameSound(gAssets.loopSound, kPlayLoop, 1);
    p.playerState = kPlayerRespawning;
    p.playerTimer = 0;
    return true;
}

void CountScore() {
    PlayField& p = gPlayField;
    if (p.scoreTick != kTicksPer100) return;
    p.score += 100;
    p.scoreTick = 0;
    if (p.score % kExtraLifeEvery == 0) {
        p.lives += 1;
        SoundRequest[kEffectExtraLife] = 1;
    }
    if (p.score > p.hiScore) p.hiScore = p.score;
}

void DrawField() {
    const PlayField& p = gPlayField;
    const GameAssets& a = gAssets;
    EraseDrawScreen(nullptr);
    SetDrawRegion(0, 0, kFieldSize, kFieldSize);
    PutGraph(0, p.scrollOffset - kFieldSize, a.backgroundGraph, 1);
    PutGraph(0, p.scrollOffset, a.backgroundGraph, 1);
    if (p.goalActive == 1) PutGraph(0, p.goalY, a.goalGraph, 1);
    DrawObjects();
    bool blinkedOut = p.playerState == kPlayerRespawning && p.playerTimer % 8 >= 4;
    if ((p.playerState == kPlayerAlive || p.playerState == kPlayerRespawning) && !blinkedOut) {
        PutGraph(p.playerX - 16, p.playerY - 16, a.size32Cells[BlinkCells()], 1);
    }
    if (p.playerState == kPlayerExploding) {
        SetDrawSamplingMode(1);
        ChangeBlendMode(BlendAdditive, 255);
        Handle cell = SheetCell(a.explosionCells, p.playerTimer / 4);
        for (int32_t i = 0; i < kBurstParticles; ++i) {
            PutGraphRotated(static_cast<float>(p.burstX[i]), static_cast<float>(p.burstY[i]), 1.0,
                            0.0, cell, 1, 0);
        }
        SetDrawSamplingMode(0);
        ChangeBlendMode(BlendOpaque, 0);
    }
    DrawExplodingObjects();
}

void DrawPanel() {
    const PlayField& p = gPlayField;
    SetDrawRegion(0, 0, 640, 480);
    PutGraph(kFieldSize, 0, gAssets.boardGraph, 1);
    DrawGameText(496, 32, "SCORE:");
    DrawGameFormat(512, 52, "%07d", p.score);
    DrawGameText(496, 72, "HI-SCORE:");
    DrawGameFormat(512, 92, "%07d", p.hiScore);
    for (int32_t i = 0; i <= p.lives - 2; ++i)
        PutGraph(504 + 18 * i, 140, gAssets.size16Cells[0], 1);
    FlipScreen();
}

void AdvanceCounters() {
    PlayField& p = gPlayField;
    p.frameCount += 1;
    p.scoreTick += 1;
    p.scrollOffset += p.scrollSpeed;
    if (p.goalActive == 1 && p.scrollSpeed > kGoalScrollSpeed &&
        ++p.goalSlowCounter == kSlowStepFrames) {
        p.goalSlowCounter = 0;
        p.scrollSpeed -= 1;
    }
    if (p.scrollOffset >= kFieldSize) p.scrollOffset %= kFieldSize;
}

}  // namespace

void PlayFrame() {
    PlayField& p = gPlayField;
    if (p.playerState == kPlayerAlive || p.playerState == kPlayerRespawning) MovePlayer();
    if (p.playerState == kPlayerExploding && !RunBurst()) return;

    if (p.goalActive == 1 && p.scrollSpeed == kGoalScrollSpeed) {
        p.goalY += 4;
        if (p.goalY >= kFieldSize) gScenes.currentScene = kSceneStageClear;
    }
    UpdateWave();
    StartWave();
    for (int32_t i = 0; i < kPoolSlots; ++i) {
        if (ObjectPool.state[i] == kObjectExploding &&
            ++ObjectPool.explodeTimer[i] == kExplosionFrames) {
            ObjectPool.state[i] = kObjectFree;
        }
    }
    CheckPlayerHits();
    CountScore();
    DrawField();
    DrawPanel();
    AdvanceCounters();

    // A pause that quits the game, or Esc in it, leaves no hold to resume the music from.
    const GameInput& in = gGameInput;
    int32_t sceneBefore = gScenes.currentScene;
    if (Pressed(in.inPause, in.prevPause)) PauseMenu();
    if (Pressed(in.inHold, in.prevHold) && gScenes.currentScene == sceneBefore) HoldUntilF5();
}

void KillPlayer() {
    PlayField& p = gPlayField;
    StopGameSound(gAssets.loopSound);
    SoundRequest[kEffectPlayerHit] = 1;
    p.playerState = kPlayerExploding;
    p.playerTimer = 0;
    for (int32_t i = 0; i < kBurstParticles; ++i) {
        p.burstX[i] = p.playerX;
        p.burstY[i] = p.playerY;
    }
}

void CheckPlayerHits() {
    if (gWaves.waveActive != 1 || gPlayField.playerState != kPlayerAlive) return;
    if (TestHookPlayerInvincible()) return;
    ObjectPoolSlots& pool = ObjectPool;
    for (int32_t i = 0; i < pool.usedCount && i < kPoolSlots; ++i) {
        if (pool.state[i] != kObjectAlive) continue;
        double distX = gPlayField.playerX - pool.x[i];
        double distY = gPlayField.playerY - pool.y[i];
        bool hit = false;
        if (pool.shape[i] == kShapeBall) {
            hit = distX * distX + distY * distY <= 256;
        } else if (pool.shape[i] == kShapeBox) {
            hit = std::fabs(distX) <= 16 && std::fabs(distY) <= 16;
        }
        if (!hit) continue;
        // The scan goes on: everything touching the player in this frame explodes with it.
        KillPlayer();
        pool.state[i] = kObjectExploding;
        pool.explodeTimer[i] = 0;
    }
}

void DrawObjects() {
    if (gWaves.waveActive != 1) return;
    const ObjectPoolSlots& pool = ObjectPool;
    SetDrawSamplingMode(1);
    for (int32_t i = 0; i < pool.usedCount && i < kPoolSlots; ++i) {
        if (pool.state[i] != kObjectAlive) continue;
        int32_t cell = pool.sprite[i] + (pool.shape[i] == kShapeBox ? 1 : 8) + BlinkCells();
        PutGraphRotated(static_cast<float>(pool.x[i]), static_cast<float>(pool.y[i]), 1.0, 0.0,
                        SheetCell(gAssets.size32Cells, cell), 1, 0);
    }
    SetDrawSamplingMode(0);
}

void DrawExplodingObjects() {
    if (gWaves.waveActive != 1) return;
    const ObjectPoolSlots& pool = ObjectPool;
    SetDrawSamplingMode(1);
    ChangeBlendMode(BlendAdditive, 255);
    for (int32_t i = 0; i < pool.usedCount && i < kPoolSlots; ++i) {
        if (pool.state[i] != kObjectExploding) continue;
        PutGraphRotated(static_cast<float>(pool.x[i]), static_cast<float>(pool.y[i]), 1.0, 0.0,
                        SheetCell(gAssets.explosion2Cells, pool.explodeTimer[i] / 4), 1, 0);
    }
    SetDrawSamplingMode(0);
    ChangeBlendMode(BlendOpaque, 0);
}
