// The play field: the 400-slot object pool that the formations fill, the player, collisions,
// score and lives, the scrolling background and the goal line; scene 6.
#pragma once

#include <cstdint>

constexpr int32_t kPoolSlots = 400;
constexpr int32_t kBurstParticles = 16;
constexpr int32_t kStageScrollSpeed = 16;

enum ObjectState : int32_t { kObjectFree = 0, kObjectAlive = 1, kObjectExploding = 2 };
enum ObjectShape : int32_t { kShapeBall = 0, kShapeBox = 1 };
enum PlayerState : int32_t { kPlayerAlive = 1, kPlayerExploding = 2, kPlayerRespawning = 3 };

// Struct of arrays; slots 0 .. usedCount - 1 are drawn and tested.
struct ObjectPoolSlots {
    int32_t state[kPoolSlots];
    double x[kPoolSlots];  // centre in field pixels
    double y[kPoolSlots];
    int32_t sprite[kPoolSlots];  // variant added to the base cell of its shape
    int32_t shape[kPoolSlots];
    int32_t explodeTimer[kPoolSlots];  // frames since it exploded, 0..63
    int32_t usedCount;
};
extern ObjectPoolSlots ObjectPool;

struct PlayField {
    int32_t playerState;
    int32_t playerX, playerY;  // centre of the 32x32 player, kept in 16..464
    int32_t playerTimer;       // frames in state 2 (0..63) or 3 (0..127)
    double burstX[kBurstParticles], burstY[kBurstParticles];
    int32_t lives;  // the one in play included
    int32_t score, hiScore;
    int32_t scoreTick;     // frames towards the next 100 points
    int32_t frameCount;    // frames since the stage intro
    int32_t scrollOffset;  // 0..479
    int32_t scrollSpeed;   // 16 in a stage, slowing to 4 at the goal
    int32_t goalActive, goalY, goalSlowCounter;
};
extern PlayField gPlayField;

// Scene 6, one frame.
void PlayFrame();
void KillPlayer();
void CheckPlayerHits();
void DrawObjects();
void DrawExplodingObjects();
